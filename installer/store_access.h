#pragma once

#include <windows.h>

// Lets every user of the machine use the store, and no user lock another out
// of it: on HKEY_LOCAL_MACHINE\SOFTWARE\Calendar, created when missing, with
// entries that every key below inherits,
// - the built-in Users group, named by its well-known SID (S-1-5-32-545) and
//   never by a localised name, is allowed kStoreUserAccess;
// - OWNER RIGHTS (S-1-3-4) is allowed the same, which takes the place of the
//   right to change permissions that an owner has without any entry: on
//   Windows the key a user files is that user's;
// - OWNER RIGHTS is refused WRITE_DAC and WRITE_OWNER on every key below the
//   root (not on the root, which administrators own and keep managing),
//   ahead of everything inherited: CREATOR OWNER's inheritable full control
//   on HKLM\SOFTWARE otherwise gives the creator of a key both.
// Other OWNER RIGHTS entries on the root go, so that its owner gets no more
// than its children's. Keys made later inherit the entries from the
// platform; keys that exist now get them from SetSecurityInfo's propagation
// where the platform propagates, and from a walk of our own where it does
// not. Every other entry stays, so administrators and SYSTEM keep theirs, and
// so does the owner. Running it again changes nothing.
// Returns a Win32 error code, ERROR_SUCCESS when done.
DWORD GrantUsersStoreAccess();
