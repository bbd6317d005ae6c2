// The alert schedule on Windows' own rules (CZoneClock), as the program
// runs it: the computer taken to be in New York.
#include "ical/civil_time.h"
#include "store/zone_clock.h"
#include "tray/alert_schedule.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <iostream>
#include <vector>

namespace {

std::int64_t Utc(int year, int month, int day, int hour, int minute) {
    return ical::WallSeconds({{year, month, day}, hour * 3600 + minute * 60});
}

TEST(AlertsOnWindowsRules, NineOClockAlertsAtNineOnBothSidesOfTheChangesAndFastAtFiftyThousand) {
    CZoneClock clock;
    clock.SetComputerZoneForTesting(L"Eastern Standard Time");
    CAlertSchedule schedule(clock);
    schedule.Rebuild({{1, {2027, 3, 13}, {2027, 3, 14}, 9 * 60, 0, ""},
                      {2, {2027, 11, 6}, {2027, 11, 7}, 9 * 60, 0, "Europe/Berlin"}},
                     Utc(2027, 3, 1, 0, 0));
    std::vector<std::int64_t> alerts;
    for (std::int64_t at = Utc(2027, 3, 1, 0, 0); alerts.size() < 5;) {
        const std::optional<std::int64_t> next = schedule.NextAlertAfter(at);
        if (!next)
            break;
        alerts.push_back(at = *next);
    }
    // New York at 09:00 EST, then EDT; Berlin at 09:00 CET on both days
    // (Berlin changed a week earlier).
    EXPECT_EQ((std::vector<std::int64_t>{Utc(2027, 3, 13, 14, 0), Utc(2027, 3, 14, 13, 0),
                                         Utc(2027, 11, 6, 8, 0), Utc(2027, 11, 7, 8, 0)}),
              alerts);

    // The walk's result for 50,000 appointments, then the next alert.
    std::vector<AlertEntry> entries;
    for (std::uint64_t id = 1; id <= 50000; ++id)
        entries.push_back({id, ical::AddDays({2027, 6, 1}, static_cast<std::int64_t>(id % 20)),
                           ical::AddDays({2027, 6, 1}, static_cast<std::int64_t>(id % 20 + id % 3)),
                           static_cast<int>(id * 7 % 1440), static_cast<int>(id % 4 * 15),
                           id % 10 == 0 ? "Europe/Berlin" : ""});
    using Clock = std::chrono::steady_clock;
    const std::int64_t now = Utc(2027, 6, 8, 16, 0);
    Clock::time_point start = Clock::now();
    schedule.Rebuild(entries, now);
    const double buildMs = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    start = Clock::now();
    std::int64_t at = now;
    int asked = 0;
    // Within the day ahead, as the timer asks between two turns of the day.
    for (; asked < 10000 && at < now + 24 * 3600; ++asked)
        at = schedule.NextAlertAfter(at).value_or(now + 24 * 3600);
    const double queryUs =
        std::chrono::duration<double, std::micro>(Clock::now() - start).count() / asked;
    std::cout << "[ timing   ] 50,000 appointments on Windows' rules: the schedule in " << buildMs
              << " ms, the next alert in " << queryUs << " us (" << asked << " asked)" << std::endl;
    EXPECT_GT(at, now);
}

} // namespace
