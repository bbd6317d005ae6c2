#pragma once

#include "calendar/appointment_series.h"
#include "ical/civil_time.h"
#include "ical/recurrence_rule.h"
#include "ical/rule_occurrences.h"
#include "ical/work_budget.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ical {

// A rule of the set appointments repeat by, read from a stored REPEAT (an
// RRULE value): FREQ DAILY, WEEKLY, MONTHLY or YEARLY; INTERVAL; BYDAY, with
// ordinals in MONTHLY and YEARLY rules (2TU, -1FR); BYMONTHDAY, negatives
// counting from the month's end; BYMONTH; COUNT or UNTIL, not both; WKST.
// UNTIL is a DATE, the last day an occurrence may start on, or a DATE-TIME
// read on the appointment's own wall clock, a UTC one as well: the rule
// alone knows no zone, and the store writes UNTIL as a DATE.
struct SeriesRule {
    RecurrenceRule rule;
    std::optional<LocalDateTime> until; // inclusive
};

// False for any text outside the set, or one that cannot be read.
bool ReadSeriesRule(std::string_view text, SeriesRule& rule);

// The rule of "every year on `date`". 29 February repeats on the last day
// of February, so a birthday on it is kept on 28 February in common years:
// the rule says so (BYMONTH=2;BYMONTHDAY=-1) and other calendars read it
// alike. A plain yearly rule started on 29 February, as another program may
// store it, occurs in leap years only, as RFC 5545 reads it.
std::string YearlyRuleOn(const CalendarDate& date);

// The work one question to a series may take when the caller gives no
// budget of its own: about a millisecond at most.
inline constexpr std::int64_t kSeriesWork = 200000;

enum class SeriesEndKind {
    Never,    // a rule without COUNT or UNTIL, or a FROM..TO that is not of dates
    On,       // `lastDay` is the last day of the last occurrence
    AtLatest, // the work ran out first: no occurrence ends after `lastDay`
};

struct SeriesEnd {
    SeriesEndKind kind = SeriesEndKind::Never;
    CalendarDate lastDay;
};

// A repeating appointment's occurrences: the first is FROM..TO, each next
// one starts on a date the rule gives and lasts as many days, and the skip
// dates remove occurrences by their first day. The first occurrence is
// FROM..TO even when the rule would not give FROM, or UNTIL lies before it
// (RFC 5545 counts DTSTART as the first instance), and COUNT counts it. An
// appointment whose rule is not followed, or that has none, happens once on
// FROM..TO, and skip dates do not touch it; a FROM..TO that is reversed or
// not of dates covers no day.
//
// Every question is answered with bounded work, whatever the rule: the
// general questions spend a budget (and say when it ran out), and
// CoversToday keeps its own. Not to be shared between threads: CoversToday
// changes what it remembers.
class Series {
public:
    // `startSeconds`: the occurrences' time of day, which UNTIL is
    // compared with (0 for an all-day appointment).
    Series(const CalendarDate& from, const CalendarDate& to, const SeriesValues& values,
           int startSeconds = 0);

    // Whether a rule is followed: false for one occurrence only.
    bool Repeats() const { return m_repeats; }
    // Days each occurrence lasts; 0 for a range that covers no day.
    std::int64_t Length() const { return m_length; }

    // The first day of the earliest occurrence that covers `day`: one that
    // starts in [day - length + 1, day] and is not skipped. None when there
    // is none, or the budget ran out (budget.Exhausted() tells).
    std::optional<CalendarDate> OccurrenceCovering(const CalendarDate& day,
                                                   WorkBudget& budget) const;

    // Visits in order the first days of the occurrences that overlap
    // [first, last]. PastHorizon: occurrences may follow after `last`.
    WalkEnd OccurrencesOverlapping(const CalendarDate& first, const CalendarDate& last,
                                   WorkBudget& budget,
                                   const std::function<void(const CalendarDate&)>& visit) const;

    // When the last occurrence ends. Skipped occurrences do not count; when
    // every one is skipped, the series ends with FROM..TO.
    SeriesEnd LastEnd(WorkBudget& budget) const;

    // Whether every occurrence ended before `today`, for the purge: false
    // whenever that cannot be told within the budget, so that nothing is
    // deleted on a guess. Cheaper than LastEnd: it looks only from today on.
    bool EndedBefore(const CalendarDate& today, WorkBudget& budget) const;

    // Whether an occurrence covers `today`, for the reminder scan. Since
    // today only moves forward, the next occurrence found is remembered and
    // answers each later day in O(1) until it has passed; a day before the
    // last one asked starts afresh. A rule whose next occurrence lies beyond
    // what one call may spend (kSeriesWork) is looked for on from there at
    // the next call, and answers false meanwhile.
    bool CoversToday(const CalendarDate& today);

private:
    enum class Found : unsigned char {
        Start,     // `day` is the first start in the span
        None,      // no start in the span, which ends on `day`
        Ended,     // no start from the span's first day on, ever
        OutOfWork, // the budget ran out: no start up to `day`
    };
    struct Search {
        Found found;
        std::int64_t day;
    };

    // The first start of an occurrence that is not skipped in [from, to]
    // (day numbers), looked for in windows that double while they are empty.
    Search FirstStart(std::int64_t from, std::int64_t to, WorkBudget& budget) const;
    // The last such start in [low, high], looked for backwards alike.
    Search LastStartIn(std::int64_t low, std::int64_t high, WorkBudget& budget) const;
    std::optional<bool> GivesMoreBy(std::int64_t day, WorkBudget& budget) const;
    // The day by which COUNT is used up: the COUNT-th occurrence, or the
    // last day the rule could still have given one on.
    std::optional<std::int64_t> CountUsedUpBy(WorkBudget& budget) const;
    RuleOccurrences Engine() const;
    std::int64_t FirstWindow() const;
    bool Skipped(std::int64_t day) const;

    bool m_valid = false;
    bool m_repeats = false;
    std::int64_t m_from = 0;   // day number of FROM
    std::int64_t m_length = 0; // days
    CalendarDate m_to;
    int m_startSeconds = 0;
    SeriesRule m_rule;
    std::vector<std::int64_t> m_skips; // ascending day numbers

    // CoversToday's memory: the first day an occurrence covering the last
    // day asked could start on, and what lies from there on.
    std::int64_t m_todayLow;
    Found m_ahead = Found::OutOfWork;
    std::int64_t m_aheadDay; // Start: that start; OutOfWork: searched up to here
};

} // namespace ical
