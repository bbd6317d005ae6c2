#include "store/appointment_batch.h"
#include "ical/transfer_report.h"
#include "store/calendar_exchange.h"
#include "store/calendar_registry.h"
#include "store/calendar_scanner.h"
#include "store/key_naming.h"
#include "store/user_values.h"
#include "tests/support/ics_text.h"
#include "tests/support/registry_sandbox.h"
#include "tests/support/scratch_files.h"
#include "tests/support/write_protect.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <string>
#include <vector>

namespace qmtest {
namespace {

const std::string kRoot = "SOFTWARE\\Calendar";

std::vector<std::string> UnfinishedKeys(const std::string& day) {
    std::vector<std::string> names;
    for (const std::string& name : Subkeys(kRoot + "\\" + day))
        if (IsUnfinishedKeyName(name.c_str()))
            names.push_back(name);
    return names;
}

std::vector<std::string> Notes() {
    return UserValueNames(kValueUnfinishedNew);
}

bool File(CAppointmentBatch& batch, const std::string& day, const std::string& notes) {
    return batch.Add(day, day, day, notes, "EMail", 0, "");
}

// Saves cut short at step `s_cutAfter` as a crash would; 0 lets them run.
int s_cutAfter = 0;
bool CutAfter(int step) {
    return s_cutAfter == 0 || step < s_cutAfter;
}

class UnfinishedSaves : public ::testing::Test {
protected:
    RegistrySandbox sandbox;
    const CalendarDate today{2002, 5, 7};
    std::atomic<bool> stop{false};

    void SetUp() override { m_previous = SetSaveStepObserverForTesting(&CutAfter); }
    void TearDown() override {
        s_cutAfter = 0;
        SetSaveStepObserverForTesting(m_previous);
    }

private:
    SaveStepObserver m_previous = nullptr;
};

// A start of the program ran its clean-up while an import was writing: the
// clean-up deleted the key the import was filling, and the import stopped
// with "File not found". The clean-up and a walk now run in the middle of a
// save, between its first and second value.
TEST_F(UnfinishedSaves, ACleanUpWhileABatchWritesLeavesTheBatchAlone) {
    static int s_cleanUps = 0;
    s_cleanUps = 0;
    const SaveStepObserver previous = SetSaveStepObserverForTesting([](int step) {
        if (step == 5) {
            ++s_cleanUps;
            CCalendarRegistry().RemoveUnfinishedNew();
            const std::atomic<bool> noStop{false};
            CCalendarScanner().PurgeEnded({2002, 5, 7}, noStop);
        }
        return true;
    });
    CAppointmentBatch batch;
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(File(batch, "2002-5-7", "Import " + std::to_string(i))) << i;
    EXPECT_EQ(1u, Notes().size()) << "the batch is still noted";
    batch.Finish();
    SetSaveStepObserverForTesting(previous);
    EXPECT_EQ(3, s_cleanUps);
    EXPECT_EQ(3u, Subkeys(kRoot + "\\2002-5-7").size());
    EXPECT_TRUE(UnfinishedKeys("2002-5-7").empty());
    EXPECT_TRUE(Notes().empty());
}

// All batches once shared one note: the one that finished first removed it,
// and a batch killed afterwards left a key that nothing removed.
TEST_F(UnfinishedSaves, EachBatchKeepsItsOwnNoteAndABatchThatEndedUnfinishedIsCleanedUp) {
    CAppointmentBatch first;
    ASSERT_TRUE(File(first, "2002-5-7", "First"));
    {
        CAppointmentBatch second;
        s_cutAfter = 5;
        EXPECT_FALSE(File(second, "2002-5-8", "Second"));
        s_cutAfter = 0;
        ASSERT_EQ(1u, UnfinishedKeys("2002-5-8").size());
        EXPECT_EQ(2u, Notes().size());

        ASSERT_TRUE(File(first, "2002-5-7", "First again"));
        first.Finish();
        EXPECT_EQ(1u, Notes().size()) << "the other batch's note outlives this one";
        CCalendarRegistry().RemoveUnfinishedNew();
        EXPECT_EQ(1u, UnfinishedKeys("2002-5-8").size()) << "its batch has not ended yet";
    }
    // The second batch is gone without finishing, as a killed one would be.
    CCalendarRegistry().RemoveUnfinishedNew();
    EXPECT_TRUE(Subkeys(kRoot + "\\2002-5-8").empty());
    EXPECT_TRUE(Notes().empty());
    EXPECT_EQ(2u, Subkeys(kRoot + "\\2002-5-7").size());
}

// Run only by the next test, as a process of its own: files one appointment
// and waits in the middle of it, between its first and second value, until
// it is killed.
TEST(UnfinishedSaveWriter, DISABLED_WritesUntilKilled) {
    char scratch[512] = "";
    char ready[128] = "";
    if (GetEnvironmentVariableA("QUILLMERE_TEST_WRITER_SCRATCH", scratch, sizeof scratch) == 0 ||
        GetEnvironmentVariableA("QUILLMERE_TEST_WRITER_READY", ready, sizeof ready) == 0)
        GTEST_SKIP() << "started by UnfinishedSaves.AKilledWriter...";
    fw::unique_hkey machine;
    ASSERT_EQ(ERROR_SUCCESS,
              RegOpenKeyExA(HKEY_CURRENT_USER, scratch, 0, KEY_ALL_ACCESS, machine.put()));
    ASSERT_EQ(ERROR_SUCCESS, RegOverridePredefKey(HKEY_LOCAL_MACHINE, machine.get()));
    SetUserValuesPathForTesting(std::string(scratch) + "\\User");
    static HANDLE s_ready = nullptr;
    s_ready = OpenEventA(EVENT_MODIFY_STATE, FALSE, ready);
    ASSERT_NE(nullptr, s_ready);
    SetSaveStepObserverForTesting([](int step) {
        if (step == 5) {
            SetEvent(s_ready);
            Sleep(INFINITE);
        }
        return true;
    });
    CAppointmentBatch batch;
    File(batch, "2002-5-7", "Killed");
}

// A writer in another process: its key stays while it runs, whatever the
// clean-up or a walk meets; once it is killed its key goes, by its note at the
// next start, or, where no note names it, by the next walk that passes it.
TEST_F(UnfinishedSaves, AKilledWritersKeysGoAndARunningWritersStay) {
    char self[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, self, sizeof self);
    const std::string readyName = "QuillmereTestWriter-" + std::to_string(GetCurrentProcessId());
    fw::unique_handle ready(CreateEventA(nullptr, TRUE, FALSE, readyName.c_str()));
    ASSERT_TRUE(ready);
    SetEnvironmentVariableA("QUILLMERE_TEST_WRITER_SCRATCH", sandbox.Path().c_str());
    SetEnvironmentVariableA("QUILLMERE_TEST_WRITER_READY", readyName.c_str());
    std::string commandLine = std::string("\"") + self +
                              "\" --gtest_also_run_disabled_tests "
                              "--gtest_filter=UnfinishedSaveWriter.DISABLED_WritesUntilKilled";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    const BOOL started = CreateProcessA(self, commandLine.data(), nullptr, nullptr, FALSE, 0,
                                        nullptr, nullptr, &startup, &info);
    SetEnvironmentVariableA("QUILLMERE_TEST_WRITER_SCRATCH", nullptr);
    SetEnvironmentVariableA("QUILLMERE_TEST_WRITER_READY", nullptr);
    ASSERT_TRUE(started);
    fw::unique_handle writer(info.hProcess);
    fw::unique_handle writerThread(info.hThread);
    const HANDLE waits[] = {ready.get(), writer.get()};
    ASSERT_EQ(WAIT_OBJECT_0, WaitForMultipleObjects(2, waits, FALSE, 60000))
        << "the writer did not get to its first value";

    const std::vector<std::string> written = UnfinishedKeys("2002-5-7");
    ASSERT_EQ(1u, written.size());
    UnfinishedWriter named;
    ASSERT_TRUE(ParseUnfinishedKeyName(written[0].c_str(), named));
    EXPECT_EQ(info.dwProcessId, named.processId);
    {
        CAppointmentBatch here;
        ASSERT_TRUE(File(here, "2002-5-7", "Beside it"));
    }
    EXPECT_EQ(1u, Notes().size()) << "the writer's note outlives a batch that finished";
    CCalendarRegistry().RemoveUnfinishedNew();
    CCalendarScanner scanner;
    scanner.CurrentNotes(today, stop);
    scanner.PurgeEnded(today, stop);
    EXPECT_EQ(written, UnfinishedKeys("2002-5-7")) << "its writer runs";
    EXPECT_EQ(1u, Notes().size());

    ASSERT_TRUE(TerminateProcess(writer.get(), 1));
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(writer.get(), 10000));
    CCalendarRegistry().RemoveUnfinishedNew();
    EXPECT_TRUE(UnfinishedKeys("2002-5-7").empty());
    EXPECT_TRUE(Notes().empty());
    EXPECT_EQ((std::vector<std::string>{"Beside it"}), scanner.CurrentNotes(today, stop));

    // The same writer's keys where no note names them (a batch of an older
    // build removed the one note all shared): each walk removes what it meets.
    PutAppointment("2002-5-8", written[0], "2002-5-1", "2002-5-9", "half made");
    scanner.CurrentNotes(today, stop);
    EXPECT_TRUE(UnfinishedKeys("2002-5-8").empty()) << "the reminder walk";
    PutAppointment("2002-5-9", written[0], "2002-5-1", "2002-5-9", "half made");
    scanner.PurgeEnded(today, stop);
    EXPECT_TRUE(UnfinishedKeys("2002-5-9").empty()) << "the purge";
}

// Older builds kept one note, "Unfinished New", for every save of the user,
// and named keys by process and counter alone.
TEST_F(UnfinishedSaves, AnOlderBuildsNoteIsCleanedUpOnceAndItsRunningSavesAreKept) {
    // Process ids are multiples of four: 3 names no process.
    const std::string gone = "~Quillmere unfinished 3-42";
    PutAppointment("2002-5-7", gone, "2002-5-1", "2002-5-9", "half made");
    {
        fw::unique_hkey user;
        ASSERT_EQ(ERROR_SUCCESS,
                  RegCreateKeyExA(HKEY_CURRENT_USER, sandbox.UserValuesPath().c_str(), 0, nullptr,
                                  0, KEY_SET_VALUE, nullptr, user.put(), nullptr));
        const std::string note = "2002-5-7\\" + gone;
        ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(user.get(), kValueUnfinishedNew, 0, REG_SZ,
                                                reinterpret_cast<const BYTE*>(note.c_str()),
                                                static_cast<DWORD>(note.size() + 1)));
    }
    // A key an older build in this very process could be writing: the
    // process was made before the key was.
    const std::string running =
        "~Quillmere unfinished " + std::to_string(GetCurrentProcessId()) + "-43";
    PutAppointment("2002-5-8", running, "2002-5-1", "2002-5-9", "being written");
    CCalendarRegistry().RemoveUnfinishedNew();
    EXPECT_TRUE(UnfinishedKeys("2002-5-7").empty());
    EXPECT_TRUE(Notes().empty());
    CCalendarScanner().PurgeEnded(today, stop);
    EXPECT_EQ((std::vector<std::string>{running}), UnfinishedKeys("2002-5-8"));
}

// The result of writing the note was once ignored, and the save went ahead
// with nothing to clean it up after a crash.
TEST_F(UnfinishedSaves, ASaveThatCannotBeNotedIsNotMade) {
    // HKEY_LOCAL_MACHINE is the sandbox's key, so this is the user's key.
    WriteProtectedKey userKey("User");
    CAppointmentBatch batch;
    EXPECT_FALSE(File(batch, "2002-5-7", "Unprotected"));
    EXPECT_TRUE(batch.NoteFailed());
    EXPECT_EQ(ERROR_ACCESS_DENIED, batch.LastError());
    EXPECT_TRUE(Subkeys(kRoot + "\\2002-5-7").empty());
    EXPECT_FALSE(CCalendarRegistry().AddAppointment("2002-5-7", "2002-5-7", "2002-5-7", "New",
                                                    "EMail", 0, ""));
    EXPECT_TRUE(Subkeys(kRoot + "\\2002-5-7").empty());

    ScratchFiles files;
    const std::string path = files.Write(
        "one.ics", Calendar("BEGIN:VEVENT\nUID:1\nDTSTART;VALUE=DATE:20020601\nSUMMARY:One\n"
                            "END:VEVENT\n"));
    const ical::ImportOutcome outcome = CCalendarExchange().Import(path);
    EXPECT_TRUE(outcome.stopped);
    EXPECT_EQ(0u, outcome.filed);
    EXPECT_TRUE(Contains(ical::ImportReport(outcome),
                         "could not be written: the note that lets an interrupted save be "
                         "cleaned up could not be kept in HKEY_CURRENT_USER\\Software\\Quillmere"))
        << ical::ImportReport(outcome);
}

// An edit cut short at any step, then a start: the appointment is under its
// own key name with its old values whole or its new values whole, and nothing
// else of the edit is left. A reminder walk that comes first (another
// process) removes the unfinished key as debris, but never the old one
// waiting aside: the start then puts that back.
TEST_F(UnfinishedSaves, AnEditCutShortAtAnyStepLeavesTheOldOrTheNewAppointmentWhole) {
    const std::string day = "2002-5-7";
    ical::AppointmentValues before{"2002-5-1",
                                   "2002-5-9",
                                   "Dentist",
                                   "Others",
                                   1,
                                   "Old detail",
                                   {9 * 60, 30, 10, "Europe/Berlin"},
                                   {}};
    ical::AppointmentValues after{"2002-5-2",
                                  "2002-5-8",
                                  "Dentist moved",
                                  "EMail",
                                  0,
                                  "",
                                  {14 * 60 + 30, std::nullopt, 15, ""},
                                  {}};
    // The note, the key, the six values, two timed values, two renames, the
    // old key removed, the note removed.
    constexpr int kEditSteps = 14;
    // Once the old key has moved aside the new values are whole, and a start
    // finishes the swap; once the new key has the name, the edit is made.
    constexpr int kOldMoved = 11;
    constexpr int kSwapped = 12;
    for (int run = 0; run < 2 * (kEditSteps + 1); ++run) {
        const int cut = run % (kEditSteps + 1) + 1;
        const bool walkFirst = run > kEditSteps;
        CCalendarRegistry store;
        ASSERT_TRUE(
            store.AddAppointment(day, {"2002-5-1", "2002-5-2", "Beside", "Movie", 3, "", {}, {}}));
        ASSERT_TRUE(store.AddAppointment(day, before));
        std::vector<std::string> keys = Subkeys(kRoot + "\\" + day);
        ASSERT_EQ(2u, keys.size());
        ical::AppointmentValues read;
        const std::string edited =
            store.ReadAppointment(day, keys[1], read) && read.notes == "Dentist" ? keys[1]
                                                                                 : keys[0];
        s_cutAfter = cut;
        {
            CAppointmentBatch batch;
            EXPECT_EQ(cut >= kSwapped, batch.Replace(day, edited, after)) << cut;
        }
        s_cutAfter = 0;
        if (walkFirst)
            CCalendarScanner().CurrentNotes(today, stop);
        store.RemoveUnfinishedNew();
        EXPECT_EQ(keys, Subkeys(kRoot + "\\" + day)) << "after step " << cut;
        ASSERT_TRUE(store.ReadAppointment(day, edited, read)) << cut;
        const bool isNew = cut >= (walkFirst ? kSwapped : kOldMoved);
        EXPECT_EQ(isNew ? after : before, read) << "after step " << cut << " walk " << walkFirst;
        EXPECT_EQ(isNew ? 8u : 10u, ValueNames(kRoot + "\\" + day + "\\" + edited).size());
        EXPECT_TRUE(UserValueNames(kValueUnfinishedEdit).empty()) << cut;
        EXPECT_TRUE(Notes().empty()) << cut;
        for (const std::string& key : Subkeys(kRoot + "\\" + day))
            DeleteKey(kRoot + "\\" + day + "\\" + key);
    }

    // A write the registry refuses: the old values stay, and nothing is left.
    ASSERT_TRUE(CCalendarRegistry().AddAppointment(day, before));
    const std::string key = Subkeys(kRoot + "\\" + day)[0];
    {
        WriteProtectedKey protectedDay("SOFTWARE\\Calendar\\" + day);
        EXPECT_FALSE(CCalendarRegistry().ReplaceAppointment(day, key, after));
    }
    ical::AppointmentValues read;
    ASSERT_TRUE(CCalendarRegistry().ReadAppointment(day, key, read));
    EXPECT_EQ(before, read);
    EXPECT_EQ((std::vector<std::string>{key}), Subkeys(kRoot + "\\" + day));
    EXPECT_TRUE(UserValueNames(kValueUnfinishedEdit).empty());
    EXPECT_FALSE(CCalendarRegistry().ReplaceAppointment(day, "Appointment 1", after))
        << "no such appointment";
}

} // namespace
} // namespace qmtest
