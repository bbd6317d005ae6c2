#pragma once

#include "framework/unique_handle.h"

#include <windows.h>

#include <cstdint>
#include <string>

// The sync's keys below this user's own key (store/user_values.h decides
// where that is: the user's, or a test's scratch key), and the few value
// types they hold. Nothing here is shared with other users.
namespace caldav {

// "Sync" or "Sync\\State" below the user's key; returns the registry's code.
LONG OpenUserSyncKey(const char* subPath, REGSAM access, bool create, fw::unique_hkey& key);
// Deletes the key and everything below it; a key that is not there is done.
bool DeleteUserSyncKey(const char* subPath);

// A REG_SZ value of at most `maxChars` UTF-16 units; false when missing, of
// another type or longer.
bool ReadKeyText(HKEY key, const wchar_t* name, std::size_t maxChars, std::string& text);
LONG WriteKeyText(HKEY key, const wchar_t* name, const std::string& text);
bool ReadKeyDword(HKEY key, const wchar_t* name, DWORD& value);
LONG WriteKeyDword(HKEY key, const wchar_t* name, DWORD value);
bool ReadKeyQword(HKEY key, const wchar_t* name, std::uint64_t& value);
LONG WriteKeyQword(HKEY key, const wchar_t* name, std::uint64_t value);

} // namespace caldav
