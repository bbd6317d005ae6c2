#pragma once

#include "calendar/date_text.h"

#include <cstdint>
#include <string>
#include <vector>

// A time zone's rules as Windows keeps them (TIME_ZONE_INFORMATION, or the
// registry's TZI value and its Dynamic DST years), read without the system:
// the instants at which a year's offset changes, wall-clock time to UTC and
// back over a few years, and the VTIMEZONE that tells an iCalendar reader the
// same rules. Instants are seconds from 1970-1-1 00:00:00 UTC; wall-clock
// times are counted the same way as if the wall clock were UTC
// (ical::WallSeconds).
namespace ical {

// The StandardDate or DaylightDate of a TIME_ZONE_INFORMATION: SYSTEMTIME's
// fields. With year 0, the usual form, the change falls on the day-th
// dayOfWeek (0 = Sunday) of the month, 5 meaning the last, every year; with
// a year, on that date of that year only. The time is the wall-clock time
// before the change; 23:59:59.999 stands for the midnight after.
struct ZoneChangeDate {
    int year = 0;
    int month = 0; // 1 to 12; 0 in StandardDate: the zone keeps standard time
    int dayOfWeek = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
    int milliseconds = 0;

    friend bool operator==(const ZoneChangeDate&, const ZoneChangeDate&) = default;
};

// One year's rules: UTC = local time + bias (+ standardBias or daylightBias),
// in minutes.
struct WindowsZoneRules {
    int bias = 0;
    int standardBias = 0;
    int daylightBias = 0;
    ZoneChangeDate standardDate; // daylight time ends
    ZoneChangeDate daylightDate; // daylight time begins

    bool HasDaylightTime() const { return standardDate.month != 0 && daylightDate.month != 0; }
    // Seconds east of UTC.
    int StandardOffset() const { return -(bias + standardBias) * 60; }
    int DaylightOffset() const { return -(bias + daylightBias) * 60; }

    friend bool operator==(const WindowsZoneRules&, const WindowsZoneRules&) = default;
};

// The date and wall-clock second (0 to 86400) of a change in `year`; false
// when it has none that year (no daylight time, a dated change of another
// year, fields out of range or naming no day).
bool ChangeInYear(const ZoneChangeDate& change, int year, CalendarDate& date, int& secondOfDay);

// A change of the offset: from `utc` on, `offsetAfter` seconds east of UTC.
struct ZoneChange {
    std::int64_t utc = 0;
    int offsetBefore = 0;
    int offsetAfter = 0;

    friend bool operator==(const ZoneChange&, const ZoneChange&) = default;
};

// The changes of `year` under `rules`, in time order: none, or the start and
// the end of daylight time.
std::vector<ZoneChange> ChangesInYear(const WindowsZoneRules& rules, int year);

// The offset in force on 1 January of `year` at 00:00 under `rules`:
// daylight time where it spans the turn of the year (the southern
// hemisphere), else standard time.
int OffsetAtYearStart(const WindowsZoneRules& rules, int year);

// A zone's offsets over a stretch of years.
class ZoneTimeline {
public:
    ZoneTimeline() = default;
    // Consecutive years from `firstYear`, each under its own rules. Where a
    // year begins with another offset than the year before ended with (the
    // zone's standard offset changed), that is a change at its first
    // midnight.
    ZoneTimeline(int firstYear, const std::vector<WindowsZoneRules>& rulesOfYears);

    // The first instant at which the wall clock shows `wall`. A time that a
    // change skips (02:30 on the night clocks go from 02:00 to 03:00) gives
    // the instant of that change, the first after the gap; a time that
    // happens twice gives its first occurrence.
    std::int64_t ToUtc(std::int64_t wall) const;
    // The wall-clock time at an instant.
    std::int64_t ToWall(std::int64_t utc) const;
    int OffsetAt(std::int64_t utc) const;

    const std::vector<ZoneChange>& Changes() const { return m_changes; }

private:
    int m_initialOffset = 0;
    std::vector<ZoneChange> m_changes;
};

// A VTIMEZONE for `rules` under `tzid`, as content lines to be folded and
// ended by the writer ("BEGIN:VTIMEZONE" ... "END:VTIMEZONE"). Its
// observances begin in `firstYear` and repeat yearly (RRULE:FREQ=YEARLY with
// BYMONTH and BYDAY, -1 for the last) where the rules are of the yearly form;
// a zone without daylight time gets one STANDARD. A change at 23:59:59.999
// is written at 23:59:59.
std::vector<std::string> VTimeZoneLines(const std::string& tzid, const WindowsZoneRules& rules,
                                        int firstYear);

} // namespace ical
