#pragma once

#include <windows.h>

// What a user of the machine needs in the store: to read it, to write values
// and add keys, and to delete appointments. The installer grants the built-in
// Users group exactly this on the calendar root, inherited by every key below
// it; none of the program's own opens asks for more (never WRITE_DAC or
// WRITE_OWNER, which KEY_ALL_ACCESS would).
inline constexpr REGSAM kStoreUserAccess = KEY_READ | KEY_WRITE | DELETE;

// Whether this process may save to the store. The calendar root is opened
// (never created) with kStoreUserAccess; when it does not exist yet, its
// nearest existing parent must let a key be added below it, since the first
// save creates the root. Nothing in the registry is created or changed.
bool IsStoreWritable();
