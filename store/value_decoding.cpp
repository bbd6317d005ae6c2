#include "store/value_decoding.h"

#include "framework/utf_text.h"

namespace {
bool IsTextType(std::uint32_t type) {
    return type == kValueTypeText || type == kValueTypeExpandText || type == kValueTypeMultiText;
}
} // namespace

bool DecodeTextValue(std::uint32_t type, const unsigned char* data, std::size_t size,
                     std::size_t capacity, std::string& text) {
    text.clear();
    if (capacity == 0 || !IsTextType(type))
        return false;
    if (data == nullptr)
        size = 0;
    // The units up to the first NUL; an odd last byte is half a unit.
    std::u16string units;
    for (std::size_t i = 0; i + 1 < size; i += 2) {
        const char16_t unit = static_cast<char16_t>(data[i] | data[i + 1] << 8);
        if (unit == 0)
            break;
        units += unit;
    }
    units.resize(fw::Utf16PrefixWithin(units, capacity - 1));
    text = fw::Utf16ToUtf8(units);
    return true;
}

std::u16string EncodeFixedText(std::u16string_view text, std::size_t codePageBytes,
                               std::size_t fieldSize) {
    if (fieldSize == 0 || text.size() > fieldSize - 1 || codePageBytes > fieldSize - 1)
        return {};
    std::u16string field(text);
    // The NUL and the zeros after it take one byte each in any code page.
    const std::size_t zeros = fieldSize - codePageBytes;
    field.append(zeros, u'\0');
    return field;
}

bool DecodeDwordValue(std::uint32_t type, const unsigned char* data, std::size_t size,
                      std::uint32_t& value) {
    if (type != kValueTypeDword || data == nullptr || size != 4)
        return false;
    value = static_cast<std::uint32_t>(data[0]) | static_cast<std::uint32_t>(data[1]) << 8 |
            static_cast<std::uint32_t>(data[2]) << 16 | static_cast<std::uint32_t>(data[3]) << 24;
    return true;
}

std::optional<std::u16string> DecodeStrictText(std::uint32_t type, const unsigned char* data,
                                               std::size_t size, std::size_t maxLength) {
    if ((type != kValueTypeText && type != kValueTypeExpandText) || data == nullptr || size < 2 ||
        size % 2 != 0)
        return std::nullopt;
    std::u16string text;
    std::size_t at = 0;
    for (; at < size; at += 2) {
        const char16_t unit = static_cast<char16_t>(data[at] | data[at + 1] << 8);
        if (unit == 0)
            break;
        if (text.size() == maxLength)
            return std::nullopt;
        text += unit;
    }
    if (at == size)
        return std::nullopt; // no NUL
    for (; at < size; ++at)
        if (data[at] != 0)
            return std::nullopt;
    return text;
}
