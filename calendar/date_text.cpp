#include "calendar/date_text.h"

#include <cstdio>

int CompareDates(const CalendarDate& a, const CalendarDate& b) {
    if (a.year != b.year)
        return a.year < b.year ? -1 : 1;
    if (a.month != b.month)
        return a.month < b.month ? -1 : 1;
    if (a.day != b.day)
        return a.day < b.day ? -1 : 1;
    return 0;
}

bool IsLeapYear(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month) {
    static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12)
        return 0;
    return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

std::string FormatDateText(const CalendarDate& date) {
    char text[32];
    std::snprintf(text, sizeof text, "%d-%d-%d", date.year, date.month, date.day);
    return text;
}

namespace {
// One field of up to five digits; advances `p` past it.
bool ReadNumber(const char*& p, int& value) {
    int digits = 0;
    value = 0;
    while (*p >= '0' && *p <= '9') {
        if (++digits > 5)
            return false;
        value = value * 10 + (*p - '0');
        ++p;
    }
    return digits > 0;
}
} // namespace

bool ParseDateText(const char* text, CalendarDate& date) {
    if (text == nullptr)
        return false;
    const char* p = text;
    CalendarDate d;
    if (!ReadNumber(p, d.year) || *p++ != '-')
        return false;
    if (!ReadNumber(p, d.month) || *p++ != '-')
        return false;
    if (!ReadNumber(p, d.day) || *p != '\0')
        return false;
    if (d.year < 1 || d.year > 9999 || d.month < 1 || d.month > 12 || d.day < 1 ||
        d.day > DaysInMonth(d.year, d.month))
        return false;
    date = d;
    return true;
}

bool IsDateKeyName(const char* name) {
    CalendarDate date;
    return ParseDateText(name, date) && FormatDateText(date) == name;
}

CalendarDate NextDay(const CalendarDate& date) {
    CalendarDate next = date;
    if (++next.day > DaysInMonth(next.year, next.month)) {
        next.day = 1;
        if (++next.month > 12) {
            next.month = 1;
            ++next.year;
        }
    }
    return next;
}

CalendarDate PreviousDay(const CalendarDate& date) {
    CalendarDate previous = date;
    if (--previous.day < 1) {
        if (--previous.month < 1) {
            previous.month = 12;
            --previous.year;
        }
        previous.day = DaysInMonth(previous.year, previous.month);
    }
    return previous;
}
