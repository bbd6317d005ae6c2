#include "installer/store_access.h"

#include "framework/unique_handle.h"
#include "store/calendar_registry.h"
#include "store/store_access.h"

#include <aclapi.h>

#include <iterator>
#include <memory>
#include <vector>

namespace {

// Memory that the security functions hand out with LocalAlloc.
struct LocalFreeDeleter {
    void operator()(void* p) const { LocalFree(p); }
};
using unique_local = std::unique_ptr<void, LocalFreeDeleter>;

// The 64-bit view, also should this helper ever be built as 32 bits.
constexpr REGSAM kSecurityAccess =
    READ_CONTROL | WRITE_DAC | KEY_ENUMERATE_SUB_KEYS | KEY_WOW64_64KEY;

struct UsersSid {
    BYTE bytes[SECURITY_MAX_SID_SIZE] = {};
    PSID get() { return bytes; }
};

// A key's DACL, owner and group as they are now.
struct KeySecurity {
    unique_local descriptor;
    PACL dacl = nullptr;
    PSID owner = nullptr;
    PSID group = nullptr;
    SECURITY_DESCRIPTOR_CONTROL control = 0;
};

DWORD ReadSecurity(HKEY key, KeySecurity& security) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    const DWORD rc = GetSecurityInfo(
        key, SE_REGISTRY_KEY,
        DACL_SECURITY_INFORMATION | OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION,
        &security.owner, &security.group, &security.dacl, nullptr, &descriptor);
    if (rc != ERROR_SUCCESS)
        return rc;
    security.descriptor.reset(descriptor);
    DWORD revision = 0;
    GetSecurityDescriptorControl(descriptor, &security.control, &revision);
    return ERROR_SUCCESS;
}

bool SameSid(PSID a, PSID b) {
    return (a == nullptr && b == nullptr) || (a != nullptr && b != nullptr && EqualSid(a, b));
}

// Whether `dacl` already allows Users all of kStoreUserAccess on this key and
// passes it on to the keys below; `explicitOnly` skips inherited entries.
bool GrantsUsers(PACL dacl, PSID users, bool explicitOnly) {
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        void* raw = nullptr;
        if (!GetAce(dacl, i, &raw))
            continue;
        const auto* ace = static_cast<const ACCESS_ALLOWED_ACE*>(raw);
        const BYTE flags = ace->Header.AceFlags;
        if (ace->Header.AceType != ACCESS_ALLOWED_ACE_TYPE ||
            (ace->Mask & kStoreUserAccess) != kStoreUserAccess ||
            !(flags & CONTAINER_INHERIT_ACE) || (flags & INHERIT_ONLY_ACE) ||
            (explicitOnly && (flags & INHERITED_ACE)))
            continue;
        if (EqualSid(const_cast<DWORD*>(&ace->SidStart), users))
            return true;
    }
    return false;
}

// Writes a new DACL and keeps the owner and group as they were. Wine fills
// them in from the writer's token when a key had no descriptor of its own;
// Windows leaves them, and then nothing more is written.
DWORD WriteDacl(HKEY key, const KeySecurity& before, PACL dacl) {
    DWORD rc = SetSecurityInfo(key, SE_REGISTRY_KEY, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                               dacl, nullptr);
    if (rc != ERROR_SUCCESS)
        return rc;
    KeySecurity after;
    if (ReadSecurity(key, after) != ERROR_SUCCESS ||
        (SameSid(after.owner, before.owner) && SameSid(after.group, before.group)))
        return ERROR_SUCCESS;
    fw::unique_hkey owned;
    rc = RegOpenKeyExW(key, L"", 0, WRITE_OWNER | KEY_WOW64_64KEY, owned.put());
    if (rc != ERROR_SUCCESS)
        return rc;
    return SetSecurityInfo(owned.get(), SE_REGISTRY_KEY,
                           OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION, before.owner,
                           before.group, nullptr, nullptr);
}

// The root's own entry, merged into its DACL by the platform (which puts it
// in canonical order and, on Windows, propagates it to the keys below).
DWORD GrantOnRoot(HKEY root, PSID users) {
    KeySecurity security;
    DWORD rc = ReadSecurity(root, security);
    if (rc != ERROR_SUCCESS)
        return rc;
    // No DACL at all lets everyone do everything already.
    if (security.dacl == nullptr || GrantsUsers(security.dacl, users, true))
        return ERROR_SUCCESS;
    EXPLICIT_ACCESSW entry{};
    entry.grfAccessPermissions = kStoreUserAccess;
    entry.grfAccessMode = GRANT_ACCESS;
    entry.grfInheritance = CONTAINER_INHERIT_ACE;
    entry.Trustee.TrusteeForm = TRUSTEE_IS_SID;
    entry.Trustee.TrusteeType = TRUSTEE_IS_WELL_KNOWN_GROUP;
    entry.Trustee.ptstrName = static_cast<LPWSTR>(users);
    PACL merged = nullptr;
    rc = SetEntriesInAclW(1, &entry, security.dacl, &merged);
    if (rc != ERROR_SUCCESS)
        return rc;
    unique_local mergedOwner(merged);
    return WriteDacl(root, security, merged);
}

// Gives a key below the root the entry it inherits, after its own entries.
DWORD AddInheritedEntry(HKEY key, const KeySecurity& security, PSID users) {
    ACL_SIZE_INFORMATION size{};
    if (!GetAclInformation(security.dacl, &size, sizeof size, AclSizeInformation))
        return GetLastError();
    const DWORD bytes = size.AclBytesInUse + sizeof(ACCESS_ALLOWED_ACE) + GetLengthSid(users);
    std::vector<DWORD> storage((bytes + sizeof(DWORD) - 1) / sizeof(DWORD));
    auto* dacl = reinterpret_cast<PACL>(storage.data());
    const DWORD revision = security.dacl->AclRevision > ACL_REVISION
                               ? security.dacl->AclRevision
                               : static_cast<DWORD>(ACL_REVISION);
    if (!InitializeAcl(dacl, bytes, revision))
        return GetLastError();
    for (DWORD i = 0; i < security.dacl->AceCount; ++i) {
        void* ace = nullptr;
        if (!GetAce(security.dacl, i, &ace) ||
            !AddAce(dacl, revision, MAXDWORD, ace, static_cast<ACE_HEADER*>(ace)->AceSize))
            return GetLastError();
    }
    if (!AddAccessAllowedAceEx(dacl, revision, CONTAINER_INHERIT_ACE | INHERITED_ACE,
                               kStoreUserAccess, users))
        return GetLastError();
    return WriteDacl(key, security, dacl);
}

// Every key below `parent` that lacks the inherited entry gets it. A key
// whose DACL is protected takes nothing from above, and neither do the keys
// below it.
DWORD InheritBelow(HKEY parent, PSID users) {
    wchar_t name[256];
    for (DWORD index = 0;; ++index) {
        DWORD length = static_cast<DWORD>(std::size(name));
        LONG rc = RegEnumKeyExW(parent, index, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (rc == ERROR_NO_MORE_ITEMS)
            return ERROR_SUCCESS;
        if (rc != ERROR_SUCCESS)
            return static_cast<DWORD>(rc);
        fw::unique_hkey key;
        rc = RegOpenKeyExW(parent, name, 0, kSecurityAccess, key.put());
        if (rc != ERROR_SUCCESS)
            return static_cast<DWORD>(rc);
        KeySecurity security;
        DWORD done = ReadSecurity(key.get(), security);
        if (done != ERROR_SUCCESS)
            return done;
        if (security.control & SE_DACL_PROTECTED)
            continue;
        if (security.dacl != nullptr && !GrantsUsers(security.dacl, users, false)) {
            done = AddInheritedEntry(key.get(), security, users);
            if (done != ERROR_SUCCESS)
                return done;
        }
        done = InheritBelow(key.get(), users);
        if (done != ERROR_SUCCESS)
            return done;
    }
}

} // namespace

DWORD GrantUsersStoreAccess() {
    UsersSid users;
    DWORD size = sizeof users.bytes;
    if (!CreateWellKnownSid(WinBuiltinUsersSid, nullptr, users.get(), &size))
        return GetLastError();
    fw::unique_hkey root;
    LONG rc =
        RegCreateKeyExA(HKEY_LOCAL_MACHINE, kCalendarRootPath, 0, nullptr, REG_OPTION_NON_VOLATILE,
                        kSecurityAccess, nullptr, root.put(), nullptr);
    if (rc != ERROR_SUCCESS)
        return static_cast<DWORD>(rc);
    const DWORD done = GrantOnRoot(root.get(), users.get());
    if (done != ERROR_SUCCESS)
        return done;
    return InheritBelow(root.get(), users.get());
}
