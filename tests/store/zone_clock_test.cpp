// The wall clocks of zones by Windows' own rules: CZoneClock against
// Windows' conversions (SystemTimeToTzSpecificLocalTime with the year's
// TIME_ZONE_INFORMATION) over 2027 in New York, Sydney, and two zones that
// change at midnight, Havana and Santiago, among others.
#include "ical/civil_time.h"
#include "ical/zone_names.h"
#include "store/zone_clock.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace {

std::int64_t Utc(int year, int month, int day, int hour, int minute) {
    return ical::WallSeconds({{year, month, day}, hour * 3600 + minute * 60});
}

SYSTEMTIME SystemTimeOf(std::int64_t seconds) {
    const ical::LocalDateTime wall = ical::WallTimeOf(seconds);
    SYSTEMTIME time{};
    time.wYear = static_cast<WORD>(wall.date.year);
    time.wMonth = static_cast<WORD>(wall.date.month);
    time.wDay = static_cast<WORD>(wall.date.day);
    time.wHour = static_cast<WORD>(wall.seconds / 3600);
    time.wMinute = static_cast<WORD>(wall.seconds / 60 % 60);
    time.wSecond = static_cast<WORD>(wall.seconds % 60);
    return time;
}

std::int64_t SecondsOf(const SYSTEMTIME& time) {
    return ical::WallSeconds({{time.wYear, time.wMonth, time.wDay},
                              time.wHour * 3600 + time.wMinute * 60 + time.wSecond});
}

// Windows' own answer: the wall clock of `windowsId` at an instant of 2027,
// from its rules for that year; "" the computer's zone.
std::int64_t WindowsWall(const std::wstring& windowsId, std::int64_t utc) {
    static std::map<std::wstring, TIME_ZONE_INFORMATION> rulesOf2027;
    const SYSTEMTIME universal = SystemTimeOf(utc);
    SYSTEMTIME local{};
    if (windowsId.empty()) {
        EXPECT_TRUE(SystemTimeToTzSpecificLocalTime(nullptr, &universal, &local));
        return SecondsOf(local);
    }
    auto rules = rulesOf2027.find(windowsId);
    if (rules == rulesOf2027.end()) {
        DYNAMIC_TIME_ZONE_INFORMATION dynamic{};
        windowsId.copy(dynamic.TimeZoneKeyName, std::size(dynamic.TimeZoneKeyName) - 1);
        TIME_ZONE_INFORMATION info{};
        EXPECT_TRUE(GetTimeZoneInformationForYear(2027, &dynamic, &info));
        rules = rulesOf2027.emplace(windowsId, info).first;
    }
    EXPECT_TRUE(SystemTimeToTzSpecificLocalTime(&rules->second, &universal, &local));
    return SecondsOf(local);
}

std::int64_t ToUtc(const CZoneClock& clock, int year, int month, int day, int hour, int minute,
                   const std::string& zone) {
    return clock.ToUtc({year, month, day}, hour * 60 + minute, zone);
}

TEST(ZoneClock, EveryHourIsWhereWindowsPutsItAndASkippedTimeAtTheEndOfTheGap) {
    CZoneClock clock;
    const char* const zones[] = {"America/New_York", "Australia/Sydney", "America/Havana",
                                 "America/Santiago", "Europe/Berlin",    "Asia/Kolkata",
                                 "Pacific/Chatham"};
    for (const char* zone : zones) {
        const std::wstring id(ical::WindowsZoneOfIana(zone).begin(),
                              ical::WindowsZoneOfIana(zone).end());
        int repeated = 0;
        for (std::int64_t utc = Utc(2027, 1, 1, 0, 0); utc < Utc(2028, 1, 1, 0, 0); utc += 3600) {
            // The wall clock Windows shows then, back to the first instant
            // that shows it: this one, or an hour before where the hour
            // repeats.
            const std::int64_t wall = WindowsWall(id, utc);
            const ical::LocalDateTime shown = ical::WallTimeOf(wall);
            ASSERT_EQ(0, shown.seconds % 60) << zone;
            const std::int64_t back = clock.ToUtc(shown.date, shown.seconds / 60, zone);
            ASSERT_EQ(wall, WindowsWall(id, back)) << zone << " at " << utc;
            ASSERT_TRUE(back == utc || back == utc - 3600) << zone << " at " << utc;
            repeated += back != utc ? 1 : 0;
        }
        // An hour repeats once a year where the clocks go back.
        const bool daylight = std::string(zone) != "Asia/Kolkata";
        EXPECT_EQ(daylight ? 1 : 0, repeated) << zone;
    }
    // Times no wall clock shows: New York's and Sydney's skipped hours, and
    // by Wine's rules for 2027 the first hour of Havana's 14 March and of
    // Santiago's 5 September.
    EXPECT_EQ(Utc(2027, 3, 14, 7, 0), ToUtc(clock, 2027, 3, 14, 2, 30, "America/New_York"));
    EXPECT_EQ(Utc(2027, 10, 2, 16, 0), ToUtc(clock, 2027, 10, 3, 2, 30, "Australia/Sydney"));
    EXPECT_EQ(Utc(2027, 3, 14, 5, 0), ToUtc(clock, 2027, 3, 14, 0, 30, "America/Havana"));
    EXPECT_EQ(Utc(2027, 9, 5, 4, 0), ToUtc(clock, 2027, 9, 5, 0, 30, "America/Santiago"));
}

TEST(ZoneClock, TheComputersZoneIsTheFallbackAndGivesTheLocalDate) {
    CZoneClock clock;
    // The zone Wine took from the machine: dates as Windows gives them.
    for (std::int64_t utc = Utc(2027, 1, 1, 0, 0); utc < Utc(2028, 1, 1, 0, 0); utc += 7 * 3600)
        ASSERT_EQ(ical::WallTimeOf(WindowsWall(L"", utc)).date, clock.LocalDate(utc)) << utc;
    DYNAMIC_TIME_ZONE_INFORMATION dynamic{};
    GetDynamicTimeZoneInformation(&dynamic);
    std::wstring key = dynamic.TimeZoneKeyName;
    EXPECT_EQ(ical::IanaZoneOfWindows(std::string(key.begin(), key.end())),
              clock.ComputerZoneName());

    // As if the computer were in New York: "", unknown names, and zones
    // this Windows lacks follow its rules.
    clock.SetComputerZoneForTesting(L"Eastern Standard Time");
    EXPECT_EQ("America/New_York", clock.ComputerZoneName());
    for (const char* zone : {"", "Mars/Olympus_Mons", "Atlantis Standard Time"})
        EXPECT_EQ(Utc(2027, 3, 14, 7, 0), ToUtc(clock, 2027, 3, 14, 2, 30, zone)) << zone;
    EXPECT_EQ((CalendarDate{2027, 11, 6}), clock.LocalDate(Utc(2027, 11, 7, 3, 59)));
    EXPECT_EQ((CalendarDate{2027, 11, 7}), clock.LocalDate(Utc(2027, 11, 7, 4, 0)));

    // The rules for a VTIMEZONE, as Windows keeps them.
    ical::WindowsZoneRules rules;
    ASSERT_TRUE(clock.RulesOfYear("America/New_York", 2027, rules));
    EXPECT_EQ(300, rules.bias);
    EXPECT_EQ((ical::ZoneChangeDate{0, 3, 0, 2, 2}), rules.daylightDate);
    EXPECT_EQ((ical::ZoneChangeDate{0, 11, 0, 1, 2}), rules.standardDate);
    EXPECT_FALSE(clock.RulesOfYear("Mars/Olympus_Mons", 2027, rules));
}

} // namespace
