#include "ical/ical_text.h"

namespace ical {

std::size_t Utf8SequenceLength(std::string_view text) {
    if (text.empty())
        return 0;
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(0);
    if (lead < 0x80)
        return 1;
    std::size_t length;
    unsigned char low = 0x80, high = 0xBF; // bounds of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0)
            low = 0xA0; // no overlong forms
        else if (lead == 0xED)
            high = 0x9F; // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0)
            low = 0x90;
        else if (lead == 0xF4)
            high = 0x8F; // nothing past U+10FFFF
    } else {
        return 0;
    }
    if (text.size() < length || byte(1) < low || byte(1) > high)
        return 0;
    for (std::size_t i = 2; i < length; ++i)
        if (byte(i) < 0x80 || byte(i) > 0xBF)
            return 0;
    return length;
}

bool IsValidUtf8(std::string_view text) {
    while (!text.empty()) {
        const std::size_t length = Utf8SequenceLength(text);
        if (length == 0)
            return false;
        text.remove_prefix(length);
    }
    return true;
}

std::string ToValidUtf8(std::string_view text, bool* replaced) {
    std::string result;
    result.reserve(text.size());
    while (!text.empty()) {
        std::size_t length = Utf8SequenceLength(text);
        if (length == 0) {
            result += "\xEF\xBF\xBD";
            if (replaced != nullptr)
                *replaced = true;
            length = 1;
        } else {
            result.append(text.substr(0, length));
        }
        text.remove_prefix(length);
    }
    return result;
}

std::size_t Utf16Length(std::string_view text) {
    std::size_t units = 0;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte & 0xC0) != 0x80)
            ++units; // a lead byte or ASCII starts a character
        if (byte >= 0xF0)
            ++units; // beyond the BMP: a surrogate pair
    }
    return units;
}

std::string EscapeText(std::string_view text) {
    std::string result;
    result.reserve(text.size() + text.size() / 8);
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        switch (c) {
        case '\\':
        case ';':
        case ',':
            result += '\\';
            result += c;
            break;
        case '\r':
            if (i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
            result += "\\n";
            break;
        case '\n':
            result += "\\n";
            break;
        default:
            result += c;
        }
    }
    return result;
}

std::string UnescapeText(std::string_view value, std::string_view lineBreak) {
    std::string result;
    result.reserve(value.size());
    for (std::size_t i = 0; i < value.size(); ++i) {
        const char c = value[i];
        if (c != '\\' || i + 1 == value.size()) {
            result += c;
            continue;
        }
        const char next = value[i + 1];
        if (next == 'n' || next == 'N') {
            result += lineBreak;
            ++i;
        } else if (next == '\\' || next == ';' || next == ',') {
            result += next;
            ++i;
        } else {
            result += c;
        }
    }
    return result;
}

std::vector<std::string> SplitTextList(std::string_view value, std::string_view lineBreak) {
    std::vector<std::string> items;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= value.size(); ++i) {
        if (i < value.size() && value[i] == '\\') {
            ++i; // an escaped character never ends an item
            continue;
        }
        if (i == value.size() || value[i] == ',') {
            items.push_back(UnescapeText(value.substr(start, i - start), lineBreak));
            start = i + 1;
        }
    }
    return items;
}

std::string QuoteForMessage(std::string_view text) {
    constexpr std::size_t kShown = 40;
    std::size_t cut = text.size() > kShown ? kShown : text.size();
    while (cut < text.size() && cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80)
        --cut;
    std::string quoted(1, '"');
    quoted.append(text.substr(0, cut));
    if (cut < text.size())
        quoted += "...";
    quoted += '"';
    return quoted;
}

std::string UpperAscii(std::string_view text) {
    std::string result(text);
    for (char& c : result)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return result;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && UpperAscii(a) == UpperAscii(b);
}

} // namespace ical
