#include "installer/store_access.h"
#include "store/calendar_registry.h"
#include "store/store_access.h"
#include "tests/installer/key_security.h"
#include "tests/support/registry_sandbox.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iostream>
#include <map>

namespace qmtest {
namespace {

const std::string kRoot = "SOFTWARE\\Calendar";

// Users could not save without administrator rights: the installer now
// grants them read, write and delete on the store, inherited by every key in
// it, the ones there already included, and nothing more.
TEST(StoreAccess, UsersMayReadWriteAndDeleteInTheStoreAndEveryKeyInIt) {
    RegistrySandbox registry;
    const std::string lunch = PutAppointment("2002-5-7", "Appointment 1", "2002-5-7", "2002-5-7",
                                             "Lunch", "EMail", 0, "with notes");
    SetDword(kRoot + "\\OPTIONS", "SPLASH", 0);
    const std::vector<std::string> below = {kRoot + "\\2002-5-7", lunch, kRoot + "\\OPTIONS"};
    std::map<std::string, KeyAccess> before;
    for (const std::string& path : below)
        before[path] = ReadKeyAccess(path);
    before[kRoot] = ReadKeyAccess(kRoot);

    ASSERT_EQ(static_cast<DWORD>(ERROR_SUCCESS), GrantUsersStoreAccess());
    EXPECT_TRUE(GrantsUsersTheStore(ReadKeyAccess(kRoot), kOwnEntry));
    for (const std::string& path : below)
        EXPECT_TRUE(GrantsUsersTheStore(ReadKeyAccess(path), kInheritedEntry)) << path;
    for (const auto& [path, was] : before) {
        const KeyAccess now = ReadKeyAccess(path);
        EXPECT_EQ(was.owner, now.owner) << path;
        for (const AccessEntry& entry : was.entries)
            EXPECT_NE(now.entries.end(), std::find(now.entries.begin(), now.entries.end(), entry))
                << "every other entry stays: " << path << " " << now.sddl;
    }
    EXPECT_EQ("with notes", std::string(ReadRaw(lunch, "DETAIL NOTES").bytes.c_str()));

    // Again, as a second installation does: nothing changes.
    std::map<std::string, std::string> granted;
    for (const auto& [path, was] : before)
        granted[path] = ReadKeyAccess(path).sddl;
    ASSERT_EQ(static_cast<DWORD>(ERROR_SUCCESS), GrantUsersStoreAccess());
    for (const auto& [path, sddl] : granted)
        EXPECT_EQ(sddl, ReadKeyAccess(path).sddl) << path;
}

// On Windows the key a user files is that user's, and an owner may change a
// key's access list (the CREATOR OWNER entry that HKLM\SOFTWARE passes on
// even gives full control): any user could lock a day away from the others'
// reminders. The store now limits owners to what Users have, on the root
// (where an owner entry granting more goes) and every key below it, the deny
// ahead of every inherited grant. Wine ignores these entries, so the test
// reads them back.
TEST(StoreAccess, OwnersOfKeysInTheStoreGetWhatUsersHaveAndNoRightToChangePermissions) {
    RegistrySandbox registry;
    const std::string lunch =
        PutAppointment("2002-5-7", "Appointment 1", "2002-5-7", "2002-5-7", "Lunch");
    AppendEntry(kRoot, "(A;CI;KA;;;OW)");
    const std::vector<std::string> keys = {kRoot, kRoot + "\\2002-5-7", lunch};
    std::map<std::string, KeyAccess> before;
    for (const std::string& path : keys) {
        before[path] = ReadKeyAccess(path);
        std::cout << "before: HKLM\\" << path << ": " << before[path].sddl << "\n";
    }

    ASSERT_EQ(static_cast<DWORD>(ERROR_SUCCESS), GrantUsersStoreAccess());
    std::map<std::string, std::string> granted;
    for (const std::string& path : keys) {
        const KeyAccess access = ReadKeyAccess(path);
        granted[path] = access.sddl;
        std::cout << "after:  HKLM\\" << path << ": " << access.sddl << "\n";
        EXPECT_TRUE(LimitsOwnersToUsersRights(access, path == kRoot)) << path;
        EXPECT_EQ(before[path].owner, access.owner) << path;
    }
    const std::string& root = granted[kRoot];
    EXPECT_NE(std::string::npos, root.find("(D;CIIO;WDWO;;;OW)")) << root;
    EXPECT_NE(std::string::npos, root.find("(A;CI;CCDCLCSWRPSDRC;;;OW)")) << root;
    EXPECT_EQ(std::string::npos, root.find("KA;;;OW")) << "no more for the root's owner: " << root;

    ASSERT_EQ(static_cast<DWORD>(ERROR_SUCCESS), GrantUsersStoreAccess());
    for (const std::string& path : keys)
        EXPECT_EQ(granted[path], ReadKeyAccess(path).sddl) << "again, nothing changes: " << path;
}

TEST(StoreAccess, MakesAMissingStoreAndReachesKeysMadeSinceButNotOnesThatBlockInheritance) {
    RegistrySandbox registry;
    ASSERT_EQ(static_cast<DWORD>(ERROR_SUCCESS), GrantUsersStoreAccess());
    EXPECT_TRUE(GrantsUsersTheStore(ReadKeyAccess(kRoot), kOwnEntry));
    EXPECT_EQ((std::vector<std::string>{"SOFTWARE"}), Subkeys(""));
    EXPECT_TRUE(Subkeys(kRoot).empty() && ValueNames(kRoot).empty());

    // A key made after the grant, and one whose own list keeps what is
    // above away from it and from the key below it.
    CreateKey(kRoot + "\\2002-5-8");
    CreateKey(kRoot + "\\private\\below");
    SetOnlyEntry(kRoot + "\\private", WinWorldSid, KEY_ALL_ACCESS, CONTAINER_INHERIT_ACE, true);
    const std::string privateBefore = ReadKeyAccess(kRoot + "\\private").sddl;
    const std::string belowBefore = ReadKeyAccess(kRoot + "\\private\\below").sddl;

    ASSERT_EQ(static_cast<DWORD>(ERROR_SUCCESS), GrantUsersStoreAccess());
    EXPECT_TRUE(GrantsUsersTheStore(ReadKeyAccess(kRoot + "\\2002-5-8"), kInheritedEntry));
    EXPECT_EQ(privateBefore, ReadKeyAccess(kRoot + "\\private").sddl);
    EXPECT_EQ(belowBefore, ReadKeyAccess(kRoot + "\\private\\below").sddl);
}

// With nothing but the grant on every key, each save of the program still
// works: its opens ask for no more (KEY_ALL_ACCESS, say, would be refused).
TEST(StoreAccess, TheGrantIsEnoughForEverySaveOfTheProgram) {
    RegistrySandbox registry;
    const std::string day = kRoot + "\\2002-5-7";
    const std::string lunch =
        PutAppointment("2002-5-7", "Appointment 1", "2002-5-7", "2002-5-7", "Lunch");
    PutAppointment("2002-5-7", "Appointment 2", "2002-5-7", "2002-5-7", "Tea");
    SetDword(kRoot + "\\OPTIONS", "SPLASH", 1);
    SetOnlyEntry(kRoot, WinBuiltinUsersSid, kStoreUserAccess, kOwnEntry);
    for (const std::string& path : {day, lunch, day + "\\Appointment 2", kRoot + "\\OPTIONS"})
        SetOnlyEntry(path, WinBuiltinUsersSid, kStoreUserAccess, kInheritedEntry);

    EXPECT_TRUE(IsStoreWritable());
    CCalendarRegistry store;
    EXPECT_TRUE(store.AddAppointment("2002-5-7", "2002-5-7", "2002-5-7", "Walk", "Others", 1, ""))
        << "a new appointment on a day there already";
    EXPECT_TRUE(store.AddAppointment("2002-5-9", "2002-5-9", "2002-5-9", "Film", "Movie", 3, ""))
        << "a new day";
    EXPECT_EQ(ModifyResult::None,
              store.ModifyAppointment(ModifyMode::SaveDetail, "2002-5-7", "Lunch", "new notes"));
    EXPECT_EQ("new notes", std::string(ReadRaw(lunch, "DETAIL NOTES").bytes.c_str()));
    EXPECT_TRUE(store.SetSplash(0) && store.SetTimeoutValue(9));
    EXPECT_EQ(ModifyResult::Deleted,
              store.ModifyAppointment(ModifyMode::Delete, "2002-5-7", "Tea", ""));
    EXPECT_FALSE(KeyExists(day + "\\Appointment 2"));
}

} // namespace
} // namespace qmtest
