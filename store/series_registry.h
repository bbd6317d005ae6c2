#pragma once

#include "calendar/appointment_series.h"

#include <windows.h>

// The values of a repeating appointment (store/series_values.h) in an open
// appointment key: every read and write of them goes through here.

// Reads them as they are stored; whatever cannot be read is absent, except
// a REPEAT that cannot be read, which is an unfollowed rule.
SeriesValues ReadSeriesValues(HKEY appointment);

// Writes those that are set and deletes those that are not, so that the key
// holds exactly `values` afterwards; an unfollowed REPEAT is left as it is
// stored. False when a write or delete failed; what was done before it stays.
bool WriteSeriesValues(HKEY appointment, const SeriesValues& values);
