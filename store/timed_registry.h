#pragma once

#include "calendar/appointment_time.h"

#include <windows.h>

// The four values of a timed appointment (store/timed_values.h) in an open
// appointment key: every read and write of them goes through here.

// Reads them as they are stored; whatever cannot be read is absent.
TimedValues ReadTimedValues(HKEY appointment);

// Writes those that are set and deletes those that are not, so that the key
// holds exactly `values` afterwards. False when a write or delete failed;
// what was done before it stays.
bool WriteTimedValues(HKEY appointment, const TimedValues& values);
