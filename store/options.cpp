#include "store/calendar_registry.h"

#include "framework/unique_handle.h"
#include "store/registry_value.h"

namespace {

// A value stored from outside with another type or size than a 4-byte
// REG_DWORD is not an option value: it reads as the default.
int ReadOption(const char* name, int defaultValue) {
    fw::unique_hkey key;
    if (OpenSubkey(HKEY_LOCAL_MACHINE, kOptionsKeyPath, KEY_READ, key) != ERROR_SUCCESS)
        return defaultValue;
    DWORD value = static_cast<DWORD>(defaultValue);
    ReadDwordValue(key.get(), name, value);
    return static_cast<int>(value);
}

bool WriteOption(const char* name, int value) {
    fw::unique_hkey key;
    if (CreateSubkey(HKEY_LOCAL_MACHINE, kOptionsKeyPath, KEY_SET_VALUE, key) != ERROR_SUCCESS)
        return false;
    return WriteDwordValue(key.get(), name, static_cast<DWORD>(value));
}

} // namespace

int CCalendarRegistry::GetTimeoutValue() {
    return ReadOption(kValueTimeoutValue, kDefaultTimeoutValue);
}
int CCalendarRegistry::GetSplash() {
    return ReadOption(kValueSplash, kDefaultSplash);
}
int CCalendarRegistry::GetTimeoutDelete() {
    return ReadOption(kValueTimeoutDelete, kDefaultTimeoutDelete);
}

bool CCalendarRegistry::SetTimeoutValue(int minutes) {
    return WriteOption(kValueTimeoutValue, minutes);
}
bool CCalendarRegistry::SetSplash(int splash) {
    return WriteOption(kValueSplash, splash);
}
bool CCalendarRegistry::SetTimeoutDelete(int timeoutDelete) {
    return WriteOption(kValueTimeoutDelete, timeoutDelete);
}
