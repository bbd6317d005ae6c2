#pragma once

// Time zones with fixed rules, for what the clocks' changes do to the day
// timer: in the native checks, the fuzzer and the window's tests alike. No
// system header.

#include "ical/civil_time.h"
#include "tray/reminder_schedule.h"

#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

namespace qmtest {

// Milliseconds since 1970-1-1 00:00 UTC of a UTC date and time.
inline std::int64_t UtcMs(int year, int month, int day, int hour, int minute = 0) {
    return WallClockMs({{year, month, day}, (hour * 60 + minute) * 60000});
}

// An offset from UTC, and the instants at which it changes.
struct FakeZone {
    int firstOffsetMinutes = 0;
    // Each change: its UTC instant, and the offset in minutes from then on.
    std::vector<std::pair<std::int64_t, int>> changes;

    int OffsetMinutesAt(std::int64_t utcMs) const {
        int offset = firstOffsetMinutes;
        for (const auto& [at, after] : changes)
            if (utcMs >= at)
                offset = after;
        return offset;
    }
    std::optional<LocalMoment> operator()(std::int64_t utcMs) const {
        return MomentOfWallClockMs(utcMs + std::int64_t{OffsetMinutesAt(utcMs)} * 60000);
    }
};

// New York's rules in 2027: 14 March 02:00 EST becomes 03:00 EDT, 7 November
// 02:00 EDT becomes 01:00 EST.
inline FakeZone UsEastern2027() {
    return {-300, {{UtcMs(2027, 3, 14, 7), -240}, {UtcMs(2027, 11, 7, 6), -300}}};
}

// Havana's in 2027, which change at midnight: 14 March 00:00 CST becomes
// 01:00 CDT (that day has no 00:00), 7 November 01:00 CDT becomes 00:00 CST
// (that day begins twice).
inline FakeZone Havana2027() {
    return {-300, {{UtcMs(2027, 3, 14, 5), -240}, {UtcMs(2027, 11, 7, 5), -300}}};
}

// Beirut's in 2027: 28 March 00:00 EET becomes 01:00 EEST; 31 October 00:00
// EEST becomes 23:00 EET of 30 October, so 30 October has 25 hours.
inline FakeZone Beirut2027() {
    return {120, {{UtcMs(2027, 3, 27, 22), 180}, {UtcMs(2027, 10, 30, 21), 120}}};
}

// Samoa's of 2011, which skipped a whole day: 29 December 24:00 at -10 hours
// became 31 December 00:00 at +14.
inline FakeZone Samoa2011() {
    return {-600, {{UtcMs(2011, 12, 30, 10), 840}}};
}

} // namespace qmtest
