#pragma once

#include "sync/sync_engine.h"

#include <map>
#include <string>

// The local calendar of the engine's tests: items with a UID, a summary, a
// description and a start day. An edit of an item already synced changes
// only SUMMARY and DESCRIPTION in the kept server text, as the store will.
class FakeLocalCalendar : public caldav::ILocalCalendar {
public:
    struct Item {
        std::string uid;
        std::string summary;
        std::string description;
        std::string start = "20270105"; // DTSTART;VALUE=DATE
        bool deleted = false;
        bool purged = false;
        bool conflictCopy = false;
    };

    std::string Add(const std::string& uid, const std::string& summary,
                    const std::string& start = "20270105");
    Item& operator[](const std::string& id) { return m_items.at(id); }
    // The live items (neither deleted nor purged).
    std::map<std::string, Item> Live() const;
    const Item* FindUid(const std::string& uid) const;
    // Fails every write after this many more (the disk full, the store locked).
    int writesLeft = 1 << 30;

    std::vector<caldav::LocalItem> Items() override;
    bool Export(const std::string& localId, const std::string& keptServerText,
                std::string& icalendar, std::string& message) override;
    std::string FingerprintOf(const std::string& icalendar) override;
    caldav::LocalApply Apply(const std::string& localId, const std::string& icalendar) override;
    bool Remove(const std::string& localId) override;
    caldav::LocalApply AddConflictCopy(const std::string& localId) override;
    void Forget(const std::string& localId) override;

private:
    static std::string Fingerprint(const Item& item);
    std::string NewId();
    std::map<std::string, Item> m_items;
    int m_next = 1;
};

// A whole VCALENDAR with one all-day event.
std::string EventText(const std::string& uid, const std::string& summary,
                      const std::string& start = "20270105", const std::string& extra = "");

// The sync state kept in memory, with what each call wrote.
class MemoryStateStore : public caldav::ISyncStateStore {
public:
    bool SaveItem(const caldav::ItemState& item) override;
    bool RemoveItem(const std::string& href) override;
    bool SaveCollection(const std::string& token, const std::string& ctag, bool listed) override;
    // What a restart would load.
    caldav::SyncState saved;
    int writes = 0;
};
