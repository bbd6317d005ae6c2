#include "store/calendar_registry.h"
#include "store/calendar_scanner.h"
#include "store/key_naming.h"
#include "store/unfinished_note.h"
#include "tests/support/outside_change.h"
#include "tests/support/registry_sandbox.h"
#include "tests/support/window_testing.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace qmtest {
namespace {

const std::string kRoot = "SOFTWARE\\Calendar";

std::string Path(const std::string& day, const std::string& appointment) {
    return kRoot + "\\" + day + "\\" + appointment;
}

// The walk over a scratch registry on 7 May 2002. It needs no window.
class ReminderScanTest : public ::testing::Test {
protected:
    RegistrySandbox registry;
    const CalendarDate today{2002, 5, 7};
    std::atomic<bool> stop{false};
    CCalendarScanner scanner;

    std::vector<std::string> Remind() { return scanner.CurrentNotes(today, stop); }
    std::vector<std::string> Purge() {
        scanner.PurgeEnded(today, stop);
        return {};
    }
    std::vector<std::string> Walk(bool remind) { return remind ? Remind() : Purge(); }

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
    std::vector<std::string> lines = Remind();

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
    EXPECT_TRUE(Purge().empty());

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
    Purge();
    EXPECT_TRUE(KeyExists(kRoot + "\\2002-5-3"));
    EXPECT_TRUE(Subkeys(kRoot + "\\2002-5-3").empty());
    EXPECT_TRUE(KeyExists(kRoot + "\\2002-5-4"));
    EXPECT_TRUE(Subkeys(kRoot + "\\2002-5-4").empty());
}

TEST_F(ReminderScanTest, NoStoreMeansNoLinesAndNotesComeWhole) {
    EXPECT_TRUE(Remind().empty());
    EXPECT_TRUE(Purge().empty());

    // The pop-up cuts what it shows; the walk hands over the stored text.
    const std::string notes = std::string(299, 'n') + std::string(150, 'm');
    PutAppointment("2002-5-7", "Appointment 1", "2002-5-7", "2002-5-7", notes);
    EXPECT_EQ((std::vector<std::string>{notes}), Remind());
}

TEST_F(ReminderScanTest, PurgeNeverDeletesBelowAKeyThatIsNoDay) {
    // The purge once deleted ended appointments below any key of the root,
    // the options and keys of other programs included.
    const char* const notDays[] = {"OPTIONS", "abc", "2002-05-07", "2002-13-45", "Appointment 5"};
    for (const char* name : notDays)
        PutAppointment(name, "Appointment 1", "2002-4-1", "2002-4-2", "ended");
    PutAppointment("2002-5-6", "Appointment 1", "2002-4-1", "2002-4-2", "ended");
    Purge();
    for (const char* name : notDays)
        EXPECT_TRUE(KeyExists(Path(name, "Appointment 1"))) << name;
    EXPECT_FALSE(KeyExists(Path("2002-5-6", "Appointment 1"))) << "a real day still loses it";
    // The reminder still reads every key, as it always did.
    PutAppointment("abc", "Appointment 2", "2002-5-7", "2002-5-7", "current below abc");
    EXPECT_EQ((std::vector<std::string>{"current below abc"}), Remind());
}

TEST_F(ReminderScanTest, MoreThanAHundredCurrentAppointmentsAreAllListed) {
    for (int i = 0; i < 130; ++i)
        PutAppointment("2002-5-7", "Appointment " + std::to_string(1000 + i), "2002-5-1",
                       "2002-5-31", "note " + std::to_string(i));
    EXPECT_EQ(130u, Remind().size());
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
        const std::vector<std::string> lines = Walk(walks % 2 == 0);
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
    EXPECT_TRUE(Remind().empty());
}

// --- The index: every answer is a full walk's ---------------------------------

class ReminderIndexTest : public ReminderScanTest {
protected:
    // Scans through the index and compares with a full walk of the store as
    // it is now; gives how many walks the scan made (0: the index answered).
    int ScanAndCompare(const std::string& after, const CalendarDate& day) {
        const int walks = scanner.Walks();
        const std::vector<std::string> indexed = scanner.CurrentNotes(day, stop);
        EXPECT_EQ(CCalendarScanner::WalkCurrentNotes(day, stop), indexed) << "after " << after;
        return scanner.Walks() - walks;
    }
    int ScanAndCompare(const std::string& after) { return ScanAndCompare(after, today); }
    static std::uint64_t Ticks() { return s_ticks; }
    static inline std::uint64_t s_ticks = 0;
};

TEST_F(ReminderIndexTest, EveryChangeByThisOrAnotherProgramIsSeenAndNothingElseWalks) {
    PutMixedDay();
    EXPECT_EQ(1, ScanAndCompare("the first scan"));
    EXPECT_EQ(0, ScanAndCompare("nothing changed"));
    EXPECT_EQ(0, ScanAndCompare("nothing changed, again"));
    EXPECT_GT(scanner.IndexCount(), 0u);

    CCalendarRegistry store;
    const struct {
        const char* what;
        std::function<void()> change;
        int walks = 1; // none when there is no calendar to walk
    } changes[] = {
        {"a New here",
         [&] {
             ASSERT_TRUE(store.AddAppointment("2002-5-3", "2002-5-7", "2002-5-7", "new here",
                                              "EMail", 0, ""));
         }},
        {"Save Notes here",
         [&] { store.ModifyAppointment(ModifyMode::SaveDetail, "2002-5-7", "today only", "x"); }},
        {"a Delete here",
         [&] {
             ASSERT_EQ(ModifyResult::Deleted,
                       store.ModifyAppointment(ModifyMode::Delete, "2002-5-7", "spans today", ""));
         }},
        {"an appointment added by reg.exe",
         [&] {
             const std::string key = "SOFTWARE\\Calendar\\2002-5-1\\Appointment 9";
             ASSERT_TRUE(SetTextFromAnotherProcess(registry, key, "FROM", "2002-5-1"));
             ASSERT_TRUE(SetTextFromAnotherProcess(registry, key, "TO", "2002-5-9"));
             ASSERT_TRUE(SetTextFromAnotherProcess(registry, key, "NOTES", "from outside"));
         }},
        {"notes changed by reg.exe",
         [&] {
             ASSERT_TRUE(SetTextFromAnotherProcess(registry, Path("2002-5-7", "Appointment 1"),
                                                   "NOTES", "renamed outside"));
         }},
        {"a range ended by reg.exe",
         [&] {
             ASSERT_TRUE(SetTextFromAnotherProcess(registry, Path("2002-4-30", "Appointment 1"),
                                                   "TO", "2002-5-6"));
         }},
        // Each new name sorts before the old one: Wine 8's server loses a
        // sibling when a key is renamed to the name right after its own
        // place (see docs/reliability.md).
        {"an appointment key renamed",
         [&] {
             fw::unique_hkey day;
             ASSERT_EQ(ERROR_SUCCESS,
                       OpenMachineKey(kRoot + "\\2002-5-1", KEY_ALL_ACCESS, day, false));
             ASSERT_EQ(ERROR_SUCCESS, RegRenameKey(day.get(), L"Appointment 9", L"Appointment 8"));
         }},
        {"a day key renamed",
         [&] {
             fw::unique_hkey root;
             ASSERT_EQ(ERROR_SUCCESS, OpenMachineKey(kRoot, KEY_ALL_ACCESS, root, false));
             ASSERT_EQ(ERROR_SUCCESS, RegRenameKey(root.get(), L"2002-5-3", L"2002-5-2"));
         }},
        {"a day key removed by reg.exe",
         [&] { ASSERT_TRUE(DeleteKeyFromAnotherProcess(registry, kRoot + "\\2002-5-7")); }},
        {"the whole calendar removed by reg.exe",
         [&] { ASSERT_TRUE(DeleteKeyFromAnotherProcess(registry, kRoot)); }, 0},
        {"a calendar made anew",
         [&] { PutAppointment("2002-5-7", "Appointment 1", "2002-5-7", "2002-5-7", "anew"); }},
    };
    for (const auto& c : changes) {
        c.change();
        EXPECT_EQ(c.walks, ScanAndCompare(c.what)) << c.what << ": the index missed the change";
        EXPECT_EQ(0, ScanAndCompare(std::string(c.what) + ", unchanged since")) << c.what;
    }
    EXPECT_EQ((std::vector<std::string>{"anew"}), Remind());
}

TEST_F(ReminderIndexTest, AChangeDuringABuildIsNotLost) {
    PutAppointment("2002-5-1", "Appointment 1", "2002-5-1", "2002-5-9", "first day");
    PutAppointment("2002-5-2", "Appointment 1", "2002-5-1", "2002-5-9", "second day");
    // While the build walks the second day, an appointment goes in under the
    // first, which the walk has passed already.
    int days = 0;
    scanner.SetWalkHookForTesting([&] {
        if (++days == 1)
            PutAppointment("2002-5-1", "Appointment 2", "2002-5-1", "2002-5-9", "late");
    });
    const std::vector<std::string> during = Remind();
    EXPECT_EQ(1, std::count(during.begin(), during.end(), "second day"));
    scanner.SetWalkHookForTesting(nullptr);
    EXPECT_EQ(1, ScanAndCompare("a change during the build"));
    const std::vector<std::string> after = Remind();
    EXPECT_EQ(1, std::count(after.begin(), after.end(), "late"));
}

TEST_F(ReminderIndexTest, ANewDayAndAnHourRebuildIt) {
    scanner.SetTickSourceForTesting(&ReminderIndexTest::Ticks);
    s_ticks = 1000;
    PutAppointment("2002-5-7", "Appointment 1", "2002-5-7", "2002-5-7", "the 7th");
    PutAppointment("2002-5-7", "Appointment 2", "2002-5-8", "2002-5-8", "the 8th");
    EXPECT_EQ(1, ScanAndCompare("the first scan"));
    EXPECT_EQ((std::vector<std::string>{"the 7th"}), Remind());
    // Midnight: a new day's appointments with no change to the store.
    const CalendarDate tomorrow{2002, 5, 8};
    EXPECT_EQ(1, ScanAndCompare("midnight", tomorrow));
    EXPECT_EQ((std::vector<std::string>{"the 8th"}), scanner.CurrentNotes(tomorrow, stop));
    s_ticks += 59 * 60 * 1000;
    EXPECT_EQ(0, ScanAndCompare("59 minutes", tomorrow));
    s_ticks += 2 * 60 * 1000;
    EXPECT_EQ(1, ScanAndCompare("over an hour", tomorrow));
}

// --- Walks that miss nothing -------------------------------------------------

TEST_F(ReminderScanTest, TwoPurgesAtOnceLeaveNoEndedAppointment) {
    // Two walks once each passed over ended appointments: a key the other
    // had deleted counted as kept, and the walk moved on past the key that
    // slid into its place.
    for (int round = 0; round < 3; ++round) {
        for (int day = 1; day <= 12; ++day)
            for (int i = 0; i < 100; ++i)
                PutAppointment("2002-4-" + std::to_string(day), "Appointment " + std::to_string(i),
                               "2002-4-1", "2002-4-30", "ended");
        CCalendarScanner other;
        std::thread second([&] { other.PurgeEnded(today, stop); });
        scanner.PurgeEnded(today, stop);
        second.join();
        int left = 0;
        for (int day = 1; day <= 12; ++day)
            left += static_cast<int>(Subkeys(kRoot + "\\2002-4-" + std::to_string(day)).size());
        EXPECT_EQ(0, left) << "round " << round;
    }
}

TEST_F(ReminderScanTest, APurgeWhileAnotherProgramDeletesKeysLeavesNoEndedAppointment) {
    // Kept and ended appointments alternate; another thread deletes kept ones
    // ahead of the purge, which shifts every later key down.
    for (int day = 1; day <= 6; ++day)
        for (int i = 0; i < 200; ++i)
            PutAppointment("2002-4-" + std::to_string(day),
                           "Appointment " + std::to_string(1000 + i), "2002-4-1",
                           i % 2 == 0 ? "2002-5-31" : "2002-4-30", i % 2 == 0 ? "kept" : "ended");
    std::thread remover([&] {
        for (int day = 1; day <= 6; ++day)
            for (int i = 0; i < 200; i += 4)
                DeleteKey(Path("2002-4-" + std::to_string(day),
                               "Appointment " + std::to_string(1000 + i)));
    });
    scanner.PurgeEnded(today, stop);
    remover.join();
    for (int day = 1; day <= 6; ++day)
        for (const std::string& name : Subkeys(kRoot + "\\2002-4-" + std::to_string(day)))
            EXPECT_EQ(
                "kept",
                std::string(
                    ReadRaw(Path("2002-4-" + std::to_string(day), name), "NOTES").bytes.c_str()))
                << name;
}

TEST_F(ReminderScanTest, ACurrentAppointmentWithoutNotesAndAnUnfinishedSaveShowNothing) {
    // FROM and TO of today but no NOTES once gave the empty line "1. ".
    SetText(Path("2002-5-7", "Appointment 1"), "FROM", "2002-5-7");
    SetText(Path("2002-5-7", "Appointment 1"), "TO", "2002-5-7");
    PutAppointment("2002-5-7", "Appointment 2", "2002-5-7", "2002-5-7", "");
    // Two saves under way in this process.
    const CUnfinishedNote first, second;
    PutAppointment("2002-5-7", first.KeyName(), "2002-5-1", "2002-5-9", "half made");
    PutAppointment("2002-5-7", "Appointment 3", "2002-5-7", "2002-5-7", "whole");
    PutAppointment("2002-5-7", second.KeyName(), "2002-4-1", "2002-4-2", "ended, unfinished");
    EXPECT_EQ((std::vector<std::string>{"whole"}), Remind());
    Purge();
    EXPECT_TRUE(KeyExists(Path("2002-5-7", second.KeyName())))
        << "a save still running is not the purge's to delete";
}

// The walk keeps the appointments that alert, from those already begun to
// those beginning within nine days; the index answers again without a walk
// until the day turns, when what ended goes and the next day's reach comes
// in.
TEST_F(ReminderScanTest, TheWalkKeepsTheAlertsOfAppointmentsBegunOrBeginningSoon) {
    PutAppointment("2002-5-7", "Appointment 1", "2002-5-7", "2002-5-7", "Dentist");
    PutAppointment("2002-5-7", "Appointment 2", "2002-5-1", "2002-5-6", "ended");
    PutAppointment("2002-5-7", "Appointment 3", "2002-5-16", "2002-5-16", "in nine days");
    PutAppointment("2002-5-7", "Appointment 4", "2002-5-17", "2002-5-20", "in ten days");
    PutAppointment("2002-5-7", "Appointment 5", "2002-5-1", "2002-5-9", "no alert");
    PutAppointment("2002-4-30", "Appointment 1", "2002-4-30", "2002-5-8", "all day");
    SetText(Path("2002-5-7", "Appointment 1"), "TIME", "14:30");
    SetText(Path("2002-5-7", "Appointment 1"), "TIME ZONE", "Europe/Berlin");
    SetText(Path("2002-5-7", "Appointment 5"), "TIME", "09:00");
    for (const char* key : {"Appointment 1", "Appointment 2", "Appointment 3", "Appointment 4"})
        SetDword(Path("2002-5-7", key), "REMIND BEFORE", 15);
    SetDword(Path("2002-4-30", "Appointment 1"), "REMIND BEFORE", 360);
    auto keys = [](const std::vector<IndexedAlert>& alerts) {
        std::vector<std::string> names;
        for (const IndexedAlert& alert : alerts)
            names.push_back(alert.dayKey + "\\" + alert.appointmentKey);
        std::sort(names.begin(), names.end());
        return names;
    };

    std::optional<std::vector<IndexedAlert>> alerts = scanner.Alerts(today, stop);
    ASSERT_TRUE(alerts);
    EXPECT_EQ((std::vector<std::string>{"2002-4-30\\Appointment 1", "2002-5-7\\Appointment 1",
                                        "2002-5-7\\Appointment 3"}),
              keys(*alerts));
    for (const IndexedAlert& alert : *alerts) {
        if (alert.dayKey == "2002-5-7" && alert.appointmentKey == "Appointment 1") {
            EXPECT_EQ(14 * 60 + 30, alert.minuteOfDay);
            EXPECT_EQ(15, alert.remindBefore);
            EXPECT_EQ("Europe/Berlin", alert.zone);
            EXPECT_TRUE((alert.from == CalendarDate{2002, 5, 7}));
        } else if (alert.dayKey == "2002-4-30") {
            EXPECT_FALSE(alert.minuteOfDay) << "all day";
            EXPECT_EQ(360, alert.remindBefore);
            EXPECT_TRUE((alert.to == CalendarDate{2002, 5, 8}));
        }
    }
    EXPECT_EQ(1, scanner.Walks());
    ASSERT_TRUE(scanner.Alerts(today, stop));
    EXPECT_EQ(1, scanner.Walks()) << "the unchanged store is not walked again";

    const CalendarDate tomorrow{2002, 5, 8};
    alerts = scanner.Alerts(tomorrow, stop);
    ASSERT_TRUE(alerts);
    EXPECT_EQ(2, scanner.Walks());
    EXPECT_EQ((std::vector<std::string>{"2002-4-30\\Appointment 1", "2002-5-7\\Appointment 3",
                                        "2002-5-7\\Appointment 4"}),
              keys(*alerts));
}

} // namespace
} // namespace qmtest
