#include "app/sync_service.h"

#include "sync/credential_store.h"

#include <windows.h>

namespace {

// Overwrites a password's bytes before its memory goes back to the heap.
void Wipe(std::string& secret) {
    if (!secret.empty())
        SecureZeroMemory(secret.data(), secret.size());
    secret.clear();
}

class CSyncService : public ISyncService {
public:
    bool LoadAccount(caldav::SyncAccount& account) override { return caldav::LoadAccount(account); }

    bool SaveAccount(const caldav::SyncAccount& account, const std::string& password) override {
        if (!caldav::SaveAccount(account))
            return false;
        if (password.empty())
            return true;
        return caldav::SavePassword(account.address, account.user, password) == ERROR_SUCCESS;
    }

    bool HasPassword(const std::string& address) override {
        std::string user, password;
        const bool found = caldav::LoadPassword(address, user, password) == ERROR_SUCCESS;
        Wipe(password);
        return found;
    }

    caldav::LastSyncResult LoadLastSync() override { return caldav::LoadLastSync(); }

    caldav::DiscoveryResult Discover(const std::string& address, const std::string& user,
                                     const std::string& password, bool allowUnencrypted) override {
        if (!password.empty())
            return caldav::DiscoverCalendars(address, user, password, allowUnencrypted);
        std::string savedUser, saved;
        caldav::LoadPassword(address, savedUser, saved);
        caldav::DiscoveryResult result =
            caldav::DiscoverCalendars(address, user, saved, allowUnencrypted);
        Wipe(saved);
        return result;
    }

    caldav::SyncRunResult Run(const caldav::SyncRunOptions& options) override {
        return caldav::RunSync(options);
    }
};

} // namespace

std::shared_ptr<ISyncService> MakeSyncService() {
    return std::make_shared<CSyncService>();
}
