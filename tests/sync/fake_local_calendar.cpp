#include "tests/sync/fake_local_calendar.h"

#include "ical/ical_text.h"
#include "sync/vevent_patch.h"

#include <algorithm>

using namespace caldav;

std::string EventText(const std::string& uid, const std::string& summary, const std::string& start,
                      const std::string& extra) {
    return "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Test//EN\r\nBEGIN:VEVENT\r\nUID:" + uid +
           "\r\nDTSTAMP:20260101T000000Z\r\nDTSTART;VALUE=DATE:" + start +
           "\r\nSUMMARY:" + ical::EscapeText(summary) + "\r\n" + extra +
           "END:VEVENT\r\nEND:VCALENDAR\r\n";
}

std::string FakeLocalCalendar::NewId() {
    std::string id = "L";
    id += std::to_string(m_next++);
    return id;
}

std::string FakeLocalCalendar::Add(const std::string& uid, const std::string& summary,
                                   const std::string& start) {
    const std::string id = NewId();
    Item item;
    item.uid = uid;
    item.summary = summary;
    item.start = start;
    m_items[id] = item;
    return id;
}

std::map<std::string, FakeLocalCalendar::Item> FakeLocalCalendar::Live() const {
    std::map<std::string, Item> live;
    for (const auto& [id, item] : m_items)
        if (!item.deleted && !item.purged)
            live[id] = item;
    return live;
}

const FakeLocalCalendar::Item* FakeLocalCalendar::FindUid(const std::string& uid) const {
    for (const auto& [id, item] : m_items)
        if (item.uid == uid && !item.deleted && !item.purged)
            return &item;
    return nullptr;
}

std::string FakeLocalCalendar::Fingerprint(const Item& item) {
    return item.uid + "|" + item.summary + "|" + item.description + "|" + item.start;
}

std::vector<LocalItem> FakeLocalCalendar::Items() {
    std::vector<LocalItem> items;
    for (const auto& [id, item] : m_items)
        items.push_back({id, Fingerprint(item), item.deleted, item.purged});
    return items;
}

bool FakeLocalCalendar::Export(const std::string& localId, const std::string& kept,
                               std::string& icalendar, std::string& message) {
    const Item& item = m_items.at(localId);
    if (kept.empty()) {
        icalendar = EventText(item.uid, item.summary, item.start,
                              item.description.empty()
                                  ? ""
                                  : "DESCRIPTION:" + ical::EscapeText(item.description) + "\r\n");
        return true;
    }
    std::string updates = "SUMMARY:" + ical::EscapeText(item.summary) + "\r\n";
    if (!item.description.empty())
        updates += "DESCRIPTION:" + ical::EscapeText(item.description) + "\r\n";
    return ReplaceEventProperties(kept, {"SUMMARY", "DESCRIPTION"}, updates, icalendar, message);
}

std::string FakeLocalCalendar::FingerprintOf(const std::string& icalendar) {
    Item item;
    item.uid = EventUid(icalendar);
    item.summary = ical::UnescapeText(EventPropertyValue(icalendar, "SUMMARY"), "\n");
    item.description = ical::UnescapeText(EventPropertyValue(icalendar, "DESCRIPTION"), "\n");
    item.start = EventPropertyValue(icalendar, "DTSTART").substr(0, 8);
    return Fingerprint(item);
}

LocalApply FakeLocalCalendar::Apply(const std::string& localId, const std::string& icalendar) {
    if (writesLeft-- <= 0)
        return {false, localId, "", "The store refused the write."};
    std::string id = localId;
    if (id.empty())
        id = NewId();
    Item& item = m_items[id];
    item.uid = EventUid(icalendar);
    item.summary = ical::UnescapeText(EventPropertyValue(icalendar, "SUMMARY"), "\n");
    item.description = ical::UnescapeText(EventPropertyValue(icalendar, "DESCRIPTION"), "\n");
    item.start = EventPropertyValue(icalendar, "DTSTART").substr(0, 8);
    item.deleted = item.purged = false;
    return {true, id, Fingerprint(item), ""};
}

bool FakeLocalCalendar::Remove(const std::string& localId) {
    if (writesLeft-- <= 0)
        return false;
    return m_items.erase(localId) != 0;
}

LocalApply FakeLocalCalendar::AddConflictCopy(const std::string& localId) {
    Item copy = m_items.at(localId);
    copy.conflictCopy = true;
    copy.uid += "-conflict-" + std::to_string(m_next);
    const std::string id = NewId();
    m_items[id] = copy;
    return {true, id, Fingerprint(copy), ""};
}

void FakeLocalCalendar::Forget(const std::string& localId) {
    const auto it = m_items.find(localId);
    if (it != m_items.end() && (it->second.deleted || it->second.purged))
        m_items.erase(it);
}

bool MemoryStateStore::SaveItem(const ItemState& item) {
    ++writes;
    for (ItemState& existing : saved.items)
        if (existing.href == item.href) {
            existing = item;
            return true;
        }
    saved.items.push_back(item);
    return true;
}

bool MemoryStateStore::RemoveItem(const std::string& href) {
    ++writes;
    saved.items.erase(std::remove_if(saved.items.begin(), saved.items.end(),
                                     [&](const ItemState& item) { return item.href == href; }),
                      saved.items.end());
    return true;
}

bool MemoryStateStore::SaveCollection(const std::string& token, const std::string& ctag,
                                      bool listed) {
    ++writes;
    saved.syncToken = token;
    saved.ctag = ctag;
    saved.listed = listed;
    return true;
}
