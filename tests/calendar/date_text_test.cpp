#include "store/date_range.h"
#include "store/date_text.h"
#include "store/system_time.h"
#include "tests/support/window_testing.h"

#include <gtest/gtest.h>

namespace {

TEST(DateText, IsWrittenWithoutLeadingZeros) {
    EXPECT_EQ("2002-5-7", FormatDateText(CalendarDate{2002, 5, 7}));
    EXPECT_EQ("2002-12-31", FormatDateText(CalendarDate{2002, 12, 31}));
    EXPECT_EQ("2002-5-7", FormatDateText(qmtest::MakeDate(2002, 5, 7)));
    // The widest date the pickers offer still fits the 12-byte buffers.
    EXPECT_LT(FormatDateText(CalendarDate{9999, 12, 31}).size(), kDateTextBufferSize);
}

TEST(DateText, ParsesOnlyRealDates) {
    CalendarDate date;
    ASSERT_TRUE(ParseDateText("2002-5-7", date));
    EXPECT_EQ((CalendarDate{2002, 5, 7}), date);
    ASSERT_TRUE(ParseDateText("2002-05-07", date)); // written by hand, still a date
    EXPECT_EQ((CalendarDate{2002, 5, 7}), date);
    ASSERT_TRUE(ParseDateText("2004-2-29", date));

    for (const char* bad : {"", "abc", "2002-5", "2002-13-45", "-1-1-1", "99999-1-1", "2002-5-7-9",
                            "2002-0-1", "2002-1-0", "2003-2-29", "2002-4-31", " 2002-5-7",
                            "2002-5-7 ", "2002--5-7", "0-1-1", "2002-+5-7"}) {
        CalendarDate untouched{1, 2, 3};
        EXPECT_FALSE(ParseDateText(bad, untouched)) << '"' << bad << '"';
        EXPECT_EQ((CalendarDate{1, 2, 3}), untouched) << bad;
    }
    EXPECT_FALSE(ParseDateText(nullptr, date));
}

TEST(DateText, OnlyTheProgramsOwnSpellingNamesADayKey) {
    for (const char* name : {"2002-5-7", "2002-12-31", "1-1-1", "9999-12-31"})
        EXPECT_TRUE(IsDateKeyName(name)) << name;
    for (const char* name : {"2002-05-07", "02002-5-7", "2002-5-07", "abc", "2002-13-45", "OPTIONS",
                             "Appointment 5", "", "2002-5-7-9"})
        EXPECT_FALSE(IsDateKeyName(name)) << name;
}

TEST(DateText, DayStepsCarryIntoTheNeighbouringMonthAndYear) {
    EXPECT_EQ((CalendarDate{2002, 3, 15}), NextDay({2002, 3, 14}));
    EXPECT_EQ((CalendarDate{2002, 3, 14}), PreviousDay({2002, 3, 15}));
    EXPECT_EQ((CalendarDate{2002, 5, 1}), NextDay({2002, 4, 30}));
    EXPECT_EQ((CalendarDate{2003, 1, 1}), NextDay({2002, 12, 31}));
    EXPECT_EQ((CalendarDate{2002, 12, 31}), PreviousDay({2003, 1, 1}));
    EXPECT_EQ((CalendarDate{2004, 2, 29}), PreviousDay({2004, 3, 1}));
    EXPECT_EQ((CalendarDate{2003, 2, 28}), PreviousDay({2003, 3, 1}));
    EXPECT_EQ((CalendarDate{2000, 2, 29}), NextDay({2000, 2, 28}));
    EXPECT_EQ((CalendarDate{1900, 3, 1}), NextDay({1900, 2, 28}));
}

TEST(DateText, SystemTimeOfADateNamesItsWeekday) {
    SYSTEMTIME st = ToSystemTime({2026, 12, 7});
    EXPECT_EQ(2026, st.wYear);
    EXPECT_EQ(12, st.wMonth);
    EXPECT_EQ(7, st.wDay);
    EXPECT_EQ(1, st.wDayOfWeek);                         // a Monday
    EXPECT_EQ(0, ToSystemTime({2002, 5, 5}).wDayOfWeek); // a Sunday
}

TEST(RangeTest, IncludesBothEndsInCalendarOrder) {
    auto current = [](const char* from, const char* to, CalendarDate today) {
        return ClassifyRange(from, to, today) == RangeState::Current;
    };
    EXPECT_TRUE(current("2002-5-1", "2002-5-15", {2002, 5, 2}));
    EXPECT_TRUE(current("2002-5-2", "2002-5-2", {2002, 5, 2}));
    EXPECT_FALSE(current("2002-5-3", "2002-5-15", {2002, 5, 2}));
    EXPECT_FALSE(current("2002-4-1", "2002-5-1", {2002, 5, 2}));
    // Compared as dates, not as texts: "2002-10-2" sorts before "2002-9-28".
    EXPECT_TRUE(current("2002-9-28", "2002-10-2", {2002, 9, 29}));
    EXPECT_TRUE(current("2002-12-31", "2003-1-1", {2002, 12, 31}));
    EXPECT_TRUE(current("2001-12-31", "2002-12-31", {2002, 12, 31}));
    // A range whose end lies before its start holds no day.
    for (int day = 8; day <= 11; ++day)
        EXPECT_FALSE(current("2002-5-10", "2002-5-9", {2002, 5, day})) << day;
    // Unreadable dates are never current.
    EXPECT_FALSE(current("", "2002-5-9", {2002, 5, 7}));
    EXPECT_FALSE(current("2002-5-1", "abc", {2002, 5, 7}));
    EXPECT_FALSE(current("2002-13-45", "2002-5-9", {2002, 5, 7}));
}

TEST(RangeTest, ClassifiesEndedUpcomingAndUnreadable) {
    const CalendarDate today{2002, 5, 7};
    EXPECT_EQ(RangeState::Ended, ClassifyRange("2002-5-1", "2002-5-6", today));
    EXPECT_EQ(RangeState::Current, ClassifyRange("2002-5-6", "2002-5-8", today));
    EXPECT_EQ(RangeState::Current, ClassifyRange("2002-5-1", "2002-5-7", today));
    EXPECT_EQ(RangeState::Upcoming, ClassifyRange("2002-5-8", "2002-5-9", today));
    // Empty range that has not ended yet: kept, never reminded of.
    EXPECT_EQ(RangeState::Upcoming, ClassifyRange("2002-5-10", "2002-5-9", today));
    // Empty range whose end has passed: ended.
    EXPECT_EQ(RangeState::Ended, ClassifyRange("2002-5-6", "2002-5-5", today));
    EXPECT_EQ(RangeState::Unreadable, ClassifyRange("2002-5-1", "", today));
    EXPECT_EQ(RangeState::Unreadable, ClassifyRange("x", "2002-5-1", today));
}

} // namespace
