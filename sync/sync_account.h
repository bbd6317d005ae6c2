#pragma once

#include <cstdint>
#include <string>

// The one CalDAV account of this user, kept under
// HKEY_CURRENT_USER\Software\Quillmere\Sync (see README, "Data layout"). The
// password is never here: it is in the Windows Credential Manager
// (credential_store.h), under the account's address.
namespace caldav {

struct SyncAccount {
    std::string address;      // what the user typed: a server's or a calendar's address
    std::string calendarUrl;  // the chosen calendar, absolute
    std::string calendarName; // its display name, for the dialog
    std::string user;
    int intervalMinutes = 15; // "Sync every N minutes"; 0 for never on a timer
    bool allowUnencrypted = false;
    bool assumeBasic = false; // the server asked for Basic: sent up front next time
};

// False when no account is saved (or what is saved cannot be read).
bool LoadAccount(SyncAccount& account);
// Saves the account. A different calendar than the saved one starts its sync
// state afresh: the next sync is a first sync, matched by UID.
bool SaveAccount(const SyncAccount& account);
// Removes the account, its sync state and its password.
void RemoveAccount();

// The last sync's time and result, for the dialog and the tray tip.
struct LastSyncResult {
    std::int64_t utc = 0; // seconds from 1970; 0 for never
    bool ok = false;
    std::string words; // "Sent 1, received 3." or the error
};
LastSyncResult LoadLastSync();
void SaveLastSync(const LastSyncResult& result);

} // namespace caldav
