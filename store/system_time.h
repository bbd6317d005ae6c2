#pragma once

#include "calendar/date_text.h"
#include "store/key_naming.h"

#include <windows.h>

#include <string>

// The store's dates and key names from and to the system's SYSTEMTIME.

std::string FormatDateText(const SYSTEMTIME& day);
CalendarDate DateOf(const SYSTEMTIME& time);
// A whole SYSTEMTIME of the date, the day of the week included, at midnight.
SYSTEMTIME ToSystemTime(const CalendarDate& date);

// The key name of an appointment created at `created` (see key_naming.h).
std::string AppointmentKeyName(const SYSTEMTIME& created, int attempt);
