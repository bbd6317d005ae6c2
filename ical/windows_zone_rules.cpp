#include "ical/windows_zone_rules.h"

#include "ical/civil_time.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace ical {
namespace {

// 0 = Sunday, as SYSTEMTIME counts.
int SundayWeekday(const CalendarDate& date) {
    return (Weekday(date) + 1) % 7;
}

std::int64_t WallOf(const CalendarDate& date, int secondOfDay) {
    return DayNumber(date) * kSecondsPerDay + secondOfDay;
}

std::string FormatOffset(int seconds) {
    const char sign = seconds < 0 ? '-' : '+';
    const int magnitude = std::abs(seconds);
    char text[16];
    if (magnitude % 60 != 0)
        std::snprintf(text, sizeof text, "%c%02d%02d%02d", sign, magnitude / 3600,
                      magnitude / 60 % 60, magnitude % 60);
    else
        std::snprintf(text, sizeof text, "%c%02d%02d", sign, magnitude / 3600, magnitude / 60 % 60);
    return text;
}

std::string FormatLocal(const CalendarDate& date, int secondOfDay) {
    char text[32];
    secondOfDay = std::min(secondOfDay, static_cast<int>(kSecondsPerDay) - 1);
    std::snprintf(text, sizeof text, "%04d%02d%02dT%02d%02d%02d", date.year, date.month, date.day,
                  secondOfDay / 3600, secondOfDay / 60 % 60, secondOfDay % 60);
    return text;
}

const char* const kDayCodes[] = {"SU", "MO", "TU", "WE", "TH", "FR", "SA"};

// One STANDARD or DAYLIGHT observance.
void AppendObservance(std::vector<std::string>& lines, const char* kind,
                      const ZoneChangeDate& change, int firstYear, int offsetFrom, int offsetTo) {
    CalendarDate date{firstYear, 1, 1};
    int second = 0;
    bool yearly = false;
    if (change.month != 0) {
        yearly = change.year == 0;
        const int year = yearly ? firstYear : change.year;
        if (!ChangeInYear(change, year, date, second)) {
            date = {year, 1, 1};
            second = 0;
            yearly = false;
        }
    }
    lines.push_back(std::string("BEGIN:") + kind);
    lines.push_back("DTSTART:" + FormatLocal(date, second));
    if (yearly) {
        const int ordinal = change.day >= 5 ? -1 : change.day;
        lines.push_back("RRULE:FREQ=YEARLY;BYMONTH=" + std::to_string(change.month) +
                        ";BYDAY=" + std::to_string(ordinal) + kDayCodes[change.dayOfWeek]);
    }
    lines.push_back("TZOFFSETFROM:" + FormatOffset(offsetFrom));
    lines.push_back("TZOFFSETTO:" + FormatOffset(offsetTo));
    lines.push_back(std::string("END:") + kind);
}

} // namespace

bool ChangeInYear(const ZoneChangeDate& change, int year, CalendarDate& date, int& secondOfDay) {
    if (change.month < 1 || change.month > 12 || change.hour < 0 || change.hour > 23 ||
        change.minute < 0 || change.minute > 59 || change.second < 0 || change.second > 59 ||
        change.milliseconds < 0 || change.milliseconds > 999 || year < 1 || year > 9999)
        return false;
    const int days = DaysInMonth(year, change.month);
    if (change.year != 0) {
        if (change.year != year || change.day < 1 || change.day > days)
            return false;
        date = {year, change.month, change.day};
    } else {
        if (change.day < 1 || change.day > 5 || change.dayOfWeek < 0 || change.dayOfWeek > 6)
            return false;
        const CalendarDate first{year, change.month, 1};
        int day = 1 + (change.dayOfWeek - SundayWeekday(first) + 7) % 7 + 7 * (change.day - 1);
        while (day > days)
            day -= 7;
        date = {year, change.month, day};
    }
    // A change at 23:59:59.999 is one at the next midnight: a wall clock read
    // to the second shows the old offset up to 23:59:59.
    secondOfDay =
        change.hour * 3600 + change.minute * 60 + change.second + (change.milliseconds > 0 ? 1 : 0);
    return true;
}

std::vector<ZoneChange> ChangesInYear(const WindowsZoneRules& rules, int year) {
    std::vector<ZoneChange> changes;
    if (!rules.HasDaylightTime())
        return changes;
    const int standard = rules.StandardOffset();
    const int daylight = rules.DaylightOffset();
    CalendarDate date;
    int second = 0;
    // Each change is given in the wall-clock time in force before it.
    if (ChangeInYear(rules.daylightDate, year, date, second))
        changes.push_back({WallOf(date, second) - standard, standard, daylight});
    if (ChangeInYear(rules.standardDate, year, date, second))
        changes.push_back({WallOf(date, second) - daylight, daylight, standard});
    std::sort(changes.begin(), changes.end(),
              [](const ZoneChange& a, const ZoneChange& b) { return a.utc < b.utc; });
    return changes;
}

int OffsetAtYearStart(const WindowsZoneRules& rules, int year) {
    const std::vector<ZoneChange> changes = ChangesInYear(rules, year);
    // Daylight time spans the turn of the year when the year's first change
    // ends it.
    if (!changes.empty() && changes.front().offsetBefore == rules.DaylightOffset() &&
        changes.front().offsetAfter == rules.StandardOffset() && changes.size() == 2)
        return rules.DaylightOffset();
    return rules.StandardOffset();
}

ZoneTimeline::ZoneTimeline(int firstYear, const std::vector<WindowsZoneRules>& rulesOfYears) {
    if (rulesOfYears.empty())
        return;
    m_initialOffset = OffsetAtYearStart(rulesOfYears.front(), firstYear);
    int current = m_initialOffset;
    for (std::size_t i = 0; i < rulesOfYears.size(); ++i) {
        const int year = firstYear + static_cast<int>(i);
        const int atStart = OffsetAtYearStart(rulesOfYears[i], year);
        if (i > 0 && atStart != current) {
            m_changes.push_back({WallOf({year, 1, 1}, 0) - current, current, atStart});
            current = atStart;
        }
        for (ZoneChange change : ChangesInYear(rulesOfYears[i], year)) {
            change.offsetBefore = current;
            m_changes.push_back(change);
            current = change.offsetAfter;
        }
    }
    std::stable_sort(m_changes.begin(), m_changes.end(),
                     [](const ZoneChange& a, const ZoneChange& b) { return a.utc < b.utc; });
    // Changes of one instant are one change (daylight time that begins and
    // ends at the same moment is none), and one that keeps the offset is no
    // change at all.
    std::vector<ZoneChange> merged;
    current = m_initialOffset;
    for (const ZoneChange& change : m_changes) {
        if (!merged.empty() && merged.back().utc == change.utc)
            merged.back().offsetAfter = change.offsetAfter;
        else
            merged.push_back({change.utc, current, change.offsetAfter});
        current = change.offsetAfter;
        if (merged.back().offsetBefore == merged.back().offsetAfter)
            merged.pop_back();
    }
    m_changes = std::move(merged);
}

int ZoneTimeline::OffsetAt(std::int64_t utc) const {
    int offset = m_initialOffset;
    for (const ZoneChange& change : m_changes) {
        if (change.utc > utc)
            break;
        offset = change.offsetAfter;
    }
    return offset;
}

std::int64_t ZoneTimeline::ToWall(std::int64_t utc) const {
    return utc + OffsetAt(utc);
}

std::int64_t ZoneTimeline::ToUtc(std::int64_t wall) const {
    // The stretches between changes, in time order: each shows the wall clock
    // from its start plus its offset up to its end plus that offset. Walking
    // them in order, the first that shows `wall` gives its first occurrence;
    // a change that jumps over it first is where the gap ends.
    int offset = m_initialOffset;
    for (const ZoneChange& change : m_changes) {
        if (wall < change.utc + offset)
            return wall - offset;
        if (wall < change.utc + change.offsetAfter)
            return change.utc;
        offset = change.offsetAfter;
    }
    return wall - offset;
}

std::vector<std::string> VTimeZoneLines(const std::string& tzid, const WindowsZoneRules& rules,
                                        int firstYear) {
    std::vector<std::string> lines;
    lines.push_back("BEGIN:VTIMEZONE");
    lines.push_back("TZID:" + tzid);
    const int standard = rules.StandardOffset();
    const int daylight = rules.DaylightOffset();
    if (rules.HasDaylightTime()) {
        AppendObservance(lines, "STANDARD", rules.standardDate, firstYear, daylight, standard);
        AppendObservance(lines, "DAYLIGHT", rules.daylightDate, firstYear, standard, daylight);
    } else {
        AppendObservance(lines, "STANDARD", {}, firstYear, standard, standard);
    }
    lines.push_back("END:VTIMEZONE");
    return lines;
}

} // namespace ical
