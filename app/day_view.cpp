#include "app/day_view.h"

#include "app/repeat_picture.h"
#include "app/window_modes.h"
#include "calendar/appointment_time.h"
#include "calendar/date_text.h"
#include "framework/clock.h"
#include "framework/display.h"
#include "framework/message_box.h"
#include "framework/utf_text.h"
#include "res/palette.h"
#include "res/resource.h"
#include "store/calendar_registry.h"
#include "store/notes_rule.h"
#include "store/series_commands.h"
#include "store/system_time.h"

namespace {
constexpr int kEventImageCount = 6;
constexpr COLORREF kListBackground = RGB(128, 128, 128);
constexpr COLORREF kImageMask = RGB(32, 0, 0);

// Asked once the appointment to delete has been found, with no owner window.
bool ConfirmDelete() {
    return fw::ShowMessageBox(nullptr, "Are you sure you want to delete appointment?",
                              "Confirm Delete",
                              MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) == IDYES;
}
} // namespace

bool CDayView::OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
    using Self = CDayView;
    static constexpr fw::Route<Self> kRoutes[] = {
        fw::OnCommand<Self>(IDC_GO_TODAY, &Self::OnGoToday),
        fw::OnCommand<Self>(IDC_NEXT_DAY, &Self::OnNextDay),
        fw::OnCommand<Self>(IDC_PREV_DAY, &Self::OnPrevDay),
        fw::OnCommand<Self>(IDC_SAVE_NOTES, &Self::OnSaveNotes),
        fw::OnNotify<Self>(IDC_APPOINTMENT_LIST, LVN_ITEMCHANGED, &Self::OnListItemChanged),
        fw::OnNotify<Self>(IDC_MONTHCAL, MCN_SELCHANGE, &Self::OnCalendarSelChange),
        fw::OnNotify<Self>(IDC_MONTHCAL, MCN_SELECT, &Self::OnCalendarSelect),
        fw::OnMessage<Self>(kDayChangeNotice, &Self::OnDayChange),
        fw::OnMessage<Self>(WM_SYSCOLORCHANGE, &Self::OnSystemColorsChanged),
        fw::OnMessage<Self>(WM_SETTINGCHANGE, &Self::OnSystemColorsChanged),
    };
    return fw::DispatchRoutes(this, kRoutes, msg, wp, lp, result);
}

void CDayView::DoDataExchange(fw::DataExchange& dx) {
    fw::BindControl(dx, IDC_MONTHCAL, m_monthCal);
    fw::BindControl(dx, IDC_APPOINTMENT_LIST, m_listAppointments);
    fw::ExchangeText(dx, IDC_DETAIL_NOTES, m_strDetailNotes);
}

void CDayView::InitAppointmentList() {
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

void CDayView::OnDpiChanged(UINT dpi) {
    MakeListImages();
    m_listAppointments.SetColumnWidth(0, fw::ScaleForDpi(kEventColumnWidth, dpi));
    m_listAppointments.SetColumnWidth(1, fw::ScaleForDpi(kNotesColumnWidth, dpi));
}

void CDayView::MakeListImages() {
    fw::unique_himagelist images = fw::LoadImageStrip(IDB_EVENTS_LIST, 32, 0, 1, kImageMask, Dpi());
    m_nRepeatImage = images ? AddRepeatPicture(images.get(), kImageMask) : -1;
    if (m_nRepeatImage < 0)
        m_nRepeatImage = I_IMAGENONE;
    if (images)
        m_listAppointments.SetImageList(images.get(), LVSIL_SMALL);
    // The list lets go of the old images when it is given the new ones.
    m_pImageList = std::move(images);
}

void CDayView::ApplyListColours() {
    m_listAppointments.SetBkColor(fw::ContrastColor(kListBackground, COLOR_WINDOW));
    m_listAppointments.SetTextBkColor(fw::ContrastColor(kLavender, COLOR_WINDOW));
    // The text is the system's window text, the list's own default, taken
    // anew so that a change of the system's colours reaches it.
    m_listAppointments.SetTextColor(GetSysColor(COLOR_WINDOWTEXT));
}

std::optional<LRESULT> CDayView::OnSystemColorsChanged(WPARAM, LPARAM) {
    // High contrast switched on or off, or the system's colours changed; the
    // rest of the window hears of it too. The repeat mark is drawn in them.
    ApplyListColours();
    MakeListImages();
    return std::nullopt;
}

void CDayView::ShowToday() {
    // The calendar and the list show the same today, from the one clock.
    // Once its today is set, the calendar no longer moves it by itself; it
    // moves at each change of day (OnDayChange).
    const SYSTEMTIME now = fw::LocalNow();
    m_monthCal.SetToday(now);
    m_monthCal.SetCurSel(now);
    ShowDay(LIST_FILL, now);
}

void CDayView::ShowDay(int mode, SYSTEMTIME day) {
    const std::string dateText = FormatDateText(day);
    const int selectedRow = m_listAppointments.GetFirstSelected();
    const std::string selectedNotes = RowNotes(selectedRow);
    SetDlgItemTextW(Hwnd(), IDC_DETAIL_NOTES, L"");

    CCalendarRegistry registry;
    if (mode == LIST_SHOW_DETAIL) {
        // With no row selected the empty text would still match an
        // appointment stored without notes; the box must stay empty then.
        const std::string seriesDay = RowSeriesDay(selectedRow);
        ical::AppointmentValues series;
        // An occurrence shows its series' notes, read from the series' key.
        if (!seriesDay.empty()) {
            if (registry.ReadAppointment(seriesDay, RowKeyName(selectedRow), series))
                ShowDetailNotes(series.detailNotes.c_str());
        } else if (selectedRow >= 0) {
            registry.ListAppointments(ListMode::ShowDetail, selectedNotes, dateText, *this);
        }
    } else if (mode == LIST_FILL) {
        // One redraw for the whole day instead of one per row; the item
        // changes raised while rows go in find nothing selected.
        SendMessageA(m_listAppointments.GetSafeHwnd(), WM_SETREDRAW, FALSE, 0);
        const bool wasFilling = m_bFilling;
        m_bFilling = true;
        m_listAppointments.DeleteAllItems();
        m_rows.clear();
        registry.ListAppointments(ListMode::Fill, selectedNotes, dateText, *this);
        m_bFilling = wasFilling;
        SendMessageA(m_listAppointments.GetSafeHwnd(), WM_SETREDRAW, TRUE, 0);
        InvalidateRect(m_listAppointments.GetSafeHwnd(), nullptr, TRUE);
    }
}

bool CDayView::GetShownDay(SYSTEMTIME& day) const {
    return m_monthCal.GetCurSel(day);
}

void CDayView::RefreshShownDay() {
    SYSTEMTIME shown{};
    if (GetShownDay(shown))
        ShowDay(LIST_FILL, shown);
}

void CDayView::AppendAppointmentRow(const char* eventText, const char* notes, int eventIndex) {
    AddAppointmentRow(eventText, notes, eventIndex);
}

void CDayView::AppendAppointment(const Row& row) {
    AddAppointmentRow(row.eventText, row.notes, row.eventIndex, row.keyName, row.minuteOfDay,
                      row.seriesDay != nullptr ? row.seriesDay : "");
}

std::string CDayView::RowKeyName(int row) const {
    return row >= 0 && static_cast<size_t>(row) < m_rows.size() ? m_rows[row].keyName : "";
}

std::string CDayView::RowSeriesDay(int row) const {
    return row >= 0 && static_cast<size_t>(row) < m_rows.size() ? m_rows[row].seriesDay : "";
}

std::string CDayView::RowNotes(int row) const {
    return row >= 0 && static_cast<size_t>(row) < m_rows.size() ? m_rows[row].notes : "";
}

void CDayView::SelectRowOf(const std::string& keyName) {
    for (size_t row = 0; row < m_rows.size(); ++row)
        if (m_rows[row].keyName == keyName) {
            m_listAppointments.SetItemState(static_cast<int>(row), LVIS_SELECTED | LVIS_FOCUSED,
                                            LVIS_SELECTED | LVIS_FOCUSED);
            return;
        }
}

void CDayView::SelectRowOf(const std::string& keyName, const std::string& dayKey) {
    SYSTEMTIME shown{};
    const bool ownDay =
        GetShownDay(shown) && _stricmp(FormatDateText(shown).c_str(), dayKey.c_str()) == 0;
    for (size_t row = 0; row < m_rows.size(); ++row) {
        const RowData& data = m_rows[row];
        const bool filedThere =
            ownDay ? data.seriesDay.empty() : _stricmp(data.seriesDay.c_str(), dayKey.c_str()) == 0;
        if (data.keyName == keyName && filedThere) {
            m_listAppointments.SetItemState(static_cast<int>(row), LVIS_SELECTED | LVIS_FOCUSED,
                                            LVIS_SELECTED | LVIS_FOCUSED);
            m_listAppointments.Send(LVM_ENSUREVISIBLE, row, FALSE);
            return;
        }
    }
}

void CDayView::GoToDay(const SYSTEMTIME& day) {
    m_monthCal.SetCurSel(day);
    ShowDay(LIST_FILL, day);
}

bool CDayView::HasOccurrenceRows() const {
    for (const RowData& row : m_rows)
        if (!row.seriesDay.empty())
            return true;
    return false;
}

bool CDayView::HasTimedRows() const {
    for (const RowData& row : m_rows)
        if (row.minuteOfDay)
            return true;
    return false;
}

void CDayView::ShowDetailNotes(const char* detailNotes) {
    SetDlgItemTextW(Hwnd(), IDC_DETAIL_NOTES, fw::Widen(detailNotes).c_str());
}

void CDayView::AddAppointmentRow(const std::string& eventText, const std::string& notes,
                                 int eventIndex, const std::string& keyName,
                                 std::optional<int> minuteOfDay, const std::string& seriesDay) {
    // An index stored from outside that names no picture shows none; an
    // occurrence of a series shows the repeat picture instead of its event's.
    const int image = !seriesDay.empty()                                 ? m_nRepeatImage
                      : eventIndex >= 0 && eventIndex < kEventImageCount ? eventIndex
                                                                         : I_IMAGENONE;
    const int row =
        m_listAppointments.InsertItem(m_listAppointments.GetItemCount(), eventText, image);
    if (row < 0)
        return;
    // The time goes into the notes column, so the window keeps its width.
    m_listAppointments.SetItemText(
        row, 1, minuteOfDay ? FormatTimeOfDay(*minuteOfDay) + " " + notes : notes);
    m_rows.resize(static_cast<size_t>(row));
    m_rows.push_back({keyName, notes, minuteOfDay, seriesDay});
}

LRESULT CDayView::OnCalendarSelChange(NMHDR*) {
    RefreshShownDay();
    return 0;
}

LRESULT CDayView::OnCalendarSelect(NMHDR*) {
    // After midnight the calendar's own idea of today is stale.
    const SYSTEMTIME now = fw::LocalNow();
    m_monthCal.SetToday(now);
    return 0;
}

std::optional<LRESULT> CDayView::OnDayChange(WPARAM, LPARAM) {
    // MCM_SETTODAY moves only the marker: no selection change comes, so the
    // list and any unsaved typing in the notes box stay.
    m_monthCal.SetToday(fw::LocalNow());
    return std::nullopt;
}

void CDayView::OnGoToday() {
    // The clock's today, which the calendar's marker follows too.
    const SYSTEMTIME today = fw::LocalNow();
    m_monthCal.SetToday(today);
    m_monthCal.SetCurSel(today);
    ShowDay(LIST_FILL, today);
}

void CDayView::StepDay(int direction) {
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

void CDayView::OnNextDay() {
    StepDay(+1);
}

void CDayView::OnPrevDay() {
    StepDay(-1);
}

LRESULT CDayView::OnListItemChanged(NMHDR*) {
    // While a day is being filled no row is selected, so a nested refresh
    // would only clear the box again; it is skipped.
    if (m_bFilling)
        return 0;
    SYSTEMTIME shown{};
    if (m_monthCal.GetCurSel(shown))
        ShowDay(LIST_SHOW_DETAIL, shown);
    return 0;
}

void CDayView::OnSaveNotes() {
    ModifySelectedAppointment(MODIFY_SAVE_DETAIL);
}

const std::string& CDayView::DetailNotes() {
    UpdateData(true);
    return m_strDetailNotes;
}

bool CDayView::TakeDetailNotes() {
    UpdateData(true);
    if (FitsNotesField(m_strDetailNotes))
        return true;
    fw::ShowNotice(Hwnd(), kDetailNotesTooLongMessage);
    return false;
}

void CDayView::ModifySelectedAppointment(int mode) {
    const int row = m_listAppointments.GetFirstSelected();
    if (row < 0)
        return;
    const std::string notes = RowNotes(row);
    SYSTEMTIME shown{};
    if (!m_monthCal.GetCurSel(shown))
        return;
    const std::string dateText = FormatDateText(shown);

    CCalendarRegistry registry;
    ModifyResult result = ModifyResult::None;
    if (mode == MODIFY_SAVE_DETAIL) {
        if (!TakeDetailNotes())
            return;
        const std::string seriesDay = RowSeriesDay(row);
        if (!seriesDay.empty()) {
            if (!SaveSeriesDetailNotes(seriesDay, RowKeyName(row), m_strDetailNotes))
                fw::ShowNotice(Hwnd(), "Unable to save notes");
            return;
        }
        result =
            registry.ModifyAppointment(ModifyMode::SaveDetail, dateText, notes, m_strDetailNotes);
    } else if (mode == MODIFY_DELETE) {
        result = registry.ModifyAppointment(ModifyMode::Delete, dateText, notes, std::string(),
                                            &ConfirmDelete);
    }

    switch (result) {
    case ModifyResult::Deleted:
        m_listAppointments.DeleteItem(row);
        if (static_cast<size_t>(row) < m_rows.size())
            m_rows.erase(m_rows.begin() + row);
        break;
    case ModifyResult::DeleteFailed:
        fw::ShowNotice(Hwnd(), "Unable to delete appointment");
        break;
    case ModifyResult::SaveFailed:
        fw::ShowNotice(Hwnd(), "Unable to save notes");
        break;
    default:
        break;
    }
}
