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
    static const char* const kKept[] = {
        "DTSTART", "DTEND", "DURATION", "SUMMARY", "DESCRIPTION",   "CATEGORIES", "RRULE",
        "EXDATE",  "RDATE", "UID",      "EXRULE",  "RECURRENCE-ID", "STATUS"};
    for (const char* kept : kKept)
        if (name == kept)
            return true;
    return name.rfind("X-QUILLMERE-", 0) == 0;
}

struct Open {
    std::string name;
    int line;
};

} // namespace

bool ReadCalendarFile(std::string_view bytes, CalendarFile& file, ReadError& error,
                      const ReadLimits& limits, const EventSink& sink) {
    file = CalendarFile{};
    ContentLineReader reader(bytes, limits);
    std::vector<Open> stack;
    bool sawCalendar = false;
    ComponentRecord current;    // the VEVENT or observance being read
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
            const std::string parent = stack.empty() ? "" : stack.back().name;
            if (name == "VEVENT" && parent == "VCALENDAR") {
                if (file.eventCount >= limits.maxEvents)
                    return fail(line.line, at(line.line) + "more than " +
                                               std::to_string(limits.maxEvents) +
                                               " events in one file; split it");
                current = ComponentRecord{name, line.line, {}, {}};
            } else if (name == "VTIMEZONE" && parent == "VCALENDAR") {
                currentZone = TimeZoneRecord{"", line.line, {}};
            } else if ((name == "STANDARD" || name == "DAYLIGHT") && parent == "VTIMEZONE") {
                current = ComponentRecord{name, line.line, {}, {}};
            } else if (name == "VALARM" && parent == "VEVENT" && stack.size() == 2) {
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
            const std::string parent = stack.empty() ? "" : stack.back().name;
            if (name == "VEVENT" && parent == "VCALENDAR") {
                ++file.eventCount;
                if (!sink)
                    file.events.push_back(std::move(current));
                else if (!sink(std::move(current))) {
                    error = ReadError{};
                    return false;
                }
            } else if ((name == "STANDARD" || name == "DAYLIGHT") && parent == "VTIMEZONE") {
                currentZone.observances.push_back(std::move(current));
            } else if (name == "VTIMEZONE" && parent == "VCALENDAR") {
                file.zones.push_back(std::move(currentZone));
            }
            continue;
        }
        if (stack.empty())
            return fail(line.line, at(line.line) + line.name + " outside BEGIN:VCALENDAR");
        const Open& inside = stack.back();
        const std::string parent = stack.size() > 1 ? stack[stack.size() - 2].name : "";
        if (inside.name == "VEVENT" && parent == "VCALENDAR") {
            if (IsKeptEventProperty(line.name))
                current.properties.push_back(std::move(line));
        } else if (inside.name == "VALARM" && parent == "VEVENT" && stack.size() == 3) {
            if (line.name == "ACTION" || line.name == "TRIGGER")
                current.alarms.back().properties.push_back(std::move(line));
        } else if ((inside.name == "STANDARD" || inside.name == "DAYLIGHT") &&
                   parent == "VTIMEZONE") {
            current.properties.push_back(std::move(line));
        } else if (inside.name == "VTIMEZONE" && parent == "VCALENDAR" && line.name == "TZID") {
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
