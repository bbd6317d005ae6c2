#include "tray/reminder_dlg.h"

#include "framework/display.h"
#include "framework/utf_text.h"
#include "res/palette.h"
#include "res/resource.h"
#include "tray/reminder_lines.h"
#include "tray/reminder_schedule.h"
#include "tray/thread_join.h"

namespace {
// The room the template leaves right of the 'x' button.
constexpr int kRightMarginDlu = 3;

// A child's rectangle in its dialog's client coordinates.
RECT ChildRect(HWND dialog, HWND child) {
    RECT rect{};
    GetWindowRect(child, &rect);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}
} // namespace

CReminderDlg::CReminderDlg()
    : fw::Dialog(IDD_REMINDER, nullptr), m_brush(CreateSolidBrush(kLavender)) {
    // The slide shows the pop-up and gives it its place.
    m_bShowOnIdle = false;
    m_bAutoCenter = false;
}

CReminderDlg::~CReminderDlg() {
    if (m_hWnd != nullptr && m_bOpened)
        CloseHandling();
    StopSlide();
}

void CReminderDlg::SetReminders(IReminderOwner* owner, const std::vector<std::string>& lines) {
    m_pOwner = owner;
    m_lines.clear();
    m_lines.reserve(lines.size());
    for (const std::string& line : lines)
        m_lines.push_back(CutReminderLine(line.c_str()));
    m_nLines = static_cast<int>(m_lines.size());
    m_nCurrent = 0;
    m_strText = m_lines.empty() ? std::string() : NumberedReminderLine(0, m_lines[0]);
}

void CReminderDlg::DoDataExchange(fw::DataExchange& dx) {
    fw::BindControl(dx, IDC_REMINDER_CLOSE, m_btnClose);
    fw::BindControl(dx, IDC_REMINDER_ICON, m_stIcon);
    fw::ExchangeText(dx, IDC_REMINDER_TEXT, m_strText);
}

bool CReminderDlg::OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
    using Self = CReminderDlg;
    static constexpr fw::Route<Self> kRoutes[] = {
        fw::OnTimer<Self>(&Self::OnTimer),
        fw::OnCtlColor<Self>(&Self::OnCtlColor),
        fw::OnMessage<Self>(WM_CLOSE, &Self::OnClose),
        fw::OnMessage<Self>(WM_DESTROY, &Self::OnDestroy),
        fw::OnCommand<Self>(IDC_REMINDER_CLOSE, &Self::OnCloseButton),
        fw::OnMessage<Self>(WM_MOUSEACTIVATE, &Self::OnMouseActivate),
        fw::OnMessage<Self>(WM_LBUTTONDOWN, &Self::OnMouseDown),
        fw::OnMessage<Self>(WM_RBUTTONDOWN, &Self::OnMouseDown),
        fw::OnMessage<Self>(WM_CONTEXTMENU, &Self::OnContextMenu),
        fw::OnMessage<Self>(kBringReminderForwardMessage, &Self::OnBringForward),
        fw::OnCommand<Self>(ID_REMINDER_SNOOZE_SHORT, &Self::OnSnoozeShort),
        fw::OnCommand<Self>(ID_REMINDER_SNOOZE_LONG, &Self::OnSnoozeLong),
        fw::OnCommand<Self>(ID_REMINDER_DISMISS_TODAY, &Self::OnDismissToday),
    };
    return fw::DispatchRoutes(this, kRoutes, msg, wp, lp, result);
}

BOOL CReminderDlg::OnInitDialog() {
    fw::Dialog::OnInitDialog();
    m_bOpened = true;
    FitControlsToFinalSize();
    if (m_pOwner != nullptr && !m_pOwner->ReminderOpened(m_hWnd)) {
        // The owner is closing down: go without ever showing.
        PostMessageA(m_hWnd, WM_CLOSE, 0, 0);
        return TRUE;
    }
    // A window that cannot be activated keeps the keyboard with the program
    // in the foreground also when the slide shows it.
    if (!m_bUserChosen)
        SetWindowLongPtrA(m_hWnd, GWL_EXSTYLE,
                          GetWindowLongPtrA(m_hWnd, GWL_EXSTYLE) | WS_EX_NOACTIVATE);
    try {
        m_slideThread = std::thread(&CReminderDlg::SlideIn, this);
    } catch (...) {
        // No thread for the slide: appear in the end place at once.
        m_bSlideDone = true;
        SlideTo(kSlideLastStep);
        m_btnClose.Show(SW_SHOW);
        StartLineTimer();
    }
    if (m_bUserChosen) {
        SetForegroundWindow(m_hWnd);
        return TRUE;
    }
    // No focus for the dialog manager to put on the first control. Wine's X11
    // driver gives the X input focus to a window that is shown while its
    // thread's focus is on one of its children; the X server then hands that
    // window every key of the real keyboard, whichever window is in the
    // foreground.
    return FALSE;
}

void CReminderDlg::FitControlsToFinalSize() {
    RECT window{};
    RECT client{};
    GetWindowRect(m_hWnd, &window);
    GetClientRect(m_hWnd, &client);
    const RECT end = SlideRect(RECT{0, 0, 0, 0}, kSlideLastStep, Dpi());
    const int border = (window.right - window.left) - client.right;
    RECT margin{0, 0, kRightMarginDlu, 0};
    MapDialogRect(m_hWnd, &margin);
    const int limit = (end.right - end.left) - border - margin.right;

    HWND button = GetDlgItem(IDC_REMINDER_CLOSE);
    const RECT place = ChildRect(m_hWnd, button);
    if (place.right > limit)
        SetWindowPos(button, nullptr, limit - (place.right - place.left), place.top, 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    HWND text = GetDlgItem(IDC_REMINDER_TEXT);
    const RECT area = ChildRect(m_hWnd, text);
    if (area.right > limit && limit > area.left)
        SetWindowPos(text, nullptr, 0, 0, limit - area.left, area.bottom - area.top,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void CReminderDlg::SlideIn() {
    try {
        for (int k = kSlideFirstStep; k <= kSlideLastStep && !m_bStopSlide.load(); ++k) {
            SlideTo(k);
            m_nSlideStep = k;
            Sleep(kSlideStepMs);
        }
        if (!m_bStopSlide.load()) {
            m_btnClose.Show(SW_SHOW);
            StartLineTimer();
        }
    } catch (...) {
        // Nothing may leave the thread; the pop-up stays usable where it is.
    }
    // The last touch of this object by the thread.
    m_bSlideDone = true;
}

void CReminderDlg::SlideTo(int k) {
    HWND hwnd = m_hWnd;
    if (hwnd == nullptr || !IsWindow(hwnd))
        return;
    RECT screen{};
    GetWindowRect(GetDesktopWindow(), &screen);
    // The screen of the monitor the pop-up is on, at that monitor's DPI.
    const RECT place = SlideRect(screen, k, Dpi());
    SetWindowPos(hwnd, HWND_TOPMOST, place.left, place.top, place.right - place.left,
                 place.bottom - place.top,
                 SWP_SHOWWINDOW | (m_bUserChosen ? 0u : static_cast<UINT>(SWP_NOACTIVATE)));
}

void CReminderDlg::StartLineTimer() {
    SetTimer(kLineTimerId, kLineTimerMs);
}

void CReminderDlg::StopSlide() {
    m_bStopSlide = true;
    JoinAnsweringSentMessages(m_slideThread, m_bSlideDone);
}

void CReminderDlg::OnTimer(UINT_PTR) {
    if (m_bClosed) {
        // A start of the line timer that the slide handed over just before
        // the close.
        KillTimer(kLineTimerId);
        return;
    }
    if (m_nLines == 0)
        return;
    m_strText = NumberedReminderLine(m_nCurrent, m_lines[static_cast<size_t>(m_nCurrent)]);
    SetDlgItemTextW(m_hWnd, IDC_REMINDER_TEXT, fw::Widen(m_strText).c_str());
    m_nCurrent = NextReminderLine(m_nCurrent, m_nLines);
}

HBRUSH CReminderDlg::OnCtlColor(HDC dc, HWND, UINT kind) {
    // The lavender, also behind the transparent texts.
    if (kind == CTLCOLOR_STATIC)
        SetBkMode(dc, TRANSPARENT);
    return fw::ContrastBrush(dc, m_brush.get());
}

void CReminderDlg::CloseHandling() {
    if (m_bClosed)
        return;
    m_bClosed = true;
    // A menu open on the pop-up would hold its thread until the user closed
    // the menu.
    if (m_bMenuOpen)
        EndMenu();
    StopSlide();
    KillTimer(kLineTimerId);
    // Once the flag is free a new reminder may open; this one must be off
    // the screen by then, not only when its loop has wound down.
    if (m_hWnd != nullptr)
        SetWindowPos(m_hWnd, nullptr, 0, 0, 0, 0,
                     SWP_HIDEWINDOW | SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE | SWP_NOZORDER);
    if (m_pOwner != nullptr) {
        m_pOwner->ReminderClosed(m_hWnd);
        m_pOwner->SetReminderBusy(0);
        m_pOwner->RestartReminderTimer();
    }
}

std::optional<LRESULT> CReminderDlg::OnClose(WPARAM, LPARAM) {
    CloseHandling();
    EndDialog(IDCANCEL);
    return 0;
}

std::optional<LRESULT> CReminderDlg::OnDestroy(WPARAM, LPARAM) {
    // However the window goes, the owner hears of it and the slide is over.
    CloseHandling();
    return std::nullopt;
}

void CReminderDlg::OnDpiChanged(UINT) {
    FitControlsToFinalSize();
    if (m_bSlideDone.load() && !m_bClosed)
        SlideTo(kSlideLastStep);
}

void CReminderDlg::OnCloseButton() {
    SendMessageA(m_hWnd, WM_CLOSE, 0, 0);
}

void CReminderDlg::OnOK() {
    CloseHandling();
    EndDialog(IDOK);
}

void CReminderDlg::OnCancel() {
    CloseHandling();
    EndDialog(IDCANCEL);
}

void CReminderDlg::Activate() {
    if (m_hWnd == nullptr)
        return;
    SetWindowLongPtrA(m_hWnd, GWL_EXSTYLE,
                      GetWindowLongPtrA(m_hWnd, GWL_EXSTYLE) &
                          ~static_cast<LONG_PTR>(WS_EX_NOACTIVATE));
    SetForegroundWindow(m_hWnd);
}

std::optional<LRESULT> CReminderDlg::OnMouseActivate(WPARAM, LPARAM) {
    // Once clicked, Esc, Enter and 'x' work as on any dialog.
    Activate();
    return MA_ACTIVATE;
}

std::optional<LRESULT> CReminderDlg::OnMouseDown(WPARAM, LPARAM) {
    // A window that cannot be activated is not asked WM_MOUSEACTIVATE by
    // every system (Wine does not ask), but the click reaches it.
    Activate();
    return std::nullopt;
}

std::optional<LRESULT> CReminderDlg::OnContextMenu(WPARAM, LPARAM lp) {
    if (m_bClosed || m_bMenuOpen)
        return 0;
    fw::unique_hmenu menu(
        LoadMenuW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_REMINDER_MENU)));
    HMENU popup = menu ? GetSubMenu(menu.get(), 0) : nullptr;
    if (popup == nullptr)
        return 0;
    // Without the foreground the menu would not close on a click elsewhere.
    Activate();
    POINT at{static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))};
    if (at.x == -1 && at.y == -1) {
        // From the keyboard (Shift+F10, the menu key): at the shown line.
        const RECT text = ChildRect(m_hWnd, GetDlgItem(IDC_REMINDER_TEXT));
        at = POINT{text.left, text.top};
        ClientToScreen(m_hWnd, &at);
    }
    m_bMenuOpen = true;
    TrackPopupMenu(popup, TPM_RIGHTBUTTON, at.x, at.y, 0, m_hWnd, nullptr);
    m_bMenuOpen = false;
    if (m_hWnd != nullptr)
        PostMessageA(m_hWnd, WM_NULL, 0, 0);
    return 0;
}

std::optional<LRESULT> CReminderDlg::OnBringForward(WPARAM, LPARAM) {
    if (!m_bClosed)
        Activate();
    return 0;
}

void CReminderDlg::OnSnoozeShort() {
    if (m_pOwner != nullptr && !m_bClosed)
        m_pOwner->SnoozeReminders(kSnoozeShortMinutes);
    SendMessageA(m_hWnd, WM_CLOSE, 0, 0);
}

void CReminderDlg::OnSnoozeLong() {
    if (m_pOwner != nullptr && !m_bClosed)
        m_pOwner->SnoozeReminders(kSnoozeLongMinutes);
    SendMessageA(m_hWnd, WM_CLOSE, 0, 0);
}

void CReminderDlg::OnDismissToday() {
    if (m_pOwner != nullptr && !m_bClosed)
        m_pOwner->DismissReminders();
    SendMessageA(m_hWnd, WM_CLOSE, 0, 0);
}
