#include "tests/support/new_dialog_answerer.h"

#include "framework/utf_text.h"

#include "framework/dialog.h"
#include "res/resource.h"

#include <commctrl.h>

#include <utility>

namespace qmtest {

namespace {
NewAppointmentAnswerer* g_answerer = nullptr;

bool IsNewAppointmentDialog(HWND hwnd) {
    char cls[32] = {};
    char caption[64] = {};
    GetClassNameA(hwnd, cls, sizeof cls);
    GetWindowTextA(hwnd, caption, sizeof caption);
    // New keeps the program's caption; Edit says what it does.
    return lstrcmpA(cls, "#32770") == 0 &&
           (lstrcmpA(caption, "Quillmere") == 0 || lstrcmpA(caption, "Edit Appointment") == 0) &&
           GetDlgItem(hwnd, IDC_EVENTS) != nullptr;
}

std::string TextOf(HWND hwnd) {
    char text[4096] = {};
    GetWindowTextA(hwnd, text, sizeof text);
    return text;
}
} // namespace

SYSTEMTIME PickerDate(HWND picker) {
    SYSTEMTIME date{};
    SendMessageA(picker, DTM_GETSYSTEMTIME, 0, reinterpret_cast<LPARAM>(&date));
    return date;
}

void ChangePicker(HWND picker, const SYSTEMTIME& date) {
    SendMessageA(picker, DTM_SETSYSTEMTIME, GDT_VALID, reinterpret_cast<LPARAM>(&date));
    NMDATETIMECHANGE change{};
    change.nmhdr.hwndFrom = picker;
    change.nmhdr.idFrom = static_cast<UINT_PTR>(GetDlgCtrlID(picker));
    change.nmhdr.code = DTN_DATETIMECHANGE;
    change.dwFlags = GDT_VALID;
    change.st = date;
    SendMessageA(GetParent(picker), WM_NOTIFY, change.nmhdr.idFrom,
                 reinterpret_cast<LPARAM>(&change));
}

NewAppointmentAnswerer::NewAppointmentAnswerer(NewAppointmentInput input)
    : m_input(std::move(input)) {
    g_answerer = this;
    m_hook =
        SetWindowsHookExA(WH_CBT, &NewAppointmentAnswerer::CbtProc, nullptr, GetCurrentThreadId());
}

NewAppointmentAnswerer::~NewAppointmentAnswerer() {
    if (m_timer != 0)
        KillTimer(nullptr, m_timer);
    if (m_hook != nullptr)
        UnhookWindowsHookEx(m_hook);
    g_answerer = nullptr;
}

LRESULT CALLBACK NewAppointmentAnswerer::CbtProc(int code, WPARAM wp, LPARAM lp) {
    NewAppointmentAnswerer* self = g_answerer;
    HWND hwnd = reinterpret_cast<HWND>(wp);
    if (code == HCBT_ACTIVATE && self != nullptr && self->m_pending == nullptr &&
        self->m_seen.dialog != hwnd && IsNewAppointmentDialog(hwnd)) {
        // Act once the dialog is up and its modal loop runs, not inside its
        // activation.
        self->m_pending = hwnd;
        self->m_timer = SetTimer(nullptr, 0, 10, &NewAppointmentAnswerer::OnTimer);
    }
    return CallNextHookEx(nullptr, code, wp, lp);
}

void CALLBACK NewAppointmentAnswerer::OnTimer(HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    if (g_answerer != nullptr && g_answerer->m_timer == id) {
        g_answerer->m_timer = 0;
        g_answerer->Answer();
    }
}

void NewAppointmentAnswerer::Answer() {
    HWND dlg = std::exchange(m_pending, nullptr);
    if (dlg == nullptr || !IsWindow(dlg))
        return;
    // On a busy machine the dialog may not have taken the focus yet; look
    // again a little later (for up to about two seconds).
    HWND focused = GetFocus();
    if ((focused == nullptr || !IsChild(dlg, focused)) && ++m_waits < 200) {
        m_pending = dlg;
        m_timer = SetTimer(nullptr, 0, 10, &NewAppointmentAnswerer::OnTimer);
        return;
    }
    m_waits = 0;
    ++m_opened;
    m_seen = NewAppointmentSeen{};
    m_seen.dialog = dlg;
    m_seen.owner = GetWindow(dlg, GW_OWNER);
    HWND focus = GetFocus();
    m_seen.focusId = focus != nullptr && IsChild(dlg, focus) ? GetDlgCtrlID(focus) : 0;
    m_seen.eventSelection =
        static_cast<int>(SendDlgItemMessageA(dlg, IDC_EVENTS, CB_GETCURSEL, 0, 0));
    m_seen.from = PickerDate(GetDlgItem(dlg, IDC_FROM_PICKER));
    m_seen.to = PickerDate(GetDlgItem(dlg, IDC_TO_PICKER));
    m_seen.notes = TextOf(GetDlgItem(dlg, IDC_NOTES_EDIT));
    m_seen.caption = TextOf(dlg);
    if (IsDlgButtonChecked(dlg, IDC_ALL_DAY) != BST_CHECKED) {
        SYSTEMTIME at{};
        if (SendDlgItemMessageW(dlg, IDC_TIME_PICKER, DTM_GETSYSTEMTIME, 0,
                                reinterpret_cast<LPARAM>(&at)) == GDT_VALID)
            m_seen.minuteOfDay = at.wHour * 60 + at.wMinute;
    }

    if (m_input.from)
        ChangePicker(GetDlgItem(dlg, IDC_FROM_PICKER), *m_input.from);
    if (m_input.to)
        ChangePicker(GetDlgItem(dlg, IDC_TO_PICKER), *m_input.to);
    if (m_input.eventIndex)
        SendDlgItemMessageA(dlg, IDC_EVENTS, CB_SETCURSEL, static_cast<WPARAM>(*m_input.eventIndex),
                            0);
    if (m_input.notes)
        SetDlgItemTextW(dlg, IDC_NOTES_EDIT, fw::Widen(*m_input.notes).c_str());

    if (m_input.minuteOfDay) {
        if (IsDlgButtonChecked(dlg, IDC_ALL_DAY) == BST_CHECKED)
            SendMessageA(GetDlgItem(dlg, IDC_ALL_DAY), BM_CLICK, 0, 0);
        SYSTEMTIME at{};
        SendDlgItemMessageW(dlg, IDC_TIME_PICKER, DTM_GETSYSTEMTIME, 0,
                            reinterpret_cast<LPARAM>(&at));
        at.wHour = static_cast<WORD>(*m_input.minuteOfDay / 60);
        at.wMinute = static_cast<WORD>(*m_input.minuteOfDay % 60);
        SendDlgItemMessageW(dlg, IDC_TIME_PICKER, DTM_SETSYSTEMTIME, GDT_VALID,
                            reinterpret_cast<LPARAM>(&at));
    }
    const auto choose = [dlg](int id, int minutes) {
        const int count = static_cast<int>(SendDlgItemMessageW(dlg, id, CB_GETCOUNT, 0, 0));
        for (int i = 0; i < count; ++i)
            if (static_cast<int>(SendDlgItemMessageW(dlg, id, CB_GETITEMDATA,
                                                     static_cast<WPARAM>(i), 0)) == minutes)
                SendDlgItemMessageW(dlg, id, CB_SETCURSEL, static_cast<WPARAM>(i), 0);
    };
    if (m_input.durationMinutes)
        choose(IDC_DURATION, *m_input.durationMinutes);
    if (m_input.remindMinutes)
        choose(IDC_REMIND, *m_input.remindMinutes);
    {
        const LRESULT index = SendDlgItemMessageW(dlg, IDC_REMIND, CB_GETCURSEL, 0, 0);
        m_seen.remindMinutes =
            index < 0 ? -1
                      : static_cast<int>(SendDlgItemMessageW(dlg, IDC_REMIND, CB_GETITEMDATA,
                                                             static_cast<WPARAM>(index), 0));
    }

    if (m_input.beforeAnswer)
        m_input.beforeAnswer(dlg);
    const int button = m_input.pressCancel ? IDCANCEL : IDOK;
    SendMessageA(GetDlgItem(dlg, button), BM_CLICK, 0, 0);
    // A dialog that ended is still on screen until its modal loop returns; ask
    // the dialog object whether it runs on.
    auto* dialog = reinterpret_cast<fw::Dialog*>(GetWindowLongPtrA(dlg, DWLP_USER));
    if (!m_input.pressCancel && IsWindow(dlg) && dialog != nullptr && dialog->IsModalRunning()) {
        m_seen.stayedOpen = true;
        SendMessageA(GetDlgItem(dlg, IDCANCEL), BM_CLICK, 0, 0);
    }
}

} // namespace qmtest
