#include "ical/recurrence_rule.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using ical::LocalDateTime;

// The occurrence dates of a rule from `start` up to 2003-12-31; those
// before `from` are left out, as an import leaves them out.
std::vector<std::string> Dates(const std::string& text, CalendarDate start,
                               ical::WalkEnd* end = nullptr, CalendarDate from = {1, 1, 1}) {
    ical::RecurrenceRule rule;
    std::string why;
    EXPECT_TRUE(ical::ParseRecurrenceRule(text, rule, why)) << why;
    ical::Walk walk;
    walk.start = {start, 0};
    walk.skipTo = from;
    if (!rule.until.empty()) // a DATE, in these tests: to the end of that day
        walk.until =
            LocalDateTime{{std::stoi(rule.until.substr(0, 4)), std::stoi(rule.until.substr(4, 2)),
                           std::stoi(rule.until.substr(6, 2))},
                          86399};
    walk.horizon = {2003, 12, 31};
    std::vector<std::string> dates;
    const ical::WalkEnd result = ical::WalkOccurrences(rule, walk, [&](const LocalDateTime& t) {
        if (CompareDates(t.date, from) >= 0)
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

} // namespace
