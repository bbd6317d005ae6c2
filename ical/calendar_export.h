#pragma once

#include "ical/appointment_values.h"
#include "ical/windows_zone_rules.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace ical {

// An appointment as read from the store: where it is filed and its values,
// which another program may have left malformed.
struct StoredAppointment {
    std::string dayKey;
    std::string appointmentKey;
    AppointmentValues values;
};

struct ExportOptions {
    std::string version;       // goes into PRODID
    std::int64_t stampUtc = 0; // DTSTAMP: the time of the export, seconds from 1970 UTC
    // The computer's zone by its IANA name; "" when no table names it, and
    // then timed appointments in it are written in UTC.
    std::string computerZone;
    // The rules a zone ("" the computer's) keeps now, which its VTIMEZONE
    // states for every year and by which its times are written; false for a
    // zone not known here. Without it every zone is UTC.
    std::function<bool(const std::string& zone, WindowsZoneRules& rules)> zoneRules;
};

// An appointment that was exported with a change, or not at all.
struct ExportIssue {
    std::string dayKey;
    std::string appointmentKey;
    bool skipped = false;
    std::string reason;
};

struct ExportResult {
    std::string text; // the whole .ics file: UTF-8, CR LF, folded at 75 octets
    std::size_t exported = 0;
    std::vector<ExportIssue> issues;
};

// Writes every appointment as one VEVENT: an all-day event over its days,
// or a timed one at its time in its zone (DTSTART with TZID and the zone's
// VTIMEZONE), lasting its duration, repeated daily until its last day; its
// alert is a VALARM. Its UID is made of the day key and the appointment key,
// so the same appointment has the same UID in every export. FROM or TO that is not a date is
// replaced by what can be read (FROM, then the day, then TO) and its text kept in an extension
// property, so that importing the file gives it back; an appointment with no
// readable date at all is skipped. Every change and skip is in `issues`.
ExportResult ExportCalendar(const std::vector<StoredAppointment>& appointments,
                            const ExportOptions& options);

// The UID of an appointment: both keys percent-encoded, joined by '/'.
std::string AppointmentUid(const std::string& dayKey, const std::string& appointmentKey);

// Appends one content line, folded so that no physical line exceeds 75
// octets and no UTF-8 sequence is split, ending in CR LF.
void AppendFolded(std::string& out, const std::string& line);

} // namespace ical
