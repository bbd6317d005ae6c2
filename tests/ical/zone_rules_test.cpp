// Time zones as Windows describes them, without Windows: zone names both
// ways, a year's changes from TIME_ZONE_INFORMATION's fields, wall-clock
// time to UTC across them, and the VTIMEZONE that says the same to another
// reader. Window-free: also built natively (fuzz/CMakeLists.txt).
#include "ical/calendar_file.h"
#include "ical/civil_time.h"
#include "ical/time_value.h"
#include "ical/time_zone_table.h"
#include "ical/windows_zone_rules.h"
#include "ical/zone_names.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

using ical::WindowsZoneRules;
using ical::ZoneChangeDate;
using ical::ZoneTimeline;

std::int64_t At(int year, int month, int day, int hour, int minute) {
    return ical::WallSeconds({{year, month, day}, hour * 3600 + minute * 60});
}

// TIME_ZONE_INFORMATION as Windows has it: bias, biases, then StandardDate
// and DaylightDate as {year, month, day of week, week, hour, minute, ...}.
const WindowsZoneRules kEastern{300, 0, -60, {0, 11, 0, 1, 2}, {0, 3, 0, 2, 2}};
const WindowsZoneRules kSydney{-600, 0, -60, {0, 4, 0, 1, 3}, {0, 10, 0, 1, 2}};
const WindowsZoneRules kBerlin{-60, 0, -60, {0, 10, 0, 5, 3}, {0, 3, 0, 5, 2}};
const WindowsZoneRules kHavana{300, 0, -60, {0, 11, 0, 1, 1}, {0, 3, 0, 2, 0}};
// Chile as Windows writes it: the change "at 24:00" on a Saturday.
const WindowsZoneRules kSantiago{
    240, 0, -60, {0, 4, 6, 1, 23, 59, 59, 999}, {0, 9, 6, 1, 23, 59, 59, 999}};
const WindowsZoneRules kIndia{-330, 0, 0, {}, {}};

ZoneTimeline Around2027(const WindowsZoneRules& rules) {
    return ZoneTimeline(2026, {rules, rules, rules});
}

TEST(ZoneNames, WindowsIdsAndIanaNamesMapBothWaysAliasesIncluded) {
    EXPECT_EQ("India Standard Time", ical::WindowsZoneOfIana("Asia/Calcutta"));
    EXPECT_EQ("Asia/Kolkata", ical::IanaZoneOfWindows("India Standard Time"));
    EXPECT_EQ("Eastern Standard Time", ical::WindowsZoneOfIana("US/Eastern"));
    EXPECT_EQ("Eastern Standard Time", ical::WindowsZoneOfIana("america/new_york"));
    EXPECT_EQ("FLE Standard Time", ical::WindowsZoneOfIana("Europe/Kyiv"));
    EXPECT_EQ("Europe/Berlin", ical::IanaZoneOfWindows("w. europe standard time"));
    EXPECT_EQ("", ical::WindowsZoneOfIana("Europe/Atlantis"));
    EXPECT_EQ("", ical::IanaZoneOfWindows("Atlantis Standard Time"));
    EXPECT_EQ("America/Sao_Paulo", ical::IanaZoneOf("E. South America Standard Time"));
    EXPECT_EQ("Asia/Calcutta", ical::IanaZoneOf("ASIA/CALCUTTA"));
}

TEST(WindowsZoneRules, AYearsChangesSkipAndRepeatTheHoursTheClockDoes) {
    // New York, 2027: 14 March 02:00 EST -> 03:00 EDT, 7 November 02:00 EDT
    // -> 01:00 EST.
    EXPECT_EQ((std::vector<ical::ZoneChange>{{At(2027, 3, 14, 7, 0), -5 * 3600, -4 * 3600},
                                             {At(2027, 11, 7, 6, 0), -4 * 3600, -5 * 3600}}),
              ical::ChangesInYear(kEastern, 2027));
    const ZoneTimeline eastern = Around2027(kEastern);
    EXPECT_EQ(At(2027, 3, 14, 6, 59), eastern.ToUtc(At(2027, 3, 14, 1, 59)));
    EXPECT_EQ(At(2027, 3, 14, 7, 0), eastern.ToUtc(At(2027, 3, 14, 2, 30)));
    EXPECT_EQ(At(2027, 3, 14, 7, 0), eastern.ToUtc(At(2027, 3, 14, 3, 0)));
    EXPECT_EQ(At(2027, 11, 7, 5, 0), eastern.ToUtc(At(2027, 11, 7, 1, 0)));
    EXPECT_EQ(At(2027, 11, 7, 7, 0), eastern.ToUtc(At(2027, 11, 7, 2, 0)));
    EXPECT_EQ(At(2027, 11, 7, 1, 30), eastern.ToWall(At(2027, 11, 7, 6, 30))); // the second 01:30

    // Sydney: summer time across the turn of the year; 4 April 03:00 ->
    // 02:00 and 3 October 02:00 -> 03:00 in 2027.
    EXPECT_EQ(11 * 3600, ical::OffsetAtYearStart(kSydney, 2027));
    const ZoneTimeline sydney = Around2027(kSydney);
    EXPECT_EQ(At(2027, 4, 3, 16, 0), ical::ChangesInYear(kSydney, 2027)[0].utc);
    EXPECT_EQ(At(2027, 10, 2, 16, 0), sydney.ToUtc(At(2027, 10, 3, 2, 30)));

    // Havana goes forward at midnight: 14 March 2027 begins at 01:00.
    EXPECT_EQ(At(2027, 3, 14, 5, 0), Around2027(kHavana).ToUtc(At(2027, 3, 14, 0, 0)));
    // Santiago's "23:59:59.999 on the first Saturday" is the midnight after:
    // 5 September 2027 begins at 01:00; the last hour of 3 April happens
    // twice.
    const ZoneTimeline santiago = Around2027(kSantiago);
    EXPECT_EQ(At(2027, 9, 5, 4, 0), santiago.ToUtc(At(2027, 9, 5, 0, 30)));
    EXPECT_EQ(At(2027, 9, 5, 3, 59), santiago.ToUtc(At(2027, 9, 4, 23, 59)));
    EXPECT_EQ(At(2027, 4, 4, 2, 30), santiago.ToUtc(At(2027, 4, 3, 23, 30)));
    EXPECT_EQ(At(2027, 4, 4, 4, 0), santiago.ToUtc(At(2027, 4, 4, 0, 0)));

    // A zone whose standard offset changes between years changes at the
    // first midnight of the new year.
    const WindowsZoneRules later{-240, 0, 0, {}, {}};
    const ZoneTimeline moved(2026, {kIndia, kIndia, later});
    EXPECT_EQ(At(2027, 12, 31, 23, 0) - 19800, moved.ToUtc(At(2027, 12, 31, 23, 0)));
    EXPECT_EQ(At(2028, 1, 1, 1, 0) - 4 * 3600, moved.ToUtc(At(2028, 1, 1, 1, 0)));
}

TEST(WindowsZoneRules, DaylightTimeBeginningAndEndingAtOneInstantSkipsNoTime) {
    // Daylight time from 02:00 standard to 03:00 daylight on 1 May: the same
    // instant, so the clock never moves.
    const WindowsZoneRules none{300, 0, -60, {0, 5, 0, 1, 3}, {0, 5, 0, 1, 2}};
    const ZoneTimeline timeline = Around2027(none);
    EXPECT_TRUE(timeline.Changes().empty());
    EXPECT_EQ(At(2027, 5, 2, 7, 30), timeline.ToUtc(At(2027, 5, 2, 2, 30)));
    EXPECT_EQ(At(2027, 5, 2, 2, 30), timeline.ToWall(At(2027, 5, 2, 7, 30)));
}

TEST(WindowsZoneRules, ItsVTimeZoneGivesAnotherReaderTheSameOffsetsAllYear) {
    struct Zone {
        const char* tzid;
        WindowsZoneRules rules;
    };
    const Zone zones[] = {{"America/New_York", kEastern},  {"Australia/Sydney", kSydney},
                          {"Europe/Berlin", kBerlin},      {"America/Havana", kHavana},
                          {"America/Santiago", kSantiago}, {"Asia/Kolkata", kIndia}};
    std::string body;
    std::vector<ical::TimeZoneRecord> records;
    for (const Zone& zone : zones)
        for (const std::string& line : ical::VTimeZoneLines(zone.tzid, zone.rules, 2020))
            body += line + "\r\n";
    const std::string file =
        "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Test//EN\r\n" + body + "END:VCALENDAR\r\n";
    ical::CalendarFile calendar;
    ical::ReadError error;
    ASSERT_TRUE(ical::ReadCalendarFile(file, calendar, error))
        << error.line << ": " << error.message;
    const ical::TimeZoneTable table(calendar.zones);
    for (const Zone& zone : zones) {
        ASSERT_TRUE(table.Knows(zone.tzid)) << zone.tzid;
        const ZoneTimeline ours = Around2027(zone.rules);
        // Every hour of 2027, and the seconds around each change.
        std::vector<std::int64_t> instants;
        for (std::int64_t utc = At(2027, 1, 1, 0, 0); utc < At(2028, 1, 1, 0, 0); utc += 3600)
            instants.push_back(utc);
        // A change at 23:59:59.999 is written at 23:59:59: the reader
        // changes a second before Windows does.
        const int early = zone.rules.standardDate.milliseconds != 0 ? 1 : 0;
        for (const ical::ZoneChange& change : ical::ChangesInYear(zone.rules, 2027)) {
            instants.push_back(change.utc - 1 - early);
            instants.push_back(change.utc);
        }
        for (std::int64_t utc : instants) {
            ical::LocalDateTime wall;
            ASSERT_TRUE(table.ToWall(zone.tzid, utc, wall));
            ASSERT_EQ(ours.ToWall(utc), ical::WallSeconds(wall))
                << zone.tzid << " at " << ical::FormatUtcTime(utc);
        }
    }
}

} // namespace
