#include "app/list_commands.h"

#include "app/day_view.h"
#include "app/window_modes.h"
#include "editing/new_appointment_dlg.h"
#include "framework/message_box.h"
#include "framework/unique_handle.h"
#include "res/resource.h"
#include "store/calendar_registry.h"
#include "store/system_time.h"

CListCommands::CListCommands(CDayView& dayView) : m_dayView(dayView) {}

CListCommands::~CListCommands() = default;

bool CListCommands::OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
    using Self = CListCommands;
    static constexpr fw::Route<Self> kRoutes[] = {
        fw::OnCommand<Self>(ID_LIST_NEW, &Self::OnNewAppointment),
        fw::OnCommand<Self>(ID_FILE_NEW_APPOINTMENT, &Self::OnNewAppointment),
        fw::OnCommand<Self>(ID_LIST_DELETE, &Self::OnDeleteAppointment),
        fw::OnNotify<Self>(IDC_APPOINTMENT_LIST, NM_RCLICK, &Self::OnListRightClick),
        fw::OnNotify<Self>(IDC_APPOINTMENT_LIST, LVN_KEYDOWN, &Self::OnListKeyDown),
        fw::OnMessage<Self>(WM_CONTEXTMENU, &Self::OnContextMenu),
    };
    return fw::DispatchRoutes(this, kRoutes, msg, wp, lp, result);
}

LRESULT CListCommands::OnListRightClick(NMHDR*) {
    ShowListMenu();
    return 0;
}

void CListCommands::ShowListMenu() {
    POINT cursor{};
    GetCursorPos(&cursor);
    ShowListMenuAt(cursor);
}

std::optional<LRESULT> CListCommands::OnContextMenu(WPARAM wp, LPARAM lp) {
    // Only the keyboard's request (the menu key, Shift+F10), which comes with
    // no position: a right click has opened the menu already (NM_RCLICK).
    HWND list = m_dayView.ListWindow();
    if (reinterpret_cast<HWND>(wp) != list || lp != -1)
        return std::nullopt;
    POINT at{0, 0};
    const int row = m_dayView.SelectedRow();
    RECT rect{};
    rect.left = LVIR_BOUNDS;
    // At the selected row when it is in view, else at the list's corner.
    RECT client{};
    GetClientRect(list, &client);
    if (row >= 0 &&
        SendMessageW(list, LVM_GETITEMRECT, static_cast<WPARAM>(row),
                     reinterpret_cast<LPARAM>(&rect)) != 0 &&
        rect.bottom > client.top && rect.top < client.bottom) {
        at.x = rect.left;
        at.y = rect.bottom;
    }
    ClientToScreen(list, &at);
    ShowListMenuAt(at);
    return 0;
}

LRESULT CListCommands::OnListKeyDown(NMHDR* header) {
    // Delete on a selected row asks and deletes, as the menu's Delete does.
    const auto* key = reinterpret_cast<const NMLVKEYDOWN*>(header);
    if (key->wVKey == VK_DELETE && m_dayView.SelectedRow() >= 0)
        OnDeleteAppointment();
    return 0;
}

void CListCommands::ShowListMenuAt(POINT screen) {
    fw::unique_hmenu menu(LoadMenuW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_LIST_MENU)));
    if (!menu)
        return;
    HMENU popup = GetSubMenu(menu.get(), 0);
    if (popup == nullptr)
        return;
    // Any selected row can be deleted, also one whose texts are empty: an
    // appointment left incomplete by another program would otherwise stay
    // for ever, since the purge cannot read its range either.
    if (m_dayView.SelectedRow() < 0)
        EnableMenuItem(popup, ID_LIST_DELETE, MF_BYCOMMAND | MF_GRAYED);
    if (m_dayView.RowKeyName(m_dayView.SelectedRow()).empty())
        EnableMenuItem(popup, ID_LIST_EDIT, MF_BYCOMMAND | MF_GRAYED);
    // The chosen command arrives as WM_COMMAND through the routing tables.
    TrackPopupMenu(popup, TPM_RIGHTBUTTON, screen.x, screen.y, 0, Hwnd(), nullptr);
}

void CListCommands::OnNewAppointment() {
    // Replacing the dialog object while it runs would free it under its own
    // message loop.
    if (m_pNewAppointmentDlg && m_pNewAppointmentDlg->IsModalRunning())
        return;
    // The box's text becomes the new appointment's detailed notes; one that
    // cannot be stored whole is refused before the dialog opens.
    if (!m_dayView.TakeDetailNotes())
        return;
    m_pNewAppointmentDlg = std::make_unique<CNewAppointmentDlg>(Hwnd());
    if (m_pNewAppointmentDlg->DoModal() == IDOK)
        SaveNewAppointment();
}

void CListCommands::SaveNewAppointment() {
    const CNewAppointmentDlg& dlg = *m_pNewAppointmentDlg;
    // Filed under the day the calendar shows, whatever its From and To are.
    SYSTEMTIME shown{};
    if (!m_dayView.GetShownDay(shown)) {
        fw::ShowNotice(Hwnd(), "Unable to save appointment");
        return;
    }
    const std::string dayText = FormatDateText(shown);
    const std::string fromText = FormatDateText(dlg.m_fromDate);
    const std::string toText = FormatDateText(dlg.m_toDate);

    const ical::AppointmentValues values{fromText,
                                         toText,
                                         dlg.m_strAppointmentNotes,
                                         dlg.m_strEvent,
                                         static_cast<std::uint32_t>(dlg.m_nEventIndex),
                                         m_dayView.DetailNotes(),
                                         dlg.m_time,
                                         dlg.m_series};
    CCalendarRegistry registry;
    std::string keyName;
    if (!registry.AddAppointment(dayText, values, &keyName)) {
        // A row for an appointment that is not stored would vanish at the
        // next refill.
        fw::ShowNotice(Hwnd(), "Unable to save appointment");
        return;
    }
    // A timed row takes its place by time; an all-day one goes at the end, as
    // long as no timed row, nor an occurrence of another day, is listed after
    // it.
    if (values.time.minuteOfDay || m_dayView.HasTimedRows() || m_dayView.HasOccurrenceRows())
        m_dayView.RefreshShownDay();
    else
        m_dayView.AddAppointmentRow(dlg.m_strEvent, dlg.m_strAppointmentNotes, dlg.m_nEventIndex,
                                    keyName);
}

void CListCommands::OnDeleteAppointment() {
    m_dayView.ModifySelectedAppointment(MODIFY_DELETE);
}
