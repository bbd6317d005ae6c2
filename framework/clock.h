#pragma once

#include <windows.h>

namespace fw {

// The one place the program asks for the local date and time, so that tests
// can fix "today" and the time of day.
SYSTEMTIME LocalNow();

using ClockFn = SYSTEMTIME (*)();
// Replaces the clock; nullptr restores GetLocalTime. Returns the previous one.
ClockFn SetClockForTesting(ClockFn fn);
// Whether a test has fixed the clock: what needs an instant rather than the
// local time (store/instant_clock.h) then reads it from the same clock.
bool IsClockFixedForTesting();

} // namespace fw
