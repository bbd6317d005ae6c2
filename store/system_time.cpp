#include "store/system_time.h"

#include <atomic>

namespace {

std::atomic<LocalTimeOfUtcFn> g_zoneForTesting{nullptr};

// FILETIME counts 100-nanosecond ticks from 1601-1-1; this many of them lie
// before 1970-1-1.
constexpr std::int64_t kTicksBefore1970 = 116444736000000000LL;
constexpr std::int64_t kTicksPerMs = 10000;
// The last millisecond of year 9999, where the store's dates end.
constexpr std::int64_t kLastUtcMs = 253402300799999LL;

// Windows 7 and later convert by each year's own rules (dynamic daylight
// saving time) with the Ex function only. Wine 8 exports none from kernel32,
// so it is looked up, and the plain one, which applies the zone's present
// rules to every year, stands in.
using ConvertExFn = BOOL(WINAPI*)(const DYNAMIC_TIME_ZONE_INFORMATION*, const SYSTEMTIME*,
                                  LPSYSTEMTIME);

ConvertExFn ConvertEx() {
    static const ConvertExFn convert = [] {
        HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
        return kernel == nullptr
                   ? nullptr
                   : reinterpret_cast<ConvertExFn>(reinterpret_cast<void*>(
                         GetProcAddress(kernel, "SystemTimeToTzSpecificLocalTimeEx")));
    }();
    return convert;
}

} // namespace

std::string FormatDateText(const SYSTEMTIME& day) {
    return FormatDateText(DateOf(day));
}

CalendarDate DateOf(const SYSTEMTIME& time) {
    return {time.wYear, time.wMonth, time.wDay};
}

SYSTEMTIME ToSystemTime(const CalendarDate& date) {
    SYSTEMTIME st{};
    st.wYear = static_cast<WORD>(date.year);
    st.wMonth = static_cast<WORD>(date.month);
    st.wDay = static_cast<WORD>(date.day);
    // Day of week, counted by Zeller's rule, so the value is a whole date.
    int y = date.year, m = date.month;
    if (m < 3) {
        m += 12;
        --y;
    }
    int h = (date.day + 13 * (m + 1) / 5 + y + y / 4 - y / 100 + y / 400) % 7; // 0 = Saturday
    st.wDayOfWeek = static_cast<WORD>((h + 6) % 7);
    return st;
}

std::string AppointmentKeyName(const SYSTEMTIME& created, int attempt) {
    return AppointmentKeyName(created.wHour, created.wMinute, created.wSecond,
                              created.wMilliseconds, attempt);
}

bool LocalTimeOfUtc(std::int64_t utcMs, SYSTEMTIME& local) {
    if (LocalTimeOfUtcFn zone = g_zoneForTesting.load())
        return zone(utcMs, local);
    if (utcMs < -kTicksBefore1970 / kTicksPerMs || utcMs > kLastUtcMs)
        return false;
    const auto ticks = static_cast<std::uint64_t>(kTicksBefore1970 + utcMs * kTicksPerMs);
    FILETIME file{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
    SYSTEMTIME utc{};
    if (!FileTimeToSystemTime(&file, &utc))
        return false;
    if (ConvertExFn convertEx = ConvertEx()) {
        DYNAMIC_TIME_ZONE_INFORMATION zone{};
        if (GetDynamicTimeZoneInformation(&zone) != TIME_ZONE_ID_INVALID &&
            convertEx(&zone, &utc, &local))
            return true;
    }
    return SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local) != FALSE;
}

LocalTimeOfUtcFn SetTimeZoneForTesting(LocalTimeOfUtcFn fn) {
    return g_zoneForTesting.exchange(fn);
}
