#include "sync/sync_state_registry.h"

#include "framework/utf_text.h"
#include "sync/user_sync_key.h"

#include <cstdint>
#include <cstdio>

namespace caldav {

namespace {

constexpr const char* kStateKey = "Sync\\State";
constexpr std::size_t kMaxText = 4096;
// A kept server copy is the event as the server sent it; anything larger than
// a response may be is not one.
constexpr std::size_t kMaxServerCopy = 64u << 20;
// Two paths with one hash (never seen, but possible) take the next name.
constexpr int kMaxProbes = 8;

std::string ProbeName(const std::string& href, int probe) {
    std::string name = StateKeyName(href);
    if (probe > 0) {
        name += '-';
        name += std::to_string(probe);
    }
    return name;
}

// The subkey that holds `href`, or the free name it would get; `exists` says
// which.
LONG FindItemKey(HKEY state, const std::string& href, std::wstring& name, bool& exists) {
    for (int probe = 0; probe < kMaxProbes; ++probe) {
        name = fw::Widen(ProbeName(href, probe));
        fw::unique_hkey item;
        const LONG rc = RegOpenKeyExW(state, name.c_str(), 0, KEY_QUERY_VALUE, item.put());
        if (rc == ERROR_FILE_NOT_FOUND) {
            exists = false;
            return ERROR_SUCCESS;
        }
        if (rc != ERROR_SUCCESS)
            return rc;
        std::string stored;
        // HREF is written last, so a key without one is a write of this very
        // name cut short: it is taken over.
        if (!ReadKeyText(item.get(), L"HREF", kMaxText, stored) || stored == href) {
            exists = true;
            return ERROR_SUCCESS;
        }
    }
    return ERROR_ALREADY_EXISTS;
}

} // namespace

std::string StateKeyName(const std::string& href) {
    // FNV-1a, 64 bits: stable across builds and compilers.
    std::uint64_t hash = 14695981039346656037ull;
    for (const unsigned char c : href) {
        hash ^= c;
        hash *= 1099511628211ull;
    }
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
    return text;
}

void RegistryStateStore::Fail(const std::string& what, long code) {
    if (m_failure.empty())
        m_failure =
            "The sync state could not be saved (" + what + ", error " + std::to_string(code) + ").";
}

bool RegistryStateStore::SaveItem(const ItemState& item) {
    fw::unique_hkey state;
    LONG rc = OpenUserSyncKey(kStateKey, KEY_ALL_ACCESS, true, state);
    if (rc != ERROR_SUCCESS) {
        Fail(item.href, rc);
        return false;
    }
    std::wstring name;
    bool exists = false;
    rc = FindItemKey(state.get(), item.href, name, exists);
    fw::unique_hkey key;
    if (rc == ERROR_SUCCESS)
        rc = RegCreateKeyExW(state.get(), name.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                             KEY_SET_VALUE, nullptr, key.put(), nullptr);
    // HREF last: an item cut short before it is never read back as whole.
    for (const auto& [value, text] :
         {std::pair{L"ETAG", &item.etag}, std::pair{L"LOCAL ID", &item.localId},
          std::pair{L"FINGERPRINT", &item.fingerprint}, std::pair{L"SERVER COPY", &item.serverText},
          std::pair{L"UID", &item.uid}, std::pair{L"HREF", &item.href}}) {
        if (rc != ERROR_SUCCESS)
            break;
        rc = WriteKeyText(key.get(), value, *text);
    }
    if (rc != ERROR_SUCCESS) {
        Fail(item.href, rc);
        return false;
    }
    return true;
}

bool RegistryStateStore::RemoveItem(const std::string& href) {
    fw::unique_hkey state;
    LONG rc = OpenUserSyncKey(kStateKey, KEY_ALL_ACCESS, false, state);
    if (rc == ERROR_FILE_NOT_FOUND)
        return true;
    std::wstring name;
    bool exists = false;
    if (rc == ERROR_SUCCESS)
        rc = FindItemKey(state.get(), href, name, exists);
    if (rc == ERROR_SUCCESS && exists)
        rc = RegDeleteKeyW(state.get(), name.c_str());
    if (rc != ERROR_SUCCESS) {
        Fail(href, rc);
        return false;
    }
    return true;
}

bool RegistryStateStore::SaveCollection(const std::string& syncToken, const std::string& ctag,
                                        bool listed) {
    fw::unique_hkey state;
    LONG rc = OpenUserSyncKey(kStateKey, KEY_SET_VALUE, true, state);
    if (rc == ERROR_SUCCESS)
        rc = WriteKeyText(state.get(), L"SYNC TOKEN", syncToken);
    if (rc == ERROR_SUCCESS)
        rc = WriteKeyText(state.get(), L"CTAG", ctag);
    if (rc == ERROR_SUCCESS)
        rc = WriteKeyDword(state.get(), L"LISTED", listed ? 1 : 0);
    if (rc != ERROR_SUCCESS) {
        Fail("the collection's token", rc);
        return false;
    }
    return true;
}

bool LoadSyncState(SyncState& state) {
    state = SyncState();
    fw::unique_hkey key;
    const LONG rc = OpenUserSyncKey(kStateKey, KEY_READ, false, key);
    if (rc == ERROR_FILE_NOT_FOUND)
        return true;
    if (rc != ERROR_SUCCESS)
        return false;
    SyncState read;
    DWORD listed = 0;
    // A token without its LISTED mark was never whole: list anew.
    if (ReadKeyDword(key.get(), L"LISTED", listed) && listed != 0) {
        read.listed = true;
        ReadKeyText(key.get(), L"SYNC TOKEN", kMaxText, read.syncToken);
        ReadKeyText(key.get(), L"CTAG", kMaxText, read.ctag);
    }
    wchar_t name[256];
    for (DWORD index = 0;; ++index) {
        DWORD length = static_cast<DWORD>(std::size(name));
        const LONG enumRc =
            RegEnumKeyExW(key.get(), index, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (enumRc == ERROR_NO_MORE_ITEMS)
            break;
        if (enumRc != ERROR_SUCCESS)
            continue;
        fw::unique_hkey itemKey;
        if (RegOpenKeyExW(key.get(), name, 0, KEY_QUERY_VALUE, itemKey.put()) != ERROR_SUCCESS)
            continue;
        ItemState item;
        if (!ReadKeyText(itemKey.get(), L"HREF", kMaxText, item.href) || item.href.empty() ||
            !ReadKeyText(itemKey.get(), L"ETAG", kMaxText, item.etag) ||
            !ReadKeyText(itemKey.get(), L"LOCAL ID", kMaxText, item.localId) ||
            !ReadKeyText(itemKey.get(), L"FINGERPRINT", kMaxText, item.fingerprint) ||
            !ReadKeyText(itemKey.get(), L"SERVER COPY", kMaxServerCopy, item.serverText) ||
            !ReadKeyText(itemKey.get(), L"UID", kMaxText, item.uid))
            continue;
        read.items.push_back(std::move(item));
    }
    state = std::move(read);
    return true;
}

} // namespace caldav
