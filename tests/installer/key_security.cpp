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

} // namespace qmtest
