#pragma once

#include "calendar/date_text.h"
#include "ical/transfer_report.h"

#include <cstdint>
#include <set>
#include <string>
#include <vector>

// The whole calendar to and from an iCalendar file. The export reads every
// appointment through the store's walk and replaces the file only once the
// new one is complete. The import reads and checks the whole file before
// its first write, skips what the store already holds, and files the rest
// one crash-safe appointment after another, stopping at the first that
// cannot be written. Like CCalendarRegistry it keeps no state; paths are
// UTF-8.
class CCalendarExchange {
public:
    ical::ExportOutcome Export(const std::string& path);
    ical::ImportOutcome Import(const std::string& path);

    // Every appointment: each key below the root read as a day, as the
    // reminders read it, in the registry's order.
    static std::vector<ical::StoredAppointment> ReadAll();
    // The appointments filed under these days.
    static std::vector<ical::DayAppointment> ReadDays(const std::set<std::string>& days);

    // Writes `bytes` to `path` by way of "path.tmp", so that a failed write
    // never leaves half a file in place of a good one. Empty when done, else
    // what went wrong.
    static std::string WriteWholeFile(const std::string& path, const std::string& bytes);

    // The user's date at a UTC instant (seconds from 1970), as Windows'
    // time zone rules give it.
    static CalendarDate LocalDateOf(std::int64_t utcSeconds);
};
