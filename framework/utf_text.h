#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// The program keeps its texts in UTF-8 and speaks UTF-16 to Windows. These
// are the only conversions between the two; they need no system header, so
// they are also built natively and fuzzed.
//
// Neither ever cuts a text short. What cannot be converted is replaced, one
// U+FFFD for each maximal ill-formed part of the UTF-8 input (as the Unicode
// standard recommends), and one for each lone surrogate of the UTF-16 input.
namespace fw {

std::u16string Utf8ToUtf16(std::string_view text);
std::string Utf16ToUtf8(std::u16string_view text);

// How many UTF-16 units the UTF-8 text becomes (a character outside the Basic
// Multilingual Plane counts two).
std::size_t Utf16Length(std::string_view text);

// The length in bytes of the longest prefix of the UTF-8 text that becomes at
// most `maxUnits` UTF-16 units and ends on a whole character, so that a
// surrogate pair is never split.
std::size_t Utf8PrefixWithin(std::string_view text, std::size_t maxUnits);

// The same prefix rule on UTF-16: at most `maxUnits` units, never ending
// between the two halves of a surrogate pair.
std::size_t Utf16PrefixWithin(std::u16string_view text, std::size_t maxUnits);

// Windows' wide strings are UTF-16 (wchar_t has 16 bits there).
inline std::wstring Widen(std::string_view text) {
    const std::u16string wide = Utf8ToUtf16(text);
    return std::wstring(wide.begin(), wide.end());
}
inline std::string Narrow(std::wstring_view text) {
    return Utf16ToUtf8(std::u16string(text.begin(), text.end()));
}

} // namespace fw
