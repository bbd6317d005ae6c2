#pragma once

#include "framework/handler.h"
#include "tray/reminder_cycle.h"

#include <functional>
#include <optional>

// When reminders come: the reminder timer, which runs while the main window
// is hidden, the tray menu's "Show Reminder", a user too busy to be
// disturbed, a snooze, and the clock's events (midnight, a change of the
// clock, a resume from sleep). It owns the reminder cycle, which shows them.
class CReminderTiming : public fw::Handler, public IReminderTimer {
public:
    CReminderTiming();
    ~CReminderTiming() override;

    bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) override;
    // No reminder thread may outlive the window it reports to.
    void OnDestroy() override;

    // Start-up's last step: from here on today follows the clock, and a
    // snooze that outlived the last run comes back when it ends.
    void StartClock();

    // The interval in minutes; never below one minute, however it is set.
    int ReminderMinutes() const { return m_nReminderMinutes; }
    void SetReminderMinutes(int minutes);

    // The reminder timer, from the window's show and hide; a restart asked
    // from a reminder thread is handed to the window's thread.
    void RestartReminderTimer() override;
    void StopReminderTimer();
    void ReminderSnoozed() override;

    // SCAN_REMIND: one reminder on the calling thread (scan, then pop-up).
    // SCAN_PURGE: deletes what ended before today. Returns 1.
    int ScanAppointments(int mode);
    void PurgeOutdated();

    CReminderCycle& Cycle() { return m_reminders; }

    // Starts a reminder thread (`timed`: from a timer rather than asked for
    // by the user). Tests replace it to watch the triggers.
    std::function<void(bool timed)> startReminderThread;

    // The timers: the reminder timer, and one-shots for the next day, a
    // resume from sleep, a user too busy for a reminder, a snooze.
    static constexpr UINT_PTR kReminderTimerId = 1;
    static constexpr UINT_PTR kDayTimerId = 3;
    static constexpr UINT_PTR kResumeTimerId = 4;
    static constexpr UINT_PTR kQuietTimerId = 5;
    static constexpr UINT_PTR kSnoozeTimerId = 6;

private:
    void OnTimer(UINT_PTR id);
    void OnShowReminder();
    std::optional<LRESULT> OnRestartTimer(WPARAM wp, LPARAM lp);
    std::optional<LRESULT> OnTimeChange(WPARAM wp, LPARAM lp);
    std::optional<LRESULT> OnPowerBroadcast(WPARAM wp, LPARAM lp);

    // A reminder that a timer brings: not while snoozed, and not while the
    // user must not be disturbed (it waits then, and is never dropped).
    void TimedReminder();
    // Sets the snooze timer to the end of the user's snooze, if any;
    // whether a snooze holds.
    bool ArmSnoozeTimer();
    // Today has changed, or may have: every controller hears it, a pop-up
    // of another day's lines closes, and the day timer is set for the start
    // of the next day.
    void OnDayChange();

    int m_nReminderMinutes = 1;
    // The change of day closed a pop-up; a reminder of the new day follows
    // when it has gone. The window's thread only.
    bool m_bRemindWhenClosed = false;
    CReminderCycle m_reminders{*this};
};
