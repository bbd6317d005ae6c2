// The store's side of sync over a scratch store: what an event from the
// server becomes there, what an edit there sends back, and whole syncs with
// the in-memory server, each run starting from the saved sync state as after
// a restart.
#include "sync/registry_calendar.h"

#include "framework/utf_text.h"
#include "store/calendar_registry.h"
#include "sync/sync_engine.h"
#include "sync/vevent_patch.h"
#include "tests/support/registry_sandbox.h"
#include "tests/sync/fake_caldav_server.h"
#include "tests/sync/fake_local_calendar.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

using namespace caldav;
using namespace qmtest;

namespace {

const std::string kRoot = "SOFTWARE\\Calendar";

// What a value holds as text, without the zeros that pad it.
std::string TextOf(const std::string& path, const char* name) {
    std::u16string wide = ReadWide(path, name);
    wide.erase(std::find(wide.begin(), wide.end(), u'\0'), wide.end());
    return fw::Narrow(std::wstring(wide.begin(), wide.end()));
}

// Every appointment key's path, by its UID ("" for none; several share it).
std::multimap<std::string, std::string> KeysByUid() {
    std::multimap<std::string, std::string> keys;
    for (const std::string& day : Subkeys(kRoot))
        for (const std::string& key : Subkeys(kRoot + "\\" + day)) {
            const std::string path = kRoot + "\\" + day + "\\" + key;
            keys.emplace(TextOf(path, "UID"), path);
        }
    return keys;
}

std::string KeyOf(const std::string& uid) {
    const auto keys = KeysByUid();
    const auto found = keys.find(uid);
    return found == keys.end() ? std::string() : found->second;
}

std::string Crlf(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines)
        text += line + "\r\n";
    return text;
}

// A weekly meeting as a phone's calendar writes it: attendees, two alarms,
// a property of its own, a description longer than a field holds, and one
// occurrence moved to another time.
std::string MeetingText(const std::string& description) {
    return Crlf({"BEGIN:VCALENDAR",
                 "VERSION:2.0",
                 "PRODID:-//Phone//Calendar 9//EN",
                 "BEGIN:VEVENT",
                 "UID:weekly-1@phone.example",
                 "DTSTAMP:20261201T100000Z",
                 "SEQUENCE:2",
                 "DTSTART:20270105T080000Z",
                 "DTEND:20270105T090000Z",
                 "RRULE:FREQ=WEEKLY;BYDAY=TU",
                 "SUMMARY:Team meeting",
                 "DESCRIPTION:" + description,
                 "ORGANIZER;CN=Boss:mailto:boss@example.com",
                 "ATTENDEE;CN=Anna;PARTSTAT=ACCEPTED:mailto:anna@example.com",
                 "ATTENDEE;CN=Ben;PARTSTAT=TENTATIVE;ROLE=OPT-PARTICIPANT:mailto:ben@exampl",
                 " e.com",
                 "X-PHONE-COLOUR:teal",
                 "BEGIN:VALARM",
                 "ACTION:DISPLAY",
                 "DESCRIPTION:Soon",
                 "TRIGGER:-PT15M",
                 "END:VALARM",
                 "BEGIN:VALARM",
                 "ACTION:AUDIO",
                 "TRIGGER:-PT1H",
                 "END:VALARM",
                 "END:VEVENT",
                 "BEGIN:VEVENT",
                 "UID:weekly-1@phone.example",
                 "DTSTAMP:20261201T100000Z",
                 "RECURRENCE-ID:20270112T080000Z",
                 "DTSTART:20270112T100000Z",
                 "DTEND:20270112T110000Z",
                 "SUMMARY:Team meeting (moved)",
                 "END:VEVENT",
                 "END:VCALENDAR"});
}

} // namespace

class RegistryCalendarTest : public ::testing::Test {
protected:
    RegistrySandbox sandbox;
};

TEST_F(RegistryCalendarTest, AnEditOfTheNotesChangesOnlyTheSummaryOfTheServersCopy) {
    std::string description;
    for (int i = 0; description.size() < 800; ++i)
        description += "Agenda point " + std::to_string(i) + ". ";
    const std::string server = MeetingText(description);
    SyncState state;
    std::string fingerprint;
    {
        CRegistryCalendar calendar(state, 20270101);
        const LocalApply applied = calendar.Apply(std::string(), server);
        ASSERT_TRUE(applied.ok) << applied.message;
        EXPECT_EQ("weekly-1@phone.example", applied.localId);
        fingerprint = applied.fingerprint;
        // Shown cut and marked; the moved occurrence filed beside it.
        const std::string key = KeyOf(applied.localId);
        ASSERT_FALSE(key.empty());
        EXPECT_EQ("Team meeting", TextOf(key, "NOTES"));
        const std::string detail = TextOf(key, "DETAIL NOTES");
        EXPECT_EQ(description.substr(0, detail.size() - 3) + kCutMark, detail);
        EXPECT_EQ("FREQ=WEEKLY;BYDAY=TU", TextOf(key, "REPEAT"));
        EXPECT_FALSE(KeyOf("weekly-1@phone.example#20270112T080000Z").empty());
        // Nothing changed yet: the store says what the server's copy says.
        const std::vector<LocalItem> items = calendar.Items();
        ASSERT_EQ(1u, items.size());
        EXPECT_EQ(fingerprint, items[0].fingerprint);
        EXPECT_EQ(fingerprint, calendar.FingerprintOf(server));
        std::string unchanged, message;
        ASSERT_TRUE(calendar.Export(applied.localId, server, unchanged, message)) << message;
        EXPECT_EQ(server, unchanged);
    }

    // The user renames it; the next sync's instance finds the change.
    SetText(KeyOf("weekly-1@phone.example"), "NOTES", "Team meeting, room 4");
    CRegistryCalendar calendar(state, 20270101);
    const std::vector<LocalItem> items = calendar.Items();
    ASSERT_EQ(1u, items.size());
    EXPECT_NE(fingerprint, items[0].fingerprint);
    std::string sent, message;
    ASSERT_TRUE(calendar.Export("weekly-1@phone.example", server, sent, message)) << message;
    // Only SUMMARY changed, and the version that tells other clients so.
    std::string expected = server;
    expected.replace(expected.find("SUMMARY:Team meeting\r\n"), 22,
                     "SUMMARY:Team meeting\\, room 4\r\n");
    expected.replace(expected.find("SEQUENCE:2"), 10, "SEQUENCE:3");
    const std::string stamp = EventPropertyValue(sent, "DTSTAMP");
    expected.replace(expected.find("DTSTAMP:20261201T100000Z"), 24, "DTSTAMP:" + stamp);
    EXPECT_EQ(expected, sent);
}

class RegistrySyncTest : public ::testing::Test {
protected:
    SyncReport Sync(int horizon = 20270101) {
        ClientOptions clientOptions;
        clientOptions.sleep = [](std::chrono::milliseconds) {};
        CalDavClient client(server, clientOptions);
        SyncState state = store.saved;
        CRegistryCalendar local(state, horizon);
        std::string message;
        EXPECT_TRUE(local.AssignMissingUids(message)) << message;
        SyncEngine engine(client, local, state, store);
        SyncOptions options;
        options.calendarUrl = server.CalendarUrl();
        options.horizon = horizon;
        return engine.Run(options);
    }
    std::string ServerBody(const std::string& uid) const {
        for (const auto& [name, resource] : server.Resources())
            if (EventPropertyValue(resource.body, "UID") == uid)
                return resource.body;
        return std::string();
    }
    std::string ServerName(const std::string& uid) const {
        for (const auto& [name, resource] : server.Resources())
            if (EventPropertyValue(resource.body, "UID") == uid)
                return name;
        return std::string();
    }

    RegistrySandbox sandbox;
    FakeCalDavServer server;
    MemoryStateStore store;
};

TEST_F(RegistrySyncTest, ChangesByAnyProgramGoUpAndConflictsKeepBothVersions) {
    PutAppointment("2027-3-1", "A", "2027-3-1", "2027-3-1", "Dentist");
    PutAppointment("2027-3-2", "B", "2027-3-2", "2027-3-2", "Haircut");
    SyncReport report = Sync();
    ASSERT_EQ(SyncStatus::Done, report.status) << report.message;
    EXPECT_EQ(2, report.uploaded);
    const std::string dentist = TextOf(kRoot + "\\2027-3-1\\A", "UID");
    const std::string haircut = TextOf(kRoot + "\\2027-3-2\\B", "UID");
    ASSERT_FALSE(dentist.empty());
    EXPECT_EQ("Dentist", EventPropertyValue(ServerBody(dentist), "SUMMARY"));

    // Another program writes a value with a bare call: it goes up.
    SetText(kRoot + "\\2027-3-2\\B", "NOTES", "Haircut at 4");
    report = Sync();
    ASSERT_EQ(SyncStatus::Done, report.status) << report.message;
    EXPECT_EQ(1, report.changedOnServer);
    EXPECT_EQ("Haircut at 4", EventPropertyValue(ServerBody(haircut), "SUMMARY"));

    // Both sides change the dentist: the server's takes its place, the local
    // one is kept beside it, marked, and uploaded as an event of its own.
    SetText(kRoot + "\\2027-3-1\\A", "NOTES", "Dentist, bring the card");
    std::string body = ServerBody(dentist);
    body.replace(body.find("SUMMARY:Dentist"), 15, "SUMMARY:Dentist at 9");
    server.Store(ServerName(dentist), body);
    report = Sync();
    ASSERT_EQ(SyncStatus::Done, report.status) << report.message;
    EXPECT_EQ(1, report.conflicts);
    EXPECT_EQ("Dentist at 9", TextOf(KeyOf(dentist), "NOTES"));
    std::string copyUid;
    for (const auto& [uid, path] : KeysByUid())
        if (ReadRaw(path, kConflictCopyValueName).exists)
            copyUid = uid;
    ASSERT_FALSE(copyUid.empty());
    EXPECT_NE(dentist, copyUid);
    EXPECT_EQ(std::string("Dentist, bring the card") + kConflictNoteMark,
              TextOf(KeyOf(copyUid), "NOTES"));
    EXPECT_EQ(3u, server.Resources().size());
    EXPECT_EQ(std::string("Dentist\\, bring the card") + kConflictNoteMark,
              EventPropertyValue(ServerBody(copyUid), "SUMMARY"));
    // And everything is settled: the next sync has nothing to do.
    report = Sync();
    EXPECT_EQ(0, report.uploaded + report.changedOnServer + report.downloaded +
                     report.changedLocally + report.conflicts);
}

TEST_F(RegistrySyncTest, ThePurgeStaysLocalWhileADeleteAndAMovedDayGoThrough) {
    PutAppointment("2026-1-5", "A", "2026-1-5", "2026-1-5", "Old lunch");
    PutAppointment("2027-3-1", "B", "2027-3-1", "2027-3-1", "Party");
    PutAppointment("2027-3-2", "C", "2027-3-2", "2027-3-2", "Call mum");
    SyncReport report = Sync(20260101);
    ASSERT_EQ(SyncStatus::Done, report.status) << report.message;
    ASSERT_EQ(3u, server.Resources().size());
    const std::string lunch = TextOf(kRoot + "\\2026-1-5\\A", "UID");
    const std::string party = TextOf(kRoot + "\\2027-3-1\\B", "UID");
    const std::string call = TextOf(kRoot + "\\2027-3-2\\C", "UID");

    // The purge removes the ended lunch; the user deletes the call.
    DeleteKey(kRoot + "\\2026-1-5\\A");
    DeleteKey(kRoot + "\\2027-3-2\\C");
    // The party moves to another day on the server.
    std::string body = ServerBody(party);
    body.replace(body.find("DTSTART;VALUE=DATE:20270301"), 27, "DTSTART;VALUE=DATE:20270305");
    body.replace(body.find("X-QUILLMERE-DAY:2027-3-1"), 24, "X-QUILLMERE-DAY:2027-3-5");
    server.Store(ServerName(party), body);
    report = Sync(20270101);
    ASSERT_EQ(SyncStatus::Done, report.status) << report.message;
    EXPECT_EQ(1, report.deletedOnServer);
    EXPECT_FALSE(ServerBody(lunch).empty()); // the server keeps what the purge removed
    EXPECT_TRUE(ServerBody(call).empty());
    EXPECT_EQ(0, report.downloaded); // and the ended lunch does not come back
    EXPECT_FALSE(KeyExists(kRoot + "\\2027-3-1\\B"));
    const std::string moved = KeyOf(party);
    ASSERT_FALSE(moved.empty());
    EXPECT_EQ(kRoot + "\\2027-3-5", moved.substr(0, moved.rfind('\\')));
    EXPECT_EQ("2027-3-5", TextOf(moved, "FROM"));
    EXPECT_EQ(1u, KeysByUid().count(party));
}
