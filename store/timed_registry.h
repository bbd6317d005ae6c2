#pragma once

#include "calendar/appointment_time.h"

#include <windows.h>

#include <functional>
#include <optional>

// The four values of a timed appointment (store/timed_values.h) in an open
// appointment key: every read and write of them goes through here.

// Reads them as they are stored; whatever cannot be read is absent.
TimedValues ReadTimedValues(HKEY appointment);

// TIME alone, as the day's list needs it: one read per appointment.
std::optional<int> ReadTimeOfDay(HKEY appointment);

// What an alert needs, read as the walk over every appointment reads it:
// REMIND BEFORE alone, and only when it is there, TIME and TIME ZONE. False,
// with `values` cleared, when the appointment has no alert.
bool ReadAlertValues(HKEY appointment, TimedValues& values);

// Writes those that are set and deletes those that are not, so that the key
// holds exactly `values` afterwards. False when a write or delete failed;
// what was done before it stays.
bool WriteTimedValues(HKEY appointment, const TimedValues& values);

// Into a key that holds none of the four yet (a save's fresh key): writes
// only those that are set, one at a time, and asks `goOn` after each whether
// to go on. False when a write failed or `goOn` said no.
bool WriteTimedValuesIntoNewKey(HKEY appointment, const TimedValues& values,
                                const std::function<bool()>& goOn);
