#pragma once

#include "calendar/date_text.h"
#include "store/key_naming.h"

#include <windows.h>

#include <cstdint>
#include <string>

// The store's dates and key names from and to the system's SYSTEMTIME.

std::string FormatDateText(const SYSTEMTIME& day);
CalendarDate DateOf(const SYSTEMTIME& time);
// A whole SYSTEMTIME of the date, the day of the week included, at midnight.
SYSTEMTIME ToSystemTime(const CalendarDate& date);

// The key name of an appointment created at `created` (see key_naming.h).
std::string AppointmentKeyName(const SYSTEMTIME& created, int attempt);

// The local time of the UTC instant `utcMs` (milliseconds since 1970-1-1
// 00:00 UTC) by the rules of the system's current time zone, the year's own
// rules where the system keeps them; false when the system cannot say.
bool LocalTimeOfUtc(std::int64_t utcMs, SYSTEMTIME& local);

using LocalTimeOfUtcFn = bool (*)(std::int64_t utcMs, SYSTEMTIME& local);
// Replaces the system's zone rules, so that tests can fix a zone; nullptr
// restores them. Returns the previous one.
LocalTimeOfUtcFn SetTimeZoneForTesting(LocalTimeOfUtcFn fn);
