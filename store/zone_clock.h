#pragma once

#include "ical/windows_zone_rules.h"
#include "store/wall_clock.h"

#include <windows.h>

#include <map>
#include <string>
#include <unordered_map>

// A zone's rules as a TIME_ZONE_INFORMATION holds them.
ical::WindowsZoneRules ZoneRulesOf(const TIME_ZONE_INFORMATION& info);

// The wall clocks of zones by Windows' own rules. A zone named by its IANA
// name (or a Windows id) is the Windows zone CLDR maps it to, with the rules
// Windows keeps for each year (GetTimeZoneInformationForYear: the registry's
// Time Zones key and its Dynamic DST years); "", a name no table knows, and
// a zone this Windows lacks are the computer's zone, with the rules of its
// year as well. Each zone's rules are read once per year and kept; the
// conversions are then arithmetic (ical::ZoneTimeline), which moves a time
// inside a skipped hour to the end of the gap, as SystemTimeToTzSpecific-
// LocalTime's inverse does not. Not for several threads at once.
class CZoneClock final : public IWallClock {
public:
    CZoneClock() = default;
    CZoneClock(const CZoneClock&) = delete;
    CZoneClock& operator=(const CZoneClock&) = delete;

    std::int64_t ToUtc(const CalendarDate& date, int minuteOfDay,
                       const std::string& zone) const override;
    CalendarDate LocalDate(std::int64_t utc) const override;

    // Drops every rule read: after WM_TIMECHANGE, when the computer's zone or
    // its rules may have changed.
    void Forget();

    // A zone's rules for a year, as a VTIMEZONE states them ("" the
    // computer's zone); false for a named zone this Windows does not have.
    bool RulesOfYear(const std::string& zone, int year, ical::WindowsZoneRules& rules) const;

    // The IANA name of the computer's zone, or "" when no table knows it.
    std::string ComputerZoneName() const;

    // Wall-clock times to the second, counted as ical::WallSeconds counts
    // them, in `zone` ("" the computer's), as ToUtc and LocalDate treat them.
    std::int64_t UtcOfWall(std::int64_t wallSeconds, const std::string& zone) const;
    std::int64_t WallAt(std::int64_t utc, const std::string& zone) const;

    // Tests: the computer's zone is taken to be this Windows id ("" again:
    // the real one).
    void SetComputerZoneForTesting(const std::wstring& windowsId);

private:
    struct Zone {
        std::wstring windowsId; // "" the computer's zone
        std::map<int, ical::WindowsZoneRules> rulesOfYear;
        std::map<int, ical::ZoneTimeline> timelineOfYear;
    };

    Zone& ZoneNamed(const std::string& zone) const;
    const ical::WindowsZoneRules& Rules(Zone& zone, int year) const;
    const ical::ZoneTimeline& Timeline(Zone& zone, int year) const;

    std::wstring m_testComputerZone;
    mutable std::unordered_map<std::string, Zone> m_zones;
};
