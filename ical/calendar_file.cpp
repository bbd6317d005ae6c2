#include "ical/calendar_file.h"

#include "ical/ical_text.h"

#include <string>
#include <utility>

namespace ical {

const ContentLine* ComponentRecord::Find(std::string_view wanted) const {
    for (const auto& property : properties)
        if (property.name == wanted)
            return &property;
    return nullptr;
}

namespace {

// Only these are read from a VEVENT; leaving out the rest (attachments, HTML
// descriptions, attendees) keeps a large file's memory small.
bool IsKeptEventProperty(const std::string& name) {
    static const char* const kKept[] = {"DTSTART",     "DTEND",      "DURATION", "SUMMARY",
                                        "DESCRIPTION", "CATEGORIES", "RRULE",    "EXDATE",
                                        "RDATE",       "UID",        "EXRULE",   "RECURRENCE-ID",
                                        "STATUS",      "SEQUENCE",   "DTSTAMP",  "LAST-MODIFIED"};
    for (const char* kept : kKept)
        if (name == kept)
            return true;
    return name.rfind("X-QUILLMERE-", 0) == 0;
}

struct Open {
    std::string name;
    int line;
};

// Whether the innermost open component is a VTIMEZONE of the calendar itself.
bool InCalendarZone(const std::vector<Open>& stack) {
    return stack.size() == 2 && stack[1].name == "VTIMEZONE";
}

} // namespace

bool ReadCalendarFile(std::string_view bytes, CalendarFile& file, ReadError& error,
                      const ReadLimits& limits, const EventSink& sink) {
    file = CalendarFile{};
    ContentLineReader reader(bytes, limits);
    std::vector<Open> stack;
    bool sawCalendar = false;
    ComponentRecord current;    // the VEVENT being read
    ComponentRecord observance; // the STANDARD or DAYLIGHT being read
    TimeZoneRecord currentZone; // the VTIMEZONE being read
    ContentLine line;
    const auto fail = [&](int at, std::string message) {
        error = {at, std::move(message)};
        return false;
    };
    const auto at = [](int n) { return "line " + std::to_string(n) + ": "; };

    while (reader.Next(line)) {
        if (line.name == "BEGIN") {
            const std::string name = UpperAscii(line.value);
            if (name.empty())
                return fail(line.line, at(line.line) + "BEGIN names no component");
            if (stack.empty() != (name == "VCALENDAR"))
                return fail(line.line,
                            at(line.line) + (stack.empty()
                                                 ? "BEGIN:" + name + " outside BEGIN:VCALENDAR"
                                                 : std::string("a calendar inside a calendar")));
            if (static_cast<int>(stack.size()) >= limits.maxDepth)
                return fail(line.line, at(line.line) + "components nested more than " +
                                           std::to_string(limits.maxDepth) + " deep");
            // Only a calendar's own events and zones are read: a zone that
            // another program nested inside an event must not take the place
            // of the event being read.
            if (name == "VEVENT" && stack.size() == 1) {
                if (file.eventCount >= limits.maxEvents)
                    return fail(line.line, at(line.line) + "more than " +
                                               std::to_string(limits.maxEvents) +
                                               " events in one file; split it");
                current = ComponentRecord{name, line.line, {}, {}};
            } else if (name == "VTIMEZONE" && stack.size() == 1) {
                currentZone = TimeZoneRecord{"", line.line, {}};
            } else if ((name == "STANDARD" || name == "DAYLIGHT") && InCalendarZone(stack)) {
                observance = ComponentRecord{name, line.line, {}, {}};
            } else if (name == "VALARM" && stack.size() == 2 && stack[1].name == "VEVENT") {
                current.alarms.push_back(ComponentRecord{name, line.line, {}, {}});
            }
            sawCalendar = true;
            stack.push_back({name, line.line});
            continue;
        }
        if (line.name == "END") {
            const std::string name = UpperAscii(line.value);
            if (stack.empty())
                return fail(line.line, at(line.line) + "END:" + name + " without its BEGIN");
            if (stack.back().name != name)
                return fail(line.line, at(line.line) + "END:" + name +
                                           " where BEGIN:" + stack.back().name + " of line " +
                                           std::to_string(stack.back().line) + " is still open");
            stack.pop_back();
            if (name == "VEVENT" && stack.size() == 1) {
                ++file.eventCount;
                if (!sink)
                    file.events.push_back(std::move(current));
                else if (!sink(std::move(current))) {
                    error = ReadError{};
                    return false;
                }
            } else if ((name == "STANDARD" || name == "DAYLIGHT") && InCalendarZone(stack)) {
                currentZone.observances.push_back(std::move(observance));
            } else if (name == "VTIMEZONE" && stack.size() == 1) {
                file.zones.push_back(std::move(currentZone));
            }
            continue;
        }
        if (stack.empty())
            return fail(line.line, at(line.line) + line.name + " outside BEGIN:VCALENDAR");
        const Open& inside = stack.back();
        if (inside.name == "VEVENT" && stack.size() == 2) {
            if (IsKeptEventProperty(line.name))
                current.properties.push_back(std::move(line));
        } else if (inside.name == "VALARM" && stack.size() == 3 && stack[1].name == "VEVENT") {
            if (line.name == "ACTION" || line.name == "TRIGGER")
                current.alarms.back().properties.push_back(std::move(line));
        } else if ((inside.name == "STANDARD" || inside.name == "DAYLIGHT") && stack.size() == 3 &&
                   stack[1].name == "VTIMEZONE") {
            observance.properties.push_back(std::move(line));
        } else if (inside.name == "VTIMEZONE" && stack.size() == 2 && line.name == "TZID") {
            currentZone.tzid = line.value;
        }
    }
    file.lines = reader.LastLine();
    if (reader.Failed()) {
        error = reader.Error();
        return false;
    }
    if (!stack.empty())
        return fail(reader.LastLine(),
                    "line " + std::to_string(reader.LastLine()) + ": the file ends inside BEGIN:" +
                        stack.back().name + " of line " + std::to_string(stack.back().line) +
                        " (it is cut short, or END:" + stack.back().name + " is missing)");
    if (reader.LastLine() == 0)
        return fail(1, "line 1: the file is empty");
    if (!sawCalendar)
        return fail(1, "line 1: no BEGIN:VCALENDAR; this is not an iCalendar file");
    return true;
}

} // namespace ical
