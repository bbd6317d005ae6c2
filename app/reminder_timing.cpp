#include "app/reminder_timing.h"

#include "app/calendar_host.h"
#include "app/window_modes.h"
#include "framework/clock.h"
#include "res/resource.h"
#include "settings/interval.h"
#include "store/system_time.h"
#include "tray/notification_state.h"
#include "tray/reminder_schedule.h"
#include "tray/user_reminder_state.h"

#include <utility>

namespace {
// A reminder thread hands the restart of the reminder timer to the window's
// own thread with this message.
constexpr UINT kRestartTimerMessage = WM_APP + 1;

// Until the first instant of the day after `now`, by the system's zone rules:
// a day the clocks change on is not 24 hours long.
unsigned MsUntilNextLocalDay(const SYSTEMTIME& now) {
    return MsUntilNextDay(LocalMomentOf(now), [](std::int64_t utcMs) -> std::optional<LocalMoment> {
        SYSTEMTIME local{};
        if (!LocalTimeOfUtc(utcMs, local))
            return std::nullopt;
        return LocalMomentOf(local);
    });
}
} // namespace

CReminderTiming::CReminderTiming()
    : fw::Handler(kReminderTimerIds),
      startReminderThread([this](bool timed) { m_reminders.Trigger(timed); }) {}

CReminderTiming::~CReminderTiming() = default;

bool CReminderTiming::OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
    using Self = CReminderTiming;
    static constexpr fw::Route<Self> kRoutes[] = {
        fw::OnTimer<Self>(&Self::OnTimer),
        fw::OnCommand<Self>(ID_TRAY_SHOW_REMINDER, &Self::OnShowReminder),
        fw::OnMessage<Self>(kRestartTimerMessage, &Self::OnRestartTimer),
        fw::OnMessage<Self>(WM_TIMECHANGE, &Self::OnTimeChange),
        fw::OnMessage<Self>(WM_POWERBROADCAST, &Self::OnPowerBroadcast),
    };
    return fw::DispatchRoutes(this, kRoutes, msg, wp, lp, result);
}

void CReminderTiming::OnDestroy() {
    m_reminders.Stop();
}

void CReminderTiming::StartClock() {
    OnDayChange();
    ArmSnoozeTimer();
}

void CReminderTiming::SetReminderMinutes(int minutes) {
    m_nReminderMinutes = RunningIntervalMinutes(minutes);
}

void CReminderTiming::RestartReminderTimer() {
    // A pop-up closed by Unload must not set a timer on a window that goes.
    if (m_reminders.IsStopped())
        return;
    // A reminder thread asks the window's own thread, which owns the
    // interval and the timer.
    HWND window = Hwnd();
    if (window != nullptr && GetWindowThreadProcessId(window, nullptr) != GetCurrentThreadId()) {
        PostMessageA(window, kRestartTimerMessage, 0, 0);
        return;
    }
    KillTimer(kReminderTimerId);
    SetTimer(kReminderTimerId, ReminderPeriodMs(m_nReminderMinutes));
}

void CReminderTiming::StopReminderTimer() {
    KillTimer(kReminderTimerId);
}

std::optional<LRESULT> CReminderTiming::OnRestartTimer(WPARAM, LPARAM) {
    RestartReminderTimer();
    // The pop-up that the change of day closed has gone: today's reminder
    // takes its place, as timed reminders come, while the window is hidden.
    if (std::exchange(m_bRemindWhenClosed, false) && !IsWindowVisible(Hwnd()))
        TimedReminder();
    return 0;
}

void CReminderTiming::OnTimer(UINT_PTR id) {
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

void CReminderTiming::TimedReminder() {
    if (m_reminders.IsBusy() != 0)
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
    startReminderThread(true);
}

bool CReminderTiming::ArmSnoozeTimer() {
    const std::optional<unsigned> left = SnoozeLeftMs(fw::LocalNow());
    if (!left) {
        KillTimer(kSnoozeTimerId);
        return false;
    }
    SetTimer(kSnoozeTimerId, *left + kDayChangeMarginMs);
    return true;
}

void CReminderTiming::ReminderSnoozed() {
    // From the reminder thread: SetTimer hands itself to the window's thread.
    ArmSnoozeTimer();
}

void CReminderTiming::OnShowReminder() {
    if (m_reminders.IsBusy() == 0)
        startReminderThread(false);
    else
        m_reminders.BringPopupForward();
}

void CReminderTiming::OnDayChange() {
    const SYSTEMTIME now = fw::LocalNow();
    SendMessageW(Hwnd(), kDayChangeNotice, 0, 0);
    // A pop-up still showing another day's lines closes; its close restarts
    // the reminder timer through the window's thread, and a fresh reminder
    // follows then.
    if (m_reminders.CloseOtherDaysPopup(DateOf(now)))
        m_bRemindWhenClosed = true;
    SetTimer(kDayTimerId, MsUntilNextLocalDay(now));
}

std::optional<LRESULT> CReminderTiming::OnTimeChange(WPARAM, LPARAM) {
    OnDayChange();
    ArmSnoozeTimer();
    // The other controllers hear of it too.
    return std::nullopt;
}

std::optional<LRESULT> CReminderTiming::OnPowerBroadcast(WPARAM wp, LPARAM) {
    if (wp == PBT_APMRESUMEAUTOMATIC || wp == PBT_APMRESUMESUSPEND) {
        // Timers stood still during the sleep; the day may have changed.
        OnDayChange();
        ArmSnoozeTimer();
        if (IsTimerRunning(kReminderTimerId))
            SetTimer(kResumeTimerId, kResumeDelayMs);
    }
    // The other controllers hear of it too; the window answers it.
    return std::nullopt;
}

int CReminderTiming::ScanAppointments(int mode) {
    if (mode == SCAN_PURGE)
        m_reminders.Purge();
    else if (mode == SCAN_REMIND)
        m_reminders.RunReminder();
    return 1;
}

void CReminderTiming::PurgeOutdated() {
    ScanAppointments(SCAN_PURGE);
}
