#include "sync/sync_account.h"

#include "sync/credential_store.h"
#include "sync/user_sync_key.h"

namespace caldav {

namespace {

constexpr const char* kAccountKey = "Sync";
constexpr const char* kStateKey = "Sync\\State";
// Addresses and names longer than these are not ours: read as no account.
constexpr std::size_t kMaxUrl = 4096;
constexpr std::size_t kMaxName = 1024;

} // namespace

bool LoadAccount(SyncAccount& account) {
    fw::unique_hkey key;
    if (OpenUserSyncKey(kAccountKey, KEY_QUERY_VALUE, false, key) != ERROR_SUCCESS)
        return false;
    SyncAccount read;
    if (!ReadKeyText(key.get(), L"ADDRESS", kMaxUrl, read.address) ||
        !ReadKeyText(key.get(), L"CALENDAR URL", kMaxUrl, read.calendarUrl) ||
        !ReadKeyText(key.get(), L"USER", kMaxName, read.user) || read.address.empty() ||
        read.calendarUrl.empty())
        return false;
    ReadKeyText(key.get(), L"CALENDAR NAME", kMaxName, read.calendarName);
    DWORD value = 0;
    // An interval out of bounds reads as the default rather than as a timer
    // that never or always fires.
    if (ReadKeyDword(key.get(), L"INTERVAL", value) && value <= 24 * 60)
        read.intervalMinutes = static_cast<int>(value);
    if (ReadKeyDword(key.get(), L"ALLOW UNENCRYPTED", value))
        read.allowUnencrypted = value != 0;
    if (ReadKeyDword(key.get(), L"ASSUME BASIC", value))
        read.assumeBasic = value != 0;
    account = std::move(read);
    return true;
}

bool SaveAccount(const SyncAccount& account) {
    SyncAccount before;
    const bool had = LoadAccount(before);
    // Another calendar: what was learnt of the old one means nothing there.
    if (had && before.calendarUrl != account.calendarUrl && !DeleteUserSyncKey(kStateKey))
        return false;
    fw::unique_hkey key;
    if (OpenUserSyncKey(kAccountKey, KEY_SET_VALUE, true, key) != ERROR_SUCCESS)
        return false;
    const DWORD interval =
        account.intervalMinutes < 0 ? 0u : static_cast<DWORD>(account.intervalMinutes);
    return WriteKeyText(key.get(), L"ADDRESS", account.address) == ERROR_SUCCESS &&
           WriteKeyText(key.get(), L"CALENDAR URL", account.calendarUrl) == ERROR_SUCCESS &&
           WriteKeyText(key.get(), L"CALENDAR NAME", account.calendarName) == ERROR_SUCCESS &&
           WriteKeyText(key.get(), L"USER", account.user) == ERROR_SUCCESS &&
           WriteKeyDword(key.get(), L"INTERVAL", interval) == ERROR_SUCCESS &&
           WriteKeyDword(key.get(), L"ALLOW UNENCRYPTED", account.allowUnencrypted ? 1 : 0) ==
               ERROR_SUCCESS &&
           WriteKeyDword(key.get(), L"ASSUME BASIC", account.assumeBasic ? 1 : 0) == ERROR_SUCCESS;
}

void RemoveAccount() {
    SyncAccount account;
    if (LoadAccount(account))
        DeletePassword(account.address);
    DeleteUserSyncKey(kAccountKey);
}

LastSyncResult LoadLastSync() {
    LastSyncResult result;
    fw::unique_hkey key;
    if (OpenUserSyncKey(kAccountKey, KEY_QUERY_VALUE, false, key) != ERROR_SUCCESS)
        return result;
    std::uint64_t utc = 0;
    if (!ReadKeyQword(key.get(), L"LAST SYNC TIME", utc))
        return result;
    result.utc = static_cast<std::int64_t>(utc);
    DWORD ok = 0;
    result.ok = ReadKeyDword(key.get(), L"LAST SYNC OK", ok) && ok != 0;
    ReadKeyText(key.get(), L"LAST SYNC RESULT", kMaxUrl, result.words);
    return result;
}

void SaveLastSync(const LastSyncResult& result) {
    fw::unique_hkey key;
    if (OpenUserSyncKey(kAccountKey, KEY_SET_VALUE, true, key) != ERROR_SUCCESS)
        return;
    WriteKeyText(key.get(), L"LAST SYNC RESULT", result.words);
    WriteKeyDword(key.get(), L"LAST SYNC OK", result.ok ? 1 : 0);
    WriteKeyQword(key.get(), L"LAST SYNC TIME", static_cast<std::uint64_t>(result.utc));
}

} // namespace caldav
