#pragma once

#include "framework/unique_handle.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

namespace qmtest {

// While it lives, the key at `path` below the (redirected) HKEY_LOCAL_MACHINE
// may be read but not written by anyone: its access list grants everyone
// KEY_READ only, as for a user without write access to the machine-wide tree.
// The key is made when it is missing. (Opening the redirected root read-only
// is not enough: Wine does not check the parent handle's rights when a
// subkey is created or opened below it.)
class WriteProtectedKey {
public:
    explicit WriteProtectedKey(const std::string& path) : m_path(path) {
        fw::unique_hkey key;
        if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                            nullptr, key.put(), nullptr) != ERROR_SUCCESS ||
            !SetAccess(key.get(), KEY_READ)) {
            ADD_FAILURE() << "cannot protect " << path;
            return;
        }
        fw::unique_hkey probe;
        EXPECT_EQ(ERROR_ACCESS_DENIED,
                  RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_SET_VALUE, probe.put()))
            << "the key is still writable";
    }
    ~WriteProtectedKey() {
        // Writable again, so that the sandbox can remove it.
        fw::unique_hkey key;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, m_path.c_str(), 0, WRITE_DAC, key.put()) ==
            ERROR_SUCCESS)
            SetAccess(key.get(), KEY_ALL_ACCESS);
    }
    WriteProtectedKey(const WriteProtectedKey&) = delete;
    WriteProtectedKey& operator=(const WriteProtectedKey&) = delete;

private:
    static bool SetAccess(HKEY key, DWORD access) {
        SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
        PSID everyone = nullptr;
        if (!AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0,
                                      &everyone))
            return false;
        alignas(DWORD) BYTE aclBytes[256] = {};
        auto* acl = reinterpret_cast<PACL>(aclBytes);
        SECURITY_DESCRIPTOR descriptor{};
        const bool done =
            InitializeAcl(acl, sizeof aclBytes, ACL_REVISION) &&
            AddAccessAllowedAce(acl, ACL_REVISION, access, everyone) &&
            InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) &&
            SetSecurityDescriptorDacl(&descriptor, TRUE, acl, FALSE) &&
            RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, &descriptor) == ERROR_SUCCESS;
        FreeSid(everyone);
        return done;
    }

    std::string m_path;
};

} // namespace qmtest
