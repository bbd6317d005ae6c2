// The reminder cycle as the main window sees it: its timers and the tray
// menu's "Show Reminder" trigger the cycle, which it owns and forwards to;
// the change of day, of the clock and a resume from sleep reach it here.
#include "app/calendar_dlg.h"

#include "framework/clock.h"
#include "store/calendar_registry.h"
#include "tray/notification_state.h"
#include "tray/user_reminder_state.h"

void CCalendarDlg::OnTimer(UINT_PTR id) {
    switch (id) {
    case kDayTimerId:
        OnDayChange();
        return;
    case kResumeTimerId:
    case kSnoozeTimerId:
        KillTimer(id);
        // Timed reminders come only while the reminder timer runs.
        if (IsTimerRunning(kReminderTimerId))
            TimedReminder();
        return;
    case kQuietTimerId:
        if (IsTimerRunning(kReminderTimerId))
            TimedReminder();
        else
            KillTimer(kQuietTimerId);
        return;
    default:
        TimedReminder();
        return;
    }
}

void CCalendarDlg::TimedReminder() {
    if (IsReminderBusy() != 0)
        return;
    // The snooze timer brings the reminder back when the snooze ends.
    if (ArmSnoozeTimer()) {
        KillTimer(kQuietTimerId);
        return;
    }
    if (NotificationStateHoldsReminders(QueryUserNotificationState())) {
        // Asked again until the user may be disturbed; the reminder timer
        // goes on as well.
        if (!IsTimerRunning(kQuietTimerId))
            SetTimer(kQuietTimerId, kQuietPollMs);
        return;
    }
    KillTimer(kQuietTimerId);
    StartReminderThread(true);
}

bool CCalendarDlg::ArmSnoozeTimer() {
    const std::optional<unsigned> left = SnoozeLeftMs(fw::LocalNow());
    if (!left) {
        KillTimer(kSnoozeTimerId);
        return false;
    }
    SetTimer(kSnoozeTimerId, *left + kDayChangeMarginMs);
    return true;
}

void CCalendarDlg::ReminderSnoozed() {
    // From the reminder thread: SetTimer hands itself to the window's thread.
    ArmSnoozeTimer();
}

void CCalendarDlg::OnShowReminder() {
    if (IsReminderBusy() == 0)
        StartReminderThread(false);
    else
        m_reminders.BringPopupForward();
}

void CCalendarDlg::StartReminderThread(bool timed) {
    m_reminders.Trigger(timed);
}

void CCalendarDlg::OnDayChange() {
    // MCM_SETTODAY moves only the marker: no selection change comes, so the
    // list and any unsaved typing in the notes box stay.
    const SYSTEMTIME now = fw::LocalNow();
    m_monthCal.SetToday(now);
    SetTimer(kDayTimerId, MsUntilNextDay(LocalMomentOf(now)));
}

std::optional<LRESULT> CCalendarDlg::OnTimeChange(WPARAM, LPARAM) {
    OnDayChange();
    ArmSnoozeTimer();
    return 0;
}

std::optional<LRESULT> CCalendarDlg::OnPowerBroadcast(WPARAM wp, LPARAM) {
    if (wp == PBT_APMRESUMEAUTOMATIC || wp == PBT_APMRESUMESUSPEND) {
        // Timers stood still during the sleep; the day may have changed.
        OnDayChange();
        ArmSnoozeTimer();
        if (IsTimerRunning(kReminderTimerId))
            SetTimer(kResumeTimerId, kResumeDelayMs);
    }
    return TRUE;
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
