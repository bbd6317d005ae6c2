#include "ical/series.h"

#include "ical/time_value.h"

#include <algorithm>

namespace ical {

namespace {

const std::int64_t kLastDay = DayNumber({9999, 12, 31});
constexpr std::int64_t kLongAgo = INT64_MIN / 4; // before any day, safe to step from

CalendarDate DateOf(std::int64_t day) {
    return DateOfDayNumber(std::min(day, kLastDay));
}

} // namespace

bool ReadSeriesRule(std::string_view text, SeriesRule& rule) {
    rule = SeriesRule{};
    std::string why;
    if (!ParseRecurrenceRule(text, rule.rule, why))
        return false;
    if (rule.rule.until.empty())
        return true;
    TimeValue until;
    if (rule.rule.count != 0 || !ParseTimeText(rule.rule.until, false, until))
        return false;
    rule.until = until.IsDate() ? LocalDateTime{until.wall.date, 86399} : until.wall;
    return true;
}

std::string YearlyRuleOn(const CalendarDate& date) {
    return date.month == 2 && date.day == 29 ? "FREQ=YEARLY;BYMONTH=2;BYMONTHDAY=-1"
                                             : "FREQ=YEARLY";
}

Series::Series(const CalendarDate& from, const CalendarDate& to, const SeriesValues& values,
               int startSeconds)
    : m_to(to), m_startSeconds(std::clamp(startSeconds, 0, 86399)), m_todayLow(kLongAgo),
      m_aheadDay(kLongAgo) {
    m_valid = IsValidDate(from) && IsValidDate(to);
    if (!m_valid)
        return;
    m_from = DayNumber(from);
    m_length = std::max<std::int64_t>(0, DayNumber(to) - m_from + 1);
    m_repeats = m_length > 0 && values.Repeats() && ReadSeriesRule(values.repeat, m_rule);
    if (!m_repeats)
        return;
    for (const CalendarDate& skip : values.skipDates)
        if (IsValidDate(skip))
            m_skips.push_back(DayNumber(skip));
    std::sort(m_skips.begin(), m_skips.end());
    m_skips.erase(std::unique(m_skips.begin(), m_skips.end()), m_skips.end());
}

RuleOccurrences Series::Engine() const {
    return RuleOccurrences(m_rule.rule, {DateOfDayNumber(m_from), m_startSeconds}, m_rule.until);
}

// About one period of the rule, the least span that can hold a start.
std::int64_t Series::FirstWindow() const {
    const std::int64_t n = m_rule.rule.interval;
    switch (m_rule.rule.frequency) {
    case Frequency::Daily:
        return std::max<std::int64_t>(8, n);
    case Frequency::Weekly:
        return 7 * n;
    case Frequency::Monthly:
        return 31 * n;
    case Frequency::Yearly:
        return 366 * n;
    }
    return 8;
}

bool Series::Skipped(std::int64_t day) const {
    return std::binary_search(m_skips.begin(), m_skips.end(), day);
}

Series::Search Series::FirstStart(std::int64_t from, std::int64_t to, WorkBudget& budget) const {
    from = std::max(from, m_from);
    to = std::min(to, kLastDay);
    if (!m_valid || m_length == 0 || (!m_repeats && from > m_from))
        return {Found::Ended, to};
    if (from > to)
        return {Found::None, to};
    if (!m_repeats)
        return {Found::Start, m_from};
    RuleOccurrences engine = Engine();
    std::int64_t window = FirstWindow();
    for (std::int64_t low = from;; window *= 2) {
        const std::int64_t high = to - low < window ? to : low + window - 1;
        std::optional<std::int64_t> first;
        const WalkEnd end =
            engine.Between(DateOf(low), DateOf(high), budget, [&](const LocalDateTime& start) {
                const std::int64_t day = DayNumber(start.date);
                if (!first && !Skipped(day))
                    first = day;
            });
        // Visits come in order, so a start found before the budget ran out
        // is the first.
        if (first)
            return {Found::Start, *first};
        if (end == WalkEnd::OverBudget)
            return {Found::OutOfWork, low - 1};
        if (end == WalkEnd::Finished)
            return {Found::Ended, high};
        if (high == to)
            return {Found::None, to};
        low = high + 1;
    }
}

Series::Search Series::LastStartIn(std::int64_t low, std::int64_t high, WorkBudget& budget) const {
    low = std::max(low, m_from);
    high = std::min(high, kLastDay);
    if (high < low)
        return {Found::None, high};
    if (!m_repeats)
        return {Found::Start, m_from};
    RuleOccurrences engine = Engine();
    std::int64_t window = FirstWindow();
    for (std::int64_t top = high;; window *= 2) {
        const std::int64_t bottom = top - low < window ? low : top - window + 1;
        std::optional<std::int64_t> last;
        const WalkEnd end =
            engine.Between(DateOf(bottom), DateOf(top), budget, [&](const LocalDateTime& start) {
                const std::int64_t at = DayNumber(start.date);
                if (!Skipped(at))
                    last = at;
            });
        if (end == WalkEnd::OverBudget)
            return {Found::OutOfWork, high};
        if (last)
            return {Found::Start, *last};
        if (bottom == low)
            return {Found::None, high};
        top = bottom - 1;
    }
}

// Whether the rule gives a date after FROM up to `day`, skip dates aside:
// a COUNT of two is used up by then. Counted, not walked, so that a rule
// that never matches (30 February) is told in a few steps.
std::optional<bool> Series::GivesMoreBy(std::int64_t day, WorkBudget& budget) const {
    RecurrenceRule probe = m_rule.rule;
    probe.count = 2;
    RuleOccurrences engine(probe, {DateOfDayNumber(m_from), m_startSeconds});
    const CalendarDate date = DateOf(day);
    const WalkEnd end = engine.Between(date, date, budget, [](const LocalDateTime&) {});
    if (end == WalkEnd::OverBudget)
        return std::nullopt;
    return end == WalkEnd::Finished;
}

// A question for one day is Finished once COUNT is used up on or before it,
// and for every day from there on: the first such day is searched for by
// halving, each question counted with the engine's tables rather than walked.
std::optional<std::int64_t> Series::CountUsedUpBy(WorkBudget& budget) const {
    RuleOccurrences engine = Engine();
    std::int64_t low = m_from, high = kLastDay;
    while (low < high) {
        const std::int64_t middle = low + (high - low) / 2;
        const CalendarDate date = DateOfDayNumber(middle);
        const WalkEnd end = engine.Between(date, date, budget, [](const LocalDateTime&) {});
        if (end == WalkEnd::OverBudget)
            return std::nullopt;
        if (end == WalkEnd::Finished)
            high = middle;
        else
            low = middle + 1;
    }
    return low;
}

std::optional<CalendarDate> Series::OccurrenceCovering(const CalendarDate& day,
                                                       WorkBudget& budget) const {
    if (!m_valid || !IsValidDate(day))
        return std::nullopt;
    const std::int64_t at = DayNumber(day);
    const Search search = FirstStart(at - m_length + 1, at, budget);
    if (search.found != Found::Start)
        return std::nullopt;
    return DateOfDayNumber(search.day);
}

WalkEnd
Series::OccurrencesOverlapping(const CalendarDate& first, const CalendarDate& last,
                               WorkBudget& budget,
                               const std::function<void(const CalendarDate&)>& visit) const {
    if (!m_valid || m_length == 0 || !IsValidDate(first) || !IsValidDate(last))
        return WalkEnd::Finished;
    const std::int64_t low = std::max(m_from, DayNumber(first) - m_length + 1);
    const std::int64_t high = DayNumber(last);
    if (!m_repeats) {
        if (low > m_from)
            return WalkEnd::Finished;
        if (m_from > high)
            return WalkEnd::PastHorizon;
        visit(DateOfDayNumber(m_from));
        return WalkEnd::Finished;
    }
    if (low > high)
        return WalkEnd::PastHorizon;
    return Engine().Between(DateOfDayNumber(low), last, budget, [&](const LocalDateTime& start) {
        if (!Skipped(DayNumber(start.date)))
            visit(start.date);
    });
}

SeriesEnd Series::LastEnd(WorkBudget& budget) const {
    if (!m_valid)
        return {};
    if (!m_repeats)
        return {SeriesEndKind::On, m_to};
    std::int64_t upper = kLastDay;
    if (m_rule.until) {
        upper = DayNumber(m_rule.until->date);
        if (m_rule.until->seconds < m_startSeconds)
            --upper; // that day's occurrence starts after UNTIL
    } else if (m_rule.rule.count != 0) {
        const std::optional<std::int64_t> usedUp = CountUsedUpBy(budget);
        if (!usedUp)
            return {SeriesEndKind::AtLatest, DateOf(kLastDay)};
        upper = *usedUp;
    } else {
        return {};
    }
    if (upper < m_from)
        return {SeriesEndKind::On, m_to}; // UNTIL before FROM: the first occurrence only
    const auto endOf = [&](std::int64_t start) { return DateOf(start + m_length - 1); };
    // A rule that gives nothing for long before `upper` would be walked
    // back all that way: when it gives nothing after FROM until one window
    // before `upper`, only that window is looked at.
    std::int64_t low = m_from;
    const std::int64_t before = upper - FirstWindow();
    if (before > m_from) {
        const std::optional<bool> more = GivesMoreBy(before, budget);
        if (!more)
            return {SeriesEndKind::AtLatest, endOf(upper)};
        if (!*more)
            low = before + 1;
    }
    Search last = LastStartIn(low, upper, budget);
    if (last.found == Found::None && low > m_from)
        last = LastStartIn(m_from, m_from, budget);
    switch (last.found) {
    case Found::Start:
        return {SeriesEndKind::On, endOf(last.day)};
    case Found::OutOfWork:
        return {SeriesEndKind::AtLatest, endOf(upper)};
    default:
        return {SeriesEndKind::On, m_to}; // every occurrence skipped
    }
}

bool Series::EndedBefore(const CalendarDate& today, WorkBudget& budget) const {
    if (!m_valid || !IsValidDate(today) || CompareDates(m_to, today) >= 0)
        return false;
    if (!m_repeats)
        return true;
    if (!m_rule.until && m_rule.rule.count == 0)
        return false;
    const std::int64_t day = DayNumber(today);
    // Half the work looks ahead from today; the rest is left for the last end.
    WorkBudget ahead(std::max<std::int64_t>(0, (budget.Allowed() - budget.Spent()) / 2));
    const Found found = FirstStart(day - m_length + 1, kLastDay, ahead).found;
    budget.Spend(ahead.Spent());
    if (found == Found::OutOfWork) {
        // A rule that rarely or never gives a date: the last end may still tell.
        const SeriesEnd end = LastEnd(budget);
        return end.kind == SeriesEndKind::On && CompareDates(end.lastDay, today) < 0;
    }
    return found == Found::Ended || found == Found::None;
}

bool Series::CoversToday(const CalendarDate& today) {
    if (!m_valid || m_length == 0 || !IsValidDate(today))
        return false;
    const std::int64_t day = DayNumber(today);
    const std::int64_t low = day - m_length + 1;
    if (!m_repeats)
        return m_from >= low && m_from <= day;
    if (low < m_todayLow) { // the clock went back: what lies ahead is unknown
        m_ahead = Found::OutOfWork;
        m_aheadDay = kLongAgo;
    }
    m_todayLow = low;
    if (m_ahead == Found::Start && m_aheadDay >= low)
        return m_aheadDay <= day;
    if (m_ahead == Found::Ended)
        return false;
    const std::int64_t from = m_ahead == Found::OutOfWork ? std::max(low, m_aheadDay + 1) : low;
    WorkBudget budget(kSeriesWork);
    const Search next = FirstStart(from, kLastDay, budget);
    switch (next.found) {
    case Found::Start:
        m_ahead = Found::Start;
        m_aheadDay = next.day;
        return next.day <= day;
    case Found::OutOfWork:
        m_ahead = Found::OutOfWork;
        m_aheadDay = std::max(next.day, m_aheadDay);
        return false;
    default:
        m_ahead = Found::Ended;
        return false;
    }
}

} // namespace ical
