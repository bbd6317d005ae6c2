#pragma once

#include <string>

// Appointment keys are named "Appointment " and the hour, minute, second and
// millisecond of their creation, joined without separators (09:05:03.042 gives
// "Appointment 95342"). Such names can repeat (1:23:45.006 and 12:03:45.006
// give the same), so a name already taken under the day gets a suffix: the
// second is "Appointment 123456-2", the third "-3", and so on.
std::string AppointmentKeyName(int hour, int minute, int second, int milliseconds, int attempt);

// How many names to try before giving up on a day.
inline constexpr int kMaxKeyNameAttempts = 1000;

// A new appointment is written under a name of this form first and given its
// final name only once all its values are in, so that a save cut short leaves
// nothing that looks like an appointment. The walks pass over such names.
// The name sorts after every "Appointment ..." name, so the final name always
// sorts before it: Wine 8's server corrupts a key's list of subkeys when a
// key is renamed to the name that sorts right after its own place.
std::string UnfinishedKeyName(unsigned long processId, unsigned long long stamp);
bool IsUnfinishedKeyName(const char* name);
