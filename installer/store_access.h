#pragma once

#include <windows.h>

// Lets every user of the machine use the store: gives the built-in Users
// group, named by its well-known SID (S-1-5-32-545) and never by a localised
// name, kStoreUserAccess on HKEY_LOCAL_MACHINE\SOFTWARE\Calendar, creating the
// key when it is missing, with an entry that every key below inherits. Keys
// made later inherit it from the platform; keys that exist now get it from
// SetSecurityInfo's propagation where the platform propagates, and from a
// walk of our own where it does not. Every other entry stays, so
// administrators and SYSTEM keep theirs, and so does the owner; nobody gains
// the right to change permissions or owner. Running it again changes nothing.
// Returns a Win32 error code, ERROR_SUCCESS when done.
DWORD GrantUsersStoreAccess();
