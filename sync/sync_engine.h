#pragma once

#include "sync/caldav_client.h"

#include <string>
#include <vector>

// Two-way sync of one local calendar with one CalDAV calendar. The rules:
// local deletes and changes go up before the server's changes come down, and
// a local change goes up even when the server's collection did not change;
// an item changed on both sides keeps both (the server's version takes its
// place, the local one becomes a conflict copy uploaded as a new event);
// local data is never deleted because of an answer that could not be read;
// a sync that would delete many local items, or that finds the server's
// calendar suddenly empty, or that would delete most of the server's events
// because the local ones are gone, stops and asks.
namespace caldav {

// What the local calendar holds, as the engine compares it.
struct LocalItem {
    std::string localId;     // stable across runs
    std::string fingerprint; // changes whenever the item's content does
    bool deleted = false;    // deleted locally since the last sync (a tombstone)
    bool purged = false;     // removed by the local purge of ended items: the
                             // server keeps it
};

struct LocalApply {
    bool ok = false;
    std::string localId;     // of the item written or created
    std::string fingerprint; // its fingerprint now
    std::string message;
};

// The local side: the store, seen through what sync needs. An item that is
// in the sync state but no longer listed counts as deleted locally.
class ILocalCalendar {
public:
    virtual ~ILocalCalendar() = default;
    virtual std::vector<LocalItem> Items() = 0;
    // The resource text for a local item. `keptServerText` is the server's
    // copy as last synced ("" for an item never synced): the local side
    // changes only the properties its edit touched (ReplaceEventProperties).
    // A never-synced item gets a UID of its own.
    virtual bool Export(const std::string& localId, const std::string& keptServerText,
                        std::string& icalendar, std::string& message) = 0;
    // The fingerprint an item would have with this resource's content.
    virtual std::string FingerprintOf(const std::string& icalendar) = 0;
    // Writes a server resource into item `localId`, or into a new item when
    // `localId` is empty.
    virtual LocalApply Apply(const std::string& localId, const std::string& icalendar) = 0;
    virtual bool Remove(const std::string& localId) = 0;
    // A new item holding the local version of `localId`, marked as a
    // conflict copy, with a UID of its own.
    virtual LocalApply AddConflictCopy(const std::string& localId) = 0;
    // A tombstone or purge record that sync no longer needs.
    virtual void Forget(const std::string& localId) { (void)localId; }
};

// What sync remembers of one server resource.
struct ItemState {
    std::string href; // normalized path on the server
    std::string etag;
    std::string localId;     // "" while only the server has it (ended, purged)
    std::string fingerprint; // the local item's at the last sync
    std::string serverText;  // the kept server text
    std::string uid;
};

struct SyncState {
    std::string syncToken;
    std::string ctag;
    bool listed = false; // a complete listing has been taken once
    std::vector<ItemState> items;
};

// Persists the state as the sync goes, so that an interrupted sync resumes
// where it stopped. Each call is one small write.
class ISyncStateStore {
public:
    virtual ~ISyncStateStore() = default;
    virtual bool SaveItem(const ItemState& item) = 0;
    virtual bool RemoveItem(const std::string& href) = 0;
    virtual bool SaveCollection(const std::string& syncToken, const std::string& ctag,
                                bool listed) = 0;
};

struct SyncOptions {
    std::string calendarUrl;
    // Events that ended before this day (YYYYMMDD; 0 for none) are not
    // downloaded: the local purge removed them on purpose.
    int horizon = 0;
    bool confirmDeletions = false;   // the user agreed to a large deletion
    bool confirmEmptyServer = false; // the user agreed that the calendar is empty
};

enum class SyncStatus {
    Done,
    DoneWithErrors,    // some items were skipped; `itemErrors` says which
    Failed,            // the sync stopped; `message` says why; nothing is lost
    NeedsConfirmation, // a guard stopped it before any local deletion
};

struct SyncReport {
    SyncStatus status = SyncStatus::Done;
    std::string message;
    int uploaded = 0;        // new events sent
    int changedOnServer = 0; // changes sent
    int deletedOnServer = 0;
    int downloaded = 0; // new local items
    int changedLocally = 0;
    int deletedLocally = 0;
    int conflicts = 0;                      // conflict copies made
    int pendingDeletions = 0;               // what a guard held back
    std::vector<std::string> duplicateUids; // UIDs that several server resources carry
    std::vector<std::string> itemErrors;
    int requests = 0;
};

class SyncEngine {
public:
    SyncEngine(CalDavClient& client, ILocalCalendar& local, SyncState& state,
               ISyncStateStore& store);
    // One sync. Never throws: whatever goes wrong is in the report.
    SyncReport Run(const SyncOptions& options);

private:
    struct Context;
    SyncReport RunSteps(const SyncOptions& options);
    bool PushDeletes(Context& context);
    bool PushChanges(Context& context);
    bool PushNew(Context& context);
    bool Pull(Context& context);
    bool Absorb(Context& context, const std::string& href, const std::string& etag,
                const std::string& data);
    bool RemoveFromServerSide(Context& context, const std::string& href);
    ItemState* Find(const std::string& href);
    void Save(const ItemState& item);
    void Drop(const std::string& href);

    CalDavClient& m_client;
    ILocalCalendar& m_local;
    SyncState& m_state;
    ISyncStateStore& m_store;
};

// A resource name for a UID, so that a retried upload of the same event lands
// on the same resource and cannot make a duplicate.
std::string ResourceNameForUid(const std::string& uid);

// Whether the event ended before `horizon` (YYYYMMDD); a repeating event
// without an end never has.
bool EventEndsBefore(const std::string& icalendar, int horizon);

} // namespace caldav
