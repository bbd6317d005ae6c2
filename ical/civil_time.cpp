#include "ical/civil_time.h"

namespace ical {

// Days from civil and back, after Howard Hinnant's public-domain algorithms:
// eras of 400 years, with March as the first month so that the leap day ends
// the year.
std::int64_t DayNumber(const CalendarDate& date) {
    const std::int64_t y = date.year - (date.month <= 2 ? 1 : 0);
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const std::int64_t yoe = y - era * 400;
    const std::int64_t m = date.month;
    const std::int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + date.day - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

CalendarDate DateOfDayNumber(std::int64_t days) {
    days += 719468;
    const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const std::int64_t doe = days - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    CalendarDate date;
    date.day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    date.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    date.year = static_cast<int>(yoe + era * 400 + (date.month <= 2 ? 1 : 0));
    return date;
}

CalendarDate AddDays(const CalendarDate& date, std::int64_t days) {
    return DateOfDayNumber(DayNumber(date) + days);
}

int Weekday(const CalendarDate& date) {
    // 1970-1-1 was a Thursday (3 counted from Monday).
    const std::int64_t shifted = DayNumber(date) + 3;
    return static_cast<int>(((shifted % 7) + 7) % 7);
}

bool IsValidDate(const CalendarDate& date) {
    return date.year >= 1 && date.year <= 9999 && date.month >= 1 && date.month <= 12 &&
           date.day >= 1 && date.day <= DaysInMonth(date.year, date.month);
}

CalendarDate OneYearAfter(const CalendarDate& date) {
    CalendarDate next{date.year + 1, date.month, date.day};
    if (next.day > DaysInMonth(next.year, next.month))
        next.day = DaysInMonth(next.year, next.month);
    return next;
}

std::int64_t WallSeconds(const LocalDateTime& time) {
    return DayNumber(time.date) * kSecondsPerDay + time.seconds;
}

LocalDateTime WallTimeOf(std::int64_t seconds) {
    std::int64_t days = seconds / kSecondsPerDay;
    std::int64_t rest = seconds % kSecondsPerDay;
    if (rest < 0) {
        rest += kSecondsPerDay;
        --days;
    }
    return {DateOfDayNumber(days), static_cast<int>(rest)};
}

} // namespace ical
