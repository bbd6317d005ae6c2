#pragma once

#include "sync/sync_account.h"
#include "sync/sync_session.h"

#include <memory>
#include <string>

// What the Sync dialog and the sync controller ask of the account and the
// sync, in one place, so that tests can put a slow or scripted sync in its
// place. Run and Discover are called from worker threads, the rest from the
// window's.
class ISyncService {
public:
    virtual ~ISyncService() = default;
    virtual bool LoadAccount(caldav::SyncAccount& account) = 0;
    // Saves the account; a non-empty `password` goes to the Credential
    // Manager, an empty one keeps what is saved there.
    virtual bool SaveAccount(const caldav::SyncAccount& account, const std::string& password) = 0;
    virtual bool HasPassword(const std::string& address) = 0;
    virtual caldav::LastSyncResult LoadLastSync() = 0;
    // An empty `password` uses the saved one.
    virtual caldav::DiscoveryResult Discover(const std::string& address, const std::string& user,
                                             const std::string& password,
                                             bool allowUnencrypted) = 0;
    virtual caldav::SyncRunResult Run(const caldav::SyncRunOptions& options) = 0;
};

// The account in the registry and the Credential Manager, and the real sync.
std::shared_ptr<ISyncService> MakeSyncService();
