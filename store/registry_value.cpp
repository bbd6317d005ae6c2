#include "store/registry_value.h"

#include <cstring>
#include <vector>

static_assert(kValueTypeNone == REG_NONE && kValueTypeText == REG_SZ &&
              kValueTypeExpandText == REG_EXPAND_SZ && kValueTypeBinary == REG_BINARY &&
              kValueTypeDword == REG_DWORD && kValueTypeMultiText == REG_MULTI_SZ);

bool IsSystemLeadByte(unsigned char byte) {
    return IsDBCSLeadByte(byte) != FALSE;
}

bool ReadTextValue(HKEY key, const char* name, char* buffer, size_t capacity) {
    if (buffer == nullptr || capacity == 0)
        return false;
    DWORD type = REG_NONE;
    DWORD size = static_cast<DWORD>(capacity);
    LONG rc = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
    if (rc == ERROR_SUCCESS)
        return DecodeTextValue(type, reinterpret_cast<const unsigned char*>(buffer),
                               size < capacity ? size : capacity, buffer, capacity);
    buffer[0] = '\0';
    if (rc != ERROR_MORE_DATA)
        return false;
    // Longer than the field: read it whole, then keep what fits. The value may
    // change between the calls, so ask again while it keeps growing.
    std::vector<char> whole;
    for (int tries = 0; tries < 4 && rc == ERROR_MORE_DATA; ++tries) {
        whole.resize(size);
        rc = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(whole.data()),
                              &size);
    }
    if (rc != ERROR_SUCCESS)
        return false;
    return DecodeTextValue(type, reinterpret_cast<const unsigned char*>(whole.data()),
                           size < whole.size() ? size : whole.size(), buffer, capacity);
}

bool ReadDwordValue(HKEY key, const char* name, DWORD& value) {
    DWORD type = REG_NONE;
    BYTE data[4] = {};
    DWORD size = sizeof data;
    std::uint32_t decoded = 0;
    if (RegQueryValueExA(key, name, nullptr, &type, data, &size) != ERROR_SUCCESS ||
        !DecodeDwordValue(type, data, size, decoded))
        return false;
    value = decoded;
    return true;
}

bool WriteFixedText(HKEY key, const char* name, const std::string& text, size_t byteCount) {
    if (byteCount == 0)
        return false;
    std::vector<char> field(byteCount, '\0');
    size_t length = text.size();
    if (length > byteCount - 1)
        length = WholeCharacterPrefix(text.data(), byteCount - 1);
    std::memcpy(field.data(), text.data(), length);
    return RegSetValueExA(key, name, 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>(field.data()),
                          static_cast<DWORD>(byteCount)) == ERROR_SUCCESS;
}

bool WriteDwordValue(HKEY key, const char* name, DWORD value) {
    return RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                          sizeof value) == ERROR_SUCCESS;
}
