#pragma once

// The reminder interval's bounds in minutes, as the dialog stores them.
inline constexpr int kMinIntervalMinutes = 1;
inline constexpr int kMaxIntervalMinutes = 60;

// Clamps an interval in minutes to what the dialog stores.
int ClampIntervalMinutes(int minutes);
