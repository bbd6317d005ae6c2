#pragma once

#include "calendar/date_text.h"

#include <cstdint>

// Day arithmetic on the proleptic Gregorian calendar, as plain numbers: a
// date is counted in days from 1970-1-1, an instant in seconds from
// 1970-1-1 00:00:00 UTC. Recurrence and time-zone rules step through dates
// this way without a library.
namespace ical {

std::int64_t DayNumber(const CalendarDate& date);
CalendarDate DateOfDayNumber(std::int64_t days);
CalendarDate AddDays(const CalendarDate& date, std::int64_t days);

// 0 = Monday ... 6 = Sunday, the order of RFC 5545's weekday codes.
int Weekday(const CalendarDate& date);

// Whether the fields name a real date of years 1 to 9999.
bool IsValidDate(const CalendarDate& date);

// The same day of the month one year on; 29 February gives 28 February.
CalendarDate OneYearAfter(const CalendarDate& date);

inline constexpr std::int64_t kSecondsPerDay = 86400;

// A wall-clock time: a date and the seconds since its midnight.
struct LocalDateTime {
    CalendarDate date;
    int seconds = 0; // 0 to 86399

    friend bool operator==(const LocalDateTime&, const LocalDateTime&) = default;
};

// Seconds from 1970-1-1 00:00:00 as if the wall clock were UTC.
std::int64_t WallSeconds(const LocalDateTime& time);
LocalDateTime WallTimeOf(std::int64_t seconds);

} // namespace ical
