#include "tests/installer/key_security.h"

#include "framework/unique_handle.h"
#include "store/store_access.h"
#include "tests/support/registry_sandbox.h"

#include <aclapi.h>
#include <sddl.h>

namespace qmtest {

namespace {

std::string SidText(PSID sid) {
    char* text = nullptr;
    if (sid == nullptr || !ConvertSidToStringSidA(sid, &text))
        return {};
    std::string result = text;
    LocalFree(text);
    return result;
}

} // namespace

KeyAccess ReadKeyAccess(const std::string& path) {
    KeyAccess access;
    fw::unique_hkey key;
    constexpr SECURITY_INFORMATION kParts =
        OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
    PSID owner = nullptr;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (OpenMachineKey(path, READ_CONTROL, key, false) != ERROR_SUCCESS ||
        GetSecurityInfo(key.get(), SE_REGISTRY_KEY, kParts, &owner, nullptr, &dacl, nullptr,
                        &descriptor) != ERROR_SUCCESS)
        return access;
    access.owner = SidText(owner);
    for (DWORD i = 0; dacl != nullptr && i < dacl->AceCount; ++i) {
        void* raw = nullptr;
        if (!GetAce(dacl, i, &raw))
            continue;
        // Allowed and denied entries share this layout.
        const auto* ace = static_cast<const ACCESS_ALLOWED_ACE*>(raw);
        access.entries.push_back({ace->Header.AceType, ace->Header.AceFlags, ace->Mask,
                                  SidText(const_cast<DWORD*>(&ace->SidStart))});
    }
    char* text = nullptr;
    if (ConvertSecurityDescriptorToStringSecurityDescriptorA(descriptor, SDDL_REVISION_1, kParts,
                                                             &text, nullptr)) {
        access.sddl = text;
        LocalFree(text);
    }
    LocalFree(descriptor);
    return access;
}

::testing::AssertionResult GrantsUsersTheStore(const KeyAccess& access, BYTE flags) {
    int granting = 0;
    for (const AccessEntry& entry : access.entries) {
        if (entry.sid != "S-1-5-32-545" || entry.type != ACCESS_ALLOWED_ACE_TYPE)
            continue;
        if (entry.mask & (WRITE_DAC | WRITE_OWNER | GENERIC_ALL | GENERIC_WRITE))
            return ::testing::AssertionFailure() << "Users may change permissions: " << access.sddl;
        granting += entry.mask == kStoreUserAccess && entry.flags == flags ? 1 : 0;
    }
    if (granting != 1)
        return ::testing::AssertionFailure()
               << granting << " entries grant Users the store: " << access.sddl;
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult LimitsOwnersToUsersRights(const KeyAccess& access, bool root) {
    constexpr const char* kOwnerRights = "S-1-3-4";
    constexpr DWORD kPermissions = WRITE_DAC | WRITE_OWNER;
    const BYTE grantFlags = root ? kOwnEntry : kInheritedEntry;
    const BYTE denyFlags = root ? CONTAINER_INHERIT_ACE | INHERIT_ONLY_ACE : kInheritedEntry;
    int grants = 0;
    size_t deny = access.entries.size();
    for (size_t i = 0; i < access.entries.size(); ++i) {
        const AccessEntry& entry = access.entries[i];
        if (entry.sid == kOwnerRights && entry.type == ACCESS_ALLOWED_ACE_TYPE) {
            if (entry.mask & (kPermissions | GENERIC_ALL | GENERIC_WRITE))
                return ::testing::AssertionFailure()
                       << "owners may change permissions: " << access.sddl;
            grants += entry.mask == kStoreUserAccess && entry.flags == grantFlags ? 1 : 0;
        }
        if (entry.sid == kOwnerRights && entry.type == ACCESS_DENIED_ACE_TYPE &&
            (entry.mask & kPermissions) == kPermissions && entry.flags == denyFlags &&
            deny == access.entries.size())
            deny = i;
    }
    if (grants != 1)
        return ::testing::AssertionFailure()
               << grants << " entries give owners what Users have: " << access.sddl;
    if (deny == access.entries.size())
        return ::testing::AssertionFailure()
               << "no refusal of permissions to owners: " << access.sddl;
    for (size_t i = 0; !root && i < deny; ++i)
        if (access.entries[i].type == ACCESS_ALLOWED_ACE_TYPE &&
            (access.entries[i].flags & INHERITED_ACE))
            return ::testing::AssertionFailure()
                   << "an inherited grant comes before the refusal: " << access.sddl;
    return ::testing::AssertionSuccess();
}

void SetOnlyEntry(const std::string& path, WELL_KNOWN_SID_TYPE who, DWORD mask, BYTE flags,
                  bool protectedList) {
    fw::unique_hkey key;
    ASSERT_EQ(ERROR_SUCCESS, OpenMachineKey(path, READ_CONTROL | WRITE_DAC, key, false)) << path;
    BYTE sid[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof sid;
    ASSERT_TRUE(CreateWellKnownSid(who, nullptr, sid, &size));
    alignas(DWORD) BYTE aclBytes[128] = {};
    auto* acl = reinterpret_cast<PACL>(aclBytes);
    SECURITY_DESCRIPTOR descriptor{};
    ASSERT_TRUE(InitializeAcl(acl, sizeof aclBytes, ACL_REVISION) &&
                AddAccessAllowedAceEx(acl, ACL_REVISION, flags, mask, sid) &&
                InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) &&
                SetSecurityDescriptorDacl(&descriptor, TRUE, acl, FALSE) &&
                SetSecurityDescriptorControl(&descriptor, SE_DACL_PROTECTED,
                                             protectedList ? SE_DACL_PROTECTED : 0));
    ASSERT_EQ(ERROR_SUCCESS, RegSetKeySecurity(key.get(), DACL_SECURITY_INFORMATION, &descriptor));
}

void AppendEntry(const std::string& path, const std::string& entry) {
    const std::string dacl = ReadKeyAccess(path).sddl;
    const size_t start = dacl.find("D:");
    ASSERT_NE(std::string::npos, start) << path << ": " << dacl;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA(
        (dacl.substr(start) + entry).c_str(), SDDL_REVISION_1, &descriptor, nullptr))
        << dacl << entry;
    fw::unique_hkey key;
    LONG rc = OpenMachineKey(path, WRITE_DAC, key, false);
    if (rc == ERROR_SUCCESS)
        rc = RegSetKeySecurity(key.get(), DACL_SECURITY_INFORMATION, descriptor);
    LocalFree(descriptor);
    ASSERT_EQ(ERROR_SUCCESS, rc) << path;
}

} // namespace qmtest
