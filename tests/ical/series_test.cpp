// Repeating appointments' occurrences: which days they cover, when the
// last ends, and that every question stays within its work, whatever the
// rule. Window-free: also built natively (fuzz/CMakeLists.txt).
#include "ical/series.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using ical::Series;
using ical::SeriesEndKind;
using List = std::vector<std::string>;

SeriesValues Rule(const std::string& text, std::vector<CalendarDate> skips = {}) {
    return {RepeatKind::Rule, text, std::move(skips), ""};
}

List Overlapping(const Series& series, CalendarDate first, CalendarDate last) {
    List starts;
    ical::WorkBudget budget(ical::kSeriesWork);
    series.OccurrencesOverlapping(first, last, budget, [&](const CalendarDate& start) {
        starts.push_back(FormatDateText(start));
    });
    EXPECT_FALSE(budget.Exhausted());
    return starts;
}

std::string Covering(const Series& series, CalendarDate day) {
    ical::WorkBudget budget(ical::kSeriesWork);
    const std::optional<CalendarDate> start = series.OccurrenceCovering(day, budget);
    return start ? FormatDateText(*start) : "-";
}

std::string LastEnd(const Series& series) {
    ical::WorkBudget budget(ical::kSeriesWork);
    const ical::SeriesEnd end = series.LastEnd(budget);
    EXPECT_LE(budget.Spent(), ical::kSeriesWork);
    switch (end.kind) {
    case SeriesEndKind::Never:
        return "never";
    case SeriesEndKind::AtLatest:
        return "by " + FormatDateText(end.lastDay);
    default:
        return FormatDateText(end.lastDay);
    }
}

TEST(Series, OccurrencesCoverTheirDaysAndSkipDatesRemoveThemOneByOne) {
    // Monday and Tuesday every week, the week of 15 March skipped.
    Series classes({2027, 3, 1}, {2027, 3, 2}, Rule("FREQ=WEEKLY;BYDAY=MO", {{2027, 3, 15}}));
    EXPECT_EQ("2027-3-8", Covering(classes, {2027, 3, 9}));
    EXPECT_EQ("-", Covering(classes, {2027, 3, 10}));
    EXPECT_EQ("-", Covering(classes, {2027, 3, 16}));
    EXPECT_EQ("-", Covering(classes, {2027, 2, 28}));
    EXPECT_EQ((List{"2027-3-1", "2027-3-8", "2027-3-22"}),
              Overlapping(classes, {2027, 3, 2}, {2027, 3, 22}));

    // The remembered answer to "covers today?" is the one asked afresh, day
    // after day, across the skipped week, and after the clock goes back.
    Series remembered = classes;
    std::string days;
    for (CalendarDate day{2027, 2, 27}; CompareDates(day, {2027, 4, 5}) <= 0; day = NextDay(day)) {
        EXPECT_EQ(Covering(classes, day) != "-", remembered.CoversToday(day))
            << FormatDateText(day);
        days += remembered.CoversToday(day) ? "x" : ".";
    }
    EXPECT_EQ("..xx.....xx............xx.....xx.....x", days);
    EXPECT_TRUE(remembered.CoversToday({2027, 3, 2}));
    EXPECT_FALSE(remembered.CoversToday({2027, 3, 3}));

    // One that does not repeat covers FROM..TO only, skip dates or not.
    Series once({2027, 3, 1}, {2027, 3, 3}, {RepeatKind::None, "", {{2027, 3, 1}}, ""});
    EXPECT_EQ("2027-3-1", Covering(once, {2027, 3, 3}));
    EXPECT_FALSE(once.CoversToday({2027, 3, 4}));
    EXPECT_EQ(List{"2027-3-1"}, Overlapping(once, {2026, 1, 1}, {2028, 1, 1}));
}

TEST(Series, TheFirstOccurrenceIsFromToWhateverTheRuleSays) {
    // FROM on a Wednesday, the rule on Mondays: both.
    Series offRule({2027, 3, 3}, {2027, 3, 3}, Rule("FREQ=WEEKLY;BYDAY=MO;COUNT=3"));
    EXPECT_EQ((List{"2027-3-3", "2027-3-8", "2027-3-15"}),
              Overlapping(offRule, {2027, 1, 1}, {2027, 12, 31}));
    EXPECT_EQ("2027-3-15", LastEnd(offRule));
    // UNTIL before FROM, and a rule that never matches, leave FROM..TO.
    for (const char* rule : {"FREQ=DAILY;UNTIL=20270101", "FREQ=YEARLY;BYMONTH=2;BYMONTHDAY=30"}) {
        Series alone({2027, 3, 3}, {2027, 3, 4}, Rule(rule));
        EXPECT_TRUE(alone.Repeats()) << rule;
        EXPECT_EQ(List{"2027-3-3"}, Overlapping(alone, {2027, 1, 1}, {2040, 1, 1})) << rule;
        EXPECT_EQ("2027-3-3", Covering(alone, {2027, 3, 4})) << rule;
    }
    // A rule outside the set, or one that cannot be read, is one occurrence.
    for (const char* rule : {"FREQ=HOURLY", "FREQ=DAILY;COUNT=2;UNTIL=20280101", "FREQ=DAILY;X",
                             "FREQ=MONTHLY;BYSETPOS=1;BYDAY=MO", "FREQ=DAILY;UNTIL=2028"}) {
        Series once({2027, 3, 3}, {2027, 3, 3}, Rule(rule));
        EXPECT_FALSE(once.Repeats()) << rule;
        EXPECT_EQ(List{"2027-3-3"}, Overlapping(once, {2027, 1, 1}, {2040, 1, 1})) << rule;
        EXPECT_EQ("2027-3-3", LastEnd(once)) << rule;
    }
}

TEST(Series, TheLastOccurrenceEndsWhereCountOrUntilSay) {
    // Two days each; the tenth Monday ends on a Tuesday.
    EXPECT_EQ("2027-5-4",
              LastEnd(Series({2027, 3, 1}, {2027, 3, 2}, Rule("FREQ=WEEKLY;COUNT=10"))));
    // UNTIL on a Thursday: the last Monday before it; a skipped last
    // occurrence gives the one before.
    EXPECT_EQ("2027-3-29",
              LastEnd(Series({2027, 3, 1}, {2027, 3, 1}, Rule("FREQ=WEEKLY;UNTIL=20270401"))));
    EXPECT_EQ("2027-3-22", LastEnd(Series({2027, 3, 1}, {2027, 3, 1},
                                          Rule("FREQ=WEEKLY;UNTIL=20270401", {{2027, 3, 29}}))));
    // A DATE-TIME UNTIL before the occurrences' time of day leaves its day out.
    EXPECT_EQ("2027-3-22", LastEnd(Series({2027, 3, 1}, {2027, 3, 1},
                                          Rule("FREQ=WEEKLY;UNTIL=20270329T090000"), 10 * 3600)));
    EXPECT_EQ("never", LastEnd(Series({2027, 3, 1}, {2027, 3, 1}, Rule("FREQ=MONTHLY"))));

    // The purge asks whether it all ended before today.
    Series course({2027, 3, 1}, {2027, 3, 2}, Rule("FREQ=WEEKLY;COUNT=10"));
    ical::WorkBudget budget(ical::kSeriesWork);
    EXPECT_FALSE(course.EndedBefore({2027, 5, 4}, budget));
    EXPECT_TRUE(course.EndedBefore({2027, 5, 5}, budget));
    EXPECT_FALSE(
        Series({2027, 3, 1}, {2027, 3, 1}, Rule("FREQ=YEARLY")).EndedBefore({2900, 1, 1}, budget));
    EXPECT_TRUE(
        Series({2027, 3, 1}, {2027, 3, 1}, Rule("FREQ=HOURLY")).EndedBefore({2027, 3, 2}, budget));
}

TEST(Series, AbsurdRulesAreAnsweredWithBoundedWork) {
    const CalendarDate from{2002, 5, 8};
    struct Case {
        const char* rule;
        const char* lastEnd;
        const char* nextAfterFrom; // within fifty years
        bool coversYear5000;
    } cases[] = {
        {"FREQ=DAILY;COUNT=1000000", "4740-4-3", "2002-5-9", false},
        {"FREQ=DAILY;COUNT=999999999", "9999-12-31", "2002-5-9", true},
        {"FREQ=DAILY;INTERVAL=999999", "never", "-", false},
        {"FREQ=YEARLY;INTERVAL=999999;COUNT=5", "2002-5-8", "-", false},
        {"FREQ=YEARLY;BYMONTH=2;BYDAY=5MO;COUNT=3", "2044-2-29", "2016-2-29", false},
        {"FREQ=MONTHLY;BYMONTH=2;BYMONTHDAY=30;COUNT=3", "2002-5-8", "-", false},
        {"FREQ=DAILY;BYMONTH=2;BYMONTHDAY=30;UNTIL=99991231", "2002-5-8", "-", false},
    };
    for (const Case& c : cases) {
        Series series(from, from, Rule(c.rule));
        EXPECT_EQ(c.lastEnd, LastEnd(series)) << c.rule;
        ical::WorkBudget budget(ical::kSeriesWork);
        std::string next = "-";
        series.OccurrencesOverlapping(ical::AddDays(from, 1), {2052, 5, 8}, budget,
                                      [&](const CalendarDate& start) {
                                          if (next == "-")
                                              next = FormatDateText(start);
                                      });
        EXPECT_EQ(c.nextAfterFrom, next) << c.rule;
        // Today far on: answered within one question's work, and again at once.
        EXPECT_EQ(c.coversYear5000, series.CoversToday({5000, 1, 1})) << c.rule;
        EXPECT_EQ(c.coversYear5000, series.CoversToday({5000, 1, 1})) << c.rule;
    }
}

TEST(Series, BirthdaysOnTheTwentyNinthOfFebruary) {
    // As the dialog keeps it: on the last day of February.
    const CalendarDate leapDay{2024, 2, 29};
    EXPECT_EQ("FREQ=YEARLY;BYMONTH=2;BYMONTHDAY=-1", ical::YearlyRuleOn(leapDay));
    EXPECT_EQ("FREQ=YEARLY", ical::YearlyRuleOn({2024, 3, 1}));
    Series birthday(leapDay, leapDay, Rule(ical::YearlyRuleOn(leapDay)));
    EXPECT_EQ((List{"2024-2-29", "2025-2-28", "2026-2-28", "2027-2-28", "2028-2-29"}),
              Overlapping(birthday, {2024, 1, 1}, {2028, 12, 31}));
    EXPECT_TRUE(birthday.CoversToday({2025, 2, 28}));
    EXPECT_FALSE(birthday.CoversToday({2025, 3, 1}));
    // A plain yearly rule from another program: leap years only.
    Series plain(leapDay, leapDay, Rule("FREQ=YEARLY"));
    EXPECT_EQ((List{"2024-2-29", "2028-2-29"}), Overlapping(plain, {2024, 1, 1}, {2028, 12, 31}));
}

} // namespace
