#include "sync/event_touch.h"

#include "sync/vevent_patch.h"

#include <algorithm>
#include <cctype>
#include <map>

namespace caldav {

namespace {

// One logical line: its bytes with folded continuations and line end, the
// line unfolded, and its name in upper case.
struct Line {
    std::size_t begin = 0;
    std::size_t end = 0;
    std::string unfolded;
    std::string name;
    std::string value; // upper case, for BEGIN and END
};

std::vector<Line> Split(std::string_view text) {
    std::vector<Line> lines;
    std::size_t pos = 0;
    while (pos < text.size()) {
        Line line;
        line.begin = pos;
        bool first = true;
        for (;;) {
            const std::size_t eol = text.find('\n', pos);
            const std::size_t next = eol == std::string_view::npos ? text.size() : eol + 1;
            std::size_t contentEnd = eol == std::string_view::npos ? text.size() : eol;
            if (contentEnd > pos && text[contentEnd - 1] == '\r')
                --contentEnd;
            std::string_view content = text.substr(pos, contentEnd - pos);
            if (!first && !content.empty())
                content.remove_prefix(1);
            line.unfolded.append(content);
            first = false;
            pos = next;
            if (pos >= text.size() || (text[pos] != ' ' && text[pos] != '\t'))
                break;
        }
        line.end = pos;
        std::size_t nameEnd = 0;
        while (nameEnd < line.unfolded.size() && line.unfolded[nameEnd] != ':' &&
               line.unfolded[nameEnd] != ';')
            ++nameEnd;
        for (std::size_t i = 0; i < nameEnd; ++i)
            line.name +=
                static_cast<char>(std::toupper(static_cast<unsigned char>(line.unfolded[i])));
        if (line.name == "BEGIN" || line.name == "END") {
            const std::size_t colon = line.unfolded.find(':');
            if (colon != std::string::npos)
                for (std::size_t i = colon + 1; i < line.unfolded.size(); ++i)
                    line.value += static_cast<char>(
                        std::toupper(static_cast<unsigned char>(line.unfolded[i])));
        }
        lines.push_back(std::move(line));
    }
    return lines;
}

// The lines [first, last] of the first VEVENT without a RECURRENCE-ID.
bool MainEvent(const std::vector<Line>& lines, std::size_t& first, std::size_t& last) {
    int depth = 0;
    std::size_t begin = 0;
    bool recurrence = false;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const Line& line = lines[i];
        if (line.name == "BEGIN") {
            if (depth == 0 && line.value == "VEVENT") {
                begin = i;
                recurrence = false;
                depth = 1;
            } else if (depth > 0) {
                ++depth;
            }
        } else if (line.name == "END" && depth > 0) {
            if (--depth == 0 && !recurrence) {
                first = begin;
                last = i;
                return true;
            }
        } else if (depth == 1 && line.name == "RECURRENCE-ID") {
            recurrence = true;
        }
    }
    return false;
}

// What the comparison looks at in one export's main event: each property's
// lines by name, and the triggers of its alarms.
struct EventParts {
    std::map<std::string, std::vector<std::string>> properties;
    std::vector<std::string> order;
    std::vector<std::string> triggers;
};

EventParts PartsOf(std::string_view text) {
    EventParts parts;
    const std::vector<Line> lines = Split(text);
    std::size_t first = 0, last = 0;
    if (!MainEvent(lines, first, last))
        return parts;
    int depth = 0;
    bool inAlarm = false;
    for (std::size_t i = first + 1; i < last; ++i) {
        const Line& line = lines[i];
        if (line.name == "BEGIN") {
            inAlarm = depth++ == 0 && line.value == "VALARM";
            if (inAlarm)
                parts.triggers.push_back("(alarm)");
        } else if (line.name == "END") {
            if (--depth == 0)
                inAlarm = false;
        } else if (depth == 0) {
            auto& list = parts.properties[line.name];
            if (list.empty())
                parts.order.push_back(line.name);
            list.push_back(line.unfolded);
        } else if (inAlarm && depth == 1 && line.name == "TRIGGER") {
            parts.triggers.push_back(line.unfolded);
        }
    }
    return parts;
}

bool IsBookkeeping(const std::string& name) {
    return name == "UID" || name == "DTSTAMP" || name == "SEQUENCE";
}

// The TZID a VTIMEZONE block starting at `begin` defines.
std::string ZoneIdOf(const std::vector<Line>& lines, std::size_t begin, std::size_t& end) {
    std::string id;
    int depth = 0;
    for (end = begin; end < lines.size(); ++end) {
        if (lines[end].name == "BEGIN")
            ++depth;
        else if (lines[end].name == "END" && --depth == 0)
            break;
        else if (depth == 1 && lines[end].name == "TZID") {
            const std::size_t colon = lines[end].unfolded.find(':');
            id = colon == std::string::npos ? std::string() : lines[end].unfolded.substr(colon + 1);
        }
    }
    return id;
}

// The main event's alarms of `text` replaced by `alarms` (whole blocks).
std::string ReplaceAlarms(const std::string& text, const std::string& alarms) {
    const std::vector<Line> lines = Split(text);
    std::size_t first = 0, last = 0;
    if (!MainEvent(lines, first, last))
        return text;
    std::string out(text.substr(0, lines[first].end));
    int depth = 0;
    bool skipping = false;
    for (std::size_t i = first + 1; i < last; ++i) {
        const Line& line = lines[i];
        if (line.name == "BEGIN" && depth++ == 0)
            skipping = line.value == "VALARM";
        const bool skip = skipping;
        if (line.name == "END" && --depth == 0)
            skipping = false;
        if (!skip)
            out.append(text, line.begin, line.end - line.begin);
    }
    out += alarms;
    out.append(text, lines[last].begin, std::string::npos);
    return out;
}

} // namespace

EventTouch FindTouched(std::string_view local, std::string_view baseline) {
    EventTouch touch;
    const EventParts now = PartsOf(local);
    const EventParts before = PartsOf(baseline);
    for (const std::string& name : now.order) {
        const auto was = before.properties.find(name);
        if (!IsBookkeeping(name) &&
            (was == before.properties.end() || was->second != now.properties.at(name)))
            touch.properties.push_back(name);
    }
    for (const std::string& name : before.order)
        if (!IsBookkeeping(name) && now.properties.count(name) == 0)
            touch.properties.push_back(name);
    touch.alarms = now.triggers != before.triggers;
    return touch;
}

bool PatchKeptEvent(std::string_view kept, std::string_view local, const EventTouch& touch,
                    std::string& result, std::string& error) {
    const std::vector<Line> keptLines = Split(kept);
    std::size_t keptFirst = 0, keptLast = 0;
    if (!MainEvent(keptLines, keptFirst, keptLast)) {
        error = "The kept server copy has no event to change.";
        return false;
    }
    if (!touch.Any()) {
        result.assign(kept);
        return true;
    }
    const std::vector<Line> localLines = Split(local);
    std::size_t first = 0, last = 0;
    if (!MainEvent(localLines, first, last)) {
        error = "The appointment could not be written as an event.";
        return false;
    }

    // The touched properties as the local export writes them, and the
    // version counted up so that other clients take the change.
    std::vector<std::string> names = touch.properties;
    names.push_back("SEQUENCE");
    names.push_back("DTSTAMP");
    std::string updates, alarms;
    int depth = 0;
    bool inAlarm = false;
    for (std::size_t i = first + 1; i < last; ++i) {
        const Line& line = localLines[i];
        if (line.name == "BEGIN" && depth++ == 0)
            inAlarm = line.value == "VALARM";
        if (inAlarm)
            alarms.append(local.substr(line.begin, line.end - line.begin));
        else if (depth == 0 && (line.name == "DTSTAMP" ||
                                std::find(touch.properties.begin(), touch.properties.end(),
                                          line.name) != touch.properties.end()))
            updates.append(local.substr(line.begin, line.end - line.begin));
        if (line.name == "END" && --depth == 0)
            inAlarm = false;
    }
    long long sequence = 0;
    for (const char c : EventPropertyValue(kept, "SEQUENCE")) {
        if (c < '0' || c > '9')
            break;
        sequence = std::min(sequence * 10 + (c - '0'), 2000000000LL);
    }
    updates += "SEQUENCE:" + std::to_string(sequence + 1) + "\r\n";
    std::string patched;
    if (!ReplaceEventProperties(kept, names, updates, patched, error))
        return false;
    if (touch.alarms)
        patched = ReplaceAlarms(patched, alarms);

    // A zone the touched times now name needs its definition beside them.
    const std::vector<Line> patchedLines = Split(patched);
    std::vector<std::string> defined;
    std::size_t firstComponent = patchedLines.size();
    for (std::size_t i = 0; i < patchedLines.size(); ++i) {
        if (patchedLines[i].name != "BEGIN")
            continue;
        if (patchedLines[i].value == "VTIMEZONE") {
            std::size_t end = i;
            defined.push_back(ZoneIdOf(patchedLines, i, end));
            i = end;
        } else if (patchedLines[i].value != "VCALENDAR" && firstComponent == patchedLines.size()) {
            firstComponent = i;
        }
    }
    std::string zones;
    for (std::size_t i = 0; i < localLines.size(); ++i) {
        if (localLines[i].name != "BEGIN" || localLines[i].value != "VTIMEZONE")
            continue;
        std::size_t end = i;
        const std::string id = ZoneIdOf(localLines, i, end);
        const bool used = updates.find("TZID=" + id) != std::string::npos ||
                          updates.find("TZID=\"" + id + "\"") != std::string::npos;
        if (used && std::find(defined.begin(), defined.end(), id) == defined.end() &&
            end < localLines.size())
            zones.append(
                local.substr(localLines[i].begin, localLines[end].end - localLines[i].begin));
        i = end;
    }
    if (!zones.empty() && firstComponent < patchedLines.size())
        patched.insert(patchedLines[firstComponent].begin, zones);
    result = std::move(patched);
    return true;
}

} // namespace caldav
