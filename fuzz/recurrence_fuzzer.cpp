// A repeating rule (the first line, as RRULE's value) with a start, a span
// of dates, a COUNT and an UNTIL drawn from the bytes after it. Properties:
//  - the engine's work follows the span asked for, not the distance from
//    the start: counting a COUNT from year 1 stays within a fixed bound;
//  - counting gives the dates that walking every period from DTSTART gives;
//  - over a few years, the dates are those that a day-by-day reading of the
//    rule (written apart from the engine's tables) selects.

#include "fuzz/fuzz_check.h"
#include "ical/civil_time.h"
#include "ical/recurrence_rule.h"
#include "ical/rule_occurrences.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

namespace {

using ical::Frequency;
using ical::LocalDateTime;
using ical::RecurrenceRule;

// The work that counting may take from any start, and the work a day of the
// span may add (a period looked at, a date produced and visited).
constexpr std::int64_t kCountingWork = 60000;
constexpr std::int64_t kWorkPerDay = 12;
constexpr int kNoon = 12 * 3600; // every occurrence's time of day

std::uint64_t TakeBytes(const std::uint8_t*& data, std::size_t& size, int count) {
    std::uint64_t value = 0;
    for (int i = 0; i < count; ++i) {
        value <<= 8;
        if (size > 0) {
            value |= *data++;
            --size;
        }
    }
    return value;
}

const std::int64_t kFirstDay = ical::DayNumber({1, 1, 1});
const std::int64_t kLastDay = ical::DayNumber({9999, 12, 31});

int MonthIndex(const CalendarDate& date) {
    return date.year * 12 + date.month - 1;
}

// Whether a BYDAY entry selects `day` within the period [first, last].
bool SelectsWeekday(const ical::WeekdayEntry& entry, std::int64_t day, std::int64_t first,
                    std::int64_t last) {
    if (ical::Weekday(ical::DateOfDayNumber(day)) != entry.weekday)
        return false;
    if (entry.ordinal > 0)
        return (day - first) / 7 + 1 == entry.ordinal;
    if (entry.ordinal < 0)
        return (last - day) / 7 + 1 == -entry.ordinal;
    return true;
}

bool AnyWeekday(const RecurrenceRule& rule, std::int64_t day, std::int64_t first,
                std::int64_t last) {
    return std::any_of(rule.byDay.begin(), rule.byDay.end(), [&](const ical::WeekdayEntry& e) {
        return SelectsWeekday(e, day, first, last);
    });
}

bool AnyMonthDay(const RecurrenceRule& rule, const CalendarDate& date) {
    const int days = DaysInMonth(date.year, date.month);
    return std::any_of(rule.byMonthDay.begin(), rule.byMonthDay.end(), [&](int wanted) {
        return wanted == date.day || (wanted < 0 && days + 1 + wanted == date.day);
    });
}

bool InMonths(const RecurrenceRule& rule, int month) {
    return rule.byMonth.empty() ||
           std::find(rule.byMonth.begin(), rule.byMonth.end(), month) != rule.byMonth.end();
}

// Whether the rule selects `day`, read from RFC 5545's table of which parts
// expand and which limit, day by day; COUNT and UNTIL left aside.
bool Selects(const RecurrenceRule& rule, const CalendarDate& start, std::int64_t day) {
    const CalendarDate date = ical::DateOfDayNumber(day);
    const std::int64_t startDay = ical::DayNumber(start);
    const std::int64_t n = rule.interval;
    if (!InMonths(rule, date.month))
        return false;
    const std::int64_t monthFirst = ical::DayNumber({date.year, date.month, 1});
    const std::int64_t monthLast = monthFirst + DaysInMonth(date.year, date.month) - 1;
    switch (rule.frequency) {
    case Frequency::Daily:
        return (day - startDay) % n == 0 && (rule.byMonthDay.empty() || AnyMonthDay(rule, date)) &&
               (rule.byDay.empty() || AnyWeekday(rule, day, day, day));
    case Frequency::Weekly: {
        const std::int64_t weekZero = startDay - (ical::Weekday(start) - rule.weekStart + 7) % 7;
        if (((day - weekZero) / 7) % n != 0)
            return false;
        return rule.byDay.empty() ? ical::Weekday(date) == ical::Weekday(start)
                                  : AnyWeekday(rule, day, day, day);
    }
    case Frequency::Monthly:
        if ((MonthIndex(date) - MonthIndex(start)) % n != 0)
            return false;
        if (rule.byMonthDay.empty() && rule.byDay.empty())
            return date.day == start.day;
        return (rule.byMonthDay.empty() || AnyMonthDay(rule, date)) &&
               (rule.byDay.empty() || AnyWeekday(rule, day, monthFirst, monthLast));
    case Frequency::Yearly: {
        if ((date.year - start.year) % n != 0)
            return false;
        if (rule.byMonthDay.empty() && rule.byDay.empty())
            return date.day == start.day && (!rule.byMonth.empty() || date.month == start.month);
        if (!rule.byMonthDay.empty())
            return AnyMonthDay(rule, date) &&
                   (rule.byDay.empty() || AnyWeekday(rule, day, monthFirst, monthLast));
        if (!rule.byMonth.empty())
            return AnyWeekday(rule, day, monthFirst, monthLast);
        return AnyWeekday(rule, day, ical::DayNumber({date.year, 1, 1}),
                          ical::DayNumber({date.year, 12, 31}));
    }
    }
    return false;
}

std::vector<std::int64_t> Between(ical::RuleOccurrences& occurrences, std::int64_t from,
                                  std::int64_t to, ical::WorkBudget& budget, ical::WalkEnd& end) {
    std::vector<std::int64_t> days;
    end = occurrences.Between(ical::DateOfDayNumber(from), ical::DateOfDayNumber(to), budget,
                              [&](const LocalDateTime& t) {
                                  FUZZ_CHECK(t.seconds == kNoon);
                                  days.push_back(ical::DayNumber(t.date));
                              });
    FUZZ_CHECK(std::is_sorted(days.begin(), days.end()));
    FUZZ_CHECK(std::adjacent_find(days.begin(), days.end()) == days.end());
    FUZZ_CHECK(days.empty() || (days.front() >= from && days.back() <= to));
    return days;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::uint8_t* end = static_cast<const std::uint8_t*>(std::memchr(data, '\n', size));
    if (end == nullptr)
        return 0;
    const std::string text(reinterpret_cast<const char*>(data), end - data);
    size -= end - data + 1;
    data = end + 1;
    RecurrenceRule rule;
    std::string why;
    if (!ical::ParseRecurrenceRule(text, rule, why))
        return 0;
    rule.until.clear();
    const std::int64_t span = kLastDay - kFirstDay + 1;
    const std::int64_t startDay =
        kFirstDay + static_cast<std::int64_t>(TakeBytes(data, size, 3)) % span;
    const std::int64_t from =
        startDay + static_cast<std::int64_t>(TakeBytes(data, size, 3)) % (kLastDay - startDay + 1);
    const std::int64_t to =
        std::min(kLastDay, from + static_cast<std::int64_t>(TakeBytes(data, size, 2) % 800));
    rule.count = static_cast<std::int64_t>(TakeBytes(data, size, 3) % 4000000);
    const CalendarDate start = ical::DateOfDayNumber(startDay);
    // UNTIL, when the last bytes ask for one: days after the start, and a
    // time of day before or after the start's (noon).
    const std::uint64_t untilBytes = TakeBytes(data, size, 3);
    std::optional<LocalDateTime> until;
    if (untilBytes != 0)
        until = LocalDateTime{
            ical::DateOfDayNumber(std::min(
                kLastDay, startDay + static_cast<std::int64_t>((untilBytes >> 1) % 4000000))),
            untilBytes & 1 ? 86399 : 0};
    const auto beforeUntil = [&](std::int64_t day) {
        return !until ||
               ical::WallSeconds({ical::DateOfDayNumber(day), kNoon}) <= ical::WallSeconds(*until);
    };

    // Counted: bounded by the span, wherever it lies.
    ical::WorkBudget budget(INT64_MAX / 2);
    ical::WalkEnd counted;
    ical::RuleOccurrences occurrences(rule, {start, kNoon}, until);
    const std::vector<std::int64_t> days = Between(occurrences, from, to, budget, counted);
    if (budget.Spent() > kCountingWork + kWorkPerDay * (to - from + 1 + 800))
        std::fprintf(stderr, "%s from %s, %s to %s: %lld steps\n", text.c_str(),
                     FormatDateText(start).c_str(),
                     FormatDateText(ical::DateOfDayNumber(from)).c_str(),
                     FormatDateText(ical::DateOfDayNumber(to)).c_str(),
                     static_cast<long long>(budget.Spent()));
    FUZZ_CHECK(budget.Spent() <= kCountingWork + kWorkPerDay * (to - from + 1 + 800));
    FUZZ_CHECK(counted != ical::WalkEnd::OverBudget);

    // The same question asked again of the same object is answered alike.
    ical::WalkEnd again;
    FUZZ_CHECK(Between(occurrences, from, to, budget, again) == days && again == counted);

    // Walked: every period from DTSTART, where that can be afforded.
    ical::WorkBudget walking(3000000);
    ical::WalkEnd walked;
    ical::RuleOccurrences fresh(rule, {start, kNoon}, until);
    std::vector<std::int64_t> all = Between(fresh, startDay, to, walking, walked);
    if (walked == ical::WalkEnd::OverBudget)
        return 0;
    FUZZ_CHECK(walked == counted);
    std::vector<std::int64_t> inSpan;
    std::copy_if(all.begin(), all.end(), std::back_inserter(inSpan),
                 [&](std::int64_t d) { return d >= from; });
    FUZZ_CHECK(inSpan == days);

    // Read day by day over a few years.
    if (to - startDay > 3 * 366)
        return 0;
    std::vector<std::int64_t> read{startDay};
    for (std::int64_t day = startDay + 1;
         day <= to && beforeUntil(day) &&
         (rule.count == 0 || static_cast<std::int64_t>(read.size()) < rule.count);
         ++day)
        if (Selects(rule, start, day))
            read.push_back(day);
    FUZZ_CHECK(read == all);
    return 0;
}
