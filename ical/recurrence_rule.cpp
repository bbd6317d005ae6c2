#include "ical/recurrence_rule.h"

#include "ical/ical_text.h"

#include <algorithm>

namespace ical {

namespace {

constexpr const char* kWeekdayCodes[7] = {"MO", "TU", "WE", "TH", "FR", "SA", "SU"};

// A signed decimal of at most `maxDigits` digits filling the whole text.
bool ReadInteger(std::string_view text, int maxDigits, std::int64_t& value, bool allowSign) {
    std::size_t i = 0;
    bool negative = false;
    if (allowSign && !text.empty() && (text[0] == '+' || text[0] == '-')) {
        negative = text[0] == '-';
        ++i;
    }
    if (i == text.size() || static_cast<int>(text.size() - i) > maxDigits)
        return false;
    value = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9')
            return false;
        value = value * 10 + (text[i] - '0');
    }
    if (negative)
        value = -value;
    return true;
}

int WeekdayOfCode(std::string_view code) {
    for (int i = 0; i < 7; ++i)
        if (code == kWeekdayCodes[i])
            return i;
    return -1;
}

std::vector<std::string_view> SplitOn(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    while (true) {
        const std::size_t at = text.find(separator);
        parts.push_back(text.substr(0, at));
        if (at == std::string_view::npos)
            return parts;
        text.remove_prefix(at + 1);
    }
}

bool ParseIntegerList(std::string_view value, int low, int high, bool allowNegative,
                      std::vector<int>& list) {
    for (std::string_view item : SplitOn(value, ',')) {
        std::int64_t number;
        if (!ReadInteger(item, 2, number, allowNegative))
            return false;
        const std::int64_t magnitude = number < 0 ? -number : number;
        if (magnitude < low || magnitude > high)
            return false;
        list.push_back(static_cast<int>(number));
    }
    return true;
}

} // namespace

bool ParseRecurrenceRule(std::string_view text, RecurrenceRule& rule, std::string& why) {
    rule = RecurrenceRule{};
    const std::string upper = UpperAscii(text);
    bool sawFrequency = false;
    for (std::string_view part : SplitOn(upper, ';')) {
        if (part.empty())
            continue; // a trailing ';' is common
        const std::size_t equals = part.find('=');
        if (equals == std::string_view::npos) {
            why = "RRULE part " + QuoteForMessage(part) + " has no '='";
            return false;
        }
        const std::string_view name = part.substr(0, equals);
        const std::string_view value = part.substr(equals + 1);
        const auto bad = [&] {
            why = "RRULE " + std::string(name) + "=" + QuoteForMessage(value) + " is malformed";
            return false;
        };
        if (name == "FREQ") {
            sawFrequency = true;
            if (value == "DAILY")
                rule.frequency = Frequency::Daily;
            else if (value == "WEEKLY")
                rule.frequency = Frequency::Weekly;
            else if (value == "MONTHLY")
                rule.frequency = Frequency::Monthly;
            else if (value == "YEARLY")
                rule.frequency = Frequency::Yearly;
            else {
                why = "RRULE FREQ=" + std::string(value) +
                      " is not taken: appointments repeat by whole days";
                return false;
            }
        } else if (name == "INTERVAL") {
            std::int64_t interval;
            if (!ReadInteger(value, 6, interval, false) || interval < 1)
                return bad();
            rule.interval = static_cast<int>(interval);
        } else if (name == "COUNT") {
            if (!ReadInteger(value, 9, rule.count, false) || rule.count < 1)
                return bad();
        } else if (name == "UNTIL") {
            if (value.empty())
                return bad();
            rule.until = std::string(value);
        } else if (name == "BYDAY") {
            for (std::string_view item : SplitOn(value, ',')) {
                if (item.size() < 2)
                    return bad();
                WeekdayEntry entry;
                entry.weekday = WeekdayOfCode(item.substr(item.size() - 2));
                if (entry.weekday < 0)
                    return bad();
                const std::string_view ordinal = item.substr(0, item.size() - 2);
                if (!ordinal.empty()) {
                    std::int64_t number;
                    if (!ReadInteger(ordinal, 2, number, true) || number == 0 || number > 53 ||
                        number < -53)
                        return bad();
                    entry.ordinal = static_cast<int>(number);
                }
                rule.byDay.push_back(entry);
            }
        } else if (name == "BYMONTHDAY") {
            if (!ParseIntegerList(value, 1, 31, true, rule.byMonthDay))
                return bad();
        } else if (name == "BYMONTH") {
            if (!ParseIntegerList(value, 1, 12, false, rule.byMonth))
                return bad();
        } else if (name == "WKST") {
            rule.weekStart = WeekdayOfCode(value);
            if (rule.weekStart < 0)
                return bad();
        } else {
            why =
                "RRULE " + std::string(name) + " is not taken; the event would have to be guessed";
            return false;
        }
    }
    if (!sawFrequency) {
        why = "RRULE has no FREQ";
        return false;
    }
    const bool ordinals = std::any_of(rule.byDay.begin(), rule.byDay.end(),
                                      [](const WeekdayEntry& e) { return e.ordinal != 0; });
    if (ordinals && (rule.frequency == Frequency::Daily || rule.frequency == Frequency::Weekly)) {
        why = "RRULE BYDAY with a number is for MONTHLY and YEARLY rules only";
        return false;
    }
    if (ordinals && rule.frequency == Frequency::Yearly && rule.byMonth.empty() &&
        !rule.byMonthDay.empty()) {
        why = "RRULE BYDAY with a number and BYMONTHDAY need a BYMONTH in a YEARLY rule";
        return false;
    }
    if (!rule.byMonthDay.empty() && rule.frequency == Frequency::Weekly) {
        why = "RRULE BYMONTHDAY is not taken in a WEEKLY rule";
        return false;
    }
    std::sort(rule.byMonth.begin(), rule.byMonth.end());
    return true;
}

namespace {

bool Contains(const std::vector<int>& list, int value) {
    return std::find(list.begin(), list.end(), value) != list.end();
}

// Whether the day of a month of `days` days is one of BYMONTHDAY's.
bool MatchesMonthDay(const std::vector<int>& byMonthDay, int day, int days) {
    for (const int wanted : byMonthDay)
        if (wanted == day || (wanted < 0 && days + 1 + wanted == day))
            return true;
    return false;
}

// Whether the date matches a BYDAY entry; ordinals count within the span
// [first, last] of the period (a month, or a whole year).
bool MatchesWeekday(const std::vector<WeekdayEntry>& byDay, const CalendarDate& date,
                    std::int64_t first, std::int64_t last) {
    const std::int64_t day = DayNumber(date);
    const int weekday = Weekday(date);
    for (const WeekdayEntry& entry : byDay) {
        if (entry.weekday != weekday)
            continue;
        if (entry.ordinal == 0 || (entry.ordinal > 0 && (day - first) / 7 + 1 == entry.ordinal) ||
            (entry.ordinal < 0 && (last - day) / 7 + 1 == -entry.ordinal))
            return true;
    }
    return false;
}

// The dates of one month that a MONTHLY rule (or a YEARLY one through
// BYMONTH) yields, in order.
void MonthDates(const RecurrenceRule& rule, const CalendarDate& start, int year, int month,
                std::vector<CalendarDate>& out) {
    const int days = DaysInMonth(year, month);
    const std::int64_t first = DayNumber({year, month, 1});
    const std::int64_t last = first + days - 1;
    if (rule.byMonthDay.empty() && rule.byDay.empty()) {
        if (start.day <= days)
            out.push_back({year, month, start.day});
        return;
    }
    for (int day = 1; day <= days; ++day) {
        const CalendarDate date{year, month, day};
        if (!rule.byMonthDay.empty() && !MatchesMonthDay(rule.byMonthDay, day, days))
            continue;
        if (!rule.byDay.empty() && !MatchesWeekday(rule.byDay, date, first, last))
            continue;
        out.push_back(date);
    }
}

// The dates a rule yields in its period number `period`, in order.
void PeriodDates(const RecurrenceRule& rule, const CalendarDate& start, std::int64_t period,
                 std::vector<CalendarDate>& out) {
    out.clear();
    const std::int64_t step = period * rule.interval;
    switch (rule.frequency) {
    case Frequency::Daily: {
        const CalendarDate date = AddDays(start, step);
        if (!rule.byMonth.empty() && !Contains(rule.byMonth, date.month))
            return;
        if (!rule.byMonthDay.empty() &&
            !MatchesMonthDay(rule.byMonthDay, date.day, DaysInMonth(date.year, date.month)))
            return;
        if (!rule.byDay.empty() && !MatchesWeekday(rule.byDay, date, 0, 0))
            return;
        out.push_back(date);
        return;
    }
    case Frequency::Weekly: {
        const int offset = (Weekday(start) - rule.weekStart + 7) % 7;
        const std::int64_t weekFirst = DayNumber(start) - offset + step * 7;
        for (int i = 0; i < 7; ++i) {
            const CalendarDate date = DateOfDayNumber(weekFirst + i);
            const int weekday = Weekday(date);
            const bool wanted =
                rule.byDay.empty()
                    ? weekday == Weekday(start)
                    : std::any_of(rule.byDay.begin(), rule.byDay.end(),
                                  [&](const WeekdayEntry& e) { return e.weekday == weekday; });
            if (wanted && (rule.byMonth.empty() || Contains(rule.byMonth, date.month)))
                out.push_back(date);
        }
        return;
    }
    case Frequency::Monthly: {
        const std::int64_t index =
            static_cast<std::int64_t>(start.year) * 12 + start.month - 1 + step;
        const int year = static_cast<int>(index / 12);
        const int month = static_cast<int>(index % 12) + 1;
        if (rule.byMonth.empty() || Contains(rule.byMonth, month))
            MonthDates(rule, start, year, month, out);
        return;
    }
    case Frequency::Yearly: {
        const int year = static_cast<int>(start.year + step);
        if (!rule.byMonth.empty()) {
            for (const int month : rule.byMonth)
                MonthDates(rule, start, year, month, out);
        } else if (!rule.byMonthDay.empty()) {
            for (int month = 1; month <= 12; ++month)
                MonthDates(rule, start, year, month, out);
        } else if (!rule.byDay.empty()) {
            const std::int64_t first = DayNumber({year, 1, 1});
            const std::int64_t last = DayNumber({year, 12, 31});
            for (std::int64_t day = first; day <= last; ++day) {
                const CalendarDate date = DateOfDayNumber(day);
                if (MatchesWeekday(rule.byDay, date, first, last))
                    out.push_back(date);
            }
        } else if (start.day <= DaysInMonth(year, start.month)) {
            out.push_back({year, start.month, start.day});
        }
        return;
    }
    }
}

// The first day of a period, which no date of the period precedes.
CalendarDate PeriodFirstDay(const RecurrenceRule& rule, const CalendarDate& start,
                            std::int64_t period) {
    const std::int64_t step = period * rule.interval;
    switch (rule.frequency) {
    case Frequency::Daily:
        return AddDays(start, step);
    case Frequency::Weekly:
        return AddDays(start, step * 7 - (Weekday(start) - rule.weekStart + 7) % 7);
    case Frequency::Monthly: {
        const std::int64_t index =
            static_cast<std::int64_t>(start.year) * 12 + start.month - 1 + step;
        return {static_cast<int>(index / 12), static_cast<int>(index % 12) + 1, 1};
    }
    case Frequency::Yearly:
        return {static_cast<int>(start.year + step), 1, 1};
    }
    return start;
}

// How many whole periods lie between the start and `date`, counted low.
std::int64_t PeriodsBefore(const RecurrenceRule& rule, const CalendarDate& start,
                           const CalendarDate& date) {
    std::int64_t units = 0;
    switch (rule.frequency) {
    case Frequency::Daily:
        units = DayNumber(date) - DayNumber(start);
        break;
    case Frequency::Weekly:
        units = (DayNumber(date) - DayNumber(start)) / 7;
        break;
    case Frequency::Monthly:
        units = (static_cast<std::int64_t>(date.year) - start.year) * 12 + date.month - start.month;
        break;
    case Frequency::Yearly:
        units = date.year - start.year;
        break;
    }
    return units <= 0 ? 0 : units / rule.interval;
}

// Periods past year 9999 have no dates the store can hold.
bool PeriodInRange(const RecurrenceRule& rule, const CalendarDate& start, std::int64_t period) {
    const std::int64_t step = period * rule.interval;
    switch (rule.frequency) {
    case Frequency::Daily:
    case Frequency::Weekly: {
        const std::int64_t days = rule.frequency == Frequency::Daily ? step : step * 7 + 6;
        return DayNumber(start) + days <= DayNumber({9999, 12, 31});
    }
    case Frequency::Monthly:
        return start.year * 12LL + start.month - 1 + step <= 9999LL * 12 + 11;
    case Frequency::Yearly:
        return start.year + step <= 9999;
    }
    return false;
}

} // namespace

WalkEnd WalkOccurrences(const RecurrenceRule& rule, const Walk& walk,
                        const std::function<void(const LocalDateTime&)>& visit) {
    const CalendarDate start = walk.start.date;
    const auto afterUntil = [&](const CalendarDate& date) {
        return walk.until && WallSeconds({date, walk.start.seconds}) > WallSeconds(*walk.until);
    };
    std::int64_t produced = 1;
    visit(walk.start);
    if (rule.count != 0 && produced >= rule.count)
        return WalkEnd::Finished;
    // Without COUNT nothing before `skipTo` matters; one period early, since
    // a weekly period starts before the date it was counted from.
    std::int64_t period = rule.count == 0 ? PeriodsBefore(rule, start, walk.skipTo) : 0;
    period = period > 0 ? period - 1 : 0;
    std::vector<CalendarDate> dates;
    for (std::int64_t walked = 0;; ++period, ++walked) {
        if (!PeriodInRange(rule, start, period))
            return WalkEnd::Finished;
        const CalendarDate first = PeriodFirstDay(rule, start, period);
        if (afterUntil(first))
            return WalkEnd::Finished;
        if (CompareDates(first, walk.horizon) > 0)
            return WalkEnd::PastHorizon;
        if (walked >= walk.maxPeriods)
            return WalkEnd::OverBudget;
        PeriodDates(rule, start, period, dates);
        for (const CalendarDate& date : dates) {
            if (CompareDates(date, start) <= 0)
                continue; // DTSTART was the first, whether or not it matches
            if (afterUntil(date))
                return WalkEnd::Finished;
            if (CompareDates(date, walk.horizon) > 0)
                return WalkEnd::PastHorizon;
            visit({date, walk.start.seconds});
            if (rule.count != 0 && ++produced >= rule.count)
                return WalkEnd::Finished;
        }
    }
}

} // namespace ical
