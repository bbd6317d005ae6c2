#include "store/registry_value.h"

#include <cstring>
#include <vector>

size_t WholeCharacterPrefix(const char* text, size_t length) {
    size_t i = 0;
    while (i < length) {
        size_t width = IsDBCSLeadByte(static_cast<BYTE>(text[i])) ? 2 : 1;
        if (i + width > length)
            break;
        i += width;
    }
    return i;
}

namespace {
bool IsTextType(DWORD type) {
    return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

// Ends the text at its first NUL, or cuts it to fit the buffer.
void Terminate(char* buffer, size_t capacity, const char* data, size_t size) {
    const char* nul = static_cast<const char*>(std::memchr(data, '\0', size));
    size_t length = nul != nullptr ? static_cast<size_t>(nul - data) : size;
    if (length > capacity - 1)
        length = WholeCharacterPrefix(data, capacity - 1);
    if (data != buffer)
        std::memmove(buffer, data, length);
    buffer[length] = '\0';
}
} // namespace

bool ReadTextValue(HKEY key, const char* name, char* buffer, size_t capacity) {
    if (buffer == nullptr || capacity == 0)
        return false;
    DWORD type = REG_NONE;
    DWORD size = static_cast<DWORD>(capacity);
    LONG rc = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
    if (rc == ERROR_SUCCESS) {
        if (!IsTextType(type)) {
            buffer[0] = '\0';
            return false;
        }
        Terminate(buffer, capacity, buffer, size < capacity ? size : capacity);
        return true;
    }
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
    if (rc != ERROR_SUCCESS || !IsTextType(type))
        return false;
    Terminate(buffer, capacity, whole.data(), size < whole.size() ? size : whole.size());
    return true;
}

bool ReadDwordValue(HKEY key, const char* name, DWORD& value) {
    DWORD type = REG_NONE;
    DWORD data = 0;
    DWORD size = sizeof data;
    LONG rc = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&data), &size);
    if (rc != ERROR_SUCCESS || type != REG_DWORD || size != sizeof data)
        return false;
    value = data;
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
