#include "sync/user_sync_key.h"

#include "framework/utf_text.h"
#include "store/user_values.h"

namespace caldav {

namespace {

std::wstring PathOf(const char* subPath) {
    return fw::Widen(UserValuesPath() + "\\" + subPath);
}

} // namespace

LONG OpenUserSyncKey(const char* subPath, REGSAM access, bool create, fw::unique_hkey& key) {
    key.reset();
    const std::wstring path = PathOf(subPath);
    if (create)
        return RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                               access, nullptr, key.put(), nullptr);
    return RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, access, key.put());
}

bool DeleteUserSyncKey(const char* subPath) {
    const LONG rc = RegDeleteTreeW(HKEY_CURRENT_USER, PathOf(subPath).c_str());
    if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND)
        return false;
    // RegDeleteTree empties the key; the key itself goes apart.
    const LONG gone = RegDeleteKeyW(HKEY_CURRENT_USER, PathOf(subPath).c_str());
    return gone == ERROR_SUCCESS || gone == ERROR_FILE_NOT_FOUND;
}

bool ReadKeyText(HKEY key, const wchar_t* name, std::size_t maxChars, std::string& text) {
    text.clear();
    DWORD type = REG_NONE;
    DWORD size = 0;
    if (RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
        type != REG_SZ || size / sizeof(wchar_t) > maxChars + 1)
        return false;
    std::wstring buffer(size / sizeof(wchar_t) + 1, L'\0');
    size = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()),
                         &size) != ERROR_SUCCESS ||
        type != REG_SZ)
        return false;
    buffer.resize(size / sizeof(wchar_t));
    const std::size_t end = buffer.find(L'\0');
    if (end != std::wstring::npos)
        buffer.resize(end);
    if (buffer.size() > maxChars)
        return false;
    text = fw::Narrow(buffer);
    return true;
}

LONG WriteKeyText(HKEY key, const wchar_t* name, const std::string& text) {
    const std::wstring wide = fw::Widen(text);
    return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(wide.c_str()),
                          static_cast<DWORD>((wide.size() + 1) * sizeof(wchar_t)));
}

bool ReadKeyDword(HKEY key, const wchar_t* name, DWORD& value) {
    DWORD type = REG_NONE;
    DWORD read = 0;
    DWORD size = sizeof read;
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&read), &size) !=
            ERROR_SUCCESS ||
        type != REG_DWORD || size != sizeof read)
        return false;
    value = read;
    return true;
}

LONG WriteKeyDword(HKEY key, const wchar_t* name, DWORD value) {
    return RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                          sizeof value);
}

bool ReadKeyQword(HKEY key, const wchar_t* name, std::uint64_t& value) {
    DWORD type = REG_NONE;
    std::uint64_t read = 0;
    DWORD size = sizeof read;
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&read), &size) !=
            ERROR_SUCCESS ||
        type != REG_QWORD || size != sizeof read)
        return false;
    value = read;
    return true;
}

LONG WriteKeyQword(HKEY key, const wchar_t* name, std::uint64_t value) {
    return RegSetValueExW(key, name, 0, REG_QWORD, reinterpret_cast<const BYTE*>(&value),
                          sizeof value);
}

} // namespace caldav
