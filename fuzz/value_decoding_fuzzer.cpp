// Stored values as another program may have written them. Input layout:
//   byte 0      the value's type: 0 to 7 as they are, larger ones spread out
//   bytes 1, 2  the read buffer's capacity, little-endian, modulo 601
//   byte 3      bit 0: a double-byte code page (Shift-JIS lead bytes);
//               bit 1: decode in place, the value already in the buffer
//   the rest    the value's bytes

#include "fuzz/fuzz_check.h"
#include "store/value_decoding.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

namespace {

constexpr unsigned char kUnwritten = 0xA5;

// Checks the decoded text in buffer[0, capacity) against the value's bytes.
void CheckText(const unsigned char* value, std::size_t size, const char* buffer,
               std::size_t capacity, LeadBytePredicate isLeadByte) {
    const void* nul = std::memchr(buffer, '\0', capacity);
    FUZZ_CHECK(nul != nullptr);
    const std::size_t length = static_cast<std::size_t>(static_cast<const char*>(nul) - buffer);
    FUZZ_CHECK(length <= capacity - 1);
    FUZZ_CHECK(std::memcmp(buffer, value, length) == 0);

    const void* end = size > 0 ? std::memchr(value, '\0', size) : nullptr;
    const std::size_t textLength =
        end != nullptr ? static_cast<std::size_t>(static_cast<const unsigned char*>(end) - value)
                       : size;
    if (textLength <= capacity - 1) {
        FUZZ_CHECK(length == textLength);
        return;
    }
    // Cut: at a character boundary, and no whole character more would fit.
    std::size_t boundary = 0;
    while (boundary < length)
        boundary += isLeadByte(value[boundary]) ? 2 : 1;
    FUZZ_CHECK(boundary == length);
    FUZZ_CHECK(length + (isLeadByte(value[length]) ? 2 : 1) > capacity - 1);
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

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 4)
        return 0;
    const std::uint32_t type = data[0] < 8 ? data[0] : data[0] * 0x01010101u;
    const std::size_t capacity = (data[1] | static_cast<std::size_t>(data[2]) << 8) % 601;
    const LeadBytePredicate isLeadByte =
        (data[3] & 1) != 0 ? fuzzing::ShiftJisLeadByte : fuzzing::NoLeadBytes;
    const bool inPlace = (data[3] & 2) != 0;
    std::size_t valueSize = size - 4;

    // Every block is exactly as large as it claims, so that a read or write
    // past it is caught.
    std::unique_ptr<unsigned char[]> value(new unsigned char[valueSize]);
    std::memcpy(value.get(), data + 4, valueSize);
    std::unique_ptr<char[]> buffer(new char[capacity]);
    std::memset(buffer.get(), kUnwritten, capacity);

    CheckDword(type, value.get(), valueSize);

    const unsigned char* source = value.get();
    if (inPlace) {
        // As the registry read leaves it: at most `capacity` bytes in the buffer.
        if (valueSize > capacity)
            valueSize = capacity;
        std::memcpy(buffer.get(), value.get(), valueSize);
        source = reinterpret_cast<const unsigned char*>(buffer.get());
    }
    const bool ok = DecodeTextValue(type, source, valueSize, buffer.get(), capacity, isLeadByte);
    if (capacity == 0) {
        FUZZ_CHECK(!ok);
        return 0;
    }
    const bool isText =
        type == kValueTypeText || type == kValueTypeExpandText || type == kValueTypeMultiText;
    FUZZ_CHECK(ok == isText);
    if (!isText) {
        FUZZ_CHECK(buffer[0] == '\0');
        return 0;
    }
    CheckText(value.get(), valueSize, buffer.get(), capacity, isLeadByte);

    // The prefix never ends inside a character and is at most one byte short.
    const std::size_t prefix =
        WholeCharacterPrefix(reinterpret_cast<const char*>(value.get()), valueSize, isLeadByte);
    FUZZ_CHECK(prefix <= valueSize && valueSize - prefix <= 1);
    return 0;
}
