#pragma once

#include "store/wall_clock.h"

#include <cstdint>

// Now as an instant, in milliseconds from 1970-1-1 00:00:00 UTC: the
// system's own UTC clock. When a test has fixed the program's clock
// (fw::SetClockForTesting), it is that local time read through `clock` in
// the computer's zone instead, so that "now" and "today" always agree and a
// test moves both with one call. (A fixed time in the hour a change of the
// clocks repeats is its first occurrence.)
std::int64_t NowMs(const IWallClock& clock);
