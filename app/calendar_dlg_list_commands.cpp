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
    fw::unique_hmenu menu(LoadMenuA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_LIST_MENU)));
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
    TrackPopupMenu(popup, TPM_RIGHTBUTTON, cursor.x, cursor.y, 0, m_hWnd, nullptr);
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
