#pragma once

#include "ical/calendar_export.h"
#include "ical/civil_time.h"
#include "ical/import_plan.h"
#include "ical/windows_zone_rules.h"
#include "ical/zone_names.h"

#include <map>
#include <string>

namespace qmtest {

// Zones as Windows keeps them now, by IANA name, and a computer in one of
// them: times in zones for tests without the system's tables.
struct FixedZones {
    std::map<std::string, ical::WindowsZoneRules> rules{
        // Last Sunday of March 02:00 to last Sunday of October 03:00.
        {"Europe/Berlin", {-60, 0, -60, {0, 10, 0, 5, 3}, {0, 3, 0, 5, 2}}},
        // Second Sunday of March to first Sunday of November, 02:00.
        {"America/New_York", {300, 0, -60, {0, 11, 0, 1, 2}, {0, 3, 0, 2, 2}}},
    };
    std::string computer;

    // A zone named by its IANA name or Windows id; "" the computer's.
    const ical::WindowsZoneRules* Find(const std::string& zone) const {
        const auto found =
            rules.find(zone.empty() ? computer : std::string(ical::IanaZoneOf(zone)));
        return found != rules.end() ? &found->second : nullptr;
    }
    ical::ZoneTimeline Timeline(const std::string& zone, int year) const {
        const ical::WindowsZoneRules& r = *Find(zone);
        return ical::ZoneTimeline(year - 1, {r, r, r});
    }
    ical::ExportOptions Export() const {
        ical::ExportOptions options{"1.0", 1020772800, computer, {}};
        options.zoneRules = [this](const std::string& zone, ical::WindowsZoneRules& out) {
            const ical::WindowsZoneRules* found = Find(zone);
            return found != nullptr && (out = *found, true);
        };
        return options;
    }
    ical::ImportOptions Import() const {
        ical::ImportOptions options;
        options.today = {2002, 5, 7};
        options.computerZone = computer;
        options.localTimeOf = [this](std::int64_t utc) {
            return ical::WallTimeOf(Timeline("", ical::WallTimeOf(utc).date.year).ToWall(utc));
        };
        options.zoneToUtc = [this](const std::string& zone, const ical::LocalDateTime& wall,
                                   std::int64_t& utc) {
            if (zone.empty() || Find(zone) == nullptr)
                return false;
            utc = Timeline(zone, wall.date.year).ToUtc(ical::WallSeconds(wall));
            return true;
        };
        options.zoneToWall = [this](const std::string& zone, std::int64_t utc,
                                    ical::LocalDateTime& wall) {
            if (zone.empty() || Find(zone) == nullptr)
                return false;
            wall = ical::WallTimeOf(Timeline(zone, ical::WallTimeOf(utc).date.year).ToWall(utc));
            return true;
        };
        return options;
    }
};

} // namespace qmtest
