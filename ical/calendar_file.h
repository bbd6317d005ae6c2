#pragma once

#include "ical/content_line.h"

#include <string>
#include <string_view>
#include <vector>

namespace ical {

// A component as read: its BEGIN line and the properties kept from it.
struct ComponentRecord {
    std::string name; // upper case: VEVENT, STANDARD, DAYLIGHT
    int line = 0;     // the BEGIN line
    std::vector<ContentLine> properties;

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
    int lines = 0; // physical lines in the file
};

// Reads and checks the whole file: content lines, BEGIN/END nesting of
// VCALENDAR and everything inside it. VEVENTs keep the properties an import
// reads; other components (VTODO, VALARM, ...) are checked and passed over.
// On failure returns false with the first fault and its line.
bool ReadCalendarFile(std::string_view bytes, CalendarFile& file, ReadError& error,
                      const ReadLimits& limits = {});

} // namespace ical
