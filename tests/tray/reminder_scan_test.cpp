#include "app/calendar_dlg.h"
#include "store/calendar_registry.h"
#include "tests/support/registry_sandbox.h"
#include "tests/support/window_testing.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace qmtest {
namespace {

const std::string kRoot = "SOFTWARE\\Calendar";

std::string Path(const std::string& day, const std::string& appointment) {
    return kRoot + "\\" + day + "\\" + appointment;
}

// The scan over a scratch registry on 7 May 2002. It needs no window.
class ReminderScanTest : public ::testing::Test {
protected:
    RegistrySandbox registry;
    FixedClock clock{2002, 5, 7};
    CCalendarDlg dlg;

    // One of each kind under today's key and a neighbour's, and the options.
    void PutMixedDay() {
        PutAppointment("2002-5-7", "Appointment 1", "2002-5-7", "2002-5-7", "today only");
        PutAppointment("2002-5-7", "Appointment 2", "2002-5-1", "2002-5-6", "ended yesterday");
        PutAppointment("2002-5-7", "Appointment 3", "2002-5-8", "2002-5-9", "future");
        PutAppointment("2002-5-7", "Appointment 4", "2002-5-6", "2002-5-8", "spans today");
        PutAppointment("2002-5-7", "Appointment 5", "", "2002-5-9", "no from");
        PutAppointment("2002-5-7", "Appointment 6", "yesterday", "2002-4-1", "garbled from");
        SetText(Path("2002-5-7", "Appointment 7"), "NOTES", "no dates at all");
        PutAppointment("2002-4-30", "Appointment 1", "2002-4-30", "2002-5-7", "ends today");
        PutAppointment("2002-4-30", "Appointment 2", "2002-4-30", "2002-4-30", "ended long ago");
        SetDword(kRoot + "\\OPTIONS", "TIMEOUT VALUE", 5);
        SetDword(kRoot + "\\OPTIONS", "TIMEOUT DELETE", 1);
    }
};

TEST_F(ReminderScanTest, RemindListsCurrentAppointmentsInEnumerationOrderAndChangesNothing) {
    PutMixedDay();
    std::vector<std::string> lines = dlg.WalkAppointments(SCAN_REMIND);

    std::vector<std::string> sorted = lines;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ((std::vector<std::string>{"ends today", "spans today", "today only"}), sorted);

    // The order is the registry's: date keys as enumerated, and within each
    // its appointment keys as enumerated.
    const std::vector<std::pair<std::string, std::string>> current = {
        {"2002-5-7", "Appointment 1"},
        {"2002-5-7", "Appointment 4"},
        {"2002-4-30", "Appointment 1"}};
    std::vector<std::string> expected;
    for (const std::string& day : Subkeys(kRoot))
        for (const std::string& appointment : Subkeys(kRoot + "\\" + day))
            for (const auto& [d, a] : current)
                if (d == day && a == appointment)
                    expected.push_back(ReadRaw(Path(d, a), "NOTES").bytes.c_str());
    EXPECT_EQ(expected, lines);

    EXPECT_EQ(7u, Subkeys(kRoot + "\\2002-5-7").size()) << "reminding deletes nothing";
    EXPECT_EQ(2u, Subkeys(kRoot + "\\2002-4-30").size());
}

TEST_F(ReminderScanTest, PurgeDeletesOnlyWhatEndedBeforeToday) {
    PutMixedDay();
    EXPECT_TRUE(dlg.WalkAppointments(SCAN_PURGE).empty());

    std::vector<std::string> kept = Subkeys(kRoot + "\\2002-5-7");
    std::sort(kept.begin(), kept.end());
    EXPECT_EQ((std::vector<std::string>{"Appointment 1", "Appointment 3", "Appointment 4",
                                        "Appointment 5", "Appointment 6", "Appointment 7"}),
              kept)
        << "current, future and unreadable appointments stay";
    EXPECT_EQ((std::vector<std::string>{"Appointment 1"}), Subkeys(kRoot + "\\2002-4-30"))
        << "one that ends today stays";
    // The options are walked like a date key and come through untouched.
    EXPECT_TRUE(KeyExists(kRoot + "\\OPTIONS"));
    EXPECT_EQ(4u, ReadRaw(kRoot + "\\OPTIONS", "TIMEOUT VALUE").bytes.size());
    EXPECT_EQ(2u, ValueNames(kRoot + "\\OPTIONS").size());
    EXPECT_EQ("today only",
              std::string(ReadRaw(Path("2002-5-7", "Appointment 1"), "NOTES").bytes.c_str()));
}

TEST_F(ReminderScanTest, ThreeEndedAppointmentsOfOneDayGoInOnePassAndTheDayKeyStays) {
    PutAppointment("2002-5-3", "Appointment 1", "2002-5-1", "2002-5-3", "a");
    PutAppointment("2002-5-3", "Appointment 2", "2002-5-3", "2002-5-3", "b");
    PutAppointment("2002-5-3", "Appointment 3", "2002-5-2", "2002-5-4", "c");
    // A neighbour after it in the enumeration must be examined as well.
    PutAppointment("2002-5-4", "Appointment 1", "2002-5-4", "2002-5-6", "d");
    dlg.WalkAppointments(SCAN_PURGE);
    EXPECT_TRUE(KeyExists(kRoot + "\\2002-5-3"));
    EXPECT_TRUE(Subkeys(kRoot + "\\2002-5-3").empty());
    EXPECT_TRUE(KeyExists(kRoot + "\\2002-5-4"));
    EXPECT_TRUE(Subkeys(kRoot + "\\2002-5-4").empty());
}

TEST_F(ReminderScanTest, NoStoreMeansNoLinesAndLongNotesAreCut) {
    EXPECT_TRUE(dlg.WalkAppointments(SCAN_REMIND).empty());
    EXPECT_TRUE(dlg.WalkAppointments(SCAN_PURGE).empty());

    const std::string notes = std::string(299, 'n') + std::string(150, 'm');
    PutAppointment("2002-5-7", "Appointment 1", "2002-5-7", "2002-5-7", notes);
    std::vector<std::string> lines = dlg.WalkAppointments(SCAN_REMIND);
    ASSERT_EQ(1u, lines.size());
    EXPECT_EQ(std::string(299, 'n'), lines[0]);
    EXPECT_EQ(notes, std::string(ReadRaw(Path("2002-5-7", "Appointment 1"), "NOTES").bytes.c_str()))
        << "the stored text stays whole";
}

TEST_F(ReminderScanTest, PurgeNeverDeletesBelowAKeyThatIsNoDay) {
    // The purge once deleted ended appointments below any key of the root,
    // the options and keys of other programs included.
    const char* const notDays[] = {"OPTIONS", "abc", "2002-05-07", "2002-13-45", "Appointment 5"};
    for (const char* name : notDays)
        PutAppointment(name, "Appointment 1", "2002-4-1", "2002-4-2", "ended");
    PutAppointment("2002-5-6", "Appointment 1", "2002-4-1", "2002-4-2", "ended");
    dlg.WalkAppointments(SCAN_PURGE);
    for (const char* name : notDays)
        EXPECT_TRUE(KeyExists(Path(name, "Appointment 1"))) << name;
    EXPECT_FALSE(KeyExists(Path("2002-5-6", "Appointment 1"))) << "a real day still loses it";
    // The reminder still reads every key, as it always did.
    PutAppointment("abc", "Appointment 2", "2002-5-7", "2002-5-7", "current below abc");
    EXPECT_EQ((std::vector<std::string>{"current below abc"}), dlg.WalkAppointments(SCAN_REMIND));
}

TEST_F(ReminderScanTest, MoreThanAHundredCurrentAppointmentsAreAllListed) {
    for (int i = 0; i < 130; ++i)
        PutAppointment("2002-5-7", "Appointment " + std::to_string(1000 + i), "2002-5-1",
                       "2002-5-31", "note " + std::to_string(i));
    EXPECT_EQ(130u, dlg.WalkAppointments(SCAN_REMIND).size());
}

TEST_F(ReminderScanTest, WalksWhileKeysVanishSkipWhatIsGoneAndShowNoEmptyLine) {
    // Per day: five current appointments and five whose range has ended.
    for (int day = 1; day <= 20; ++day)
        for (int i = 1; i <= 10; ++i)
            PutAppointment("2002-4-" + std::to_string(day), "Appointment " + std::to_string(i),
                           "2002-4-1", i <= 5 ? "2002-5-31" : "2002-5-1", "note");
    std::atomic<bool> done{false};
    std::thread remover([&] {
        for (int day = 20; day >= 1; --day) {
            const std::string path = kRoot + "\\2002-4-" + std::to_string(day);
            DeleteKey(path + "\\Appointment 1");
            DeleteKey(path + "\\Appointment 9");
            Sleep(1);
            DeleteKey(path);
        }
        done = true;
    });
    int walks = 0;
    while (!done.load() || walks < 2) {
        const std::vector<std::string> lines =
            dlg.WalkAppointments(walks % 2 == 0 ? SCAN_REMIND : SCAN_PURGE);
        EXPECT_LE(lines.size(), 100u);
        // A key gone between its reads gives no empty line.
        EXPECT_TRUE(std::all_of(lines.begin(), lines.end(),
                                [](const std::string& line) { return line == "note"; }));
        ++walks;
    }
    remover.join();
    // A tree deletion that met a key the purge had just taken stops short.
    for (const std::string& day : Subkeys(kRoot))
        DeleteKey(kRoot + "\\" + day);
    EXPECT_TRUE(dlg.WalkAppointments(SCAN_REMIND).empty());
}

} // namespace
} // namespace qmtest
