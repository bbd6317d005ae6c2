#pragma once

#include "tray/reminder_schedule.h"

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

// The user's own say over timed reminders, kept per user (see
// store/user_values.h) in the layout of tray/reminder_schedule.h: a snooze,
// and the lines dismissed for today. What belongs to a past day or has run
// out is removed when it is read; a damaged or foreign value is ignored.
// "Show Reminder" looks at none of it.

LocalMoment LocalMomentOf(const SYSTEMTIME& time);

// No timed reminder until `minutes` after `now`.
void SnoozeTimedReminders(const SYSTEMTIME& now, int minutes);
// How much longer a snooze holds timed reminders back, in milliseconds.
std::optional<unsigned> SnoozeLeftMs(const SYSTEMTIME& now);

// `lines` without those the user dismissed on the day of `now`.
std::vector<std::string> WithoutDismissedToday(const SYSTEMTIME& now,
                                               const std::vector<std::string>& lines);
// Dismisses `lines`, everything a reminder found on `day`, for that day. When
// `day` is not the day of `now` (it has ended, or the clock was set), nothing
// is recorded and today's dismissals stay as they are.
void DismissForDay(const CalendarDate& day, const SYSTEMTIME& now,
                   const std::vector<std::string>& lines);
