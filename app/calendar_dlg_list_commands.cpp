// The appointment list's context menu and its New and Delete commands.
#include "app/calendar_dlg.h"

#include "editing/new_appointment_dlg.h"
#include "framework/message_box.h"
#include "framework/unique_handle.h"
#include "res/resource.h"
#include "store/calendar_registry.h"
#include "store/date_text.h"
#include "store/system_time.h"

LRESULT CCalendarDlg::OnListRightClick(NMHDR*) {
    ShowListMenu();
    return 0;
}

void CCalendarDlg::ShowListMenu() {
    POINT cursor{};
    GetCursorPos(&cursor);
    ShowListMenuAt(cursor);
}

std::optional<LRESULT> CCalendarDlg::OnContextMenu(WPARAM wp, LPARAM lp) {
    // Only the keyboard's request (the menu key, Shift+F10), which comes with
    // no position: a right click has opened the menu already (NM_RCLICK).
    if (reinterpret_cast<HWND>(wp) != m_listAppointments.GetSafeHwnd() || lp != -1)
        return std::nullopt;
    HWND list = m_listAppointments.GetSafeHwnd();
    POINT at{0, 0};
    const int row = m_listAppointments.GetFirstSelected();
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

LRESULT CCalendarDlg::OnListKeyDown(NMHDR* header) {
    // Delete on a selected row asks and deletes, as the menu's Delete does.
    const auto* key = reinterpret_cast<const NMLVKEYDOWN*>(header);
    if (key->wVKey == VK_DELETE && m_listAppointments.GetFirstSelected() >= 0)
        OnDeleteAppointment();
    return 0;
}

void CCalendarDlg::ShowListMenuAt(POINT screen) {
    fw::unique_hmenu menu(LoadMenuW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_LIST_MENU)));
    if (!menu)
        return;
    HMENU popup = GetSubMenu(menu.get(), 0);
    if (popup == nullptr)
        return;
    // Any selected row can be deleted, also one whose texts are empty: an
    // appointment left incomplete by another program would otherwise stay
    // for ever, since the purge cannot read its range either.
    if (m_listAppointments.GetFirstSelected() < 0)
        EnableMenuItem(popup, ID_LIST_DELETE, MF_BYCOMMAND | MF_GRAYED);
    // The chosen command arrives as WM_COMMAND through the routing table.
    TrackPopupMenu(popup, TPM_RIGHTBUTTON, screen.x, screen.y, 0, m_hWnd, nullptr);
}

void CCalendarDlg::OnNewAppointment() {
    // Replacing the dialog object while it runs would free it under its own
    // message loop.
    if (m_pNewAppointmentDlg && m_pNewAppointmentDlg->IsModalRunning())
        return;
    // The box's text becomes the new appointment's detailed notes; one that
    // cannot be stored whole is refused before the dialog opens.
    if (!TakeDetailNotes())
        return;
    m_pNewAppointmentDlg = std::make_unique<CNewAppointmentDlg>(m_hWnd);
    if (m_pNewAppointmentDlg->DoModal() == IDOK)
        SaveNewAppointment();
}

void CCalendarDlg::SaveNewAppointment() {
    const CNewAppointmentDlg& dlg = *m_pNewAppointmentDlg;
    // Filed under the day the calendar shows, whatever its From and To are.
    SYSTEMTIME shown{};
    if (!m_monthCal.GetCurSel(shown)) {
        fw::ShowNotice(m_hWnd, "Unable to save appointment");
        return;
    }
    const std::string dayText = FormatDateText(shown);
    const std::string fromText = FormatDateText(dlg.m_fromDate);
    const std::string toText = FormatDateText(dlg.m_toDate);
    UpdateData(true);

    CCalendarRegistry registry;
    if (!registry.AddAppointment(dayText, fromText, toText, dlg.m_strAppointmentNotes,
                                 dlg.m_strEvent, dlg.m_nEventIndex, m_strDetailNotes)) {
        // A row for an appointment that is not stored would vanish at the
        // next refill.
        fw::ShowNotice(m_hWnd, "Unable to save appointment");
        return;
    }
    AddAppointmentRow(dlg.m_strEvent, dlg.m_strAppointmentNotes, dlg.m_nEventIndex);
}

void CCalendarDlg::OnDeleteAppointment() {
    ModifySelectedAppointment(MODIFY_DELETE);
}
