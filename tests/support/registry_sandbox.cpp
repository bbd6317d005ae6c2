#include "tests/support/registry_sandbox.h"

#include "store/user_values.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <utility>
#include <vector>

namespace qmtest {

namespace {
constexpr const char* kScratchParent = "Software\\QuillmereTests";
std::atomic<int> g_counter{0};
} // namespace

RegistrySandbox::RegistrySandbox() {
    char name[96];
    std::snprintf(name, sizeof name, "%s\\%lu-%d", kScratchParent, GetCurrentProcessId(),
                  g_counter.fetch_add(1));
    m_path = name;
    RegDeleteTreeA(HKEY_CURRENT_USER, m_path.c_str());
    LONG rc =
        RegCreateKeyExA(HKEY_CURRENT_USER, m_path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_ALL_ACCESS, nullptr, m_scratch.put(), nullptr);
    if (rc != ERROR_SUCCESS)
        ADD_FAILURE() << "cannot create the scratch key " << m_path << ": " << rc;
    rc = RegOverridePredefKey(HKEY_LOCAL_MACHINE, m_scratch.get());
    if (rc != ERROR_SUCCESS)
        ADD_FAILURE() << "cannot redirect HKEY_LOCAL_MACHINE: " << rc;
    // The user's reminder state goes beside it, out of the calendar tree.
    SetUserValuesPathForTesting(UserValuesPath());
}

RegistrySandbox::~RegistrySandbox() {
    SetUserValuesPathForTesting("");
    RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
    m_scratch.reset();
    RegDeleteTreeA(HKEY_CURRENT_USER, m_path.c_str());
}

LONG OpenMachineKey(const std::string& path, REGSAM access, fw::unique_hkey& key, bool create) {
    // One name at a time: Wine's ...A functions refuse a path argument longer
    // than 260 characters, and two names of 255 make a longer one.
    key.reset();
    HKEY parent = HKEY_LOCAL_MACHINE;
    fw::unique_hkey current;
    size_t start = 0;
    for (;;) {
        const size_t end = path.find('\\', start);
        const std::string name = path.substr(start, end - start);
        const bool last = end == std::string::npos;
        const REGSAM want = last ? access : (create ? KEY_ALL_ACCESS : KEY_READ);
        fw::unique_hkey next;
        LONG rc = create ? RegCreateKeyExA(parent, name.c_str(), 0, nullptr, 0, want, nullptr,
                                           next.put(), nullptr)
                         : RegOpenKeyExA(parent, name.c_str(), 0, want, next.put());
        if (rc != ERROR_SUCCESS)
            return rc;
        current = std::move(next);
        parent = current.get();
        if (last)
            break;
        start = end + 1;
    }
    key = std::move(current);
    return ERROR_SUCCESS;
}

bool KeyExists(const std::string& path) {
    fw::unique_hkey key;
    return OpenMachineKey(path, KEY_READ, key, false) == ERROR_SUCCESS;
}

void CreateKey(const std::string& path) {
    fw::unique_hkey key;
    ASSERT_EQ(ERROR_SUCCESS, OpenMachineKey(path, KEY_ALL_ACCESS, key, true)) << path;
}

void DeleteKey(const std::string& path) {
    const size_t slash = path.rfind('\\');
    if (slash == std::string::npos) {
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, path.c_str());
        return;
    }
    fw::unique_hkey parent;
    if (OpenMachineKey(path.substr(0, slash), KEY_ALL_ACCESS, parent, false) == ERROR_SUCCESS)
        RegDeleteTreeA(parent.get(), path.substr(slash + 1).c_str());
}

void SetBytes(const std::string& keyPath, const char* name, DWORD type, const void* data,
              DWORD size) {
    fw::unique_hkey key;
    ASSERT_EQ(ERROR_SUCCESS, OpenMachineKey(keyPath, KEY_ALL_ACCESS, key, true));
    ASSERT_EQ(ERROR_SUCCESS,
              RegSetValueExA(key.get(), name, 0, type, static_cast<const BYTE*>(data), size));
}

void SetText(const std::string& keyPath, const char* name, const std::string& text, DWORD type,
             DWORD byteCount) {
    // byteCount 0: the text and its NUL; otherwise exactly that many bytes,
    // padded with zeros or cut (then without a NUL).
    std::vector<char> bytes(text.begin(), text.end());
    bytes.push_back('\0');
    if (byteCount != 0)
        bytes.resize(byteCount, '\0');
    SetBytes(keyPath, name, type, bytes.data(), static_cast<DWORD>(bytes.size()));
}

void SetDword(const std::string& keyPath, const char* name, DWORD value) {
    SetBytes(keyPath, name, REG_DWORD, &value, sizeof value);
}

RawValue ReadRaw(const std::string& keyPath, const char* name) {
    RawValue raw;
    fw::unique_hkey key;
    if (OpenMachineKey(keyPath, KEY_READ, key, false) != ERROR_SUCCESS)
        return raw;
    DWORD size = 0;
    if (RegQueryValueExA(key.get(), name, nullptr, &raw.type, nullptr, &size) != ERROR_SUCCESS)
        return raw;
    std::vector<char> data(size + 1);
    if (RegQueryValueExA(key.get(), name, nullptr, &raw.type, reinterpret_cast<BYTE*>(data.data()),
                         &size) != ERROR_SUCCESS)
        return raw;
    raw.exists = true;
    raw.bytes.assign(data.data(), size);
    return raw;
}

std::u16string ReadWide(const std::string& keyPath, const char* name) {
    fw::unique_hkey key;
    if (OpenMachineKey(keyPath, KEY_READ, key, false) != ERROR_SUCCESS)
        return {};
    const std::wstring wideName(name, name + std::strlen(name));
    DWORD size = 0;
    if (RegQueryValueExW(key.get(), wideName.c_str(), nullptr, nullptr, nullptr, &size) !=
        ERROR_SUCCESS)
        return {};
    std::u16string units(size / 2, u'\0');
    if (RegQueryValueExW(key.get(), wideName.c_str(), nullptr, nullptr,
                         reinterpret_cast<BYTE*>(units.data()), &size) != ERROR_SUCCESS)
        return {};
    units.resize(size / 2);
    return units;
}

std::vector<std::string> Subkeys(const std::string& path) {
    std::vector<std::string> names;
    fw::unique_hkey key;
    if (OpenMachineKey(path, KEY_READ, key, false) != ERROR_SUCCESS)
        return names;
    char name[256];
    for (DWORD i = 0;; ++i) {
        DWORD length = sizeof name;
        if (RegEnumKeyExA(key.get(), i, name, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        names.emplace_back(name, length);
    }
    return names;
}

std::vector<std::string> ValueNames(const std::string& path) {
    std::vector<std::string> names;
    fw::unique_hkey key;
    if (OpenMachineKey(path, KEY_READ, key, false) != ERROR_SUCCESS)
        return names;
    char name[256];
    for (DWORD i = 0;; ++i) {
        DWORD length = sizeof name;
        if (RegEnumValueA(key.get(), i, name, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        names.emplace_back(name, length);
    }
    return names;
}

namespace {
void TakeSnapshot(const std::string& path, std::map<std::string, std::string>& into) {
    if (!KeyExists(path))
        return;
    into[path] = "(key)";
    for (const std::string& name : ValueNames(path)) {
        const RawValue raw = ReadRaw(path, name.c_str());
        into[path + "|" + name] = std::to_string(raw.type) + ":" + raw.bytes;
    }
    for (const std::string& sub : Subkeys(path))
        TakeSnapshot(path + "\\" + sub, into);
}
} // namespace

std::map<std::string, std::string> TreeSnapshot(const std::string& path) {
    std::map<std::string, std::string> tree;
    TakeSnapshot(path, tree);
    return tree;
}

std::vector<std::string> StoreContents() {
    std::vector<std::string> appointments;
    const std::string root = "SOFTWARE\\Calendar";
    for (const std::string& day : Subkeys(root)) {
        for (const std::string& key : Subkeys(root + "\\" + day)) {
            const std::string path = root + "\\" + day + "\\" + key;
            std::vector<std::string> values;
            for (const std::string& name : ValueNames(path)) {
                const RawValue raw = ReadRaw(path, name.c_str());
                values.push_back(name + "=" + std::to_string(raw.type) + ":" + raw.bytes);
            }
            std::sort(values.begin(), values.end());
            std::string appointment = day;
            for (const std::string& value : values)
                appointment += "|" + value;
            appointments.push_back(appointment);
        }
    }
    std::sort(appointments.begin(), appointments.end());
    return appointments;
}

std::vector<std::string> WithoutValues(std::vector<std::string> contents,
                                       const std::vector<std::string>& names) {
    for (std::string& appointment : contents) {
        std::string kept;
        std::size_t at = 0;
        while (at != std::string::npos) {
            const std::size_t next = appointment.find('|', at + 1);
            const std::string part = appointment.substr(at, next - at);
            bool named = false;
            for (const std::string& name : names)
                named = named || part.rfind("|" + name + "=", 0) == 0;
            if (!named)
                kept += part;
            at = next;
        }
        appointment = kept;
    }
    std::sort(contents.begin(), contents.end());
    return contents;
}

std::string PutAppointment(const std::string& dateText, const std::string& keyName,
                           const std::string& from, const std::string& to, const std::string& notes,
                           const std::string& eventText, DWORD eventIndex,
                           const std::string& detailNotes) {
    const std::string path = "SOFTWARE\\Calendar\\" + dateText + "\\" + keyName;
    SetText(path, "FROM", from, REG_EXPAND_SZ, 11);
    SetText(path, "TO", to, REG_EXPAND_SZ, 11);
    SetText(path, "NOTES", notes, REG_EXPAND_SZ, 500);
    SetText(path, "EVENT", eventText, REG_EXPAND_SZ, 10);
    SetDword(path, "EVENT INDEX", eventIndex);
    SetText(path, "DETAIL NOTES", detailNotes, REG_EXPAND_SZ, 500);
    return path;
}

} // namespace qmtest
