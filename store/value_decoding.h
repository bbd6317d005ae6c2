#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// What a stored value's type and bytes mean, apart from the registry calls
// that fetch them, so that the interpretation of whatever another program
// stored builds without system headers and can be fuzzed natively.
//
// The registry keeps every text in UTF-16, whichever functions wrote it: a
// program that writes through the code-page functions has its bytes
// converted on the way in, and converted back when it reads. The store reads
// and writes through the wide functions, so it sees the UTF-16 units, and
// holds the texts as UTF-8.

// The registry's value types the store meets, by their fixed numbers.
inline constexpr std::uint32_t kValueTypeNone = 0;       // REG_NONE
inline constexpr std::uint32_t kValueTypeText = 1;       // REG_SZ
inline constexpr std::uint32_t kValueTypeExpandText = 2; // REG_EXPAND_SZ
inline constexpr std::uint32_t kValueTypeBinary = 3;     // REG_BINARY
inline constexpr std::uint32_t kValueTypeDword = 4;      // REG_DWORD
inline constexpr std::uint32_t kValueTypeMultiText = 7;  // REG_MULTI_SZ

// Interprets a text value of `type` held in data[0, size), UTF-16 in the
// registry's byte order (least significant first), for a field of
// `capacity` characters (UTF-16 units, the NUL included). REG_SZ,
// REG_EXPAND_SZ and REG_MULTI_SZ (its first string) are text: the text ends
// at its first NUL or at the end of the data (an odd last byte is no
// character), a longer one is cut to at most capacity - 1 units without
// splitting a surrogate pair, and a lone surrogate reads as U+FFFD. `text`
// gets it as UTF-8; gives true. Any other type gives "" and false, and so
// does no capacity. Reads no byte beyond data[size - 1].
bool DecodeTextValue(std::uint32_t type, const unsigned char* data, std::size_t size,
                     std::size_t capacity, std::string& text);

// The UTF-16 units a text field of `fieldSize` characters is written with:
// the text, its NUL, then zeros. A program that reads the value through the
// code-page functions gets the text converted to its code page, where it
// takes `codePageBytes`; the zeros are as many as make that reading exactly
// `fieldSize` bytes long, as the value was when such a program wrote it. In a
// single-byte code page that is `fieldSize` units. Empty when the text does
// not fit: more than fieldSize - 1 units, or more than fieldSize - 1 bytes in
// the code page.
std::u16string EncodeFixedText(std::u16string_view text, std::size_t codePageBytes,
                               std::size_t fieldSize);

// A 4-byte REG_DWORD in data[0, size), in the registry's byte order (least
// significant first); any other type or size leaves `value` untouched and
// gives false.
bool DecodeDwordValue(std::uint32_t type, const unsigned char* data, std::size_t size,
                      std::uint32_t& value);

// The UTF-16 units of a REG_SZ or REG_EXPAND_SZ value written as a whole by a
// careful writer: an even size, its NUL within `maxLength` units, nothing but
// zeros after it. Anything else is no text (nullopt).
std::optional<std::u16string> DecodeStrictText(std::uint32_t type, const unsigned char* data,
                                               std::size_t size, std::size_t maxLength);

// A value's type and bytes, as the wide functions hand them over or are
// to be given them.
struct StoredValueBytes {
    std::uint32_t type = 0;
    std::vector<unsigned char> bytes;

    friend bool operator==(const StoredValueBytes&, const StoredValueBytes&) = default;
};
