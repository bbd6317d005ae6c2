// The day view of the main window: the list of the shown day's appointments,
// the Detailed Notes box, and moving between days.
#include "app/calendar_dlg.h"

#include "framework/display.h"
#include "framework/clock.h"
#include "framework/message_box.h"
#include "framework/utf_text.h"
#include "res/resource.h"
#include "store/calendar_registry.h"
#include "store/date_text.h"
#include "store/notes_rule.h"
#include "store/system_time.h"

namespace {
constexpr int kEventImageCount = 6;
constexpr COLORREF kListBackground = RGB(128, 128, 128);
constexpr COLORREF kListTextBackground = RGB(209, 211, 255);
constexpr COLORREF kImageMask = RGB(32, 0, 0);
} // namespace

void CCalendarDlg::InitAppointmentList() {
    MakeListImages();
    ApplyListColours();
    m_listAppointments.SetExtendedStyle(m_listAppointments.GetExtendedStyle() |
                                        LVS_EX_FULLROWSELECT | LVS_EX_HEADERDRAGDROP |
                                        LVS_EX_INFOTIP | LVS_EX_UNDERLINEHOT);
    m_listAppointments.InsertColumn(0, "Event", LVCFMT_LEFT,
                                    fw::ScaleForDpi(kEventColumnWidth, Dpi()));
    m_listAppointments.InsertColumn(1, "Notes", LVCFMT_LEFT,
                                    fw::ScaleForDpi(kNotesColumnWidth, Dpi()));
}

void CCalendarDlg::MakeListImages() {
    fw::unique_himagelist images = fw::LoadImageStrip(IDB_EVENTS_LIST, 32, 0, 1, kImageMask, Dpi());
    if (images)
        m_listAppointments.SetImageList(images.get(), LVSIL_SMALL);
    // The list lets go of the old images when it is given the new ones.
    m_pImageList = std::move(images);
}

void CCalendarDlg::ApplyListColours() {
    m_listAppointments.SetBkColor(fw::ContrastColor(kListBackground, COLOR_WINDOW));
    m_listAppointments.SetTextBkColor(fw::ContrastColor(kListTextBackground, COLOR_WINDOW));
    // The text is the system's window text, the list's own default, taken
    // anew so that a change of the system's colours reaches it.
    m_listAppointments.SetTextColor(GetSysColor(COLOR_WINDOWTEXT));
}

void CCalendarDlg::ShowDay(int mode, SYSTEMTIME day) {
    const std::string dateText = FormatDateText(day);
    const int selectedRow = m_listAppointments.GetFirstSelected();
    const std::string selectedNotes = m_listAppointments.GetItemText(selectedRow, 1);
    SetDlgItemTextW(m_hWnd, IDC_DETAIL_NOTES, L"");

    CCalendarRegistry registry;
    if (mode == LIST_SHOW_DETAIL) {
        // With no row selected the empty text would still match an
        // appointment stored without notes; the box must stay empty then.
        if (selectedRow >= 0)
            registry.ListAppointments(LIST_SHOW_DETAIL, selectedNotes, dateText, *this);
    } else if (mode == LIST_FILL) {
        // One redraw for the whole day instead of one per row; the item
        // changes raised while rows go in find nothing selected.
        SendMessageA(m_listAppointments.GetSafeHwnd(), WM_SETREDRAW, FALSE, 0);
        const bool wasFilling = m_bFilling;
        m_bFilling = true;
        m_listAppointments.DeleteAllItems();
        registry.ListAppointments(LIST_FILL, selectedNotes, dateText, *this);
        m_bFilling = wasFilling;
        SendMessageA(m_listAppointments.GetSafeHwnd(), WM_SETREDRAW, TRUE, 0);
        InvalidateRect(m_listAppointments.GetSafeHwnd(), nullptr, TRUE);
    }
}

void CCalendarDlg::AppendAppointmentRow(const char* eventText, const char* notes, int eventIndex) {
    AddAppointmentRow(eventText, notes, eventIndex);
}

void CCalendarDlg::ShowDetailNotes(const char* detailNotes) {
    SetDlgItemTextW(m_hWnd, IDC_DETAIL_NOTES, fw::Widen(detailNotes).c_str());
}

void CCalendarDlg::AddAppointmentRow(const std::string& eventText, const std::string& notes,
                                     int eventIndex) {
    // An index stored from outside that names no picture shows none.
    const int image = eventIndex >= 0 && eventIndex < kEventImageCount ? eventIndex : I_IMAGENONE;
    const int row =
        m_listAppointments.InsertItem(m_listAppointments.GetItemCount(), eventText, image);
    if (row >= 0)
        m_listAppointments.SetItemText(row, 1, notes);
}

LRESULT CCalendarDlg::OnCalendarSelChange(NMHDR*) {
    SYSTEMTIME day{};
    if (m_monthCal.GetCurSel(day))
        ShowDay(LIST_FILL, day);
    return 0;
}

LRESULT CCalendarDlg::OnCalendarSelect(NMHDR*) {
    // After midnight the calendar's own idea of today is stale.
    const SYSTEMTIME now = fw::LocalNow();
    m_monthCal.SetToday(now);
    return 0;
}

void CCalendarDlg::OnGoToday() {
    // The clock's today, which the calendar's marker follows too.
    const SYSTEMTIME today = fw::LocalNow();
    m_monthCal.SetToday(today);
    m_monthCal.SetCurSel(today);
    ShowDay(LIST_FILL, today);
}

void CCalendarDlg::StepDay(int direction) {
    SYSTEMTIME shown{};
    if (!m_monthCal.GetCurSel(shown))
        return;
    const CalendarDate date = DateOf(shown);
    const SYSTEMTIME target = ToSystemTime(direction > 0 ? NextDay(date) : PreviousDay(date));
    // Past the calendar's range the selection stays, and so does the list,
    // so that the list always shows the day the calendar selects.
    if (!m_monthCal.SetCurSel(target))
        return;
    ShowDay(LIST_FILL, target);
}

void CCalendarDlg::OnNextDay() {
    StepDay(+1);
}

void CCalendarDlg::OnPrevDay() {
    StepDay(-1);
}

LRESULT CCalendarDlg::OnListItemChanged(NMHDR*) {
    // While a day is being filled no row is selected, so a nested refresh
    // would only clear the box again; it is skipped.
    if (m_bFilling)
        return 0;
    SYSTEMTIME shown{};
    if (m_monthCal.GetCurSel(shown))
        ShowDay(LIST_SHOW_DETAIL, shown);
    return 0;
}

void CCalendarDlg::OnSaveNotes() {
    ModifySelectedAppointment(MODIFY_SAVE_DETAIL);
}

bool CCalendarDlg::TakeDetailNotes() {
    UpdateData(true);
    if (FitsNotesField(m_strDetailNotes))
        return true;
    fw::ShowNotice(m_hWnd, kDetailNotesTooLongMessage);
    return false;
}

void CCalendarDlg::ModifySelectedAppointment(int mode) {
    const int row = m_listAppointments.GetFirstSelected();
    if (row < 0)
        return;
    const std::string notes = m_listAppointments.GetItemText(row, 1);
    SYSTEMTIME shown{};
    if (!m_monthCal.GetCurSel(shown))
        return;
    const std::string dateText = FormatDateText(shown);

    CCalendarRegistry registry;
    int result = MODIFY_RESULT_NONE;
    if (mode == MODIFY_SAVE_DETAIL) {
        if (!TakeDetailNotes())
            return;
        result = registry.ModifyAppointment(MODIFY_SAVE_DETAIL, dateText, notes, m_strDetailNotes);
    } else if (mode == MODIFY_DELETE) {
        result = registry.ModifyAppointment(MODIFY_DELETE, dateText, notes, std::string());
    }

    switch (result) {
    case MODIFY_RESULT_DELETED:
        m_listAppointments.DeleteItem(row);
        break;
    case MODIFY_RESULT_DELETE_FAILED:
        fw::ShowNotice(m_hWnd, "Unable to delete appointment");
        break;
    case MODIFY_RESULT_SAVE_FAILED:
        fw::ShowNotice(m_hWnd, "Unable to save notes");
        break;
    default:
        break;
    }
}
