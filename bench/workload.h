#pragma once

#include "calendar/date_text.h"

#include <windows.h>

#include <string>
#include <vector>

namespace bench {

// What a generated store holds, against today.
struct WorkloadCounts {
    int appointments = 0;
    int current = 0;
    int ended = 0;
    int upcoming = 0;
};

// One generated appointment, before it is written.
struct GeneratedAppointment {
    CalendarDate day;
    SYSTEMTIME created{}; // names the key, as the program names it
    CalendarDate from;
    CalendarDate to;
    std::string notes;
    int eventIndex = 0;
};

// Generates `count` appointments, five a day, over days around `today`: a
// tenth of the days lie in the past, so some ranges have ended, some contain
// today and the rest are still to come. Ranges cover 1 to 30 days. The same
// arguments always give the same appointments, so a purge can be undone by
// writing the ended ones again.
std::vector<GeneratedAppointment> Generate(int count, const CalendarDate& today);

// Writes the generated store below `root` (a key standing for
// HKEY_LOCAL_MACHINE: the store goes to root\SOFTWARE\Calendar) exactly as the
// program lays it out, plus OPTIONS with the splash off. The keys are
// volatile, so the workload never reaches the prefix's files on disk.
// `onlyEnded`: writes only the appointments whose range has ended (to undo a
// purge). Returns what was written.
WorkloadCounts WriteScanStore(HKEY root, int count, const CalendarDate& today, bool onlyEnded);

// Gives every `every`-th appointment of the store below `root` a TIME (from
// 08:00 on, a minute apart) and REMIND BEFORE 15, so that it alerts. Returns
// how many it gave them to.
int WriteAlertValues(HKEY root, int every);

// Gives every `every`-th appointment of the store below `root` a REPEAT,
// one of ten assorted rules of the set followed in turn (daily, weekly on
// chosen days, every other week until a date, monthly on a date or the nth
// or last weekday, yearly on a date or the last day of February, some with
// a COUNT), and every third of those two SKIP DATES. Returns how many.
int WriteRepeatValues(HKEY root, int every);

// One day holding `count` appointments, for the day list.
void WriteDayStore(HKEY root, int count, const CalendarDate& day);

// `day` holding `own` appointments, and `occurrences` daily series filed on
// the twenty days before it whose last occurrence is on `day`; and
// `floorDay`, away from them, holding own + occurrences appointments of its
// own, for the bare fill of as many rows.
void WriteSeriesDayStore(HKEY root, int own, int occurrences, const CalendarDate& day,
                         const CalendarDate& floorDay);

// Writes the same appointments as remind(1) reminders, one
// "REM from THROUGH to MSG notes" line each. False when the file cannot be
// written.
bool WriteRemindFile(const char* path, int count, const CalendarDate& today);

// One appointment current today, as another program would file it under
// today's key of the store below `root` (as WriteScanStore lays it out), and
// its removal. Its notes are kOutsideNotes. True when every write succeeded.
inline constexpr const char* kOutsideNotes = "Filed by another program";
bool WriteOutsideAppointment(HKEY root, const CalendarDate& today);
bool DeleteOutsideAppointment(HKEY root, const CalendarDate& today);

// Creates (volatile) or opens the key path below `parent`.
HKEY CreateVolatileKey(HKEY parent, const char* path);

} // namespace bench
