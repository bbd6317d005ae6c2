#pragma once

#include <cstddef>
#include <string>
#include <vector>

// The values of this user's own key, HKEY_CURRENT_USER\Software\Quillmere,
// that hold the user's reminder state (a snooze, today's dismissals). Every
// registry access of that state goes through here; the calendar tree under
// HKEY_LOCAL_MACHINE is never touched. Values are raw bytes; what they mean
// is decided elsewhere.

// Reads a REG_BINARY value of at most `maxBytes` bytes. False, with `bytes`
// empty, when it is missing, of another type or larger.
bool ReadUserBinary(const char* name, std::size_t maxBytes, std::vector<unsigned char>& bytes);
// Writes a REG_BINARY value, creating the key when needed.
bool WriteUserBinary(const char* name, const std::vector<unsigned char>& bytes);
void DeleteUserValue(const char* name);

// Tests keep the state in a scratch key: a path below HKEY_CURRENT_USER, or
// "" for the user's own key again.
void SetUserValuesPathForTesting(const std::string& path);
