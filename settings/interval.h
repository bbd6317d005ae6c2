#pragma once

// The reminder interval's rules, in minutes.

// The bounds the Settings dialog offers and stores.
inline constexpr int kMinIntervalMinutes = 1;
inline constexpr int kMaxIntervalMinutes = 60;

// The interval the program runs with for a value read from the options or
// chosen in the dialog: never below kMinIntervalMinutes. A longer one than
// the dialog offers (stored from outside) is kept.
int RunningIntervalMinutes(int minutes);

// Clamps an interval to what the dialog stores.
int ClampIntervalMinutes(int minutes);

// The reminder timer's period in milliseconds for an interval: a running
// interval, capped so that the period fits a window timer (USER_TIMER_MAXIMUM,
// about 24.8 days); a longer one could only come from a value stored from
// outside.
unsigned ReminderPeriodMs(int minutes);
