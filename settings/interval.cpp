#include "settings/interval.h"

#include <algorithm>

namespace {
// The longest interval whose period in milliseconds fits 31 bits.
constexpr int kMaxTimerMinutes = 0x7FFFFFFF / 60000;
} // namespace

int RunningIntervalMinutes(int minutes) {
    return std::max(minutes, kMinIntervalMinutes);
}

int ClampIntervalMinutes(int minutes) {
    return std::min(RunningIntervalMinutes(minutes), kMaxIntervalMinutes);
}

unsigned ReminderPeriodMs(int minutes) {
    return static_cast<unsigned>(std::min(RunningIntervalMinutes(minutes), kMaxTimerMinutes)) *
           60000u;
}
