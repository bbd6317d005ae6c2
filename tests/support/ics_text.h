#pragma once

#include <string>

// iCalendar files written by tests: the text with '\n' line ends, and the
// file as the RFC wants it, CR LF.
namespace qmtest {

inline std::string Crlf(const std::string& text) {
    std::string result;
    for (const char c : text) {
        if (c == '\n')
            result += '\r';
        result += c;
    }
    return result;
}

// A whole calendar around `body` (its components, '\n'-ended).
inline std::string Calendar(const std::string& body) {
    return Crlf("BEGIN:VCALENDAR\nVERSION:2.0\nPRODID:-//Test//EN\n" + body + "END:VCALENDAR\n");
}

} // namespace qmtest
