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
//
// The name says who writes it: the process by its id and its creation time
// (a process id alone is soon given to another process), and the batch of
// saves within that process, so that a clean-up can tell a key whose writer
// has gone from one still being written.
struct UnfinishedWriter {
    unsigned long processId = 0;
    // FILETIME ticks; 0 in the names of older builds, which gave the process
    // id and a counter only.
    unsigned long long processCreated = 0;
    unsigned long long batch = 0;
};
std::string UnfinishedKeyName(const UnfinishedWriter& writer);
bool IsUnfinishedKeyName(const char* name);
// Reads the writer from a name that UnfinishedKeyName gave, in this build's
// form or the older "<process>-<counter>" form (processCreated 0). False for
// any other name.
bool ParseUnfinishedKeyName(const char* name, UnfinishedWriter& writer);

// While an edit swaps an appointment's new values in, the old key waits under
// this name beside the unfinished key: it sorts after that key, so neither
// rename of the swap moves a key to the place right after its own. Walks pass
// over it as unfinished, but only the clean-up of the edit that made it
// (RemoveAbandonedUnfinishedSaves) removes it or puts it back, since it may
// be the only whole copy of the appointment.
std::string ReplacedKeyName(const std::string& unfinishedName);
bool IsReplacedKeyName(const char* name);
// The unfinished key name whose writer part is `writerText` ("<process>-<created>-<batch>"), as
// the notes of a user name their writer.
std::string UnfinishedKeyNameOfWriterText(const std::string& writerText);
