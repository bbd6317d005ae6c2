#pragma once

#include "framework/unique_handle.h"

#include <windows.h>

#include <map>
#include <string>
#include <vector>

namespace qmtest {

// Redirects HKEY_LOCAL_MACHINE, for this process, to a fresh scratch key of its
// own below HKEY_CURRENT_USER, and the user's reminder state to a key beside
// it, and removes both again afterwards: tests never see each other's data,
// nor the user's.
class RegistrySandbox {
public:
    RegistrySandbox();
    ~RegistrySandbox();
    RegistrySandbox(const RegistrySandbox&) = delete;
    RegistrySandbox& operator=(const RegistrySandbox&) = delete;

    // The scratch key's path below HKEY_CURRENT_USER.
    const std::string& Path() const { return m_path; }
    // Where the user's own reminder state goes meanwhile, below
    // HKEY_CURRENT_USER.
    std::string UserValuesPath() const { return m_path + "\\User"; }

private:
    std::string m_path;
    fw::unique_hkey m_scratch;
};

// Helpers over the (redirected) HKEY_LOCAL_MACHINE, for fixtures and checks.
// Opens (or, with `create`, creates) a key by its path below
// HKEY_LOCAL_MACHINE, whatever the path's length; returns the registry's code.
LONG OpenMachineKey(const std::string& path, REGSAM access, fw::unique_hkey& key, bool create);
bool KeyExists(const std::string& path);
void CreateKey(const std::string& path);
void DeleteKey(const std::string& path);
void SetText(const std::string& keyPath, const char* name, const std::string& text,
             DWORD type = REG_EXPAND_SZ, DWORD byteCount = 0);
void SetBytes(const std::string& keyPath, const char* name, DWORD type, const void* data,
              DWORD size);
void SetDword(const std::string& keyPath, const char* name, DWORD value);

// One stored value, read back raw.
struct RawValue {
    bool exists = false;
    DWORD type = REG_NONE;
    std::string bytes;
};
RawValue ReadRaw(const std::string& keyPath, const char* name);
// A text value's UTF-16 units as the wide functions read them, all of them.
std::u16string ReadWide(const std::string& keyPath, const char* name);
// The direct subkeys of a key, in the registry's order.
std::vector<std::string> Subkeys(const std::string& path);
// The names of a key's values.
std::vector<std::string> ValueNames(const std::string& path);
// Every key from `path` down and every value in them, as raw bytes, so that
// a comparison shows any key or value written or removed.
std::map<std::string, std::string> TreeSnapshot(const std::string& path);

// Every appointment below SOFTWARE\Calendar as its day and its values, raw,
// in sorted order: two stores compare equal when they hold the same
// appointments value for value, whatever the appointment keys are named.
std::vector<std::string> StoreContents();
// Store contents as StoreContents() lists them, without the values named
// (an import's UID and version, say), sorted again.
std::vector<std::string> WithoutValues(std::vector<std::string> contents,
                                       const std::vector<std::string>& names);

// Writes an appointment as the program lays it out, with the given fields.
std::string PutAppointment(const std::string& dateText, const std::string& keyName,
                           const std::string& from, const std::string& to, const std::string& notes,
                           const std::string& eventText = "EMail", DWORD eventIndex = 0,
                           const std::string& detailNotes = "");

} // namespace qmtest
