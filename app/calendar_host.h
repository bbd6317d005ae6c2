#pragma once

#include "framework/handler.h"

#include <windows.h>

// What the main window's controllers share besides fw::HandlerHost (the
// window's handle, DPI and timers): the day the window shows, the notices sent
// through the window to every controller, and who owns which timer ids.

// The day the calendar shows and the list lists.
class IShownDay {
public:
    // False when the calendar has no selection.
    virtual bool GetShownDay(SYSTEMTIME& day) const = 0;
    // Lists the shown day again, after the store changed under it.
    virtual void RefreshShownDay() = 0;

protected:
    ~IShownDay() = default;
};

// Today has changed, or may have: midnight passed, the clock was set, the
// computer woke up. Sent to the main window; each controller acts on it and
// passes it on, so that all of them hear it.
inline constexpr UINT kDayChangeNotice = WM_APP + 2;

// The window timer ids of each controller that sets timers, a block each:
// 1 to 15 for the reminders (timer 1 is the reminder timer), then 16 to 31,
// 32 to 47 and on for the controllers to come. The window refuses two
// controllers whose ranges overlap.
inline constexpr fw::TimerIds kReminderTimerIds{1, 15};
inline constexpr fw::TimerIds kAlertTimerIds{16, 31};
inline constexpr fw::TimerIds kSyncTimerIds{32, 47};
