#pragma once

#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

namespace qmtest {

// One entry of a key's access list, its SID as text (S-1-5-32-545).
struct AccessEntry {
    BYTE type = 0;
    BYTE flags = 0;
    DWORD mask = 0;
    std::string sid;
    bool operator==(const AccessEntry&) const = default;
};

// A key's owner and access list, read back from the key below
// HKEY_LOCAL_MACHINE, and the whole descriptor as text for the log.
struct KeyAccess {
    std::string owner;
    std::vector<AccessEntry> entries;
    std::string sddl;
};
KeyAccess ReadKeyAccess(const std::string& path);

// How the store's keys carry the Users entry: the root's own, passed on to
// the keys below, which have it as inherited.
inline constexpr BYTE kOwnEntry = CONTAINER_INHERIT_ACE;
inline constexpr BYTE kInheritedEntry = CONTAINER_INHERIT_ACE | INHERITED_ACE;

// Exactly one entry lets Users read, write and delete with these flags, and
// none lets them change permissions or owner.
::testing::AssertionResult GrantsUsersTheStore(const KeyAccess& access, BYTE flags);

// The key's owner gets what Users get and may change neither its permissions
// nor its owner: one grant of kStoreUserAccess to OWNER RIGHTS (S-1-3-4),
// which takes the place of an owner's implicit rights, passed on to the keys
// below, and no grant to it of more; and a refusal of WRITE_DAC and
// WRITE_OWNER to the owner, inherit-only on the root, on each key below it
// ahead of every inherited grant (the full control that CREATOR OWNER gives
// on Windows among them).
::testing::AssertionResult LimitsOwnersToUsersRights(const KeyAccess& access, bool root);

// Leaves the key with one entry only: `mask` for `who`, with `flags`; a
// protected list takes nothing from the keys above.
void SetOnlyEntry(const std::string& path, WELL_KNOWN_SID_TYPE who, DWORD mask, BYTE flags,
                  bool protectedList = false);

// Adds one entry, written as SDDL ("(A;CI;KA;;;OW)"), to the end of the key's
// access list; the entries there stay.
void AppendEntry(const std::string& path, const std::string& entry);

} // namespace qmtest
