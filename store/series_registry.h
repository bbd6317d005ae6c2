#pragma once

#include "calendar/appointment_series.h"

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

// The values of a repeating appointment (store/series_values.h) in an open
// appointment key: every read and write of them goes through here.

// Reads them as they are stored; whatever cannot be read is absent, except
// a REPEAT that cannot be read, which is an unfollowed rule.
SeriesValues ReadSeriesValues(HKEY appointment);

// What a walk over every appointment needs of these: false, after one read,
// when the key has no REPEAT of any type; else REPEAT and SKIP DATES as
// ReadSeriesValues reads them (the UID is not read).
bool ReadRepeatingValues(HKEY appointment, SeriesValues& values);

// Writes those that are set and deletes those that are not, so that the key
// holds exactly `values` afterwards; an unfollowed REPEAT is left as it is
// stored. False when a write or delete failed; what was done before it stays.
bool WriteSeriesValues(HKEY appointment, const SeriesValues& values);

// Writes those that are set into a key just made for them, calling `goOn`
// after each; false as soon as a write fails or `goOn` says stop.
bool WriteSeriesValuesIntoNewKey(HKEY appointment, const SeriesValues& values,
                                 const std::function<bool()>& goOn);
// How many values that writes.
int SeriesValuesToWrite(const SeriesValues& values);

// Copies into `to` each value of `from` that is not named in `owned` (the
// values an edit writes, or removes by leaving out), compared without case
// as the registry does: whatever else the appointment carried (an unfollowed
// rule, values of a newer version) is kept through the edit. False when a
// value could not be read or written.
bool CopyOtherValues(HKEY from, HKEY to, const std::vector<std::string>& owned);
// The names a save of `values` decides on: the six, the timed ones, and the
// series ones but an unfollowed REPEAT.
std::vector<std::string> OwnedValueNames(const SeriesValues& values);
