#include "tests/sync/stored_appointments.h"

#include "framework/unique_handle.h"
#include "framework/utf_text.h"

#include <windows.h>

#include <algorithm>

namespace {

std::vector<std::string> SubkeyNames(HKEY key) {
    std::vector<std::string> names;
    wchar_t name[256];
    for (DWORD index = 0;; ++index) {
        DWORD length = static_cast<DWORD>(std::size(name));
        if (RegEnumKeyExW(key, index, name, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        names.push_back(fw::Narrow(std::wstring_view(name, length)));
    }
    return names;
}

std::string Text(HKEY key, const wchar_t* name) {
    std::wstring buffer(70000, L'\0');
    DWORD size = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
    DWORD type = 0;
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()),
                         &size) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ))
        return {};
    buffer.resize(size / sizeof(wchar_t));
    const std::size_t end = buffer.find(L'\0');
    if (end != std::wstring::npos)
        buffer.resize(end);
    return fw::Narrow(buffer);
}

} // namespace

std::vector<StoredAppointment> StoredAppointments() {
    std::vector<StoredAppointment> stored;
    fw::unique_hkey root;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Calendar", 0, KEY_READ, root.put()) !=
        ERROR_SUCCESS)
        return stored;
    for (const std::string& day : SubkeyNames(root.get())) {
        if (day == "OPTIONS")
            continue;
        fw::unique_hkey dayKey;
        if (RegOpenKeyExW(root.get(), fw::Widen(day).c_str(), 0, KEY_READ, dayKey.put()) !=
            ERROR_SUCCESS)
            continue;
        for (const std::string& name : SubkeyNames(dayKey.get())) {
            fw::unique_hkey key;
            if (RegOpenKeyExW(dayKey.get(), fw::Widen(name).c_str(), 0, KEY_READ, key.put()) !=
                ERROR_SUCCESS)
                continue;
            stored.push_back({day, name, Text(key.get(), L"UID"), Text(key.get(), L"NOTES")});
        }
    }
    return stored;
}

int CountStoredUid(const std::vector<StoredAppointment>& stored, const std::string& uid) {
    return static_cast<int>(std::count_if(
        stored.begin(), stored.end(), [&](const StoredAppointment& a) { return a.uid == uid; }));
}

bool SetStoredText(const StoredAppointment& appointment, const char* name,
                   const std::string& text) {
    fw::unique_hkey key;
    const std::wstring path =
        fw::Widen("SOFTWARE\\Calendar\\" + appointment.day + "\\" + appointment.key);
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_SET_VALUE, key.put()) !=
        ERROR_SUCCESS)
        return false;
    const std::wstring wide = fw::Widen(text);
    return RegSetValueExW(key.get(), fw::Widen(name).c_str(), 0, REG_SZ,
                          reinterpret_cast<const BYTE*>(wide.c_str()),
                          static_cast<DWORD>((wide.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}
