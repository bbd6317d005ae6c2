#include "store/system_time.h"

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
