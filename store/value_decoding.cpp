#include "store/value_decoding.h"

#include <cstring>

std::size_t WholeCharacterPrefix(const char* text, std::size_t length,
                                 LeadBytePredicate isLeadByte) {
    std::size_t i = 0;
    while (i < length) {
        std::size_t width = isLeadByte(static_cast<unsigned char>(text[i])) ? 2 : 1;
        if (i + width > length)
            break;
        i += width;
    }
    return i;
}

namespace {
bool IsTextType(std::uint32_t type) {
    return type == kValueTypeText || type == kValueTypeExpandText || type == kValueTypeMultiText;
}
} // namespace

bool DecodeTextValue(std::uint32_t type, const unsigned char* data, std::size_t size, char* buffer,
                     std::size_t capacity, LeadBytePredicate isLeadByte) {
    if (buffer == nullptr || capacity == 0)
        return false;
    if (!IsTextType(type)) {
        buffer[0] = '\0';
        return false;
    }
    const char* text = reinterpret_cast<const char*>(data);
    if (text == nullptr)
        size = 0;
    // Ends the text at its first NUL, or cuts it to fit the buffer.
    const char* nul = size > 0 ? static_cast<const char*>(std::memchr(text, '\0', size)) : nullptr;
    std::size_t length = nul != nullptr ? static_cast<std::size_t>(nul - text) : size;
    if (length > capacity - 1)
        length = WholeCharacterPrefix(text, capacity - 1, isLeadByte);
    if (length > 0 && text != buffer)
        std::memmove(buffer, text, length);
    buffer[length] = '\0';
    return true;
}

bool DecodeDwordValue(std::uint32_t type, const unsigned char* data, std::size_t size,
                      std::uint32_t& value) {
    if (type != kValueTypeDword || data == nullptr || size != 4)
        return false;
    value = static_cast<std::uint32_t>(data[0]) | static_cast<std::uint32_t>(data[1]) << 8 |
            static_cast<std::uint32_t>(data[2]) << 16 | static_cast<std::uint32_t>(data[3]) << 24;
    return true;
}
