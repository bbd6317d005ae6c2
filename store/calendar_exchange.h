#pragma once

#include "calendar/date_text.h"
#include "ical/transfer_report.h"
#include "store/zone_clock.h"

#include <windows.h>

#include <cstdint>
#include <set>
#include <string>
#include <vector>

// The whole calendar to and from an iCalendar file. The export reads every
// appointment through the store's walk and replaces the file only once the
// new one is complete. The import reads and checks the whole file before
// its first write, skips what the store already holds, and files the rest
// one crash-safe appointment after another, stopping at the first that
// cannot be written. Times are converted by Windows' rules of each zone. It
// keeps no state but those rules; paths are UTF-8. With `progress`, each
// reports how far it has come and stops when asked, between two events or
// appointments: an export then writes nothing, an import files no more.
class ITransferProgress;
class CCalendarExchange {
public:
    ical::ExportOutcome Export(const std::string& path, ITransferProgress* progress = nullptr);
    ical::ImportOutcome Import(const std::string& path, ITransferProgress* progress = nullptr);

    // The wall clocks the times go by; tests set the computer's zone here.
    CZoneClock& ZoneClock() { return m_zones; }

    // Every appointment: each key below the root read as a day, as the
    // reminders read it, in the registry's order. False when `progress`
    // asked to stop.
    static bool ReadAll(std::vector<ical::StoredAppointment>& all,
                        ITransferProgress* progress = nullptr);
    // Every appointment that carries a UID, with the version of its event
    // it holds, in one walk of the store.
    static std::vector<ical::StoredEvent> ReadStoredEvents();
    // The appointments filed under these days.
    static std::vector<ical::DayAppointment> ReadDays(const std::set<std::string>& days);

    // The six values, the time and the rule of an open appointment key, as
    // the day list reads them.
    static ical::AppointmentValues ReadValues(HKEY appointment);

    // The import's and the export's view of the zones: Windows' rules of
    // each, by these wall clocks. `stampUtc` becomes the export's DTSTAMP.
    ical::ImportOptions ImportZones() const;
    ical::ExportOptions ExportZones(std::int64_t stampUtc) const;

    // Writes `bytes` to `path` by way of "path.tmp", so that a failed write
    // never leaves half a file in place of a good one. Empty when done, else
    // what went wrong.
    static std::string WriteWholeFile(const std::string& path, const std::string& bytes);

private:
    CZoneClock m_zones;
};
