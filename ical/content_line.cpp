#include "ical/content_line.h"

#include "ical/ical_text.h"

#include <cstdio>

namespace ical {

namespace {

bool IsNameChar(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-';
}

} // namespace

const std::string* ContentLine::Parameter(std::string_view wanted) const {
    for (const auto& parameter : parameters)
        if (parameter.name == wanted && !parameter.values.empty())
            return &parameter.values.front();
    return nullptr;
}

ContentLineReader::ContentLineReader(std::string_view bytes, const ReadLimits& limits)
    : m_bytes(bytes), m_limits(limits) {
    if (m_bytes.size() > m_limits.maxFileBytes) {
        Fail(1, "the file is larger than " + std::to_string(m_limits.maxFileBytes >> 20) +
                    " MiB, more than any calendar holds");
        return;
    }
    // A byte order mark, as Windows programs write, is no part of the text.
    if (m_bytes.substr(0, 3) == "\xEF\xBB\xBF")
        m_position = 3;
    else if (m_bytes.substr(0, 2) == "\xFF\xFE" || m_bytes.substr(0, 2) == "\xFE\xFF")
        Fail(1, "line 1: the file is UTF-16 text; iCalendar files are UTF-8");
}

bool ContentLineReader::Fail(int line, std::string message) {
    if (!Failed())
        m_error = {line, std::move(message)};
    return false;
}

// The next physical line without its line end, checked for control bytes.
bool ContentLineReader::NextPhysicalLine(std::string_view& line) {
    if (m_position >= m_bytes.size())
        return false;
    std::size_t end = m_bytes.find('\n', m_position);
    const std::size_t next = end == std::string_view::npos ? m_bytes.size() : end + 1;
    if (end == std::string_view::npos)
        end = m_bytes.size();
    std::size_t stop = end;
    if (stop > m_position && m_bytes[stop - 1] == '\r')
        --stop;
    line = m_bytes.substr(m_position, stop - m_position);
    m_position = next;
    ++m_lineNumber;
    for (const char c : line) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte == '\r')
            return Fail(m_lineNumber, "line " + std::to_string(m_lineNumber) +
                                          " ends with a lone CR; lines end with CR LF or LF");
        if ((byte < 0x20 && byte != '\t') || byte == 0x7F) {
            char code[8];
            std::snprintf(code, sizeof code, "0x%02X", byte);
            return Fail(m_lineNumber, std::string("line ") + std::to_string(m_lineNumber) +
                                          " holds the control byte " + code +
                                          ": this is binary data, not calendar text");
        }
    }
    return true;
}

bool ContentLineReader::Next(ContentLine& result) {
    if (Failed())
        return false;
    std::string_view physical;
    // Blank lines carry nothing; many writers end the file with one.
    do {
        if (!NextPhysicalLine(physical))
            return false;
    } while (physical.empty());
    const int first = m_lineNumber;
    if (physical.front() == ' ' || physical.front() == '\t')
        return Fail(first, "line " + std::to_string(first) +
                               " continues a line, but no line comes before it");
    m_logical.assign(physical);
    // Continuation lines: a space or tab, then more of the same line.
    while (m_position < m_bytes.size() &&
           (m_bytes[m_position] == ' ' || m_bytes[m_position] == '\t')) {
        if (!NextPhysicalLine(physical))
            return false;
        m_logical.append(physical.substr(1));
        if (m_logical.size() > m_limits.maxLineBytes)
            break;
    }
    if (m_logical.size() > m_limits.maxLineBytes)
        return Fail(first, "line " + std::to_string(first) + " is longer than " +
                               std::to_string(m_limits.maxLineBytes) + " bytes");
    if (!IsValidUtf8(m_logical))
        return Fail(first, "line " + std::to_string(first) +
                               " is not UTF-8 text (the file may be in another encoding)");
    return Parse(m_logical, first, result);
}

// NAME *(";" PARAM "=" VALUE *("," VALUE)) ":" value, RFC 5545 section 3.1.
bool ContentLineReader::Parse(const std::string& text, int line, ContentLine& result) {
    const auto malformed = [&](const std::string& why) {
        return Fail(line, "line " + std::to_string(line) + " is not a calendar line (" + why +
                              "): " + QuoteForMessage(text));
    };
    std::size_t i = 0;
    while (i < text.size() && IsNameChar(text[i]))
        ++i;
    if (i == 0)
        return malformed("no property name");
    result.name = UpperAscii(std::string_view(text).substr(0, i));
    result.parameters.clear();
    result.line = line;
    while (i < text.size() && text[i] == ';') {
        const std::size_t nameStart = ++i;
        while (i < text.size() && IsNameChar(text[i]))
            ++i;
        if (i == nameStart || i == text.size() || text[i] != '=')
            return malformed("a parameter without NAME=");
        ical::Parameter parameter;
        parameter.name = UpperAscii(std::string_view(text).substr(nameStart, i - nameStart));
        do {
            ++i; // past '=' or ','
            std::string value;
            if (i < text.size() && text[i] == '"') {
                const std::size_t close = text.find('"', i + 1);
                if (close == std::string::npos)
                    return malformed("a quoted parameter value without its closing quote");
                value = text.substr(i + 1, close - i - 1);
                i = close + 1;
            } else {
                const std::size_t start = i;
                while (i < text.size() && text[i] != ';' && text[i] != ':' && text[i] != ',' &&
                       text[i] != '"')
                    ++i;
                value = text.substr(start, i - start);
            }
            parameter.values.push_back(std::move(value));
        } while (i < text.size() && text[i] == ',');
        result.parameters.push_back(std::move(parameter));
    }
    if (i == text.size() || text[i] != ':')
        return malformed("no ':' before the value");
    result.value = text.substr(i + 1);
    return true;
}

} // namespace ical
