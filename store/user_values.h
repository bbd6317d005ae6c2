#pragma once

#include <cstddef>
#include <string>
#include <vector>

// The values of this user's own key, HKEY_CURRENT_USER\Software\Quillmere,
// that hold the user's reminder state (a snooze, today's dismissals) and the
// notes of saves in progress. Every registry access of that key goes through
// here; the calendar tree under HKEY_LOCAL_MACHINE is never touched. What the
// values mean is decided elsewhere.

// Reads a REG_BINARY value of at most `maxBytes` bytes. False, with `bytes`
// empty, when it is missing, of another type or larger.
bool ReadUserBinary(const char* name, std::size_t maxBytes, std::vector<unsigned char>& bytes);
// Writes a REG_BINARY value, creating the key when needed.
bool WriteUserBinary(const char* name, const std::vector<unsigned char>& bytes);
void DeleteUserValue(const char* name);

// Writes a REG_SZ value, creating the key when needed; returns the
// registry's code.
long WriteUserText(const char* name, const std::string& text);
// Reads a REG_SZ value of at most `maxChars` characters. False, with `text`
// empty, when it is missing, of another type or longer.
bool ReadUserText(const char* name, std::size_t maxChars, std::string& text);
// The names of the values that are `prefix` or begin with it and a space.
std::vector<std::string> UserValueNames(const std::string& prefix);

// The path below HKEY_CURRENT_USER that these values are in now (the user's
// own key, or a test's scratch key); keys of their own go below it.
std::string UserValuesPath();

// Tests keep the state in a scratch key: a path below HKEY_CURRENT_USER, or
// "" for the user's own key again.
void SetUserValuesPathForTesting(const std::string& path);
