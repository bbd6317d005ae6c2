#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace ical {

// Bounds that keep the memory and time of reading any file in proportion to
// its size.
struct ReadLimits {
    // Larger than any calendar a person keeps (100,000 events take about
    // 30 MiB), small enough to hold in memory at once.
    std::size_t maxFileBytes = 64u << 20;
    // A logical line after unfolding. Outlook's HTML descriptions and small
    // inline attachments run to tens of kilobytes; a megabyte-long line is
    // binary junk or an attack.
    std::size_t maxLineBytes = 256u << 10;
    // VEVENTs in one file: the 100,000 of a large calendar fit with room.
    std::size_t maxEvents = 200000;
    // Components nested in each other; real files go three deep.
    int maxDepth = 16;
};

struct ReadError {
    int line = 0; // 1-based physical line
    std::string message;
};

// One parameter of a content line (TZID=..., VALUE=DATE), its values with
// the quotes removed.
struct Parameter {
    std::string name; // upper case
    std::vector<std::string> values;
};

// One logical line: NAME;PARAM=VALUE:value, unfolded, with the number of the
// physical line it begins on.
struct ContentLine {
    std::string name; // upper case
    std::vector<Parameter> parameters;
    std::string value;
    int line = 0;

    // The first value of the named parameter, or nullptr.
    const std::string* Parameter(std::string_view name) const;
};

// Splits a file into content lines: line ends CR LF or LF, continuation lines
// begin with a space or a tab. Checks as it goes that the text is UTF-8
// without control characters and that no line exceeds its bound.
class ContentLineReader {
public:
    ContentLineReader(std::string_view bytes, const ReadLimits& limits);

    // The next logical line; false at the end of the file or on an error.
    bool Next(ContentLine& line);

    bool Failed() const { return !m_error.message.empty(); }
    const ReadError& Error() const { return m_error; }

    // The number of the last physical line read.
    int LastLine() const { return m_lineNumber; }

private:
    bool Fail(int line, std::string message);
    bool NextPhysicalLine(std::string_view& line);
    bool Parse(const std::string& text, int line, ContentLine& result);

    std::string_view m_bytes;
    std::size_t m_position = 0;
    int m_lineNumber = 0;
    ReadLimits m_limits;
    ReadError m_error;
    std::string m_logical; // reused between lines
};

} // namespace ical
