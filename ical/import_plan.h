#pragma once

#include "calendar/date_text.h"
#include "ical/appointment_values.h"
#include "ical/civil_time.h"
#include "ical/content_line.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ical {

// The name of the property that carries the day key an appointment is filed
// under; X-QUILLMERE-FROM and X-QUILLMERE-TO carry stored FROM and TO texts
// that the dates cannot (a malformed or reversed range).
inline constexpr const char* kDayProperty = "X-QUILLMERE-DAY";
inline constexpr const char* kFromProperty = "X-QUILLMERE-FROM";
inline constexpr const char* kToProperty = "X-QUILLMERE-TO";
// The zone a timed appointment's TIME is kept in, when it names one; without
// it the time is in the computer's zone, whatever that is where the file is
// read.
inline constexpr const char* kZoneProperty = "X-QUILLMERE-ZONE";

// Which of two versions of one event (by UID) is the later: the one with
// the higher SEQUENCE, or with the same SEQUENCE the later stamp (the later
// of its DTSTAMP and LAST-MODIFIED, as UTC text "YYYYMMDDTHHMMSSZ", which
// sorts as it reads; "" for none, before any).
struct EventVersion {
    std::int64_t sequence = 0;
    std::string stamp;

    friend bool operator==(const EventVersion&, const EventVersion&) = default;
};
bool IsNewerVersion(const EventVersion& incoming, const EventVersion& stored);

// An appointment in the store that carries a UID, for an import to update
// in place when the file holds a newer version of its event.
struct StoredEvent {
    std::string day;
    std::string key;
    AppointmentValues values;
    EventVersion version;
};

// How far the reading of a file has come, for a progress display: the
// first reading checks the file whole and counts its events, the second
// plans each of them.
enum class ImportStage { Checking, Planning };

struct ImportOptions {
    // Repeating events are filed from `today` to `lastDay` (default: one
    // year after today), both included.
    CalendarDate today;
    std::optional<CalendarDate> lastDay;
    // The computer's wall-clock time at a UTC instant (seconds from 1970):
    // what the dates of zoned and UTC times are, and what a timed event's
    // time becomes. The program passes Windows' own rules. Default: UTC.
    std::function<LocalDateTime(std::int64_t utcSeconds)> localTimeOf;
    // The computer's zone by its IANA name ("" when unknown): a TZID that
    // names it keeps its wall-clock times as they are written.
    std::string computerZone;
    // The zones the system knows, for a TZID that the file defines no
    // VTIMEZONE for and for a time kept in a zone of its own (IANA names or
    // Windows ids). A wall-clock time that a change skips is read with the
    // offset from before it, as RFC 5545 says. False for a zone not known;
    // without them such times are taken as local times.
    std::function<bool(const std::string& zone, const LocalDateTime& wall, std::int64_t& utc)>
        zoneToUtc;
    std::function<bool(const std::string& zone, std::int64_t utc, LocalDateTime& wall)> zoneToWall;
    // Asked after each event read, with the events read so far in this
    // reading; false stops the planning at once (ImportPlan::cancelled).
    std::function<bool(ImportStage stage, std::size_t events)> keepGoing;
    // Whether a text fits NOTES and DETAIL NOTES. Default: FitsTextField.
    std::function<bool(std::string_view utf8)> fitsTextField;
    // What a line break in SUMMARY or DESCRIPTION becomes: the program's edit
    // boxes break lines with CR LF.
    std::string lineBreak = "\r\n";
    // The appointments already in the store; one that equals a new one in
    // its day and all six values makes the new one a duplicate.
    const std::vector<DayAppointment>* existing = nullptr;
    // The stored appointments that carry a UID. An event whose UID (with
    // its RECURRENCE-ID, for a moved occurrence) one of them has replaces
    // it when the event is a newer version and says something else, and is
    // a duplicate otherwise.
    const std::vector<StoredEvent>* stored = nullptr;
    // A repeating event whose rule the store keeps (ical/series.h) is filed
    // as one appointment with its rule; false files every repeating event as
    // its occurrences, as one whose rule is not kept is filed.
    bool keepRules = true;
    ReadLimits limits;
    // Appointments one file may add: a daily rule adds up to 367 a year. It
    // may hold twice as many that are duplicates.
    std::size_t maxAppointments = 500000;
    // The steps (see WorkBudget) that working out one event's dates may take:
    // what a year of daily occurrences and a COUNT counted from year 1 need
    // several times over. An event that needs more is refused, so that the
    // time an import takes follows the file's size.
    std::int64_t maxWorkPerEvent = 20000;
};

// An event that is refused, or filed with something the user should know.
struct ImportIssue {
    int line = 0;        // where the event or the property at fault begins
    std::string summary; // the event's SUMMARY, for the message
    std::string reason;
};

// The texts and type that all appointments made from one event share.
struct PlannedEvent {
    int line = 0;
    std::string notes;
    std::string event;
    std::uint32_t eventIndex = kOthersIndex;
    std::string detailNotes;
    EventVersion version;
};

struct PlannedAppointment {
    std::size_t event = 0; // into ImportPlan::events
    std::string day;
    std::string from;
    std::string to;
    TimedValues time;    // a timed event's time, duration and zone; any event's alert
    SeriesValues series; // the rule, skipped dates and UID it is filed with
    // Into ImportOptions::stored: the appointment this one replaces.
    std::optional<std::size_t> replaces;
};

// What importing a file would do, worked out in full before anything is
// written. When `accepted` is false the file is refused whole and `error`
// says why and where; nothing of it is to be filed.
struct ImportPlan {
    bool accepted = false;
    // ImportOptions::keepGoing stopped it: not accepted, and nothing to file.
    bool cancelled = false;
    ReadError error;
    std::size_t eventsRead = 0;
    std::vector<PlannedEvent> events;
    std::vector<PlannedAppointment> appointments; // to be filed, in file order
    std::size_t duplicates = 0;
    // Of `appointments`, those that replace a stored one (by UID).
    std::size_t updates = 0;
    // Events the file marks STATUS:CANCELLED, and occurrences of repeating
    // events that it cancels (RECURRENCE-ID with STATUS:CANCELLED, or of a
    // cancelled repeating event): nothing is filed for them.
    std::size_t cancelledEvents = 0;
    std::size_t cancelledOccurrences = 0;
    std::vector<ImportIssue> refused; // in line order
    std::vector<ImportIssue> notes;   // in line order
    // The steps spent working out dates, at most the events read times
    // ImportOptions::maxWorkPerEvent.
    std::int64_t work = 0;

    DayAppointment AppointmentAt(std::size_t index) const;
};

ImportPlan PlanImport(std::string_view bytes, const ImportOptions& options);

} // namespace ical
