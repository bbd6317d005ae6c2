#pragma once

#include "sync/sync_engine.h"

#include <string>

// The sync state of this user's account, kept below its key
// (HKEY_CURRENT_USER\Software\Quillmere\Sync\State): the collection's token,
// ctag and whether it was listed whole once, and one subkey per server
// resource, named by a hash of its path. Each item is written on its own as
// the sync goes, so a sync that is killed resumes from what it filed.
namespace caldav {

class RegistryStateStore final : public ISyncStateStore {
public:
    bool SaveItem(const ItemState& item) override;
    bool RemoveItem(const std::string& href) override;
    bool SaveCollection(const std::string& syncToken, const std::string& ctag,
                        bool listed) override;

    // The first write that failed in this store's life, in words; "" when none
    // did. A failed write loses nothing on either side: the next sync matches
    // the item again by its UID.
    const std::string& Failure() const { return m_failure; }

private:
    void Fail(const std::string& what, long code);
    std::string m_failure;
};

// What the saved state holds; an empty state (a first sync) when there is
// none. Items that cannot be read are left out: the next sync matches their
// events again by UID. False only when the state exists and cannot be opened.
bool LoadSyncState(SyncState& state);

// The subkey name of a resource: 16 hexadecimal digits of its path's hash.
std::string StateKeyName(const std::string& href);

} // namespace caldav
