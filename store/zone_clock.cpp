#include "store/zone_clock.h"

#include "framework/utf_text.h"
#include "ical/civil_time.h"
#include "ical/zone_names.h"

#include <algorithm>
#include <cwchar>
#include <iterator>

namespace {

// The years SYSTEMTIME can hold; the rules of the first stand for every
// year before it.
constexpr int kFirstRuleYear = 1601;
constexpr int kLastRuleYear = 30827;
// A zone's rules are kept for this many years at once.
constexpr std::size_t kYearsKept = 64;

ical::ZoneChangeDate ChangeDateOf(const SYSTEMTIME& time) {
    return {time.wYear, time.wMonth,  time.wDayOfWeek, time.wDay,
            time.wHour, time.wMinute, time.wSecond,    time.wMilliseconds};
}

bool NamedRulesForYear(const std::wstring& windowsId, int year, TIME_ZONE_INFORMATION& info) {
    DYNAMIC_TIME_ZONE_INFORMATION dynamic{};
    if (windowsId.size() >= std::size(dynamic.TimeZoneKeyName))
        return false;
    std::wmemcpy(dynamic.TimeZoneKeyName, windowsId.c_str(), windowsId.size());
    return GetTimeZoneInformationForYear(static_cast<USHORT>(year), &dynamic, &info) != FALSE;
}

// The computer's zone for a year: its rules for that year where Windows
// names the zone, else the rules in force now.
TIME_ZONE_INFORMATION ComputerRulesForYear(int year) {
    TIME_ZONE_INFORMATION info{};
    DYNAMIC_TIME_ZONE_INFORMATION dynamic{};
    if (GetDynamicTimeZoneInformation(&dynamic) == TIME_ZONE_ID_INVALID)
        return info; // UTC, rather than nothing
    if (dynamic.TimeZoneKeyName[0] != L'\0' && !dynamic.DynamicDaylightTimeDisabled &&
        GetTimeZoneInformationForYear(static_cast<USHORT>(year), &dynamic, &info))
        return info;
    info = {};
    GetTimeZoneInformation(&info);
    if (dynamic.DynamicDaylightTimeDisabled) {
        // "Adjust for daylight saving time automatically" is off: the clock
        // keeps standard time all year.
        info.StandardDate = {};
        info.DaylightDate = {};
    }
    return info;
}

} // namespace

ical::WindowsZoneRules ZoneRulesOf(const TIME_ZONE_INFORMATION& info) {
    ical::WindowsZoneRules rules;
    rules.bias = info.Bias;
    rules.standardBias = info.StandardBias;
    rules.daylightBias = info.DaylightBias;
    rules.standardDate = ChangeDateOf(info.StandardDate);
    rules.daylightDate = ChangeDateOf(info.DaylightDate);
    return rules;
}

CZoneClock::Zone& CZoneClock::ZoneNamed(const std::string& name) const {
    auto found = m_zones.find(name);
    if (found != m_zones.end())
        return found->second;
    Zone zone;
    const std::string_view windowsId = ical::WindowsZoneOfIana(ical::IanaZoneOf(name));
    TIME_ZONE_INFORMATION probe{};
    if (!windowsId.empty() && NamedRulesForYear(fw::Widen(windowsId), 2000, probe))
        zone.windowsId = fw::Widen(windowsId);
    return m_zones.emplace(name, std::move(zone)).first->second;
}

const ical::WindowsZoneRules& CZoneClock::Rules(Zone& zone, int year) const {
    year = std::clamp(year, kFirstRuleYear, kLastRuleYear);
    auto found = zone.rulesOfYear.find(year);
    if (found != zone.rulesOfYear.end())
        return found->second;
    if (zone.rulesOfYear.size() >= kYearsKept)
        zone.rulesOfYear.clear();
    TIME_ZONE_INFORMATION info{};
    const std::wstring& id = zone.windowsId.empty() ? m_testComputerZone : zone.windowsId;
    if (id.empty() || !NamedRulesForYear(id, year, info))
        info = ComputerRulesForYear(year);
    return zone.rulesOfYear.emplace(year, ZoneRulesOf(info)).first->second;
}

const ical::ZoneTimeline& CZoneClock::Timeline(Zone& zone, int year) const {
    auto found = zone.timelineOfYear.find(year);
    if (found != zone.timelineOfYear.end())
        return found->second;
    if (zone.timelineOfYear.size() >= kYearsKept)
        zone.timelineOfYear.clear();
    // The year before and after as well: a wall-clock time near the turn of
    // the year may lie in the other year in UTC.
    const std::vector<ical::WindowsZoneRules> rules = {Rules(zone, year - 1), Rules(zone, year),
                                                       Rules(zone, year + 1)};
    return zone.timelineOfYear.emplace(year, ical::ZoneTimeline(year - 1, rules)).first->second;
}

std::int64_t CZoneClock::ToUtc(const CalendarDate& date, int minuteOfDay,
                               const std::string& zone) const {
    const ical::LocalDateTime wall{date, minuteOfDay * 60};
    return Timeline(ZoneNamed(zone), date.year).ToUtc(ical::WallSeconds(wall));
}

CalendarDate CZoneClock::LocalDate(std::int64_t utc) const {
    const int year = ical::WallTimeOf(utc).date.year;
    return ical::WallTimeOf(Timeline(ZoneNamed(""), year).ToWall(utc)).date;
}

std::int64_t CZoneClock::UtcOfWall(std::int64_t wallSeconds, const std::string& zone) const {
    const int year = ical::WallTimeOf(wallSeconds).date.year;
    return Timeline(ZoneNamed(zone), year).ToUtc(wallSeconds);
}

std::int64_t CZoneClock::WallAt(std::int64_t utc, const std::string& zone) const {
    const int year = ical::WallTimeOf(utc).date.year;
    return Timeline(ZoneNamed(zone), year).ToWall(utc);
}

void CZoneClock::Forget() {
    m_zones.clear();
}

bool CZoneClock::RulesOfYear(const std::string& zone, int year,
                             ical::WindowsZoneRules& rules) const {
    Zone& named = ZoneNamed(zone);
    if (!zone.empty() && named.windowsId.empty())
        return false; // not a zone this Windows has: the computer's is no stand-in here
    rules = Rules(named, year);
    return true;
}

std::string CZoneClock::ComputerZoneName() const {
    std::wstring id = m_testComputerZone;
    if (id.empty()) {
        DYNAMIC_TIME_ZONE_INFORMATION dynamic{};
        if (GetDynamicTimeZoneInformation(&dynamic) == TIME_ZONE_ID_INVALID)
            return {};
        id = dynamic.TimeZoneKeyName;
    }
    return std::string(ical::IanaZoneOfWindows(fw::Narrow(id)));
}

void CZoneClock::SetComputerZoneForTesting(const std::wstring& windowsId) {
    m_testComputerZone = windowsId;
    Forget();
}
