#include "sync/sync_engine.h"

#include "sync/url.h"
#include "sync/vevent_patch.h"

#include <algorithm>
#include <cstdint>
#include <map>
#include <new>
#include <stdexcept>
#include <set>

namespace caldav {

namespace {

// A failure of the connection or the server as a whole ends the sync; any
// other failure is the one item's.
bool IsSyncLevel(const Outcome& outcome) {
    return outcome.status == 0 || outcome.status >= 500 || outcome.status == 401 ||
           outcome.status == 429;
}

std::int64_t DayNumber(int yyyymmdd) {
    std::int64_t y = yyyymmdd / 10000;
    const int m = yyyymmdd / 100 % 100, d = yyyymmdd % 100;
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const std::int64_t yoe = y - era * 400;
    const std::int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    return era * 146097 + yoe * 365 + yoe / 4 - yoe / 100 + doy;
}

// The date of a DATE or DATE-TIME value (YYYYMMDD), 0 when unreadable.
int DateOf(const std::string& value) {
    if (value.size() < 8)
        return 0;
    int date = 0;
    for (int i = 0; i < 8; ++i) {
        if (value[i] < '0' || value[i] > '9')
            return 0;
        date = date * 10 + (value[i] - '0');
    }
    return date % 100 >= 1 && date / 100 % 100 >= 1 && date / 100 % 100 <= 12 ? date : 0;
}

// Whole days a DURATION spans, rounded up; -1 when unreadable.
int DurationDays(const std::string& value) {
    int days = 0, number = 0;
    bool time = false, any = false;
    for (const char c : value) {
        if (c >= '0' && c <= '9') {
            number = std::min(number * 10 + (c - '0'), 100000);
            continue;
        }
        if (c == 'W')
            days += number * 7;
        else if (c == 'D')
            days += number;
        else if (c == 'T')
            time = true;
        else if ((c == 'H' || c == 'M' || c == 'S') && number > 0)
            any = true;
        number = 0;
    }
    return days + (time && any ? 1 : 0);
}

} // namespace

std::string ResourceNameForUid(const std::string& uid) {
    bool plain = !uid.empty() && uid.size() <= 120;
    for (const char c : uid)
        plain = plain && ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                          (c >= '0' && c <= '9') || c == '-' || c == '_' || c == '.' || c == '@');
    if (plain)
        return uid + ".ics";
    // Other UIDs: a stable hash (FNV-1a, 64 bits) of the UID, so the name
    // is the same on every try.
    std::uint64_t hash = 0xcbf29ce484222325ull;
    for (const char c : uid) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 0x100000001b3ull;
    }
    static const char kHex[] = "0123456789abcdef";
    std::string name = "qm-";
    for (int i = 15; i >= 0; --i)
        name += kHex[(hash >> (i * 4)) & 15];
    return name + ".ics";
}

bool EventEndsBefore(const std::string& icalendar, int horizon) {
    if (horizon <= 0)
        return false;
    const std::int64_t limit = DayNumber(horizon);
    const std::string rule = EventPropertyValue(icalendar, "RRULE");
    if (!rule.empty()) {
        const std::size_t until = rule.find("UNTIL=");
        if (until == std::string::npos)
            return false; // repeats for ever, or a count we do not expand here
        const int date = DateOf(rule.substr(until + 6));
        return date != 0 && DayNumber(date) < limit;
    }
    const std::string end = EventPropertyValue(icalendar, "DTEND");
    if (!end.empty()) {
        const int date = DateOf(end);
        if (date == 0)
            return false;
        // An all-day event's DTEND is the day after its last.
        return end.size() == 8 ? DayNumber(date) <= limit : DayNumber(date) < limit;
    }
    const int start = DateOf(EventPropertyValue(icalendar, "DTSTART"));
    if (start == 0)
        return false;
    const std::string duration = EventPropertyValue(icalendar, "DURATION");
    const int days = duration.empty() ? 0 : DurationDays(duration);
    return days >= 0 && DayNumber(start) + days < limit;
}

struct SyncEngine::Context {
    SyncOptions options;
    SyncReport report;
    std::map<std::string, LocalItem> local;           // by local id
    std::map<std::string, std::string> unlinkedByUid; // built when first needed
    bool unlinkedIndexed = false;
    std::set<std::string> reportedUids;
    bool pullIncomplete = false;
    std::string calendarPath;

    const LocalItem* Local(const std::string& id) const {
        const auto it = local.find(id);
        return it == local.end() ? nullptr : &it->second;
    }
    bool Fail(const std::string& message) {
        report.status = SyncStatus::Failed;
        report.message = message;
        return false;
    }
};

SyncEngine::SyncEngine(CalDavClient& client, ILocalCalendar& local, SyncState& state,
                       ISyncStateStore& store)
    : m_client(client), m_local(local), m_state(state), m_store(store) {}

ItemState* SyncEngine::Find(const std::string& href) {
    for (ItemState& item : m_state.items)
        if (item.href == href)
            return &item;
    return nullptr;
}

void SyncEngine::Save(const ItemState& item) {
    ItemState* existing = Find(item.href);
    if (existing == nullptr)
        m_state.items.push_back(item);
    else if (existing != &item)
        *existing = item;
    m_store.SaveItem(item);
}

void SyncEngine::Drop(const std::string& href) {
    m_state.items.erase(std::remove_if(m_state.items.begin(), m_state.items.end(),
                                       [&](const ItemState& item) { return item.href == href; }),
                        m_state.items.end());
    m_store.RemoveItem(href);
}

SyncReport SyncEngine::Run(const SyncOptions& options) {
    const int requestsBefore = m_client.RequestCount();
    SyncReport report;
    // Nothing thrown leaves a sync: it runs on a worker thread.
    try {
        report = RunSteps(options);
    } catch (const std::bad_alloc&) {
        report.status = SyncStatus::Failed;
        report.message = "The sync ran out of memory and stopped; nothing was lost.";
    } catch (const std::exception& e) {
        report.status = SyncStatus::Failed;
        report.message = std::string("The sync stopped: ") + e.what();
    }
    report.requests = m_client.RequestCount() - requestsBefore;
    return report;
}

SyncReport SyncEngine::RunSteps(const SyncOptions& options) {
    Context context;
    context.options = options;
    Url calendar;
    if (!ParseUrl(options.calendarUrl, calendar)) {
        context.Fail("\"" + options.calendarUrl + "\" is not a calendar's address.");
        return context.report;
    }
    context.calendarPath = NormalizePath(calendar.path);
    if (context.calendarPath.back() != '/')
        context.calendarPath += '/';
    for (LocalItem& item : m_local.Items())
        context.local[item.localId] = item;

    // The first sync lists the server before sending anything, so that
    // events both sides already hold are matched by UID, not doubled.
    const bool first = !m_state.listed;
    if (!first && !options.confirmDeletions) {
        // The mirror of the guard on local deletions: a store that lost most
        // of its items (restored from an old backup, wiped) must not empty
        // the server.
        int linked = 0, gone = 0;
        for (const ItemState& item : m_state.items) {
            if (item.localId.empty())
                continue;
            ++linked;
            const LocalItem* local = context.Local(item.localId);
            gone += local == nullptr || (local->deleted && !local->purged) ? 1 : 0;
        }
        if (gone > 10 && gone * 2 > linked) {
            context.report.status = SyncStatus::NeedsConfirmation;
            context.report.pendingDeletions = gone;
            context.report.message = "This sync would delete " + std::to_string(gone) + " of " +
                                     std::to_string(linked) +
                                     " events on the server. Nothing was deleted; confirm to go "
                                     "on.";
            return context.report;
        }
    }
    bool ok = true;
    if (!first)
        ok = PushDeletes(context) && PushChanges(context) && PushNew(context);
    ok = ok && Pull(context);
    // Conflict copies, events both a first sync and a resumed one found only
    // here, and local edits of events deleted on the server go up now.
    ok = ok && PushNew(context);
    if (ok && context.report.status == SyncStatus::Done && !context.report.itemErrors.empty())
        context.report.status = SyncStatus::DoneWithErrors;
    return context.report;
}

bool SyncEngine::PushDeletes(Context& context) {
    const std::vector<ItemState> items = m_state.items;
    for (const ItemState& item : items) {
        if (item.localId.empty())
            continue;
        const LocalItem* local = context.Local(item.localId);
        if (local != nullptr && local->purged && !local->deleted) {
            // The purge is local housekeeping: the server keeps the event.
            ItemState kept = item;
            kept.localId.clear();
            kept.serverText.clear();
            Save(kept);
            m_local.Forget(item.localId);
            continue;
        }
        if (local != nullptr && !local->deleted)
            continue;
        const Outcome deleted =
            m_client.Delete(m_client.UrlOf(context.options.calendarUrl, item.href), item.etag);
        if (deleted.ok) {
            Drop(item.href);
            m_local.Forget(item.localId);
            ++context.report.deletedOnServer;
        } else if (deleted.preconditionFailed) {
            // Changed on the server since: that edit wins over the delete and
            // comes down again as a new local item.
            ItemState orphan = item;
            orphan.localId.clear();
            orphan.etag.clear();
            Save(orphan);
            m_local.Forget(item.localId);
        } else if (IsSyncLevel(deleted)) {
            return context.Fail(deleted.message);
        } else {
            context.report.itemErrors.push_back(deleted.message);
        }
    }
    return true;
}

bool SyncEngine::PushChanges(Context& context) {
    const std::vector<ItemState> items = m_state.items;
    for (const ItemState& item : items) {
        const LocalItem* local = item.localId.empty() ? nullptr : context.Local(item.localId);
        if (local == nullptr || local->deleted || local->purged ||
            local->fingerprint == item.fingerprint)
            continue;
        std::string text, message;
        if (!m_local.Export(item.localId, item.serverText, text, message)) {
            context.report.itemErrors.push_back(message);
            continue;
        }
        const WriteResult put =
            m_client.Put(m_client.UrlOf(context.options.calendarUrl, item.href), text, item.etag);
        if (put.ok) {
            ItemState updated = item;
            updated.etag = put.etag;
            updated.fingerprint = local->fingerprint;
            updated.serverText = text;
            Save(updated);
            ++context.report.changedOnServer;
        } else if (put.preconditionFailed) {
            // Changed on both sides: the pull brings the server's version and
            // keeps this one as a conflict copy.
        } else if (IsSyncLevel(put)) {
            return context.Fail(put.message);
        } else {
            context.report.itemErrors.push_back(put.message);
        }
    }
    return true;
}

bool SyncEngine::PushNew(Context& context) {
    // Items made during this sync (conflict copies) are listed again.
    for (LocalItem& item : m_local.Items())
        if (context.local.find(item.localId) == context.local.end())
            context.local[item.localId] = item;
    // A conflict copy made on the way is sent by a further round.
    for (int round = 0; round < 3; ++round) {
        const int conflictsBefore = context.report.conflicts;
        std::set<std::string> linked;
        for (const ItemState& item : m_state.items)
            if (!item.localId.empty())
                linked.insert(item.localId);
        for (const auto& [id, local] : context.local) {
            if (local.deleted || local.purged || linked.count(id) != 0)
                continue;
            std::string text, message;
            if (!m_local.Export(id, std::string(), text, message)) {
                context.report.itemErrors.push_back(message);
                continue;
            }
            const std::string uid = EventPropertyValue(text, "UID");
            if (uid.empty()) {
                context.report.itemErrors.push_back("An item without a UID was not sent.");
                continue;
            }
            bool done = false;
            for (int attempt = 0; attempt < 3 && !done; ++attempt) {
                std::string name = ResourceNameForUid(uid);
                if (attempt > 0)
                    name.insert(name.size() - 4, "-" + std::to_string(attempt + 1));
                const std::string href = context.calendarPath + name;
                if (Find(href) != nullptr)
                    continue; // that name belongs to another event already
                const std::string url = m_client.UrlOf(context.options.calendarUrl, href);
                const WriteResult put = m_client.Put(url, text, std::string());
                if (put.ok) {
                    Save({href, put.etag, id, local.fingerprint, text, uid});
                    ++context.report.uploaded;
                    done = true;
                } else if (put.preconditionFailed) {
                    // Something is there: our own upload of an interrupted sync,
                    // or another event that chose the name.
                    const FetchResult fetched = m_client.Fetch(context.options.calendarUrl, {href});
                    if (!fetched.ok)
                        return context.Fail(fetched.message);
                    const FetchedResource& there = fetched.resources.front();
                    if (!there.error.empty() || EventPropertyValue(there.data, "UID") != uid)
                        continue;
                    ItemState state{href, there.etag, id, local.fingerprint, there.data, uid};
                    if (m_local.FingerprintOf(there.data) != local.fingerprint) {
                        const LocalApply copy = m_local.AddConflictCopy(id);
                        const LocalApply applied = m_local.Apply(id, there.data);
                        if (!copy.ok || !applied.ok) {
                            context.report.itemErrors.push_back(copy.ok ? applied.message
                                                                        : copy.message);
                            done = true;
                            break;
                        }
                        ++context.report.conflicts;
                        state.fingerprint = applied.fingerprint;
                        context.local[id].fingerprint = applied.fingerprint;
                        context.local[copy.localId] = {copy.localId, copy.fingerprint};
                    }
                    Save(state);
                    done = true;
                } else if (IsSyncLevel(put)) {
                    return context.Fail(put.message);
                } else {
                    context.report.itemErrors.push_back(put.message);
                    done = true;
                }
            }
            if (!done)
                context.report.itemErrors.push_back("No free name was found on the server for " +
                                                    uid + ".");
        }
        if (context.report.conflicts == conflictsBefore)
            break;
    }
    return true;
}

bool SyncEngine::Pull(Context& context) {
    const std::string& url = context.options.calendarUrl;
    std::vector<ResourceTag> changed;
    std::vector<std::string> removed;
    bool full = false, complete = true;
    std::string newToken, newCtag = m_state.ctag;
    const bool ctagMode = m_state.listed && m_state.syncToken.empty();
    bool useCtag = ctagMode;
    if (!useCtag) {
        ChangeSet changes = m_client.SyncCollection(url, m_state.listed ? m_state.syncToken : "");
        if (!changes.ok && changes.tokenRefused)
            changes = m_client.SyncCollection(url, "");
        if (!changes.ok && changes.unsupported) {
            useCtag = true;
        } else if (!changes.ok) {
            return context.Fail(changes.message);
        } else {
            full = changes.fullListing;
            // A server may cut a long answer short (507) and hand out a
            // token to go on from; the pages together are the answer.
            for (int page = 0;; ++page) {
                changed.insert(changed.end(), changes.changed.begin(), changes.changed.end());
                removed.insert(removed.end(), changes.removed.begin(), changes.removed.end());
                newToken = changes.newToken;
                complete = changes.complete;
                if (complete || newToken.empty() || page >= 1000)
                    break;
                changes = m_client.SyncCollection(url, newToken);
                if (!changes.ok)
                    return context.Fail(changes.message);
            }
        }
    }
    if (useCtag) {
        const CollectionState collection = m_client.GetCollectionState(url);
        if (!collection.ok)
            return context.Fail(collection.message);
        if (ctagMode && !collection.ctag.empty() && collection.ctag == m_state.ctag)
            return true; // nothing changed on the server
        const Listing listing = m_client.ListResources(url);
        if (!listing.ok)
            return context.Fail(listing.message);
        changed = listing.resources;
        full = true;
        newCtag = collection.ctag;
    }
    if (full && complete) {
        std::set<std::string> present;
        for (const ResourceTag& tag : changed)
            present.insert(tag.href);
        for (const ItemState& item : m_state.items)
            if (present.count(item.href) == 0 && !item.etag.empty())
                removed.push_back(item.href);
    }

    // The guards, before anything local is touched.
    int localItems = 0, wouldDelete = 0;
    for (const auto& [id, local] : context.local)
        localItems += local.deleted ? 0 : 1;
    std::set<std::string> removedSet(removed.begin(), removed.end());
    for (const ItemState& item : m_state.items) {
        if (removedSet.count(item.href) == 0 || item.localId.empty())
            continue;
        const LocalItem* local = context.Local(item.localId);
        if (local != nullptr && !local->deleted && local->fingerprint == item.fingerprint)
            ++wouldDelete;
    }
    std::size_t known = 0;
    for (const ItemState& item : m_state.items)
        known += item.etag.empty() ? 0 : 1;
    std::set<std::string> remaining;
    for (const ItemState& item : m_state.items)
        if (removedSet.count(item.href) == 0)
            remaining.insert(item.href);
    for (const ResourceTag& tag : changed)
        remaining.insert(tag.href);
    if (known > 0 && remaining.empty() && !context.options.confirmEmptyServer) {
        context.report.status = SyncStatus::NeedsConfirmation;
        context.report.pendingDeletions = wouldDelete;
        context.report.message = "The calendar on the server is suddenly empty. Nothing was "
                                 "deleted here; confirm to delete the local events too.";
        return false;
    }
    if (wouldDelete > 10 && wouldDelete * 2 > localItems && !context.options.confirmDeletions) {
        context.report.status = SyncStatus::NeedsConfirmation;
        context.report.pendingDeletions = wouldDelete;
        context.report.message = "This sync would delete " + std::to_string(wouldDelete) + " of " +
                                 std::to_string(localItems) +
                                 " events here. Nothing was deleted; confirm to go on.";
        return false;
    }

    std::vector<ResourceTag> wanted;
    for (const ResourceTag& tag : changed) {
        const ItemState* item = Find(tag.href);
        if (item == nullptr || item->etag != tag.etag)
            wanted.push_back(tag);
    }
    for (std::size_t start = 0; start < wanted.size(); start += CalDavClient::kMaxBatch) {
        const std::size_t end = std::min(wanted.size(), start + CalDavClient::kMaxBatch);
        std::vector<std::string> hrefs;
        for (std::size_t i = start; i < end; ++i)
            hrefs.push_back(wanted[i].href);
        const FetchResult fetched = m_client.Fetch(url, hrefs);
        if (!fetched.ok)
            return context.Fail(fetched.message);
        for (std::size_t i = 0; i < fetched.resources.size(); ++i) {
            const FetchedResource& resource = fetched.resources[i];
            if (!resource.error.empty()) {
                context.report.itemErrors.push_back(resource.error);
                context.pullIncomplete = true;
                continue;
            }
            const std::string etag = resource.etag.empty() ? wanted[start + i].etag : resource.etag;
            if (!Absorb(context, resource.href, etag, resource.data))
                context.pullIncomplete = true;
        }
    }
    for (const std::string& href : removed)
        RemoveFromServerSide(context, href);

    // The token moves on only when every change was taken in; otherwise the
    // next sync asks again from the old one.
    if (!context.pullIncomplete && complete) {
        m_state.syncToken = newToken;
        m_state.ctag = newCtag;
        m_state.listed = true;
        m_store.SaveCollection(m_state.syncToken, m_state.ctag, true);
    }
    return true;
}

bool SyncEngine::Absorb(Context& context, const std::string& href, const std::string& etag,
                        const std::string& data) {
    const std::string uid = EventUid(data);
    if (uid.empty()) {
        context.report.itemErrors.push_back(href + " holds no event with a UID.");
        return false;
    }
    for (const ItemState& other : m_state.items)
        if (other.href != href && other.uid == uid && context.reportedUids.insert(uid).second)
            context.report.duplicateUids.push_back(uid);
    ItemState* existing = Find(href);
    ItemState item = existing != nullptr ? *existing : ItemState{href, "", "", "", "", uid};
    item.etag = etag;
    item.uid = uid;
    const LocalItem* local = item.localId.empty() ? nullptr : context.Local(item.localId);

    if (local != nullptr && !local->deleted && !local->purged) {
        if (local->fingerprint == item.fingerprint) {
            const LocalApply applied = m_local.Apply(item.localId, data);
            if (!applied.ok) {
                context.report.itemErrors.push_back(applied.message);
                return false;
            }
            item.fingerprint = applied.fingerprint;
            ++context.report.changedLocally;
        } else if (m_local.FingerprintOf(data) == local->fingerprint) {
            item.fingerprint = local->fingerprint; // both sides made the same change
        } else {
            const LocalApply copy = m_local.AddConflictCopy(item.localId);
            if (!copy.ok) {
                context.report.itemErrors.push_back(copy.message);
                return false;
            }
            context.local[copy.localId] = {copy.localId, copy.fingerprint};
            const LocalApply applied = m_local.Apply(item.localId, data);
            if (!applied.ok) {
                context.report.itemErrors.push_back(applied.message);
                return false;
            }
            item.fingerprint = applied.fingerprint;
            context.local[item.localId].fingerprint = applied.fingerprint;
            ++context.report.conflicts;
        }
        item.serverText = data;
        Save(item);
        return true;
    }

    if (EventEndsBefore(data, context.options.horizon)) {
        // Ended before the purge horizon: remembered, not brought back.
        item.localId.clear();
        item.serverText.clear();
        Save(item);
        return true;
    }

    // A new event here. A local item not yet linked with the same UID is the
    // same event (an interrupted first sync, or both sides had it).
    if (!context.unlinkedIndexed) {
        context.unlinkedIndexed = true;
        std::set<std::string> linked;
        for (const ItemState& state : m_state.items)
            if (!state.localId.empty())
                linked.insert(state.localId);
        for (const auto& [id, candidate] : context.local) {
            if (candidate.deleted || candidate.purged || linked.count(id) != 0)
                continue;
            std::string text, message;
            if (m_local.Export(id, std::string(), text, message))
                context.unlinkedByUid.emplace(EventPropertyValue(text, "UID"), id);
        }
    }
    const auto match = context.unlinkedByUid.find(uid);
    if (match != context.unlinkedByUid.end()) {
        const std::string id = match->second;
        context.unlinkedByUid.erase(match);
        const LocalItem& candidate = context.local[id];
        if (m_local.FingerprintOf(data) == candidate.fingerprint) {
            item.localId = id;
            item.fingerprint = candidate.fingerprint;
            item.serverText = data;
            Save(item);
            return true;
        }
        const LocalApply copy = m_local.AddConflictCopy(id);
        const LocalApply applied = copy.ok ? m_local.Apply(id, data) : copy;
        if (!applied.ok) {
            context.report.itemErrors.push_back(applied.message);
            return false;
        }
        context.local[copy.localId] = {copy.localId, copy.fingerprint};
        context.local[id].fingerprint = applied.fingerprint;
        ++context.report.conflicts;
        item.localId = id;
        item.fingerprint = applied.fingerprint;
        item.serverText = data;
        Save(item);
        return true;
    }
    const LocalApply applied = m_local.Apply(std::string(), data);
    if (!applied.ok) {
        context.report.itemErrors.push_back(applied.message);
        return false;
    }
    context.local[applied.localId] = {applied.localId, applied.fingerprint};
    item.localId = applied.localId;
    item.fingerprint = applied.fingerprint;
    item.serverText = data;
    Save(item);
    ++context.report.downloaded;
    return true;
}

bool SyncEngine::RemoveFromServerSide(Context& context, const std::string& href) {
    ItemState* item = Find(href);
    if (item == nullptr)
        return true;
    const std::string id = item->localId;
    const LocalItem* local = id.empty() ? nullptr : context.Local(id);
    if (local != nullptr && !local->deleted && !local->purged) {
        if (local->fingerprint != item->fingerprint) {
            // Edited here, deleted there: the edit lives on and goes up as a
            // new event.
            Drop(href);
            return true;
        }
        if (!m_local.Remove(id)) {
            context.report.itemErrors.push_back("A local event deleted on the server could not "
                                                "be deleted here.");
            return false;
        }
        context.local.erase(id);
        ++context.report.deletedLocally;
    }
    Drop(href);
    return true;
}

} // namespace caldav
