#pragma once

#include "ical/content_line.h"

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace ical {

// A component as read: its BEGIN line and the properties kept from it.
struct ComponentRecord {
    std::string name; // upper case: VEVENT, STANDARD, DAYLIGHT
    int line = 0;     // the BEGIN line
    std::vector<ContentLine> properties;
    // A VEVENT's VALARMs, in file order, each with its ACTION and TRIGGER.
    std::vector<ComponentRecord> alarms;

    // The first property of that name, or nullptr.
    const ContentLine* Find(std::string_view name) const;
};

struct TimeZoneRecord {
    std::string tzid;
    int line = 0;
    std::vector<ComponentRecord> observances; // STANDARD and DAYLIGHT
};

// What an import needs of a file: its events and time zones, in file order.
struct CalendarFile {
    std::vector<ComponentRecord> events;
    std::vector<TimeZoneRecord> zones;
    std::size_t eventCount = 0;
    int lines = 0; // physical lines in the file
};

// Receives each VEVENT as its END is read, instead of `events` keeping it,
// so that a large file is never held whole; false stops the reading.
using EventSink = std::function<bool(ComponentRecord&& event)>;

// Reads and checks the whole file: content lines, BEGIN/END nesting of
// VCALENDAR and everything inside it. VEVENTs keep the properties an import
// reads and their VALARMs' ACTION and TRIGGER; other components (VTODO,
// VJOURNAL, ...) are checked and passed over.
// On failure returns false with the first fault and its line. With a sink,
// events go to it; when it stops the reading, the result is false with an
// empty error.
bool ReadCalendarFile(std::string_view bytes, CalendarFile& file, ReadError& error,
                      const ReadLimits& limits = {}, const EventSink& sink = nullptr);

} // namespace ical
