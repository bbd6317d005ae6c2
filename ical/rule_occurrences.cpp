#include "ical/rule_occurrences.h"

#include <algorithm>
#include <bit>
#include <numeric>
#include <utility>

namespace ical {

namespace {

// The Gregorian calendar repeats every 400 years: 146,097 days, which is a
// whole number of weeks, and 4,800 months.
constexpr std::int64_t kCycleYears = 400;
constexpr std::int64_t kCycleMonths = 4800;
constexpr std::int64_t kCycleDays = 146097;

// Day of the year on which each month begins, in common and in leap years.
constexpr int kMonthStart[2][13] = {
    {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334, 365},
    {0, 31, 60, 91, 121, 152, 182, 213, 244, 274, 305, 335, 366},
};

std::int64_t FloorDiv(std::int64_t a, std::int64_t b) {
    std::int64_t q = a / b;
    if (a % b != 0 && (a < 0) != (b < 0))
        --q;
    return q;
}

std::int64_t Mod(std::int64_t a, std::int64_t m) {
    const std::int64_t r = a % m;
    return r < 0 ? r + m : r;
}

int WeekdayOfDay(std::int64_t day) {
    return static_cast<int>(Mod(day + 3, 7)); // 1970-1-1 was a Thursday
}

bool IsLeap(std::int64_t year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

// Day number of 1 January of a year from 1 on, without the general
// conversion: the engines ask it for every year they count.
std::int64_t FirstOfYear(std::int64_t year) {
    const std::int64_t before = year - 1;
    return 365 * before + before / 4 - before / 100 + before / 400 - 719162;
}

// A year's class, which fixes all its dates' months and weekdays: leap or
// not, and the weekday of 1 January.
int YearClassOf(std::int64_t year) {
    return (IsLeap(year) ? 7 : 0) + WeekdayOfDay(FirstOfYear(year));
}

int MonthLength(int leap, int month) {
    return kMonthStart[leap][month] - kMonthStart[leap][month - 1];
}

// Day number of the 1st of a month given as year * 12 + month - 1.
std::int64_t FirstOfMonth(std::int64_t index) {
    const std::int64_t year = index / 12;
    return FirstOfYear(year) + kMonthStart[IsLeap(year) ? 1 : 0][index % 12];
}

// Each month of the 400-year cycle (from a January whose year 400 divides),
// by its length and the weekday of its 1st, as RuleOccurrences::MonthDays
// keys them: counting months looks them up instead of working them out.
const std::array<std::uint8_t, kCycleMonths>& CycleMonthKeys() {
    static const std::array<std::uint8_t, kCycleMonths> keys = [] {
        std::array<std::uint8_t, kCycleMonths> table{};
        for (std::int64_t i = 0; i < kCycleMonths; ++i) {
            const std::int64_t index = 2000 * 12 + i;
            const int length =
                MonthLength(IsLeap(index / 12) ? 1 : 0, static_cast<int>(i % 12) + 1);
            table[i] =
                static_cast<std::uint8_t>((length - 28) * 7 + WeekdayOfDay(FirstOfMonth(index)));
        }
        return table;
    }();
    return keys;
}

std::uint32_t AllDays(int days) {
    return days >= 32 ? 0xFFFFFFFFu : (1u << days) - 1u;
}

// The days of a month that fall on the weekdays of `weekdays` (bit 0 =
// Monday): the month's first week, repeated every seven days.
std::uint32_t WeekdayDays(int days, int firstWeekday, unsigned weekdays) {
    const std::uint32_t firstWeek =
        ((weekdays >> firstWeekday) | (weekdays << (7 - firstWeekday))) & 0x7Fu;
    return firstWeek * 0x10204081u & AllDays(days); // days 1, 8, 15, 22 and 29 on
}

std::uint32_t MonthDayDays(const std::vector<int>& byMonthDay, int days) {
    std::uint32_t mask = 0;
    for (const int wanted : byMonthDay) {
        const int day = wanted > 0 ? wanted : days + 1 + wanted;
        if (day >= 1 && day <= days)
            mask |= 1u << (day - 1);
    }
    return mask;
}

// The sum of `count` over the periods [first, end), where `count` repeats
// every `cycle` periods (0: it does not): no more than one cycle is looked
// at, each period for `cost` steps. `count` answers nothing when the budget
// ran out.
template <class Count>
std::optional<std::int64_t> PeriodicSum(std::int64_t first, std::int64_t end, std::int64_t cycle,
                                        int cost, WorkBudget& budget, Count&& count) {
    const std::int64_t length = end - first;
    if (length <= 0)
        return 0;
    const bool repeats = cycle > 0 && length > cycle;
    const std::int64_t looked = repeats ? cycle : length;
    const std::int64_t part = repeats ? length % cycle : length;
    std::int64_t total = 0, partTotal = 0;
    for (std::int64_t i = 0; i < looked; ++i) {
        if (i == part)
            partTotal = total;
        if (!budget.Spend(cost))
            return std::nullopt;
        const std::optional<std::int64_t> n = count(first + i);
        if (!n)
            return std::nullopt;
        total += *n;
    }
    if (!repeats)
        return total;
    return length / cycle * total + partTotal;
}

const std::int64_t kLastDay = DayNumber({9999, 12, 31});

} // namespace

RuleOccurrences::RuleOccurrences(const RecurrenceRule& rule, const LocalDateTime& start,
                                 std::optional<LocalDateTime> until)
    : m_rule(rule), m_start(start), m_startDay(DayNumber(start.date)) {
    m_yearCount.fill(-1);
    if (until)
        m_untilSeconds = WallSeconds(*until);
    if (m_rule.interval < 1)
        m_rule.interval = 1;
    // A part listed twice changes nothing, and an ordinal past the fifth never
    // falls in a month: the tables' work follows the rule's distinct parts.
    const bool inMonths = m_rule.frequency == Frequency::Monthly ||
                          (m_rule.frequency == Frequency::Yearly &&
                           (!m_rule.byMonth.empty() || !m_rule.byMonthDay.empty()));
    std::vector<WeekdayEntry>& byDay = m_rule.byDay;
    std::sort(byDay.begin(), byDay.end(), [](const WeekdayEntry& a, const WeekdayEntry& b) {
        return std::pair(a.ordinal, a.weekday) < std::pair(b.ordinal, b.weekday);
    });
    byDay.erase(std::unique(byDay.begin(), byDay.end(),
                            [](const WeekdayEntry& a, const WeekdayEntry& b) {
                                return a.ordinal == b.ordinal && a.weekday == b.weekday;
                            }),
                byDay.end());
    const std::size_t weekdayEntries = byDay.size();
    if (inMonths)
        std::erase_if(byDay, [](const WeekdayEntry& e) { return e.ordinal > 5 || e.ordinal < -5; });
    if (weekdayEntries != 0 && byDay.empty())
        byDay.push_back({6, 0}); // only ordinals that never fall: nothing matches
    std::vector<int>& byMonthDay = m_rule.byMonthDay;
    std::sort(byMonthDay.begin(), byMonthDay.end());
    byMonthDay.erase(std::unique(byMonthDay.begin(), byMonthDay.end()), byMonthDay.end());
    m_weekZero = m_startDay - (WeekdayOfDay(m_startDay) - m_rule.weekStart + 7) % 7;
    m_monthZero = static_cast<std::int64_t>(start.date.year) * 12 + start.date.month - 1;
    for (const WeekdayEntry& entry : m_rule.byDay)
        m_weekdays |= 1u << entry.weekday;
    if (m_rule.frequency == Frequency::Weekly && m_weekdays == 0)
        m_weekdays = 1u << WeekdayOfDay(m_startDay);
    for (const int month : m_rule.byMonth)
        m_months |= 1u << month;
    if (m_rule.frequency == Frequency::Monthly && 12 % m_rule.interval == 0)
        for (int month = 1; month <= 12; ++month)
            if (Mod(month - 1 - m_monthZero, m_rule.interval) == 0)
                m_monthsHit |= 1u << month;
}

// The dates a month yields by its length and the weekday of its 1st: what
// BYMONTHDAY and BYDAY (ordinals counted in the month) select together, or
// DTSTART's day of the month when neither is given.
std::uint32_t RuleOccurrences::MonthDays(int days, int firstWeekday, WorkBudget& budget) {
    return MonthDays((days - 28) * 7 + firstWeekday, budget);
}

std::uint32_t RuleOccurrences::MonthDays(int key, WorkBudget& budget) {
    const int days = key / 7 + 28;
    const int firstWeekday = key % 7;
    if (m_monthDaysBuilt >> key & 1u)
        return m_monthDays[key];
    budget.Spend(2 + static_cast<std::int64_t>(m_rule.byMonthDay.size() + m_rule.byDay.size()));
    std::uint32_t mask = 0;
    if (m_rule.byMonthDay.empty() && m_rule.byDay.empty()) {
        if (m_start.date.day <= days)
            mask = 1u << (m_start.date.day - 1);
    } else {
        std::uint32_t byDate = AllDays(days);
        if (!m_rule.byMonthDay.empty())
            byDate = MonthDayDays(m_rule.byMonthDay, days);
        std::uint32_t byWeekday = AllDays(days);
        if (!m_rule.byDay.empty()) {
            byWeekday = 0;
            for (const WeekdayEntry& entry : m_rule.byDay) {
                const int first = (entry.weekday - firstWeekday + 7) % 7; // 0 = the 1st
                if (entry.ordinal == 0) {
                    byWeekday |= WeekdayDays(days, firstWeekday, 1u << entry.weekday);
                } else if (entry.ordinal > 0) {
                    const int i = first + 7 * (entry.ordinal - 1);
                    if (i < days)
                        byWeekday |= 1u << i;
                } else {
                    const int last = first + 7 * ((days - 1 - first) / 7);
                    const int i = last - 7 * (-entry.ordinal - 1);
                    if (i >= 0)
                        byWeekday |= 1u << i;
                }
            }
        }
        mask = byDate & byWeekday;
    }
    m_monthDays[key] = mask;
    m_monthDaysBuilt |= 1u << key;
    return mask;
}

const RuleOccurrences::YearMasks& RuleOccurrences::YearDays(int yearClass, WorkBudget& budget) {
    YearMasks& masks = m_yearDays[yearClass];
    if (m_yearCount[yearClass] >= 0)
        return masks;
    budget.Spend(24 + static_cast<std::int64_t>(m_rule.byDay.size()));
    const int leap = yearClass >= 7 ? 1 : 0;
    const int firstWeekday = yearClass % 7;
    const auto weekdayOfFirst = [&](int month) {
        return (firstWeekday + kMonthStart[leap][month - 1]) % 7;
    };
    const auto monthDays = [&](int month) {
        return MonthDays(MonthLength(leap, month), weekdayOfFirst(month), budget);
    };
    masks.fill(0);
    switch (m_rule.frequency) {
    case Frequency::Yearly:
        if (m_months != 0) {
            for (int month = 1; month <= 12; ++month)
                if (m_months >> month & 1u)
                    masks[month - 1] = monthDays(month);
        } else if (!m_rule.byMonthDay.empty()) {
            for (int month = 1; month <= 12; ++month)
                masks[month - 1] = monthDays(month);
        } else if (!m_rule.byDay.empty()) {
            // Ordinals count in the whole year: 20MO is the year's 20th Monday.
            const int yearLength = kMonthStart[leap][12];
            unsigned every = 0;
            for (const WeekdayEntry& entry : m_rule.byDay) {
                if (entry.ordinal == 0) {
                    every |= 1u << entry.weekday;
                    continue;
                }
                const int first = (entry.weekday - firstWeekday + 7) % 7;
                int i = entry.ordinal > 0
                            ? first + 7 * (entry.ordinal - 1)
                            : first + 7 * ((yearLength - 1 - first) / 7) - 7 * (-entry.ordinal - 1);
                if (i < 0 || i >= yearLength)
                    continue;
                int month = i / 32; // no month begins more than 31 days into it...
                while (kMonthStart[leap][month + 1] <= i)
                    ++month; // ...so this steps at most twice
                masks[month] |= 1u << (i - kMonthStart[leap][month]);
            }
            if (every != 0)
                for (int month = 1; month <= 12; ++month)
                    masks[month - 1] |=
                        WeekdayDays(MonthLength(leap, month), weekdayOfFirst(month), every);
        } else if (m_start.date.day <= MonthLength(leap, m_start.date.month)) {
            masks[m_start.date.month - 1] = 1u << (m_start.date.day - 1);
        }
        break;
    case Frequency::Monthly:
        for (int month = 1; month <= 12; ++month)
            if ((m_monthsHit >> month & 1u) && (m_months == 0 || (m_months >> month & 1u)))
                masks[month - 1] = monthDays(month);
        break;
    case Frequency::Daily:
    case Frequency::Weekly:
        for (int month = 1; month <= 12; ++month) {
            if (m_months != 0 && !(m_months >> month & 1u))
                continue;
            const int length = MonthLength(leap, month);
            std::uint32_t mask = AllDays(length);
            if (m_rule.frequency == Frequency::Daily && !m_rule.byMonthDay.empty())
                mask &= MonthDayDays(m_rule.byMonthDay, length);
            if (m_weekdays != 0)
                mask &= WeekdayDays(length, weekdayOfFirst(month), m_weekdays);
            masks[month - 1] = mask;
        }
        break;
    }
    std::int64_t count = 0;
    for (const std::uint32_t mask : masks)
        count += std::popcount(mask);
    m_yearCount[yearClass] = count;
    return masks;
}

std::int64_t RuleOccurrences::YearCount(int yearClass, WorkBudget& budget) {
    if (m_yearCount[yearClass] < 0)
        YearDays(yearClass, budget);
    return m_yearCount[yearClass];
}

bool RuleOccurrences::PassesDayFilter(std::int64_t day) const {
    if (m_weekdays != 0 && !(m_weekdays >> WeekdayOfDay(day) & 1u))
        return false;
    if (m_months == 0 && (m_rule.frequency == Frequency::Weekly || m_rule.byMonthDay.empty()))
        return true;
    const CalendarDate date = DateOfDayNumber(day);
    if (m_months != 0 && !(m_months >> date.month & 1u))
        return false;
    if (m_rule.frequency == Frequency::Daily && !m_rule.byMonthDay.empty())
        return MonthDayDays(m_rule.byMonthDay, DaysInMonth(date.year, date.month)) >>
                   (date.day - 1) &
               1u;
    return true;
}

// The first period that can hold a date on or after `day` (a later day
// than DTSTART's).
std::int64_t RuleOccurrences::FirstPeriodFrom(std::int64_t day) const {
    const std::int64_t n = m_rule.interval;
    switch (m_rule.frequency) {
    case Frequency::Daily:
        return FloorDiv(day - m_startDay + n - 1, n);
    case Frequency::Weekly:
        return FloorDiv(day - m_weekZero, 7 * n);
    case Frequency::Monthly: {
        const CalendarDate date = DateOfDayNumber(day);
        return FloorDiv(static_cast<std::int64_t>(date.year) * 12 + date.month - 1 - m_monthZero,
                        n);
    }
    case Frequency::Yearly:
        return FloorDiv(DateOfDayNumber(day).year - m_start.date.year, n);
    }
    return 0;
}

// The first day of a period, which no date of the period precedes; past
// 9999-12-31 for periods the calendar does not reach.
std::int64_t RuleOccurrences::PeriodFirstDay(std::int64_t period) const {
    const std::int64_t step = period * m_rule.interval;
    switch (m_rule.frequency) {
    case Frequency::Daily:
        return m_startDay + step;
    case Frequency::Weekly:
        return m_weekZero + 7 * step;
    case Frequency::Monthly:
        return m_monthZero + step > 9999 * 12 + 11 ? kLastDay + 1
                                                   : FirstOfMonth(m_monthZero + step);
    case Frequency::Yearly:
        return m_start.date.year + step > 9999 ? kLastDay + 1
                                               : FirstOfYear(m_start.date.year + step);
    }
    return kLastDay + 1;
}

// The dates of one period in order; false when the budget ran out. The
// steps spent follow what each kind of period costs to look at.
bool RuleOccurrences::PeriodDates(std::int64_t period, WorkBudget& budget, Days& out) {
    out.clear();
    const std::int64_t step = period * m_rule.interval;
    switch (m_rule.frequency) {
    case Frequency::Daily:
        if (PassesDayFilter(m_startDay + step))
            out.push_back(m_startDay + step);
        budget.Spend(m_months != 0 || !m_rule.byMonthDay.empty() || m_weekdays != 0 ? 5 : 2);
        break;
    case Frequency::Weekly: {
        const std::int64_t first = m_weekZero + 7 * step;
        for (int i = 0; i < 7; ++i)
            if (PassesDayFilter(first + i))
                out.push_back(first + i);
        budget.Spend(m_months != 0 ? 30 : 14);
        break;
    }
    case Frequency::Monthly: {
        const std::int64_t index = m_monthZero + step;
        const int month = static_cast<int>(index % 12) + 1;
        budget.Spend(6);
        if (m_months != 0 && !(m_months >> month & 1u))
            break;
        const std::int64_t first = FirstOfMonth(index);
        const int length = MonthLength(IsLeap(index / 12) ? 1 : 0, month);
        for (std::uint32_t mask = MonthDays(length, WeekdayOfDay(first), budget); mask != 0;
             mask &= mask - 1)
            out.push_back(first + std::countr_zero(mask));
        break;
    }
    case Frequency::Yearly: {
        const std::int64_t year = m_start.date.year + step;
        const YearMasks& masks = YearDays(YearClassOf(year), budget);
        const std::int64_t first = FirstOfYear(year);
        const int leap = IsLeap(year) ? 1 : 0;
        for (int month = 0; month < 12; ++month)
            for (std::uint32_t mask = masks[month]; mask != 0; mask &= mask - 1)
                out.push_back(first + kMonthStart[leap][month] + std::countr_zero(mask));
        budget.Spend(10);
        break;
    }
    }
    return budget.Spend(1 + static_cast<std::int64_t>(out.size()));
}

// The occurrences in the periods before `period` (at least 1), DTSTART
// included, counted from the last count asked for when that lies before.
std::optional<std::int64_t> RuleOccurrences::CountBefore(std::int64_t period, WorkBudget& budget) {
    std::int64_t from = m_countedPeriod;
    std::int64_t count = m_countedBefore;
    if (from < 1 || from > period) {
        if (!PeriodDates(0, budget, m_dates))
            return std::nullopt;
        count = 1 + std::count_if(m_dates.begin(), m_dates.end(),
                                  [&](std::int64_t day) { return day > m_startDay; });
        from = 1;
    }
    const std::optional<std::int64_t> more = CountPeriods(from, period, budget);
    if (!more || budget.Exhausted())
        return std::nullopt;
    m_countedPeriod = period;
    m_countedBefore = count + *more;
    return m_countedBefore;
}

// The dates of the periods [first, end), all after DTSTART's period.
std::optional<std::int64_t> RuleOccurrences::CountPeriods(std::int64_t first, std::int64_t end,
                                                          WorkBudget& budget) {
    if (first >= end)
        return 0;
    const std::int64_t n = m_rule.interval;
    switch (m_rule.frequency) {
    case Frequency::Yearly:
        return PeriodicSum(first, end, kCycleYears / std::gcd(n, kCycleYears), 1, budget,
                           [&](std::int64_t p) {
                               return YearCount(YearClassOf(m_start.date.year + p * n), budget);
                           });
    case Frequency::Monthly:
        if (12 % n == 0)
            return CountMonthsByYear(first, end, budget);
        return PeriodicSum(first, end, kCycleMonths / std::gcd(n, kCycleMonths), 3, budget,
                           [&](std::int64_t p) -> std::int64_t {
                               const std::int64_t index = m_monthZero + p * n;
                               const int month = static_cast<int>(index % 12) + 1;
                               if (m_months != 0 && !(m_months >> month & 1u))
                                   return 0;
                               const std::int64_t day = FirstOfMonth(index);
                               return std::popcount(
                                   MonthDays(MonthLength(IsLeap(index / 12) ? 1 : 0, month),
                                             WeekdayOfDay(day), budget));
                           });
    case Frequency::Daily:
        if (m_months == 0 && m_rule.byMonthDay.empty()) {
            if (m_weekdays == 0)
                return end - first;
            // Only the weekday matters, and it repeats every seven steps.
            return PeriodicSum(first, end, 7 / std::gcd(n, std::int64_t{7}), 1, budget,
                               [&](std::int64_t p) -> std::int64_t {
                                   return m_weekdays >> WeekdayOfDay(m_startDay + p * n) & 1u;
                               });
        }
        return CountLattice(m_startDay + first * n, m_startDay + end * n, n, 1, budget);
    case Frequency::Weekly:
        if (m_months == 0)
            return (end - first) * std::popcount(m_weekdays);
        return CountLattice(m_weekZero + 7 * first * n, m_weekZero + 7 * end * n, 7 * n, 7, budget);
    }
    return std::nullopt;
}

// A MONTHLY rule whose interval divides 12 reaches the same months every
// year: whole years are counted by their class, 400 years at a time.
std::optional<std::int64_t> RuleOccurrences::CountMonthsByYear(std::int64_t first, std::int64_t end,
                                                               WorkBudget& budget) {
    const std::int64_t n = m_rule.interval;
    const auto monthCount = [&](std::int64_t index) -> std::int64_t {
        budget.Spend();
        const int month = static_cast<int>(index % 12) + 1;
        if (m_months != 0 && !(m_months >> month & 1u))
            return 0;
        return std::popcount(MonthDays(CycleMonthKeys()[index % kCycleMonths], budget));
    };
    const std::int64_t low = m_monthZero + first * n;      // the first month counted
    const std::int64_t high = m_monthZero + (end - 1) * n; // and the last
    const std::int64_t lowYear = low / 12, highYear = high / 12;
    std::int64_t total = 0;
    std::int64_t index = low;
    for (; index <= high && index / 12 == lowYear; index += n)
        total += monthCount(index);
    if (index <= high) {
        // On to the first month reached in the last year.
        index += std::max<std::int64_t>(0, FloorDiv(highYear * 12 - index + n - 1, n)) * n;
        for (; index <= high; index += n)
            total += monthCount(index);
        const std::optional<std::int64_t> middle =
            PeriodicSum(lowYear + 1, highYear, kCycleYears, 1, budget,
                        [&](std::int64_t year) { return YearCount(YearClassOf(year), budget); });
        if (!middle)
            return std::nullopt;
        total += *middle;
    }
    if (budget.Exhausted())
        return std::nullopt;
    return total;
}

// The days in [firstDay, endDay) that pass a DAILY or WEEKLY rule's filters
// and lie on its lattice: days whose distance from the rule's first day (or
// first week's first day), taken modulo `modulus`, is below `width`. Whole
// years are counted by their class and the lattice's phase on 1 January.
std::optional<std::int64_t> RuleOccurrences::CountLattice(std::int64_t firstDay,
                                                          std::int64_t endDay, std::int64_t modulus,
                                                          int width, WorkBudget& budget) {
    if (firstDay >= endDay)
        return 0;
    const std::int64_t anchor = m_rule.frequency == Frequency::Daily ? m_startDay : m_weekZero;
    const int firstYear = DateOfDayNumber(firstDay).year;
    const int lastYear = DateOfDayNumber(endDay - 1).year;
    if (firstYear == lastYear)
        return LatticeInYear(firstYear, firstDay, endDay, modulus, width, budget);
    const std::optional<std::int64_t> head =
        LatticeInYear(firstYear, firstDay, FirstOfYear(firstYear + 1), modulus, width, budget);
    const std::optional<std::int64_t> tail =
        LatticeInYear(lastYear, FirstOfYear(lastYear), endDay, modulus, width, budget);
    if (!head || !tail)
        return std::nullopt;
    const auto wholeYear = [&](std::int64_t year) -> std::optional<std::int64_t> {
        const int yearClass = YearClassOf(year);
        if (width >= modulus) // every day of the lattice
            return YearCount(yearClass, budget);
        const std::int64_t firstOfYear = FirstOfYear(year);
        if (modulus > 366)
            return LatticeInYear(static_cast<int>(year), firstOfYear, FirstOfYear(year + 1),
                                 modulus, width, budget);
        std::vector<std::int32_t>& counts = m_latticeCounts[yearClass];
        if (counts.empty()) {
            const YearMasks& masks = YearDays(yearClass, budget);
            if (!budget.Spend(modulus + m_yearCount[yearClass]))
                return std::nullopt;
            // counts[q]: the dates d (days into the year) with (q + d) mod modulus < width.
            std::vector<std::int32_t> histogram(static_cast<std::size_t>(modulus));
            const int leap = yearClass >= 7 ? 1 : 0;
            for (int month = 0; month < 12; ++month)
                for (std::uint32_t mask = masks[month]; mask != 0; mask &= mask - 1)
                    ++histogram[(kMonthStart[leap][month] + std::countr_zero(mask)) % modulus];
            counts.resize(static_cast<std::size_t>(modulus));
            for (int t = 0; t < width; ++t)
                counts[0] += histogram[t % modulus];
            for (std::int64_t q = 0; q + 1 < modulus; ++q)
                counts[q + 1] = counts[q] + histogram[Mod(-q - 1, modulus)] -
                                histogram[Mod(width - 1 - q, modulus)];
        }
        return counts[Mod(firstOfYear - anchor, modulus)];
    };
    // The phase on 1 January repeats when a whole number of 400-year cycles
    // is a whole number of the lattice's moduli.
    const std::int64_t cycle = kCycleYears * (modulus / std::gcd(modulus, kCycleDays));
    const std::optional<std::int64_t> middle =
        PeriodicSum(firstYear + 1, lastYear, cycle, 2, budget, wholeYear);
    if (!middle)
        return std::nullopt;
    return *head + *middle + *tail;
}

// The days of [low, high), within one year, that CountLattice counts.
std::optional<std::int64_t> RuleOccurrences::LatticeInYear(int year, std::int64_t low,
                                                           std::int64_t high, std::int64_t modulus,
                                                           int width, WorkBudget& budget) {
    const YearMasks& masks = YearDays(YearClassOf(year), budget);
    const std::int64_t firstOfYear = FirstOfYear(year);
    const int leap = IsLeap(year) ? 1 : 0;
    const std::int64_t anchor = m_rule.frequency == Frequency::Daily ? m_startDay : m_weekZero;
    const auto isDate = [&](std::int64_t day) {
        const int at = static_cast<int>(day - firstOfYear);
        int month = at / 32; // no month begins more than 31 days into it...
        while (kMonthStart[leap][month + 1] <= at)
            ++month; // ...so this steps at most twice
        return masks[month] >> (at - kMonthStart[leap][month]) & 1u;
    };
    std::int64_t count = 0;
    const std::int64_t windows = (high - low) / modulus + 2;
    if (windows * width < high - low) {
        // A sparse lattice: only its days are looked at.
        if (!budget.Spend(windows * width))
            return std::nullopt;
        for (std::int64_t at = anchor + FloorDiv(low - anchor, modulus) * modulus; at < high;
             at += modulus)
            for (std::int64_t day = std::max(at, low); day < std::min(at + width, high); ++day)
                count += isDate(day);
        return count;
    }
    if (!budget.Spend(high - low))
        return std::nullopt;
    for (std::int64_t day = low; day < high; ++day)
        count += Mod(day - anchor, modulus) < width && isDate(day);
    return count;
}

WalkEnd RuleOccurrences::Between(const CalendarDate& from, const CalendarDate& to,
                                 WorkBudget& budget,
                                 const std::function<void(const LocalDateTime&)>& visit) {
    const std::int64_t fromDay = DayNumber(from);
    const std::int64_t toDay = DayNumber(to);
    const auto afterUntil = [&](std::int64_t day) {
        return m_untilSeconds &&
               WallSeconds({DateOfDayNumber(day), m_start.seconds}) > *m_untilSeconds;
    };
    std::int64_t produced = 0;
    std::int64_t period = 0;
    if (fromDay <= m_startDay) {
        if (m_startDay > toDay)
            return WalkEnd::PastHorizon;
        produced = 1;
        budget.Spend(4);
        visit(m_start);
    } else {
        if (afterUntil(fromDay))
            return WalkEnd::Finished; // nothing to count towards
        period = FirstPeriodFrom(fromDay);
        if (m_rule.count != 0 && period > 0) {
            const std::optional<std::int64_t> before = CountBefore(period, budget);
            if (!before)
                return WalkEnd::OverBudget;
            produced = *before;
        } else if (period == 0) {
            produced = 1; // DTSTART, before the span
        }
    }
    if (m_rule.count != 0 && produced >= m_rule.count)
        return WalkEnd::Finished;
    for (;; ++period) {
        const std::int64_t first = PeriodFirstDay(period);
        if (first > kLastDay || afterUntil(first))
            return WalkEnd::Finished;
        if (first > toDay)
            return WalkEnd::PastHorizon;
        if (!PeriodDates(period, budget, m_dates))
            return WalkEnd::OverBudget;
        for (const std::int64_t day : m_dates) {
            if (day <= m_startDay)
                continue; // DTSTART was the first, whether or not it matches
            if (day > kLastDay || afterUntil(day))
                return WalkEnd::Finished;
            if (day > toDay)
                return WalkEnd::PastHorizon;
            ++produced;
            if (day >= fromDay) {
                budget.Spend(4);
                visit({DateOfDayNumber(day), m_start.seconds});
            }
            if (m_rule.count != 0 && produced >= m_rule.count)
                return WalkEnd::Finished;
        }
    }
}

} // namespace ical
