#include "sync/vevent_patch.h"

#include <cctype>

namespace caldav {

namespace {

// One logical line of the text: its bytes with the folded continuation lines
// and the line end, and its name in upper case.
struct Line {
    std::size_t begin = 0;
    std::size_t end = 0;
    std::string name;
    std::string value; // unfolded, for BEGIN/END and lookups
};

std::vector<Line> SplitLines(std::string_view text) {
    std::vector<Line> lines;
    std::size_t pos = 0;
    while (pos < text.size()) {
        Line line;
        line.begin = pos;
        std::string unfolded;
        for (;;) {
            std::size_t eol = text.find('\n', pos);
            const std::size_t next = eol == std::string_view::npos ? text.size() : eol + 1;
            std::size_t contentEnd = eol == std::string_view::npos ? text.size() : eol;
            if (contentEnd > pos && text[contentEnd - 1] == '\r')
                --contentEnd;
            std::string_view content = text.substr(pos, contentEnd - pos);
            if (!unfolded.empty() || pos != line.begin)
                content.remove_prefix(1);
            unfolded.append(content);
            pos = next;
            if (pos >= text.size() || (text[pos] != ' ' && text[pos] != '\t'))
                break;
        }
        line.end = pos;
        std::size_t nameEnd = 0;
        while (nameEnd < unfolded.size() && unfolded[nameEnd] != ':' && unfolded[nameEnd] != ';')
            ++nameEnd;
        for (std::size_t i = 0; i < nameEnd; ++i)
            line.name += static_cast<char>(std::toupper(static_cast<unsigned char>(unfolded[i])));
        const std::size_t colon = unfolded.find(':');
        if (colon != std::string::npos) {
            // The value starts after the first colon that is outside quotes.
            bool quoted = false;
            for (std::size_t i = nameEnd; i < unfolded.size(); ++i) {
                if (unfolded[i] == '"')
                    quoted = !quoted;
                else if (unfolded[i] == ':' && !quoted) {
                    line.value = unfolded.substr(i + 1);
                    break;
                }
            }
        }
        lines.push_back(std::move(line));
    }
    return lines;
}

std::string Upper(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

// The range of lines [first, last] of the main VEVENT (BEGIN and END lines),
// false when there is none.
bool FindMainEvent(const std::vector<Line>& lines, std::size_t& first, std::size_t& last) {
    int depth = 0;
    std::size_t begin = 0;
    bool recurrence = false;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const Line& line = lines[i];
        if (line.name == "BEGIN") {
            if (depth == 0 && Upper(line.value) == "VEVENT") {
                begin = i;
                recurrence = false;
                depth = 1;
            } else if (depth > 0) {
                ++depth;
            }
        } else if (line.name == "END" && depth > 0) {
            if (--depth == 0) {
                if (!recurrence) {
                    first = begin;
                    last = i;
                    return true;
                }
            }
        } else if (depth == 1 && line.name == "RECURRENCE-ID") {
            recurrence = true;
        }
    }
    return false;
}

bool Named(const std::vector<std::string>& names, const std::string& name) {
    for (const std::string& wanted : names)
        if (Upper(wanted) == name)
            return true;
    return false;
}

} // namespace

bool ReplaceEventProperties(std::string_view kept, const std::vector<std::string>& names,
                            std::string_view updates, std::string& result, std::string& error) {
    const std::vector<Line> lines = SplitLines(kept);
    std::size_t first = 0, last = 0;
    if (!FindMainEvent(lines, first, last)) {
        error = "The kept server copy has no event to change.";
        return false;
    }
    const std::vector<Line> updateLines = SplitLines(updates);
    // Where each named property goes: the place of its first line.
    std::vector<std::string> placed;
    std::size_t insertAt = last;       // before the first sub-component, else END
    std::vector<std::string> existing; // the main event's own property names
    int depth = 0;
    for (std::size_t i = first + 1; i < last; ++i) {
        if (lines[i].name == "BEGIN") {
            if (depth++ == 0 && insertAt == last)
                insertAt = i;
        } else if (lines[i].name == "END") {
            --depth;
        } else if (depth == 0) {
            existing.push_back(lines[i].name);
        }
    }
    const auto writeUpdates = [&](const std::string& name) {
        for (const Line& update : updateLines)
            if (update.name == name) {
                result.append(updates.substr(update.begin, update.end - update.begin));
                if (result.empty() || result.back() != '\n')
                    result += "\r\n";
            }
        placed.push_back(name);
    };
    const auto wasPlaced = [&](const std::string& name) {
        for (const std::string& done : placed)
            if (done == name)
                return true;
        return false;
    };
    result.clear();
    result.append(kept.substr(0, lines[first].end));
    depth = 0;
    for (std::size_t i = first + 1; i < last; ++i) {
        const Line& line = lines[i];
        if (i == insertAt) {
            for (const std::string& name : names)
                if (!wasPlaced(Upper(name)) && !Named(existing, Upper(name)))
                    writeUpdates(Upper(name));
        }
        if (line.name == "BEGIN")
            ++depth;
        if (depth == 0 && Named(names, line.name)) {
            if (!wasPlaced(line.name))
                writeUpdates(line.name);
        } else {
            result.append(kept.substr(line.begin, line.end - line.begin));
        }
        if (line.name == "END")
            --depth;
    }
    if (insertAt == last)
        for (const std::string& name : names)
            if (!wasPlaced(Upper(name)))
                writeUpdates(Upper(name));
    result.append(kept.substr(lines[last].begin));
    return true;
}

std::string EventPropertyValue(std::string_view icalendar, std::string_view name) {
    const std::vector<Line> lines = SplitLines(icalendar);
    std::size_t first = 0, last = 0;
    if (!FindMainEvent(lines, first, last))
        return std::string();
    const std::string wanted = Upper(name);
    int depth = 0;
    for (std::size_t i = first + 1; i < last; ++i) {
        if (lines[i].name == "BEGIN")
            ++depth;
        else if (lines[i].name == "END")
            --depth;
        else if (depth == 0 && lines[i].name == wanted)
            return lines[i].value;
    }
    return std::string();
}

std::string EventUid(std::string_view icalendar) {
    std::string uid = EventPropertyValue(icalendar, "UID");
    if (!uid.empty())
        return uid;
    int depth = 0;
    for (const Line& line : SplitLines(icalendar)) {
        if (line.name == "BEGIN")
            depth += depth > 0 || Upper(line.value) == "VEVENT" ? 1 : 0;
        else if (line.name == "END" && depth > 0)
            --depth;
        else if (depth == 1 && line.name == "UID")
            return line.value;
    }
    return std::string();
}

} // namespace caldav
