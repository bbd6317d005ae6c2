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

// The 64-bit view, also should this helper ever be built as 32 bits. Keys
// are read and walked with kReadAccess and opened to be written only when
// something is missing: on Windows an owner of a key below the root may not
// change it once it carries the store's entries, administrators included.
constexpr REGSAM kReadAccess = READ_CONTROL | KEY_ENUMERATE_SUB_KEYS | KEY_WOW64_64KEY;
constexpr REGSAM kWriteAccess = READ_CONTROL | WRITE_DAC | KEY_WOW64_64KEY;

// Changing the permissions or the owner of a key.
constexpr DWORD kPermissionRights = WRITE_DAC | WRITE_OWNER;

struct WellKnownSid {
    BYTE bytes[SECURITY_MAX_SID_SIZE] = {};
    PSID get() { return bytes; }
    DWORD Make(WELL_KNOWN_SID_TYPE type) {
        DWORD size = sizeof bytes;
        return CreateWellKnownSid(type, nullptr, bytes, &size) ? ERROR_SUCCESS : GetLastError();
    }
};

// One entry that the root carries and every key below it inherits.
struct StoreEntry {
    BYTE type;
    DWORD mask;
    // On the root; a key below has it without INHERIT_ONLY_ACE, as inherited.
    BYTE rootFlags;
    PSID sid;
    // A grant that includes the mask will do (an administrator may have
    // given Users more); otherwise the mask must be exact.
    bool atLeast;
};

BYTE InheritedFlags(const StoreEntry& entry) {
    return static_cast<BYTE>((entry.rootFlags & ~INHERIT_ONLY_ACE) | INHERITED_ACE);
}

// Allowed and denied entries share this layout.
const ACCESS_ALLOWED_ACE* AceAt(PACL dacl, DWORD index) {
    void* raw = nullptr;
    return GetAce(dacl, index, &raw) ? static_cast<const ACCESS_ALLOWED_ACE*>(raw) : nullptr;
}
PSID AceSid(const ACCESS_ALLOWED_ACE* ace) {
    return const_cast<DWORD*>(&ace->SidStart);
}
bool IsSimple(const ACCESS_ALLOWED_ACE* ace) {
    return ace->Header.AceType == ACCESS_ALLOWED_ACE_TYPE ||
           ace->Header.AceType == ACCESS_DENIED_ACE_TYPE;
}

// Whether `ace` is `entry` as the root has it (explicit, with the root's
// flags) or, below the root, as a key has it (inherited or its own, applying
// to the key and passed on).
bool Matches(const ACCESS_ALLOWED_ACE* ace, const StoreEntry& entry, bool root) {
    if (!IsSimple(ace) || ace->Header.AceType != entry.type || !EqualSid(AceSid(ace), entry.sid))
        return false;
    const bool mask =
        entry.atLeast ? (ace->Mask & entry.mask) == entry.mask : ace->Mask == entry.mask;
    const BYTE flags = ace->Header.AceFlags;
    constexpr BYTE kInheritance =
        CONTAINER_INHERIT_ACE | INHERIT_ONLY_ACE | NO_PROPAGATE_INHERIT_ACE | INHERITED_ACE;
    return mask && (root ? (flags & kInheritance) == entry.rootFlags
                         : (flags & (kInheritance & ~INHERITED_ACE)) == CONTAINER_INHERIT_ACE);
}

bool HasEntry(PACL dacl, const StoreEntry& entry, bool root) {
    for (DWORD i = 0; i < dacl->AceCount; ++i)
        if (const auto* ace = AceAt(dacl, i); ace != nullptr && Matches(ace, entry, root))
            return true;
    return false;
}

// A new access list, entry by entry: copies of existing ones and the
// store's own.
class AclBuilder {
public:
    void Copy(const ACCESS_ALLOWED_ACE* ace) { m_items.push_back({ace, nullptr, 0}); }
    void Add(const StoreEntry& entry, BYTE flags) { m_items.push_back({nullptr, &entry, flags}); }

    // Builds the list in `storage`, at least at `revision`.
    DWORD Build(BYTE revision, std::vector<DWORD>& storage, PACL& acl) const {
        DWORD bytes = sizeof(ACL);
        for (const Item& item : m_items)
            bytes += item.existing != nullptr ? item.existing->Header.AceSize
                                              : static_cast<DWORD>(sizeof(ACCESS_ALLOWED_ACE)) +
                                                    GetLengthSid(item.entry->sid);
        storage.assign((bytes + sizeof(DWORD) - 1) / sizeof(DWORD), 0);
        acl = reinterpret_cast<PACL>(storage.data());
        const DWORD rev = revision > ACL_REVISION ? revision : static_cast<DWORD>(ACL_REVISION);
        if (!InitializeAcl(acl, static_cast<DWORD>(storage.size() * sizeof(DWORD)), rev))
            return GetLastError();
        for (const Item& item : m_items) {
            BOOL done = FALSE;
            if (item.existing != nullptr)
                done = AddAce(acl, rev, MAXDWORD, const_cast<ACCESS_ALLOWED_ACE*>(item.existing),
                              item.existing->Header.AceSize);
            else if (item.entry->type == ACCESS_DENIED_ACE_TYPE)
                done =
                    AddAccessDeniedAceEx(acl, rev, item.flags, item.entry->mask, item.entry->sid);
            else
                done =
                    AddAccessAllowedAceEx(acl, rev, item.flags, item.entry->mask, item.entry->sid);
            if (!done)
                return GetLastError();
        }
        return ERROR_SUCCESS;
    }

private:
    struct Item {
        const ACCESS_ALLOWED_ACE* existing;
        const StoreEntry* entry;
        BYTE flags;
    };
    std::vector<Item> m_items;
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

// Writes a new DACL and keeps the owner and group as they were. Wine fills
// them in from the writer's token when a key had no descriptor of its own;
// Windows leaves them, and then nothing more is written.
DWORD WriteDacl(HKEY key, const KeySecurity& before, PACL dacl) {
    fw::unique_hkey writable;
    DWORD rc = static_cast<DWORD>(RegOpenKeyExW(key, L"", 0, kWriteAccess, writable.put()));
    if (rc != ERROR_SUCCESS)
        return rc;
    rc = SetSecurityInfo(writable.get(), SE_REGISTRY_KEY, DACL_SECURITY_INFORMATION, nullptr,
                         nullptr, dacl, nullptr);
    if (rc != ERROR_SUCCESS)
        return rc;
    KeySecurity after;
    if (ReadSecurity(writable.get(), after) != ERROR_SUCCESS ||
        (SameSid(after.owner, before.owner) && SameSid(after.group, before.group)))
        return ERROR_SUCCESS;
    fw::unique_hkey owned;
    rc = static_cast<DWORD>(RegOpenKeyExW(key, L"", 0, WRITE_OWNER | KEY_WOW64_64KEY, owned.put()));
    if (rc != ERROR_SUCCESS)
        return rc;
    return SetSecurityInfo(owned.get(), SE_REGISTRY_KEY,
                           OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION, before.owner,
                           before.group, nullptr, nullptr);
}

// The root's own entries: the store's, each once, explicit. Entries for
// OWNER RIGHTS other than the store's go, so that the root's owner gets no
// more than the owners of the keys below; every other entry stays. The
// refusals go first, the grants after the root's other own entries, ahead of
// the inherited ones; the platform (on Windows) passes them on to the keys
// below.
DWORD SecureRoot(HKEY root, const std::vector<StoreEntry>& store, PSID ownerRights) {
    KeySecurity security;
    DWORD rc = ReadSecurity(root, security);
    if (rc != ERROR_SUCCESS)
        return rc;
    // No DACL at all lets everyone do everything already.
    if (security.dacl == nullptr)
        return ERROR_SUCCESS;
    const auto isStrayOwnerEntry = [&](const ACCESS_ALLOWED_ACE* ace) {
        if ((ace->Header.AceFlags & INHERITED_ACE) || !IsSimple(ace) ||
            !EqualSid(AceSid(ace), ownerRights))
            return false;
        for (const StoreEntry& entry : store)
            if (Matches(ace, entry, true))
                return false;
        return true;
    };
    bool complete = true;
    for (const StoreEntry& entry : store)
        complete = complete && HasEntry(security.dacl, entry, true);
    for (DWORD i = 0; complete && i < security.dacl->AceCount; ++i)
        if (const auto* ace = AceAt(security.dacl, i); ace != nullptr && isStrayOwnerEntry(ace))
            complete = false;
    if (complete)
        return ERROR_SUCCESS;

    AclBuilder acl;
    std::vector<bool> present;
    for (const StoreEntry& entry : store)
        present.push_back(HasEntry(security.dacl, entry, true));
    for (size_t e = 0; e < store.size(); ++e)
        if (!present[e] && store[e].type == ACCESS_DENIED_ACE_TYPE)
            acl.Add(store[e], store[e].rootFlags);
    DWORD i = 0;
    for (; i < security.dacl->AceCount; ++i) {
        const auto* ace = AceAt(security.dacl, i);
        if (ace == nullptr)
            return GetLastError();
        if (ace->Header.AceFlags & INHERITED_ACE)
            break;
        if (!isStrayOwnerEntry(ace))
            acl.Copy(ace);
    }
    for (size_t e = 0; e < store.size(); ++e)
        if (!present[e] && store[e].type != ACCESS_DENIED_ACE_TYPE)
            acl.Add(store[e], store[e].rootFlags);
    for (; i < security.dacl->AceCount; ++i)
        if (const auto* ace = AceAt(security.dacl, i))
            acl.Copy(ace);
    std::vector<DWORD> storage;
    PACL dacl = nullptr;
    rc = acl.Build(security.dacl->AclRevision, storage, dacl);
    return rc != ERROR_SUCCESS ? rc : WriteDacl(root, security, dacl);
}

// Gives a key below the root the store's entries it lacks, as inherited:
// after its own entries and ahead of what it inherited before, as Windows
// orders what a key takes from its parent (the refusals first).
DWORD AddInheritedEntries(HKEY key, const KeySecurity& security,
                          const std::vector<StoreEntry>& store) {
    AclBuilder acl;
    DWORD i = 0;
    for (; i < security.dacl->AceCount; ++i) {
        const auto* ace = AceAt(security.dacl, i);
        if (ace == nullptr)
            return GetLastError();
        if (ace->Header.AceFlags & INHERITED_ACE)
            break;
        acl.Copy(ace);
    }
    for (const StoreEntry& entry : store)
        acl.Add(entry, InheritedFlags(entry));
    for (; i < security.dacl->AceCount; ++i) {
        const auto* ace = AceAt(security.dacl, i);
        bool repeated = false;
        for (const StoreEntry& entry : store)
            repeated = repeated || (IsSimple(ace) && ace->Header.AceType == entry.type &&
                                    ace->Header.AceFlags == InheritedFlags(entry) &&
                                    ace->Mask == entry.mask && EqualSid(AceSid(ace), entry.sid));
        if (!repeated)
            acl.Copy(ace);
    }
    std::vector<DWORD> storage;
    PACL dacl = nullptr;
    const DWORD rc = acl.Build(security.dacl->AclRevision, storage, dacl);
    return rc != ERROR_SUCCESS ? rc : WriteDacl(key, security, dacl);
}

// Every key below `parent` that lacks an entry of the store gets it. A key
// whose DACL is protected takes nothing from above, and neither do the keys
// below it.
DWORD InheritBelow(HKEY parent, const std::vector<StoreEntry>& store) {
    wchar_t name[256];
    for (DWORD index = 0;; ++index) {
        DWORD length = static_cast<DWORD>(std::size(name));
        LONG rc = RegEnumKeyExW(parent, index, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (rc == ERROR_NO_MORE_ITEMS)
            return ERROR_SUCCESS;
        if (rc != ERROR_SUCCESS)
            return static_cast<DWORD>(rc);
        fw::unique_hkey key;
        rc = RegOpenKeyExW(parent, name, 0, kReadAccess, key.put());
        if (rc != ERROR_SUCCESS)
            return static_cast<DWORD>(rc);
        KeySecurity security;
        DWORD done = ReadSecurity(key.get(), security);
        if (done != ERROR_SUCCESS)
            return done;
        if (security.control & SE_DACL_PROTECTED)
            continue;
        bool complete = true;
        for (const StoreEntry& entry : store)
            complete =
                complete && (security.dacl == nullptr || HasEntry(security.dacl, entry, false));
        if (!complete) {
            done = AddInheritedEntries(key.get(), security, store);
            if (done != ERROR_SUCCESS)
                return done;
        }
        done = InheritBelow(key.get(), store);
        if (done != ERROR_SUCCESS)
            return done;
    }
}

} // namespace

DWORD GrantUsersStoreAccess() {
    WellKnownSid users;
    WellKnownSid ownerRights;
    DWORD done = users.Make(WinBuiltinUsersSid);
    if (done == ERROR_SUCCESS)
        done = ownerRights.Make(WinCreatorOwnerRightsSid);
    if (done != ERROR_SUCCESS)
        return done;
    // Refusals first, in the order a key below has them.
    const std::vector<StoreEntry> store = {
        {ACCESS_DENIED_ACE_TYPE, kPermissionRights, CONTAINER_INHERIT_ACE | INHERIT_ONLY_ACE,
         ownerRights.get(), false},
        {ACCESS_ALLOWED_ACE_TYPE, kStoreUserAccess, CONTAINER_INHERIT_ACE, users.get(), true},
        {ACCESS_ALLOWED_ACE_TYPE, kStoreUserAccess, CONTAINER_INHERIT_ACE, ownerRights.get(),
         false},
    };
    fw::unique_hkey root;
    const LONG rc =
        RegCreateKeyExA(HKEY_LOCAL_MACHINE, kCalendarRootPath, 0, nullptr, REG_OPTION_NON_VOLATILE,
                        kReadAccess, nullptr, root.put(), nullptr);
    if (rc != ERROR_SUCCESS)
        return static_cast<DWORD>(rc);
    done = SecureRoot(root.get(), store, ownerRights.get());
    if (done != ERROR_SUCCESS)
        return done;
    return InheritBelow(root.get(), store);
}
