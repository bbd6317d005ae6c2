// Stored values as another program may have written them, read as the
// registry hands them to the wide functions. Input layout:
//   byte 0      the value's type: 0 to 7 as they are, larger ones spread out
//   bytes 1, 2  the field's capacity in UTF-16 units, little-endian, modulo 601
//   byte 3      the code page's bytes per unit for the fixed field: 1 or 2
//   the rest    the value's bytes (UTF-16, least significant byte first)

#include "framework/utf_text.h"
#include "fuzz/fuzz_check.h"
#include "store/value_decoding.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

namespace {

// The units of the value up to its first NUL, as a reader must see them.
std::u16string StoredUnits(const unsigned char* value, std::size_t size) {
    std::u16string units;
    for (std::size_t i = 0; i + 1 < size; i += 2) {
        const char16_t unit = static_cast<char16_t>(value[i] | value[i + 1] << 8);
        if (unit == 0)
            break;
        units += unit;
    }
    return units;
}

void CheckText(const unsigned char* value, std::size_t size, std::size_t capacity,
               const std::string& text) {
    const std::u16string stored = StoredUnits(value, size);
    const std::u16string read = fw::Utf8ToUtf16(text);
    // Never longer than the field; a prefix of what is stored, lone
    // surrogates read as U+FFFD.
    FUZZ_CHECK(read.size() <= capacity - 1);
    FUZZ_CHECK(read.size() <= stored.size());
    FUZZ_CHECK(fw::Utf16ToUtf8(stored.substr(0, read.size())) == text);
    if (stored.size() <= capacity - 1) {
        FUZZ_CHECK(read.size() == stored.size());
        return;
    }
    // Cut: no whole character more would fit, and no pair is split.
    const bool pairAtCut = read.size() + 1 < stored.size() && stored[read.size()] >= 0xD800 &&
                           stored[read.size()] <= 0xDBFF && stored[read.size() + 1] >= 0xDC00 &&
                           stored[read.size() + 1] <= 0xDFFF;
    FUZZ_CHECK(read.size() + (pairAtCut ? 2 : 1) > capacity - 1);
}

void CheckDword(std::uint32_t type, const unsigned char* value, std::size_t size) {
    std::uint32_t decoded = 0xDEADBEEF;
    const bool ok = DecodeDwordValue(type, value, size, decoded);
    FUZZ_CHECK(ok == (type == kValueTypeDword && size == 4));
    if (ok) {
        std::uint32_t expected = 0;
        for (int i = 3; i >= 0; --i)
            expected = expected << 8 | value[i];
        FUZZ_CHECK(decoded == expected);
    } else {
        FUZZ_CHECK(decoded == 0xDEADBEEF);
    }
}

// The fixed field: text, NUL, zeros, sized so that a code-page reader gets
// exactly `capacity` bytes; refused when either length rule is broken.
void CheckFixed(const std::string& text, std::size_t capacity, std::size_t bytesPerUnit) {
    const std::u16string units = fw::Utf8ToUtf16(text);
    const std::size_t codePageBytes = units.size() * bytesPerUnit;
    const std::u16string field = EncodeFixedText(units, codePageBytes, capacity);
    const bool fits = capacity > 0 && units.size() < capacity && codePageBytes < capacity;
    FUZZ_CHECK(field.empty() != fits);
    if (!fits)
        return;
    FUZZ_CHECK(field.compare(0, units.size(), units) == 0);
    for (std::size_t i = units.size(); i < field.size(); ++i)
        FUZZ_CHECK(field[i] == 0);
    FUZZ_CHECK(codePageBytes + (field.size() - units.size()) == capacity);
    if (bytesPerUnit == 1)
        FUZZ_CHECK(field.size() == capacity);
    // What is written reads back as it was.
    std::string back;
    FUZZ_CHECK(DecodeTextValue(kValueTypeExpandText,
                               reinterpret_cast<const unsigned char*>(field.data()),
                               field.size() * 2, capacity, back));
    FUZZ_CHECK(back == text);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 4)
        return 0;
    const std::uint32_t type = data[0] < 8 ? data[0] : data[0] * 0x01010101u;
    const std::size_t capacity = (data[1] | static_cast<std::size_t>(data[2]) << 8) % 601;
    const std::size_t bytesPerUnit = (data[3] & 1) != 0 ? 2 : 1;
    const std::size_t valueSize = size - 4;

    // Every block is exactly as large as it claims, so that a read past it is
    // caught.
    std::unique_ptr<unsigned char[]> value(new unsigned char[valueSize]);
    std::memcpy(value.get(), data + 4, valueSize);

    CheckDword(type, value.get(), valueSize);

    std::string text = "unwritten";
    const bool ok = DecodeTextValue(type, value.get(), valueSize, capacity, text);
    const bool isText =
        type == kValueTypeText || type == kValueTypeExpandText || type == kValueTypeMultiText;
    FUZZ_CHECK(ok == (isText && capacity > 0));
    if (!ok) {
        FUZZ_CHECK(text.empty());
    } else {
        CheckText(value.get(), valueSize, capacity, text);
        CheckFixed(text, capacity, bytesPerUnit);
    }
    return 0;
}
