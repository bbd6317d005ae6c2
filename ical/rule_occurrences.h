#pragma once

#include "ical/civil_time.h"
#include "ical/recurrence_rule.h"
#include "ical/work_budget.h"

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace ical {

// How a question to the engine ended.
enum class WalkEnd {
    Finished,    // COUNT or UNTIL ended the rule, or the years ran out at 9999
    PastHorizon, // the rule may go on after the last date asked for
    OverBudget,  // the budget ran out first; what was visited is incomplete
};

// The occurrences of one repeating event: a rule and its first occurrence
// (DTSTART), asked for those that fall on any span of dates. The work of a
// question follows the span asked for, not its distance from DTSTART: a
// COUNT is met by counting the occurrences before the span with per-year
// and per-month tables that repeat with the Gregorian calendar's 400-year
// cycle, never by walking them. The tables one question builds serve the
// next, so one object per rule answers repeated questions (today's, then
// tomorrow's) for little more than the span's own dates. Not to be shared
// between threads.
class RuleOccurrences {
public:
    // `until` is UNTIL on the start's wall clock, inclusive.
    RuleOccurrences(const RecurrenceRule& rule, const LocalDateTime& start,
                    std::optional<LocalDateTime> until = std::nullopt);

    // Visits in time order the occurrences whose dates lie in [from, to],
    // each at the start's time of day. DTSTART is the first occurrence,
    // whether or not the rule yields it, and COUNT counts from it. Each
    // occurrence visited spends four steps, the visitor's share included.
    WalkEnd Between(const CalendarDate& from, const CalendarDate& to, WorkBudget& budget,
                    const std::function<void(const LocalDateTime&)>& visit);

private:
    using Days = std::vector<std::int64_t>; // day numbers, ascending

    std::int64_t FirstPeriodFrom(std::int64_t day) const;
    std::int64_t PeriodFirstDay(std::int64_t period) const;
    bool PeriodDates(std::int64_t period, WorkBudget& budget, Days& out);
    std::optional<std::int64_t> CountBefore(std::int64_t period, WorkBudget& budget);
    std::optional<std::int64_t> CountPeriods(std::int64_t first, std::int64_t end,
                                             WorkBudget& budget);
    std::optional<std::int64_t> CountMonthsByYear(std::int64_t first, std::int64_t end,
                                                  WorkBudget& budget);
    std::optional<std::int64_t> CountLattice(std::int64_t firstDay, std::int64_t endDay,
                                             std::int64_t modulus, int width, WorkBudget& budget);
    std::optional<std::int64_t> LatticeInYear(int year, std::int64_t low, std::int64_t high,
                                              std::int64_t modulus, int width, WorkBudget& budget);

    // A year's dates as one bit mask a month, bit 0 = the 1st.
    using YearMasks = std::array<std::uint32_t, 12>;

    std::uint32_t MonthDays(int days, int firstWeekday, WorkBudget& budget);
    std::uint32_t MonthDays(int key, WorkBudget& budget);
    const YearMasks& YearDays(int yearClass, WorkBudget& budget);
    std::int64_t YearCount(int yearClass, WorkBudget& budget);
    bool PassesDayFilter(std::int64_t day) const;

    RecurrenceRule m_rule;
    LocalDateTime m_start;
    std::optional<std::int64_t> m_untilSeconds; // UNTIL as wall seconds
    std::int64_t m_startDay;
    std::int64_t m_weekZero;  // first day of the start's week (WEEKLY)
    std::int64_t m_monthZero; // the start's month as year * 12 + month - 1
    unsigned m_weekdays = 0;  // BYDAY weekdays, bit 0 = Monday; WEEKLY: or the start's
    unsigned m_months = 0;    // BYMONTH, bit 1 = January; 0: every month
    unsigned m_monthsHit = 0; // MONTHLY with an INTERVAL dividing 12: the months of any year

    // Tables built as questions need them: the dates a month yields by its
    // length and first weekday, and a year's dates by its class (leap year or
    // not, and the weekday of 1 January): for YEARLY the dates it yields, for
    // MONTHLY those of the months its interval reaches in every year, for
    // DAILY and WEEKLY the dates their filters let through.
    std::array<std::uint32_t, 28> m_monthDays{};
    std::uint32_t m_monthDaysBuilt = 0;
    std::array<YearMasks, 14> m_yearDays{};
    std::array<std::int64_t, 14> m_yearCount;
    // For DAILY and WEEKLY with month filters and an interval: for each year
    // class, how many of its dates lie on the rule's lattice, by the
    // lattice's phase on 1 January.
    std::array<std::vector<std::int32_t>, 14> m_latticeCounts;
    // The last count asked for, which the next question starts from.
    std::int64_t m_countedPeriod = -1;
    std::int64_t m_countedBefore = 0;
    Days m_dates;
};

} // namespace ical
