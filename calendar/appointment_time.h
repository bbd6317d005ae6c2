#pragma once

#include <optional>
#include <string>

// When an appointment happens within its days, and when it alerts: the
// values that a timed appointment carries beside the six every appointment
// has (stored as TIME, DURATION, REMIND BEFORE and TIME ZONE, see
// store/timed_values.h). Shared by the store, iCalendar and the windows; no
// system header.

inline constexpr int kMinutesPerDay = 24 * 60;
// Two weeks: longer than any meeting, trip or course day that is still one
// appointment; a longer one is a range of days.
inline constexpr int kMaxDurationMinutes = 14 * kMinutesPerDay;
// A week, the longest "remind me" calendars offer and a VALARM usually asks.
inline constexpr int kMaxRemindBeforeMinutes = 7 * kMinutesPerDay;
// What a new timed appointment starts with.
inline constexpr int kDefaultRemindBeforeMinutes = 15;

struct TimedValues {
    std::optional<int> minuteOfDay;  // TIME as minutes since midnight; none: all day
    std::optional<int> duration;     // minutes
    std::optional<int> remindBefore; // minutes; none: no alert
    std::string zone;                // IANA name; "": the computer's zone

    friend bool operator==(const TimedValues&, const TimedValues&) = default;
};

// "HH:MM": exactly two digits, ':', two digits, 00:00 to 23:59.
std::optional<int> ParseTimeOfDay(const std::string& text);
// The same form back; a minute outside the day gives "".
std::string FormatTimeOfDay(int minuteOfDay);
