#pragma once

#include <windows.h>

namespace fw {

// The one place the program asks for the local date and time, so that tests
// can fix "today" and the time of day.
SYSTEMTIME LocalNow();

using ClockFn = SYSTEMTIME (*)();
// Replaces the clock; nullptr restores GetLocalTime. Returns the previous one.
ClockFn SetClockForTesting(ClockFn fn);

} // namespace fw
