#pragma once

#include <cstddef>
#include <string>

// Free of system headers, so the date logic also builds and is fuzzed natively;
// the conversions to and from SYSTEMTIME are in store/system_time.h.

// A calendar date, and its text form "year-month-day" without leading zeros
// (7 May 2002 is "2002-5-7") that names the day keys and fills FROM and TO.
struct CalendarDate {
    int year = 0;
    int month = 0; // 1 to 12
    int day = 0;   // 1 to the length of the month

    friend bool operator==(const CalendarDate&, const CalendarDate&) = default;
};

// Calendar order: year, then month, then day. Negative, zero or positive.
int CompareDates(const CalendarDate& a, const CalendarDate& b);

bool IsLeapYear(int year);
int DaysInMonth(int year, int month);

// Buffers that hold a date text are this large (the text has at most 10
// characters with a four-digit year).
inline constexpr std::size_t kDateTextBufferSize = 12;

std::string FormatDateText(const CalendarDate& date);

// Reads a stored date text: three decimal numbers joined by '-', year 1 to
// 9999, a month that exists and a day that the month has. Anything else is
// not a date and yields false.
bool ParseDateText(const char* text, CalendarDate& date);

// Whether `name` is a date text exactly as FormatDateText writes it, the
// only form of a day key the program makes and lists.
bool IsDateKeyName(const char* name);

// The next and the previous calendar day, carrying into the neighbouring
// month and year.
CalendarDate NextDay(const CalendarDate& date);
CalendarDate PreviousDay(const CalendarDate& date);
