// The reminder cycle as the main window sees it: its timer and the tray
// menu's "Show Reminder" trigger the cycle, which it owns and forwards to.
#include "app/calendar_dlg.h"

#include "store/calendar_registry.h"

void CCalendarDlg::OnTimer(UINT_PTR) {
    if (IsReminderBusy() == 0)
        StartReminderThread();
}

void CCalendarDlg::OnShowReminder() {
    if (IsReminderBusy() == 0)
        StartReminderThread();
}

void CCalendarDlg::StartReminderThread() {
    m_reminders.Trigger();
}

void CCalendarDlg::ReminderThreadProc() {
    ScanAppointments(SCAN_REMIND);
}

void CCalendarDlg::PurgeOutdated() {
    ScanAppointments(SCAN_PURGE);
}

int CCalendarDlg::ScanAppointments(int mode) {
    if (mode == SCAN_PURGE)
        m_reminders.Purge();
    else if (mode == SCAN_REMIND)
        m_reminders.RunReminder();
    return 1;
}

void CCalendarDlg::SetReminderBusy(int busy) {
    m_reminders.SetReminderBusy(busy);
}

int CCalendarDlg::IsReminderBusy() const {
    return m_reminders.IsBusy();
}

std::optional<LRESULT> CCalendarDlg::OnDestroy(WPARAM, LPARAM) {
    // No reminder thread may outlive the window it reports to.
    m_reminders.Stop();
    return std::nullopt;
}
