// The same protocol and sync suite against Radicale and Xandikos, over
// WinHTTP, and the faults of the proxy in front of Radicale. The servers are
// started by tests/sync/run_servers.sh; without them these tests are skipped.
#include "store/appointment_batch.h"
#include "sync/caldav_client.h"
#include "sync/credential_store.h"
#include "sync/dav_xml.h"
#include "sync/sync_account.h"
#include "sync/sync_engine.h"
#include "sync/sync_session.h"
#include "sync/vevent_patch.h"
#include "sync/winhttp_transport.h"
#include "tests/sync/fake_local_calendar.h"
#include "tests/support/registry_sandbox.h"
#include "tests/sync/server_quirks.h"
#include "tests/sync/stored_appointments.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>

using namespace caldav;

namespace {

std::string Environment(const char* name) {
    const char* value = name[0] != '\0' ? std::getenv(name) : nullptr;
    return value != nullptr ? value : "";
}

std::string Unique(const std::string& stem) {
    static int counter = 0;
    return stem + "-" + std::to_string(GetTickCount64() % 1000000) + "-" +
           std::to_string(++counter);
}

// One account on one server: the transport, a client, and the helpers that
// set up a fresh calendar.
class Account {
public:
    Account(const ServerQuirks& quirks, std::string root)
        : m_quirks(quirks), m_root(std::move(root)) {
        if (!m_root.empty() && m_root.back() == '/')
            m_root.pop_back();
    }
    ClientOptions Options(bool basicKnown) const {
        ClientOptions options;
        options.user = Environment(m_quirks.userVariable);
        options.password = Environment(m_quirks.passwordVariable);
        options.assumeBasic = basicKnown && m_quirks.basicAuthentication;
        options.retry.firstDelay = std::chrono::milliseconds(200);
        options.retry.maxTotalWait = std::chrono::milliseconds(10000);
        return options;
    }
    std::string Root() const { return m_root + "/"; }
    // A new empty calendar; its URL.
    std::string MakeCalendar(const std::string& stem, const std::string& displayName) {
        const std::string url = m_root + m_quirks.calendarHome + Unique(stem) + "/";
        CalDavClient client(transport, Options(true));
        HttpRequest request{"MKCALENDAR",
                            url,
                            {{"Content-Type", "application/xml"}},
                            "<?xml version=\"1.0\"?><c:mkcalendar xmlns:d=\"DAV:\" "
                            "xmlns:c=\"urn:ietf:params:xml:ns:caldav\"><d:set><d:prop>"
                            "<d:displayname>" +
                                xml::Escape(displayName) +
                                "</d:displayname></d:prop></d:set></c:mkcalendar>"};
        if (m_quirks.basicAuthentication)
            request.headers.push_back(
                {"Authorization", "Basic " + Base64(Environment(m_quirks.userVariable) + ":" +
                                                    Environment(m_quirks.passwordVariable))});
        const HttpResponse made = transport.Send(request);
        EXPECT_EQ(made.status, 201) << made.message << made.body;
        return url;
    }

    WinHttpTransport transport;

private:
    const ServerQuirks& m_quirks;
    std::string m_root;
};

class Servers : public testing::TestWithParam<ServerQuirks> {
protected:
    void SetUp() override {
        if (Environment(GetParam().urlVariable).empty())
            GTEST_SKIP() << GetParam().name << " is not running (tests/sync/run_servers.sh)";
        account = std::make_unique<Account>(GetParam(), Environment(GetParam().urlVariable));
    }
    std::unique_ptr<Account> account;
};

// The engine against a real calendar, each run from the state the last one
// saved.
struct SyncSide {
    FakeLocalCalendar local;
    MemoryStateStore store;
    SyncReport Run(IHttpTransport& transport, const ClientOptions& options,
                   const std::string& calendarUrl) {
        CalDavClient client(transport, options);
        SyncState state = store.saved;
        SyncEngine engine(client, local, state, store);
        SyncOptions syncOptions;
        syncOptions.calendarUrl = calendarUrl;
        return engine.Run(syncOptions);
    }
};

// "s7" and its like, built without the operator+ on a temporary that GCC 12
// warns about wrongly (-Wrestrict).
std::string Numbered(const char* stem, int i) {
    std::string name = stem;
    name += std::to_string(i);
    return name;
}

std::size_t CountUid(const std::map<std::string, FakeLocalCalendar::Item>& items,
                     const std::string& uid) {
    std::size_t n = 0;
    for (const auto& [id, item] : items)
        n += item.uid == uid ? 1 : 0;
    return n;
}

} // namespace

TEST_P(Servers, DiscoversTheCalendarFromTheServerAndFromItsOwnAddress) {
    const std::string calendar = account->MakeCalendar("discover", "Work & play");
    CalDavClient client(account->transport, account->Options(false));
    const DiscoveryResult fromRoot = client.Discover(account->Root());
    ASSERT_TRUE(fromRoot.ok) << fromRoot.message;
    bool found = false;
    for (const CalendarInfo& info : fromRoot.calendars)
        if (info.url == calendar) {
            found = true;
            EXPECT_EQ(info.displayName, "Work & play");
        }
    EXPECT_TRUE(found) << calendar;
    const DiscoveryResult direct = client.Discover(calendar);
    ASSERT_TRUE(direct.ok) << direct.message;
    ASSERT_EQ(direct.calendars.size(), 1u);
    EXPECT_EQ(direct.calendars[0].url, calendar);
    EXPECT_EQ(client.UsesBasic(), GetParam().basicAuthentication);

    // The well-known address redirects as the table says.
    const HttpResponse wellKnown =
        account->transport.Send({"GET", account->Root() + ".well-known/caldav", {}, ""});
    EXPECT_EQ(wellKnown.status, GetParam().wellKnownRedirect);
}

TEST_P(Servers, ConditionalWritesTokensAndListingsBehaveAsTheProtocolSays) {
    const std::string calendar = account->MakeCalendar("protocol", "Protocol");
    CalDavClient client(account->transport, account->Options(true));
    const std::string href = calendar + "first.ics";
    const WriteResult created = client.Put(href, EventText("first", "First"), "");
    ASSERT_TRUE(created.ok) << created.message;
    EXPECT_FALSE(created.etag.empty());
    EXPECT_TRUE(client.Put(href, EventText("first", "Again"), "").preconditionFailed);

    const ChangeSet all = client.SyncCollection(calendar, "");
    ASSERT_TRUE(all.ok) << all.message;
    ASSERT_EQ(all.changed.size(), 1u);
    EXPECT_EQ(all.changed[0].etag, created.etag);
    EXPECT_EQ(all.newToken.rfind("http", 0) == 0, GetParam().tokensAreUrls) << all.newToken;

    const WriteResult changed = client.Put(href, EventText("first", "Changed"), created.etag);
    ASSERT_TRUE(changed.ok) << changed.message;
    EXPECT_NE(changed.etag, created.etag);
    EXPECT_TRUE(client.Put(href, EventText("first", "Stale"), created.etag).preconditionFailed);
    const ChangeSet since = client.SyncCollection(calendar, all.newToken);
    ASSERT_TRUE(since.ok) << since.message;
    ASSERT_EQ(since.changed.size(), 1u);
    EXPECT_EQ(since.changed[0].etag, changed.etag);

    const FetchResult fetched = client.Fetch(calendar, {since.changed[0].href});
    ASSERT_TRUE(fetched.ok) << fetched.message;
    EXPECT_EQ(EventPropertyValue(fetched.resources[0].data, "SUMMARY"), "Changed");
    EXPECT_EQ(fetched.resources[0].data.find("\n"), fetched.resources[0].data.find("\r\n") + 1);
    if (!GetParam().rewritesEvents) {
        EXPECT_EQ(fetched.resources[0].data, EventText("first", "Changed"));
    }

    EXPECT_TRUE(client.Delete(href, created.etag).preconditionFailed);
    ASSERT_TRUE(client.Delete(href, changed.etag).ok);
    const ChangeSet removed = client.SyncCollection(calendar, since.newToken);
    ASSERT_TRUE(removed.ok) << removed.message;
    EXPECT_EQ(removed.removed.size(), 1u);

    // A token the server does not know: refused in the server's own way.
    const int before = client.RequestCount();
    const ChangeSet bogus = client.SyncCollection(
        calendar, GetParam().tokensAreUrls ? "http://radicale.org/ns/sync/0" : "0123456789abcdef");
    EXPECT_TRUE(bogus.tokenRefused);
    EXPECT_EQ(bogus.status, GetParam().unknownTokenStatus);
    std::printf("[ %s ] unknown token: HTTP %d after %d requests\n", GetParam().name, bogus.status,
                client.RequestCount() - before);

    const CollectionState state = client.GetCollectionState(calendar);
    ASSERT_TRUE(state.ok) << state.message;
    EXPECT_FALSE(state.ctag.empty());
    EXPECT_TRUE(client.ListResources(calendar).ok);
}

TEST_P(Servers, SyncsBothWaysWithinTheRequestCounts) {
    const std::string calendar = account->MakeCalendar("engine", "Engine");
    const ClientOptions options = account->Options(true);
    {
        // Another device fills the calendar.
        CalDavClient other(account->transport, options);
        for (int i = 0; i < 230; ++i)
            ASSERT_TRUE(other
                            .Put(calendar + Numbered("s", i) + ".ics",
                                 EventText(Numbered("s", i), Numbered("Server ", i)), "")
                            .ok);
    }
    SyncSide side;
    for (int i = 0; i < 3; ++i)
        side.local.Add("local-" + std::to_string(i), "Local " + std::to_string(i));
    const auto started = std::chrono::steady_clock::now();
    SyncReport report = side.Run(account->transport, options, calendar);
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - started);
    ASSERT_EQ(report.status, SyncStatus::Done) << report.message;
    EXPECT_EQ(report.downloaded, 230);
    EXPECT_EQ(report.uploaded, 3);
    // The listing, three batches of bodies, and one PUT per local event.
    EXPECT_LE(report.requests, (230 + 99) / 100 + 4 + 3);
    std::printf("[ %s ] first sync of 230 down and 3 up: %d requests, %lld ms\n", GetParam().name,
                report.requests, static_cast<long long>(took.count()));

    report = side.Run(account->transport, options, calendar);
    EXPECT_EQ(report.requests, 1);
    std::printf("[ %s ] poll with nothing changed: %d request\n", GetParam().name, report.requests);

    // One change on each side.
    for (auto& [id, item] : side.local.Live())
        if (item.uid == "s7")
            side.local[id].summary = "Edited here";
    {
        CalDavClient other(account->transport, options);
        const FetchResult current = other.Fetch(calendar, {calendar + "s8.ics"});
        ASSERT_TRUE(current.ok);
        ASSERT_TRUE(other
                        .Put(calendar + "s8.ics", EventText("s8", "Edited there"),
                             current.resources[0].etag)
                        .ok);
    }
    report = side.Run(account->transport, options, calendar);
    ASSERT_EQ(report.status, SyncStatus::Done) << report.message;
    EXPECT_LE(report.requests, 4);
    std::printf("[ %s ] one change on each side: %d requests\n", GetParam().name, report.requests);
    EXPECT_EQ(side.local.FindUid("s8")->summary, "Edited there");

    // Changed on both sides: both kept, on both sides.
    for (auto& [id, item] : side.local.Live())
        if (item.uid == "s9")
            side.local[id].summary = "Mine";
    {
        CalDavClient other(account->transport, options);
        const FetchResult current = other.Fetch(calendar, {calendar + "s9.ics"});
        ASSERT_TRUE(
            other.Put(calendar + "s9.ics", EventText("s9", "Theirs"), current.resources[0].etag)
                .ok);
    }
    report = side.Run(account->transport, options, calendar);
    ASSERT_EQ(report.status, SyncStatus::Done) << report.message;
    EXPECT_EQ(report.conflicts, 1);
    EXPECT_EQ(side.local.FindUid("s9")->summary, "Theirs");
    EXPECT_EQ(side.Run(account->transport, options, calendar).requests, 1);

    // A second device syncing the same calendar sees all of it once.
    SyncSide second;
    report = second.Run(account->transport, options, calendar);
    ASSERT_EQ(report.status, SyncStatus::Done) << report.message;
    EXPECT_EQ(second.local.Live().size(), side.local.Live().size());
    EXPECT_EQ(CountUid(second.local.Live(), "s7"), 1u);
    EXPECT_EQ(second.local.FindUid("s7")->summary, "Edited here");
}

// The whole sync as the program runs it: the saved account and password, the
// store's appointments and the state in this user's registry.
TEST_P(Servers, TheStoreSyncsBothWaysThroughTheSavedAccountWithinTheRequestCounts) {
    qmtest::RegistrySandbox sandbox;
    const std::string calendar = account->MakeCalendar("store", "Store");
    const ClientOptions options = account->Options(true);
    constexpr int kServerEvents = 120;
    {
        CalDavClient other(account->transport, options);
        for (int i = 0; i < kServerEvents; ++i)
            ASSERT_TRUE(other
                            .Put(calendar + Numbered("t", i) + ".ics",
                                 EventText(Numbered("t", i), Numbered("Server ", i), "20270110"),
                                 "")
                            .ok);
    }
    {
        CAppointmentBatch batch;
        for (int i = 0; i < 3; ++i)
            ASSERT_TRUE(batch.Add("2027-1-5", "2027-1-5", "2027-1-5", "Local " + std::to_string(i),
                                  "Others", 1, ""));
    }
    SyncAccount saved;
    saved.address = account->Root();
    saved.calendarUrl = calendar;
    saved.user = options.user;
    ASSERT_TRUE(SaveAccount(saved));
    ASSERT_EQ(SavePassword(saved.address, saved.user, options.password), ERROR_SUCCESS);
    struct Forget {
        std::string address;
        ~Forget() { DeletePassword(address); }
    } forget{saved.address};

    SyncRunResult run = RunSync();
    ASSERT_EQ(run.kind, SyncRunResult::Kind::Ran) << run.words;
    ASSERT_EQ(run.report.status, SyncStatus::Done) << run.words;
    EXPECT_EQ(run.words, "Sent 3, received 120.");
    EXPECT_EQ(LoadLastSync().words, run.words);
    EXPECT_TRUE(LoadLastSync().ok);
    // The listing, two batches of bodies, a PUT per local event, and one
    // answer that asks for the password while the scheme is not known yet.
    const int challenge = GetParam().basicAuthentication ? 1 : 0;
    EXPECT_LE(run.report.requests, (kServerEvents + 99) / 100 + 4 + 3 + challenge);
    std::printf("[ %s ] store's first sync of %d down and 3 up: %d requests\n", GetParam().name,
                kServerEvents, run.report.requests);
    std::vector<StoredAppointment> stored = StoredAppointments();
    EXPECT_EQ(stored.size(), static_cast<std::size_t>(kServerEvents + 3));
    for (int i = 0; i < kServerEvents; ++i)
        EXPECT_EQ(CountStoredUid(stored, Numbered("t", i)), 1) << i;

    // The scheme learnt is sent up front: a poll is one request.
    run = RunSync();
    ASSERT_EQ(run.report.status, SyncStatus::Done) << run.words;
    EXPECT_EQ(run.report.requests, 1);
    EXPECT_EQ(run.words, "Sent 0, received 0.");

    // One change on each side: the store's by a bare registry write, as any
    // program may make it.
    for (const StoredAppointment& appointment : stored)
        if (appointment.uid == "t7") {
            ASSERT_TRUE(SetStoredText(appointment, "NOTES", "Edited here"));
        }
    {
        CalDavClient other(account->transport, options);
        const FetchResult current = other.Fetch(calendar, {calendar + "t8.ics"});
        ASSERT_TRUE(current.ok) << current.message;
        ASSERT_TRUE(other
                        .Put(calendar + "t8.ics", EventText("t8", "Edited there", "20270110"),
                             current.resources.at(0).etag)
                        .ok);
    }
    run = RunSync();
    ASSERT_EQ(run.report.status, SyncStatus::Done) << run.words;
    EXPECT_EQ(run.words, "Sent 1, received 1.");
    EXPECT_LE(run.report.requests, 4);
    std::printf("[ %s ] store, one change on each side: %d requests\n", GetParam().name,
                run.report.requests);
    stored = StoredAppointments();
    EXPECT_EQ(stored.size(), static_cast<std::size_t>(kServerEvents + 3));
    for (const StoredAppointment& appointment : stored)
        if (appointment.uid == "t8") {
            EXPECT_EQ(appointment.notes, "Edited there");
        }
    CalDavClient other(account->transport, options);
    const FetchResult edited = other.Fetch(calendar, {calendar + "t7.ics"});
    ASSERT_TRUE(edited.ok) << edited.message;
    EXPECT_EQ(EventPropertyValue(edited.resources.at(0).data, "SUMMARY"), "Edited here");
    const Listing listing = other.ListResources(calendar);
    ASSERT_TRUE(listing.ok) << listing.message;
    EXPECT_EQ(listing.resources.size(), static_cast<std::size_t>(kServerEvents + 3));
}

INSTANTIATE_TEST_SUITE_P(, Servers, testing::Values(kRadicale, kXandikos),
                         [](const testing::TestParamInfo<ServerQuirks>& info) {
                             return std::string(info.param.name);
                         });

// The event another client wrote (tests/sync/interop.py seed) keeps all it
// holds when Quillmere changes its summary.
class Interop : public Servers {};

TEST_P(Interop, AnEditKeepsEverythingTheOtherClientWrote) {
    const std::string calendar =
        account->Root() + std::string(GetParam().calendarHome).substr(1) + "interop/";
    const ClientOptions options = account->Options(true);
    SyncSide side;
    SyncReport report = side.Run(account->transport, options, calendar);
    ASSERT_EQ(report.status, SyncStatus::Done) << report.message;
    ASSERT_EQ(side.local.Live().size(), 1u);
    const std::string before = side.store.saved.items.at(0).serverText;
    const std::string href = side.store.saved.items.at(0).href;
    for (auto& [id, item] : side.local.Live())
        side.local[id].summary = "Edited in Quillmere";
    report = side.Run(account->transport, options, calendar);
    ASSERT_EQ(report.status, SyncStatus::Done) << report.message;
    EXPECT_EQ(report.changedOnServer, 1);

    CalDavClient client(account->transport, options);
    const FetchResult after = client.Fetch(calendar, {href});
    ASSERT_TRUE(after.ok) << after.message;
    std::string expected = before;
    const std::string line = "SUMMARY:Weekly planning\r\n";
    ASSERT_NE(expected.find(line), std::string::npos) << expected;
    expected.replace(expected.find(line), line.size(), "SUMMARY:Edited in Quillmere\r\n");
    // Byte for byte, but for the one property edited.
    EXPECT_EQ(after.resources.at(0).data, expected);
}

INSTANTIATE_TEST_SUITE_P(, Interop, testing::Values(kRadicale, kXandikos),
                         [](const testing::TestParamInfo<ServerQuirks>& info) {
                             return std::string(info.param.name);
                         });
