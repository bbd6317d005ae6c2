#include "store/instant_clock.h"

#include "framework/clock.h"

#include <windows.h>

namespace {
// From 1601-1-1 (FILETIME's start) to 1970-1-1, in 100 ns steps.
constexpr std::int64_t kUnixEpochTicks = 116444736000000000LL;
} // namespace

std::int64_t NowMs(const IWallClock& clock) {
    if (!fw::IsClockFixedForTesting()) {
        FILETIME now{};
        GetSystemTimeAsFileTime(&now);
        const auto ticks = static_cast<std::int64_t>(
            (static_cast<std::uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime);
        return (ticks - kUnixEpochTicks) / 10000;
    }
    const SYSTEMTIME local = fw::LocalNow();
    const CalendarDate date{local.wYear, local.wMonth, local.wDay};
    const std::int64_t minute = clock.ToUtc(date, local.wHour * 60 + local.wMinute, "");
    return minute * 1000 + local.wSecond * 1000 + local.wMilliseconds;
}
