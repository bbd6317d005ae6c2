#pragma once

#include "sync/caldav_client.h"
#include "sync/sync_account.h"
#include "sync/sync_engine.h"

#include <string>

// One whole sync of the saved account with the store: the password from the
// Credential Manager, WinHTTP, the engine, the store's appointments and the
// per-user sync state. Any thread but a window's; one sync at a time in the
// whole session (the running program and "/sync" share a named lock).
namespace caldav {

struct SyncRunOptions {
    bool confirmDeletions = false;   // the user agreed to a large deletion
    bool confirmEmptyServer = false; // the user agreed that the calendar is empty
};

struct SyncRunResult {
    enum class Kind {
        Ran,       // `report` says how it went
        NoAccount, // nothing saved, or no password in the Credential Manager
        Busy,      // another sync of this user is running
    };
    Kind kind = Kind::Ran;
    SyncReport report;
    std::string words; // what happened, in a sentence or two, for people
};

// Runs one sync and saves its result (SaveLastSync). Never throws.
SyncRunResult RunSync(const SyncRunOptions& options = {});

// The calendars at `address` (a server's or a calendar's address) for this
// user, for the account dialog and "/sync-account". `usesBasic`, when given,
// tells whether the server asked for Basic (SyncAccount::assumeBasic). Never
// throws.
DiscoveryResult DiscoverCalendars(const std::string& address, const std::string& user,
                                  const std::string& password, bool allowUnencrypted,
                                  bool* usesBasic = nullptr);

// A report in words: "Sent 2, received 5, 1 conflict: both versions kept."
std::string DescribeReport(const SyncReport& report);

} // namespace caldav
