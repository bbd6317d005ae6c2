// The sync engine against the in-memory server and a local calendar, each
// run starting from the state the last one saved, as after a restart.
#include "sync/sync_engine.h"
#include "sync/vevent_patch.h"
#include "tests/sync/fake_caldav_server.h"
#include "tests/sync/fake_local_calendar.h"

#include <gtest/gtest.h>

#include <map>

using namespace caldav;

namespace {

// "s7.ics"
std::string Name(const std::string& prefix, int i) {
    std::string name = prefix;
    name += std::to_string(i);
    name += ".ics";
    return name;
}

class SyncEngineTest : public testing::Test {
protected:
    SyncReport Sync(SyncOptions options = SyncOptions()) {
        ClientOptions clientOptions;
        clientOptions.sleep = [](std::chrono::milliseconds) {};
        CalDavClient client(server, clientOptions);
        SyncState state = store.saved; // what a restart loads
        SyncEngine engine(client, local, state, store);
        options.calendarUrl = server.CalendarUrl();
        return engine.Run(options);
    }
    // How many server resources carry each UID.
    std::map<std::string, int> ServerUids() const {
        std::map<std::string, int> uids;
        for (const auto& [name, resource] : server.Resources())
            ++uids[EventPropertyValue(resource.body, "UID")];
        return uids;
    }
    std::string ServerSummary(const std::string& uid) const {
        for (const auto& [name, resource] : server.Resources())
            if (EventPropertyValue(resource.body, "UID") == uid)
                return EventPropertyValue(resource.body, "SUMMARY");
        return "(none)";
    }
    void Seed(int count, const std::string& prefix = "s") {
        for (int i = 0; i < count; ++i)
            server.Store(Name(prefix, i),
                         EventText(prefix + std::to_string(i), "Event " + std::to_string(i)));
    }

    FakeCalDavServer server;
    FakeLocalCalendar local;
    MemoryStateStore store;
};

std::string IdOf(const FakeLocalCalendar& local, const std::string& uid) {
    for (const auto& [id, item] : local.Live())
        if (item.uid == uid)
            return id;
    return std::string();
}

} // namespace

TEST_F(SyncEngineTest, FirstSyncPollAndOneChangeEachSideStayWithinTheirRequestCounts) {
    Seed(250);
    SyncReport report = Sync();
    ASSERT_EQ(report.status, SyncStatus::Done) << report.message;
    EXPECT_EQ(report.downloaded, 250);
    EXPECT_EQ(local.Live().size(), 250u);
    EXPECT_LE(report.requests, (250 + 99) / 100 + 4);
    EXPECT_EQ(report.requests, 1 + 3); // one listing, three batches of bodies

    report = Sync();
    EXPECT_EQ(report.requests, 1); // nothing changed: one request
    EXPECT_EQ(report.downloaded + report.changedLocally + report.uploaded, 0);

    local[IdOf(local, "s1")].summary = "Edited here";
    server.Store("s2.ics", EventText("s2", "Edited there"));
    report = Sync();
    ASSERT_EQ(report.status, SyncStatus::Done) << report.message;
    EXPECT_LE(report.requests, 4);
    EXPECT_EQ(ServerSummary("s1"), "Edited here");
    EXPECT_EQ(local.FindUid("s2")->summary, "Edited there");
    EXPECT_EQ(Sync().requests, 1); // our own change does not come back down
}

TEST_F(SyncEngineTest, LocalDeletesAndChangesGoUpFirstEvenWhenTheServerIsUnchanged) {
    Seed(3);
    ASSERT_EQ(Sync().status, SyncStatus::Done);
    local[IdOf(local, "s0")].summary = "Changed here";
    local[IdOf(local, "s1")].deleted = true;
    server.Store("s2.ics", EventText("s2", "Changed there"));
    server.log.clear();
    SyncReport report = Sync();
    ASSERT_EQ(report.status, SyncStatus::Done) << report.message;
    ASSERT_GE(server.log.size(), 3u);
    EXPECT_EQ(server.log[0], "DELETE /home/anna/work/s1.ics");
    EXPECT_EQ(server.log[1], "PUT /home/anna/work/s0.ics");
    EXPECT_EQ(server.log[2], "REPORT /home/anna/work/");
    EXPECT_EQ(ServerUids(), (std::map<std::string, int>{{"s0", 1}, {"s2", 1}}));
    EXPECT_EQ(ServerSummary("s0"), "Changed here");
    EXPECT_EQ(local.FindUid("s2")->summary, "Changed there");

    // The server's collection did not change; the local edit still goes up,
    // and so does a new local item.
    local[IdOf(local, "s0")].summary = "Again";
    local.Add("new-1", "Made here");
    report = Sync();
    EXPECT_EQ(report.changedOnServer, 1);
    EXPECT_EQ(report.uploaded, 1);
    EXPECT_EQ(ServerSummary("s0"), "Again");
    EXPECT_EQ(server.Resources().count("new-1.ics"), 1u);
}

TEST_F(SyncEngineTest, AnItemChangedOnBothSidesKeepsBothVersions) {
    Seed(2);
    ASSERT_EQ(Sync().status, SyncStatus::Done);
    local[IdOf(local, "s0")].summary = "Mine";
    server.Store("s0.ics", EventText("s0", "Theirs"));
    const SyncReport report = Sync();
    ASSERT_EQ(report.status, SyncStatus::Done) << report.message;
    EXPECT_EQ(report.conflicts, 1);
    // The server's version took the place; the local one is a conflict copy
    // with its own UID, on both sides.
    EXPECT_EQ(local.FindUid("s0")->summary, "Theirs");
    int copies = 0;
    for (const auto& [id, item] : local.Live())
        if (item.conflictCopy) {
            ++copies;
            EXPECT_EQ(item.summary, "Mine");
            EXPECT_EQ(ServerSummary(item.uid), "Mine");
        }
    EXPECT_EQ(copies, 1);
    EXPECT_EQ(server.Resources().size(), 3u);
    EXPECT_EQ(ServerSummary("s0"), "Theirs");
    EXPECT_EQ(Sync().requests, 1); // settled
}

TEST_F(SyncEngineTest, GuardsStopBeforeDeletingMostOfTheCalendarOrOnAnEmptyServer) {
    Seed(30);
    ASSERT_EQ(Sync().status, SyncStatus::Done);
    for (int i = 0; i < 20; ++i)
        server.Erase(Name("s", i));
    SyncReport report = Sync();
    EXPECT_EQ(report.status, SyncStatus::NeedsConfirmation);
    EXPECT_EQ(report.pendingDeletions, 20);
    EXPECT_EQ(local.Live().size(), 30u);                     // nothing deleted yet
    EXPECT_EQ(Sync().status, SyncStatus::NeedsConfirmation); // and it asks again

    SyncOptions confirmed;
    confirmed.confirmDeletions = true;
    report = Sync(confirmed);
    ASSERT_EQ(report.status, SyncStatus::Done) << report.message;
    EXPECT_EQ(report.deletedLocally, 20);
    EXPECT_EQ(local.Live().size(), 10u);

    server.EraseAll(); // ten: not more than ten, but the calendar is empty
    report = Sync();
    EXPECT_EQ(report.status, SyncStatus::NeedsConfirmation);
    EXPECT_EQ(local.Live().size(), 10u);
    SyncOptions empty;
    empty.confirmEmptyServer = true;
    EXPECT_EQ(Sync(empty).status, SyncStatus::Done);
    EXPECT_TRUE(local.Live().empty());

    // The mirror: a local store that lost most of its events (a wiped or
    // restored store) does not empty the server unasked.
    Seed(20, "t");
    ASSERT_EQ(Sync().status, SyncStatus::Done);
    for (const auto& [id, item] : local.Live()) {
        if (item.uid != "t0") {
            ASSERT_TRUE(local.Remove(id));
        }
    }
    report = Sync();
    EXPECT_EQ(report.status, SyncStatus::NeedsConfirmation);
    EXPECT_EQ(report.pendingDeletions, 19);
    EXPECT_EQ(server.Resources().size(), 20u);
    EXPECT_EQ(report.requests, 0);
}

TEST_F(SyncEngineTest, DuplicateUidsOnTheServerAreKeptAndReported) {
    server.Store("one.ics", EventText("twin", "First copy"));
    server.Store("two.ics", EventText("twin", "Second copy"));
    server.Store("other.ics", EventText("other", "Other"));
    const SyncReport report = Sync();
    ASSERT_EQ(report.status, SyncStatus::Done) << report.message;
    EXPECT_EQ(report.duplicateUids, std::vector<std::string>{"twin"});
    EXPECT_EQ(local.Live().size(), 3u);
    EXPECT_EQ(server.Resources().size(), 3u);
}

TEST_F(SyncEngineTest, AnInterruptedFirstSyncResumesWithoutDuplicates) {
    Seed(150);
    for (int i = 0; i < 150; ++i)
        local.Add("local-" + std::to_string(i), "Local " + std::to_string(i));
    // The network goes at a different point of each run; every third time a
    // request reaches the server but its answer is lost.
    int budget = 0, runs = 0;
    bool applying = false;
    server.fault = [&](const HttpRequest& request) -> std::optional<HttpResponse> {
        if (applying || budget-- > 0)
            return std::nullopt;
        if (runs % 3 == 0) {
            applying = true;
            server.Send(request);
            applying = false;
        }
        HttpResponse dropped;
        dropped.error = TransportError::Dropped;
        dropped.message = "The connection was broken.";
        return dropped;
    };
    SyncReport report;
    for (runs = 0; runs < 40; ++runs) {
        budget = 7 + runs * 5;
        report = Sync();
        if (report.status == SyncStatus::Done)
            break;
        EXPECT_EQ(report.status, SyncStatus::Failed);
    }
    ASSERT_EQ(report.status, SyncStatus::Done) << report.message;
    EXPECT_GT(runs, 3);
    const std::map<std::string, int> uids = ServerUids();
    EXPECT_EQ(uids.size(), 300u);
    for (const auto& [uid, count] : uids)
        EXPECT_EQ(count, 1) << uid;
    std::map<std::string, int> localUids;
    for (const auto& [id, item] : local.Live())
        ++localUids[item.uid];
    EXPECT_EQ(localUids, uids);
    server.fault = nullptr;
    EXPECT_EQ(Sync().requests, 1);
}

TEST_F(SyncEngineTest, AnswersThatCannotBeReadDeleteNothingAndTheNextSyncCompletes) {
    Seed(5);
    ASSERT_EQ(Sync().status, SyncStatus::Done);
    server.Erase("s0.ics");
    server.Erase("s1.ics");
    server.Store("s2.ics", EventText("s2", "Changed"));
    server.Store("bad.ics", "<html>not a calendar</html>");
    // A listing cut short: the sync fails and nothing local changes.
    bool cut = true, inside = false;
    server.fault = [&](const HttpRequest& request) -> std::optional<HttpResponse> {
        if (request.method != "REPORT" || !cut || inside)
            return std::nullopt;
        inside = true;
        HttpResponse whole = server.Send(request);
        inside = false;
        cut = false;
        whole.body.resize(whole.body.size() / 2);
        return whole;
    };
    SyncReport report = Sync();
    EXPECT_EQ(report.status, SyncStatus::Failed);
    EXPECT_NE(report.message.find("XML"), std::string::npos) << report.message;
    EXPECT_EQ(local.Live().size(), 5u);
    EXPECT_EQ(local.FindUid("s2")->summary, "Event 2");

    // Read whole: the good changes are taken, the body that is not iCalendar
    // is skipped with a message, and the token stays until it is read.
    server.fault = nullptr;
    report = Sync();
    EXPECT_EQ(report.status, SyncStatus::DoneWithErrors);
    ASSERT_EQ(report.itemErrors.size(), 1u);
    EXPECT_NE(report.itemErrors[0].find("bad.ics"), std::string::npos);
    EXPECT_EQ(local.Live().size(), 3u);
    EXPECT_EQ(local.FindUid("s2")->summary, "Changed");
    server.Store("bad.ics", EventText("mended", "Mended"));
    report = Sync();
    EXPECT_EQ(report.status, SyncStatus::Done) << report.message;
    EXPECT_NE(local.FindUid("mended"), nullptr);
}

TEST_F(SyncEngineTest, ThePurgeStaysLocalAndEndedEventsAreNotDownloadedAgain) {
    server.Store("old.ics", EventText("old", "Long ago", "20250101"));
    server.Store("soon.ics", EventText("soon", "Soon", "20270101"));
    server.Store("weekly.ics",
                 EventText("weekly", "Every week", "20200101", "RRULE:FREQ=WEEKLY\r\n"));
    SyncOptions options;
    options.horizon = 20260601;
    ASSERT_EQ(Sync(options).status, SyncStatus::Done);
    EXPECT_EQ(local.FindUid("old"), nullptr);
    EXPECT_NE(local.FindUid("soon"), nullptr);
    EXPECT_NE(local.FindUid("weekly"), nullptr);

    // The purge removes "soon" once it has ended: the server keeps it, and
    // later syncs do not bring it back.
    local[IdOf(local, "soon")].purged = true;
    options.horizon = 20270301;
    SyncReport report = Sync(options);
    ASSERT_EQ(report.status, SyncStatus::Done) << report.message;
    EXPECT_EQ(report.deletedOnServer, 0);
    EXPECT_EQ(server.Resources().count("soon.ics"), 1u);
    server.Store("other.ics", EventText("other", "New", "20271001"));
    report = Sync(options);
    EXPECT_EQ(report.downloaded, 1);
    EXPECT_EQ(local.FindUid("soon"), nullptr);
    EXPECT_EQ(server.Resources().size(), 4u);
}

TEST_F(SyncEngineTest, ARefusedTokenAPagedListingAndACtagOnlyServerAreAllReadWhole) {
    Seed(4);
    ASSERT_EQ(Sync().status, SyncStatus::Done);
    store.saved.syncToken = "tok-999999"; // a token the server no longer knows
    server.Store("s9.ics", EventText("s9", "Added"));
    SyncReport report = Sync();
    ASSERT_EQ(report.status, SyncStatus::Done) << report.message;
    EXPECT_EQ(report.downloaded, 1);
    EXPECT_EQ(local.Live().size(), 5u);

    // A server that hands out its listing in pages (507 and a token to go
    // on from): one sync reads them all, and absence means deletion only
    // once the last page is in.
    server.maxResults = 2;
    server.Erase("s0.ics");
    server.Store("s10.ics", EventText("s10", "Paged"));
    store.saved.syncToken = "tok-999999";
    report = Sync();
    ASSERT_EQ(report.status, SyncStatus::Done) << report.message;
    EXPECT_EQ(local.FindUid("s0"), nullptr);
    EXPECT_NE(local.FindUid("s10"), nullptr);
    EXPECT_EQ(local.Live().size(), 5u);
    EXPECT_EQ(Sync().requests, 1);

    FakeCalDavServer plain;
    plain.supportsSync = false;
    plain.Store("a.ics", EventText("a", "A"));
    FakeLocalCalendar other;
    MemoryStateStore otherStore;
    ClientOptions clientOptions;
    const auto run = [&] {
        CalDavClient client(plain, clientOptions);
        SyncState state = otherStore.saved;
        SyncEngine engine(client, other, state, otherStore);
        SyncOptions options;
        options.calendarUrl = plain.CalendarUrl();
        return engine.Run(options);
    };
    ASSERT_EQ(run().status, SyncStatus::Done);
    EXPECT_NE(other.FindUid("a"), nullptr);
    EXPECT_EQ(run().requests, 1); // the ctag alone
    plain.Store("b.ics", EventText("b", "B"));
    report = run();
    EXPECT_EQ(report.requests, 3); // ctag, listing, bodies
    EXPECT_NE(other.FindUid("b"), nullptr);
}

TEST_F(SyncEngineTest, AnEditChangesOnlyTheTouchedPropertiesOfTheServersCopy) {
    const std::string rich =
        "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Other//EN\r\nBEGIN:VEVENT\r\n"
        "UID:rich\r\nDTSTAMP:20260101T000000Z\r\nDTSTART:20270105T090000Z\r\n"
        "RRULE:FREQ=WEEKLY\r\nSUMMARY:Planning\r\n"
        "ATTENDEE;CN=Bob:mailto:bob@example.com\r\nX-OTHER:kept\r\n"
        "BEGIN:VALARM\r\nACTION:DISPLAY\r\nTRIGGER:-PT5M\r\nDESCRIPTION:a\r\nEND:VALARM\r\n"
        "BEGIN:VALARM\r\nACTION:AUDIO\r\nTRIGGER:-PT1M\r\nEND:VALARM\r\nEND:VEVENT\r\n"
        "BEGIN:VEVENT\r\nUID:rich\r\nRECURRENCE-ID:20270112T090000Z\r\n"
        "DTSTART:20270112T100000Z\r\nSUMMARY:Planning (moved)\r\nEND:VEVENT\r\n"
        "END:VCALENDAR\r\n";
    server.Store("rich.ics", rich);
    server.etagOnPut = false;
    ASSERT_EQ(Sync().status, SyncStatus::Done);
    local[IdOf(local, "rich")].summary = "Planning, room 4";
    ASSERT_EQ(Sync().status, SyncStatus::Done);
    std::string expected = rich;
    expected.replace(expected.find("SUMMARY:Planning\r\n"), 18, "SUMMARY:Planning\\, room 4\r\n");
    EXPECT_EQ(server.Resources().at("rich.ics").body, expected);
}

// An invitation to one occurrence of a series is a resource that holds only
// that occurrence: it comes down once, and the next sync asks for nothing.
TEST_F(SyncEngineTest, AResourceHoldingOnlyAMovedOccurrenceComesDownOnceAndTheTokenMovesOn) {
    server.Store("invitation.ics", EventText("series-7", "Invited to one", "20270105",
                                             "RECURRENCE-ID;VALUE=DATE:20270105\r\n"));
    SyncReport report = Sync();
    ASSERT_EQ(report.status, SyncStatus::Done) << report.message;
    EXPECT_TRUE(report.itemErrors.empty()) << report.itemErrors.front();
    EXPECT_EQ(report.downloaded, 1);
    EXPECT_FALSE(IdOf(local, "series-7").empty());

    report = Sync();
    EXPECT_EQ(report.status, SyncStatus::Done);
    EXPECT_EQ(report.requests, 1);
    EXPECT_EQ(report.downloaded + report.changedLocally, 0);
}
