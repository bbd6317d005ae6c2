#pragma once

#include "calendar/appointment_time.h"

#include <windows.h>

#include <functional>

// The four values of a timed appointment (store/timed_values.h) in an open
// appointment key: every read and write of them goes through here.

// Reads them as they are stored; whatever cannot be read is absent.
TimedValues ReadTimedValues(HKEY appointment);

// Writes those that are set and deletes those that are not, so that the key
// holds exactly `values` afterwards. False when a write or delete failed;
// what was done before it stays.
bool WriteTimedValues(HKEY appointment, const TimedValues& values);

// Into a key that holds none of the four yet (a save's fresh key): writes
// only those that are set, one at a time, and asks `goOn` after each whether
// to go on. False when a write failed or `goOn` said no.
bool WriteTimedValuesIntoNewKey(HKEY appointment, const TimedValues& values,
                                const std::function<bool()>& goOn);
