#include "ical/recurrence_rule.h"
#include "ical/rule_occurrences.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

using ical::AddDays;
using ical::LocalDateTime;

// The occurrence dates of a rule from `start` up to 2003-12-31; those
// before `from` are left out, as an import leaves them out.
std::vector<std::string> Dates(const std::string& text, CalendarDate start,
                               ical::WalkEnd* end = nullptr, CalendarDate from = {1, 1, 1}) {
    ical::RecurrenceRule rule;
    std::string why;
    EXPECT_TRUE(ical::ParseRecurrenceRule(text, rule, why)) << why;
    std::optional<LocalDateTime> until;
    if (!rule.until.empty()) // a DATE, in these tests: to the end of that day
        until =
            LocalDateTime{{std::stoi(rule.until.substr(0, 4)), std::stoi(rule.until.substr(4, 2)),
                           std::stoi(rule.until.substr(6, 2))},
                          86399};
    ical::WorkBudget budget(100000);
    std::vector<std::string> dates;
    const ical::WalkEnd result =
        ical::RuleOccurrences(rule, {start, 0}, until)
            .Between(from, {2003, 12, 31}, budget, [&](const LocalDateTime& t) {
                EXPECT_GE(CompareDates(t.date, from), 0);
                dates.push_back(FormatDateText(t.date));
            });
    if (end != nullptr)
        *end = result;
    return dates;
}

using List = std::vector<std::string>;

TEST(IcalRecurrence, MonthlyAndYearlyRulesGiveTheDatesOfTheRfcExamples) {
    // The second Sunday and the last Friday of each month.
    EXPECT_EQ((List{"2002-1-13", "2002-1-25", "2002-2-10", "2002-2-22", "2002-3-10"}),
              Dates("FREQ=MONTHLY;BYDAY=2SU,-1FR;COUNT=5", {2002, 1, 13}));
    // The last day of the month, and the 31st only where a month has one.
    EXPECT_EQ((List{"2002-1-31", "2002-2-28", "2002-3-31", "2002-4-30"}),
              Dates("FREQ=MONTHLY;BYMONTHDAY=-1;COUNT=4", {2002, 1, 31}));
    EXPECT_EQ((List{"2002-1-31", "2002-3-31", "2002-5-31"}),
              Dates("FREQ=MONTHLY;COUNT=3", {2002, 1, 31}));
    // Friday the 13th.
    EXPECT_EQ((List{"2002-9-13", "2002-12-13", "2003-6-13"}),
              Dates("FREQ=MONTHLY;BYDAY=FR;BYMONTHDAY=13;COUNT=3", {2002, 9, 13}));
    // Thanksgiving, and the first Sunday of March and November.
    EXPECT_EQ((List{"2002-11-28", "2003-11-27"}),
              Dates("FREQ=YEARLY;BYMONTH=11;BYDAY=4TH", {2002, 11, 28}));
    EXPECT_EQ((List{"2002-3-3", "2002-11-3", "2003-3-2"}),
              Dates("FREQ=YEARLY;BYMONTH=3,11;BYDAY=1SU;COUNT=3", {2002, 3, 3}));
    // The 20th Monday of the year; 29 February only in leap years.
    EXPECT_EQ((List{"2002-5-20", "2003-5-19"}), Dates("FREQ=YEARLY;BYDAY=20MO", {2002, 5, 20}));
    EXPECT_EQ((List{"1996-2-29", "2000-2-29"}), Dates("FREQ=YEARLY;COUNT=2", {1996, 2, 29}));
    // Every other week on Tuesday and Sunday: with WKST=MO, and with WKST=SU,
    // which moves the Sundays into other weeks (RFC 5545's own example).
    EXPECT_EQ((List{"1997-8-5", "1997-8-10", "1997-8-19", "1997-8-24"}),
              Dates("FREQ=WEEKLY;INTERVAL=2;COUNT=4;BYDAY=TU,SU;WKST=MO", {1997, 8, 5}));
    EXPECT_EQ((List{"1997-8-5", "1997-8-17", "1997-8-19", "1997-8-31"}),
              Dates("FREQ=WEEKLY;INTERVAL=2;COUNT=4;BYDAY=TU,SU;WKST=SU", {1997, 8, 5}));
}

TEST(IcalRecurrence, CountStartsAtDtstartAndUntilIsInclusive) {
    // DTSTART is the first occurrence even when the rule would not yield it.
    EXPECT_EQ((List{"2002-1-1", "2002-1-7", "2002-1-14"}),
              Dates("FREQ=WEEKLY;BYDAY=MO;COUNT=3", {2002, 1, 1}));
    // Without COUNT an old rule is picked up just before the window, on its
    // own step: every third day since 1900-1-1 falls on 2002-1-3.
    const CalendarDate window{2002, 1, 1};
    const List old = Dates("FREQ=DAILY;INTERVAL=3", {1900, 1, 1}, nullptr, window);
    ASSERT_FALSE(old.empty());
    EXPECT_EQ("2002-1-3", old[0]);
    EXPECT_EQ("2002-1-6", old[1]);
    const List fortnights = Dates("FREQ=WEEKLY;INTERVAL=2;BYDAY=SU", {1990, 1, 7}, nullptr, window);
    ASSERT_FALSE(fortnights.empty());
    EXPECT_EQ("2002-1-6", fortnights[0]); // 626 weeks after 7 January 1990
    EXPECT_EQ((List{"2002-1-1", "2002-1-3", "2002-1-5"}),
              Dates("FREQ=DAILY;INTERVAL=2;UNTIL=20020105", {2002, 1, 1}));
    ical::WalkEnd end;
    Dates("FREQ=DAILY;UNTIL=20020105", {2002, 1, 1}, &end);
    EXPECT_EQ(ical::WalkEnd::Finished, end);
    // A rule that never matches ends at the horizon; an open one says it
    // goes on.
    EXPECT_EQ((List{"2002-1-31"}),
              Dates("FREQ=YEARLY;BYMONTH=2;BYMONTHDAY=31", {2002, 1, 31}, &end));
    EXPECT_EQ(ical::WalkEnd::PastHorizon, end);
}

TEST(IcalRecurrence, PartsThatWouldNeedGuessingAreRefusedByName) {
    ical::RecurrenceRule rule;
    std::string why;
    for (const char* text : {"FREQ=MONTHLY;BYSETPOS=-1;BYDAY=MO", "FREQ=YEARLY;BYWEEKNO=20",
                             "FREQ=YEARLY;BYYEARDAY=100", "FREQ=DAILY;BYHOUR=9", "FREQ=MINUTELY",
                             "FREQ=WEEKLY;BYDAY=2MO", "INTERVAL=2", "FREQ=DAILY;INTERVAL=0",
                             "FREQ=MONTHLY;BYMONTHDAY=32", "FREQ=WEEKLY;BYMONTHDAY=1",
                             "FREQ=DAILY;COUNT=x", "FREQ=DAILY;X"}) {
        EXPECT_FALSE(ical::ParseRecurrenceRule(text, rule, why)) << text;
        EXPECT_FALSE(why.empty()) << text;
    }
    ASSERT_FALSE(ical::ParseRecurrenceRule("FREQ=MONTHLY;BYSETPOS=-1;BYDAY=MO", rule, why));
    EXPECT_NE(std::string::npos, why.find("BYSETPOS"));
}

// What the engine would do without counting: walk every period from
// DTSTART, and keep the dates from `from` on.
std::vector<CalendarDate> Walked(const ical::RecurrenceRule& rule, CalendarDate start,
                                 CalendarDate from, CalendarDate to) {
    ical::WorkBudget unlimited(INT64_MAX);
    std::vector<CalendarDate> dates;
    ical::RuleOccurrences(rule, {start, 0})
        .Between(start, to, unlimited, [&](const LocalDateTime& t) {
            if (CompareDates(t.date, from) >= 0)
                dates.push_back(t.date);
        });
    return dates;
}

TEST(IcalRecurrence, CountRulesFromDistantStartsAreCountedNotWalked) {
    // Each rule takes another way of counting: whole years or months by
    // their class, the 400-year cycle, the lattice of an interval, weekdays.
    const char* const rules[] = {
        "FREQ=YEARLY;BYDAY=MO",
        "FREQ=YEARLY;BYDAY=MO,TU,WE,TH,FR,SA,SU",
        "FREQ=YEARLY;INTERVAL=3;BYMONTH=2,3;BYMONTHDAY=29",
        "FREQ=YEARLY;BYDAY=20MO,-1SU",
        "FREQ=MONTHLY;BYDAY=1MO,2TU,-1FR",
        "FREQ=MONTHLY;INTERVAL=7;BYMONTHDAY=1,15,-1",
        "FREQ=MONTHLY;INTERVAL=10;BYDAY=-1SU",
        "FREQ=MONTHLY;INTERVAL=4;BYMONTH=1,5,9,10;BYMONTHDAY=31",
        "FREQ=DAILY;BYMONTH=1,3;BYMONTHDAY=1,-1",
        "FREQ=DAILY;INTERVAL=2;BYMONTH=6",
        "FREQ=DAILY;INTERVAL=3;BYMONTHDAY=-1",
        "FREQ=DAILY;INTERVAL=5;BYDAY=SA,SU",
        "FREQ=DAILY;INTERVAL=400;BYMONTH=1,2,3,4,5,6",
        "FREQ=WEEKLY;INTERVAL=2;BYMONTH=6,11;BYDAY=MO,FR",
        "FREQ=WEEKLY;BYMONTH=12;BYDAY=TU;WKST=SU",
        "FREQ=WEEKLY;INTERVAL=3;BYDAY=TU,SU",
        "FREQ=WEEKLY;INTERVAL=3;BYMONTH=2;BYDAY=WE",
    };
    const CalendarDate from{2002, 5, 7}, to{2008, 5, 7};
    for (const CalendarDate start : {CalendarDate{1, 1, 1}, CalendarDate{1582, 10, 15}}) {
        for (const char* text : rules) {
            ical::RecurrenceRule rule;
            std::string why;
            ASSERT_TRUE(ical::ParseRecurrenceRule(text, rule, why)) << text;
            const std::vector<CalendarDate> open = Walked(rule, start, from, to);
            ASSERT_GE(open.size(), 2u) << text;
            // COUNT made to end within the span, at its second date there.
            std::int64_t before = 0;
            ical::WorkBudget unlimited(INT64_MAX);
            ical::RuleOccurrences(rule, {start, 0})
                .Between(start, AddDays(from, -1), unlimited,
                         [&](const LocalDateTime&) { ++before; });
            rule.count = before + 2;
            ical::WorkBudget budget(12000);
            std::vector<CalendarDate> counted;
            const ical::WalkEnd end = ical::RuleOccurrences(rule, {start, 0})
                                          .Between(from, to, budget, [&](const LocalDateTime& t) {
                                              counted.push_back(t.date);
                                          });
            EXPECT_EQ(ical::WalkEnd::Finished, end) << text;
            EXPECT_EQ((std::vector<CalendarDate>{open[0], open[1]}), counted) << text;
            EXPECT_LE(budget.Spent(), 12000) << text;
        }
    }
}

TEST(IcalRecurrence, OneRuleAskedDayAfterDayCostsLittleMoreThanItsDates) {
    // As a reminder asks each day which occurrences fall on it.
    ical::RecurrenceRule rule;
    std::string why;
    ASSERT_TRUE(ical::ParseRecurrenceRule("FREQ=MONTHLY;BYDAY=2TU,-1FR;COUNT=60000", rule, why));
    ical::RuleOccurrences occurrences(rule, {{1, 1, 1}, 0});
    ical::WorkBudget budget(INT64_MAX);
    int found = 0;
    CalendarDate day{2002, 1, 1};
    for (int i = 0; i < 365; ++i, day = AddDays(day, 1))
        occurrences.Between(day, day, budget, [&](const LocalDateTime&) { ++found; });
    EXPECT_EQ(24, found);
    EXPECT_LT(budget.Spent(), 20000);
}

} // namespace
