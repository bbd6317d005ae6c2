#pragma once

#include <cstddef>
#include <cstdint>

// What a stored value's type and bytes mean, apart from the registry calls
// that fetch them, so that the interpretation of whatever another program
// stored builds without system headers and can be fuzzed natively.

// The registry's value types the store meets, by their fixed numbers.
inline constexpr std::uint32_t kValueTypeNone = 0;       // REG_NONE
inline constexpr std::uint32_t kValueTypeText = 1;       // REG_SZ
inline constexpr std::uint32_t kValueTypeExpandText = 2; // REG_EXPAND_SZ
inline constexpr std::uint32_t kValueTypeBinary = 3;     // REG_BINARY
inline constexpr std::uint32_t kValueTypeDword = 4;      // REG_DWORD
inline constexpr std::uint32_t kValueTypeMultiText = 7;  // REG_MULTI_SZ

// Whether a byte starts a two-byte character of a code page.
using LeadBytePredicate = bool (*)(unsigned char byte);

// The system code page's lead bytes (IsDBCSLeadByte); defined with the
// registry access, so only the program's own build has it.
bool IsSystemLeadByte(unsigned char byte);

// The length of the longest prefix of text[0, length) that ends on a whole
// character, so that cutting there splits nothing.
std::size_t WholeCharacterPrefix(const char* text, std::size_t length,
                                 LeadBytePredicate isLeadByte = IsSystemLeadByte);

// Interprets a text value of `type` held in data[0, size) into `buffer` of
// `capacity` bytes. REG_SZ, REG_EXPAND_SZ and REG_MULTI_SZ (its first string)
// are text: the text ends at its first NUL or at the end of the data, a longer
// one is cut to a whole-character prefix of capacity - 1 bytes, and the
// result is NUL-terminated; gives true. Any other type gives "" and false; no
// buffer or no capacity gives false and writes nothing. Reads no byte beyond
// data[size - 1]; `data` may be `buffer` itself.
bool DecodeTextValue(std::uint32_t type, const unsigned char* data, std::size_t size, char* buffer,
                     std::size_t capacity, LeadBytePredicate isLeadByte = IsSystemLeadByte);

// A 4-byte REG_DWORD in data[0, size), in the registry's byte order (least
// significant first); any other type or size leaves `value` untouched and
// gives false.
bool DecodeDwordValue(std::uint32_t type, const unsigned char* data, std::size_t size,
                      std::uint32_t& value);
