#include "framework/clock.h"

#include <atomic>

namespace fw {

namespace {
std::atomic<ClockFn> g_clock{nullptr};
}

SYSTEMTIME LocalNow() {
    if (ClockFn fn = g_clock.load())
        return fn();
    SYSTEMTIME st{};
    GetLocalTime(&st);
    return st;
}

ClockFn SetClockForTesting(ClockFn fn) {
    return g_clock.exchange(fn);
}

bool IsClockFixedForTesting() {
    return g_clock.load() != nullptr;
}

} // namespace fw
