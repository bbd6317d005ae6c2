#include "calendar/date_text.h"

#include <gtest/gtest.h>

namespace {

TEST(DateText, IsWrittenWithoutLeadingZeros) {
    EXPECT_EQ("2002-5-7", FormatDateText(CalendarDate{2002, 5, 7}));
    EXPECT_EQ("2002-12-31", FormatDateText(CalendarDate{2002, 12, 31}));
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

} // namespace
