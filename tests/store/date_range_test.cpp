// The store's dates: from and to SYSTEMTIME, and the range test.
#include "calendar/date_text.h"
#include "store/date_range.h"
#include "store/system_time.h"
#include "tests/support/window_testing.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>

namespace {

TEST(DateText, SystemTimeOfADateNamesItsWeekday) {
    EXPECT_EQ("2002-5-7", FormatDateText(qmtest::MakeDate(2002, 5, 7)));
    SYSTEMTIME st = ToSystemTime({2026, 12, 7});
    EXPECT_EQ(2026, st.wYear);
    EXPECT_EQ(12, st.wMonth);
    EXPECT_EQ(7, st.wDay);
    EXPECT_EQ(1, st.wDayOfWeek);                         // a Monday
    EXPECT_EQ(0, ToSystemTime({2002, 5, 5}).wDayOfWeek); // a Sunday
}

TEST(DateText, TheSystemZoneGivesTheLocalTimeOfTheSystemClock) {
    // Now, read as UTC and converted, against the system's own local time.
    const auto ticks = [](const SYSTEMTIME& time) {
        FILETIME file{};
        SystemTimeToFileTime(&time, &file);
        return static_cast<std::int64_t>((std::uint64_t{file.dwHighDateTime} << 32) |
                                         file.dwLowDateTime);
    };
    SYSTEMTIME utc{}, local{}, converted{};
    GetSystemTime(&utc);
    GetLocalTime(&local);
    const std::int64_t utcMs = (ticks(utc) - 116444736000000000LL) / 10000;
    ASSERT_TRUE(LocalTimeOfUtc(utcMs, converted));
    EXPECT_LT(std::llabs(ticks(converted) - ticks(local)), 2 * 10000000LL)
        << FormatDateText(converted) << " " << converted.wHour << ":" << converted.wMinute;
    EXPECT_FALSE(LocalTimeOfUtc(-11644473600000LL - 1, converted)) << "before 1601";
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
