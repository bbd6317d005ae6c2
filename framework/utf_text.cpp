#include "framework/utf_text.h"

namespace fw {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

// One character decoded from UTF-8: its code point and how many bytes it
// took. An ill-formed sequence gives U+FFFD for its maximal part: the lead
// byte and as many following bytes as could still begin a well-formed
// character, at least one byte.
struct Decoded {
    char32_t code;
    std::size_t length;
};

Decoded DecodeOne(std::string_view text, std::size_t at) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    if (lead < 0x80)
        return {lead, 1};
    std::size_t need = 0;
    char32_t code = 0;
    // The range the second byte must lie in rules out overlong forms,
    // surrogates and code points above U+10FFFF.
    unsigned char low = 0x80, high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        need = 1;
        code = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        need = 2;
        code = lead & 0x0F;
        if (lead == 0xE0)
            low = 0xA0;
        else if (lead == 0xED)
            high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        need = 3;
        code = lead & 0x07;
        if (lead == 0xF0)
            low = 0x90;
        else if (lead == 0xF4)
            high = 0x8F;
    } else {
        return {kReplacement, 1};
    }
    std::size_t taken = 1;
    for (std::size_t i = 0; i < need; ++i) {
        if (at + taken >= text.size())
            return {kReplacement, taken};
        const unsigned char next = byte(at + taken);
        if (next < low || next > high)
            return {kReplacement, taken};
        low = 0x80;
        high = 0xBF;
        code = code << 6 | (next & 0x3F);
        ++taken;
    }
    return {code, taken};
}

void AppendUtf8(char32_t code, std::string& out) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | code >> 6);
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | code >> 12);
        out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | code >> 18);
        out += static_cast<char>(0x80 | (code >> 12 & 0x3F));
        out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

bool IsHighSurrogate(char16_t unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}
bool IsLowSurrogate(char16_t unit) {
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

} // namespace

std::u16string Utf8ToUtf16(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        const Decoded one = DecodeOne(text, at);
        at += one.length;
        if (one.code >= 0x10000) {
            const char32_t v = one.code - 0x10000;
            out += static_cast<char16_t>(0xD800 | v >> 10);
            out += static_cast<char16_t>(0xDC00 | (v & 0x3FF));
        } else {
            out += static_cast<char16_t>(one.code);
        }
    }
    return out;
}

std::string Utf16ToUtf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i];
        if (IsHighSurrogate(unit) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
            AppendUtf8(0x10000 + ((static_cast<char32_t>(unit) - 0xD800) << 10 |
                                  (static_cast<char32_t>(text[i + 1]) - 0xDC00)),
                       out);
            ++i;
        } else if (IsHighSurrogate(unit) || IsLowSurrogate(unit)) {
            AppendUtf8(kReplacement, out);
        } else {
            AppendUtf8(unit, out);
        }
    }
    return out;
}

std::size_t Utf16Length(std::string_view text) {
    std::size_t units = 0;
    for (std::size_t at = 0; at < text.size();) {
        const Decoded one = DecodeOne(text, at);
        at += one.length;
        units += one.code >= 0x10000 ? 2 : 1;
    }
    return units;
}

std::size_t Utf8PrefixWithin(std::string_view text, std::size_t maxUnits) {
    std::size_t units = 0;
    std::size_t at = 0;
    while (at < text.size()) {
        const Decoded one = DecodeOne(text, at);
        const std::size_t width = one.code >= 0x10000 ? 2 : 1;
        if (units + width > maxUnits)
            break;
        units += width;
        at += one.length;
    }
    return at;
}

std::size_t Utf16PrefixWithin(std::u16string_view text, std::size_t maxUnits) {
    if (text.size() <= maxUnits)
        return text.size();
    // Cutting between a high and a low surrogate would leave half a character.
    if (maxUnits > 0 && IsHighSurrogate(text[maxUnits - 1]) && IsLowSurrogate(text[maxUnits]))
        return maxUnits - 1;
    return maxUnits;
}

} // namespace fw
