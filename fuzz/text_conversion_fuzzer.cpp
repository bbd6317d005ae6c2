// The conversions between the program's UTF-8 and Windows' UTF-16, on any
// input: never cut short, never ill-formed output, and exact round trips for
// every text that was well-formed to begin with. Input layout:
//   byte 0      a unit count for the prefix rules
//   the rest    read once as UTF-8 and once as UTF-16 (least significant
//               byte first)

#include "fuzz/fuzz_check.h"
#include "framework/utf_text.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace {

bool IsHigh(char16_t unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}
bool IsLow(char16_t unit) {
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

// Well-formed UTF-16: every surrogate in a pair.
bool WellFormed16(std::u16string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (IsHigh(text[i]) && i + 1 < text.size() && IsLow(text[i + 1]))
            ++i;
        else if (IsHigh(text[i]) || IsLow(text[i]))
            return false;
    }
    return true;
}

// A second, plainly written judge of well-formed UTF-8 (RFC 3629).
bool WellFormed8(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        const auto b = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
        const unsigned char lead = b(i);
        std::size_t n = lead < 0x80   ? 1
                        : lead < 0xC2 ? 0
                        : lead < 0xE0 ? 2
                        : lead < 0xF0 ? 3
                        : lead < 0xF5 ? 4
                                      : 0;
        if (n == 0 || i + n > text.size())
            return false;
        for (std::size_t k = 1; k < n; ++k)
            if ((b(i + k) & 0xC0) != 0x80)
                return false;
        if ((lead == 0xE0 && b(i + 1) < 0xA0) || (lead == 0xED && b(i + 1) > 0x9F) ||
            (lead == 0xF0 && b(i + 1) < 0x90) || (lead == 0xF4 && b(i + 1) > 0x8F))
            return false;
        i += n;
    }
    return true;
}

void CheckFromUtf8(std::string_view text, std::size_t maxUnits) {
    const std::u16string wide = fw::Utf8ToUtf16(text);
    FUZZ_CHECK(WellFormed16(wide));
    FUZZ_CHECK(wide.size() <= text.size());
    FUZZ_CHECK(wide.size() == fw::Utf16Length(text));
    const std::string back = fw::Utf16ToUtf8(wide);
    FUZZ_CHECK(WellFormed8(back));
    // Well-formed text comes back byte for byte; replacement is stable.
    if (WellFormed8(text))
        FUZZ_CHECK(back == text);
    FUZZ_CHECK(fw::Utf8ToUtf16(back) == wide);

    // The prefix: within the units, on a character boundary, and the
    // longest such.
    const std::size_t prefix = fw::Utf8PrefixWithin(text, maxUnits);
    FUZZ_CHECK(prefix <= text.size());
    const std::size_t units = fw::Utf16Length(text.substr(0, prefix));
    FUZZ_CHECK(units <= maxUnits);
    FUZZ_CHECK(fw::Utf8ToUtf16(text.substr(0, prefix)) == wide.substr(0, units));
    if (prefix < text.size())
        FUZZ_CHECK(units + (IsHigh(wide[units]) ? 2 : 1) > maxUnits);
}

void CheckFromUtf16(std::u16string_view text, std::size_t maxUnits) {
    const std::string narrow = fw::Utf16ToUtf8(text);
    FUZZ_CHECK(WellFormed8(narrow));
    FUZZ_CHECK(narrow.size() <= 3 * text.size());
    const std::u16string back = fw::Utf8ToUtf16(narrow);
    FUZZ_CHECK(back.size() == text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool paired = (IsHigh(text[i]) && i + 1 < text.size() && IsLow(text[i + 1])) ||
                            (IsLow(text[i]) && i > 0 && IsHigh(text[i - 1]));
        // A lone surrogate, and only that, becomes U+FFFD.
        if ((IsHigh(text[i]) || IsLow(text[i])) && !paired)
            FUZZ_CHECK(back[i] == 0xFFFD);
        else
            FUZZ_CHECK(back[i] == text[i]);
    }
    const std::size_t prefix = fw::Utf16PrefixWithin(text, maxUnits);
    FUZZ_CHECK(prefix <= maxUnits && prefix <= text.size());
    FUZZ_CHECK(prefix == text.size() || prefix + 1 >= maxUnits);
    if (prefix > 0 && prefix < text.size())
        FUZZ_CHECK(!(IsHigh(text[prefix - 1]) && IsLow(text[prefix])));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1)
        return 0;
    const std::size_t maxUnits = data[0];
    const std::string_view bytes(reinterpret_cast<const char*>(data + 1), size - 1);
    CheckFromUtf8(bytes, maxUnits);
    std::u16string units;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)
        units += static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                       static_cast<unsigned char>(bytes[i + 1]) << 8);
    CheckFromUtf16(units, maxUnits);
    return 0;
}
