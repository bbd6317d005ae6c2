// Every read path of the program over stored data it did not write: the
// malformed-data corpus of tests/fixtures/malformed, one test per fixture.
#include "calendar/appointment_time.h"
#include "calendar/date_text.h"
#include "res/resource.h"
#include "store/calendar_registry.h"
#include "store/system_time.h"
#include "tests/app/calendar_test_window.h"
#include "tests/support/registry_fixture.h"
#include "tray/reminder_lines.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <iostream>
#include <map>
#include <string>
#include <vector>

namespace qmtest {
namespace {

const std::string kRoot = "SOFTWARE\\Calendar";
constexpr int kEventImages = 6;
// Trees larger than this are compared by their keys only: reading every
// value of 10,000 days after each step would take minutes under Wine.
constexpr size_t kFullCompareKeys = 1000;
// A day view with more rows exercises the first two and the last only.
constexpr int kAllRowsUpTo = 12;
constexpr int kDeletesPerDay = 4;

struct StoredValue {
    DWORD type = REG_NONE;
    std::string bytes;
    bool operator==(const StoredValue&) const = default;
};
// Every key below the root (full path from HKEY_LOCAL_MACHINE), with its
// values when the tree is small enough to compare whole.
using Snapshot = std::map<std::string, std::map<std::string, StoredValue>>;

void ReadValues(HKEY key, std::map<std::string, StoredValue>& values) {
    std::vector<char> name(16384);
    std::vector<BYTE> data(1 << 17);
    for (DWORD i = 0;; ++i) {
        DWORD nameLength = static_cast<DWORD>(name.size());
        DWORD size = static_cast<DWORD>(data.size());
        DWORD type = REG_NONE;
        if (RegEnumValueA(key, i, name.data(), &nameLength, nullptr, &type, data.data(), &size) !=
            ERROR_SUCCESS)
            return;
        values[std::string(name.data(), nameLength)] = {
            type, std::string(reinterpret_cast<const char*>(data.data()), size)};
    }
}

void Collect(const std::string& path, bool withValues, Snapshot& snapshot, int depth = 8) {
    fw::unique_hkey key;
    if (OpenMachineKey(path, KEY_READ, key, false) != ERROR_SUCCESS)
        return;
    auto& values = snapshot[path];
    if (withValues)
        ReadValues(key.get(), values);
    if (depth == 0)
        return;
    for (const std::string& child : Subkeys(path))
        Collect(path + "\\" + child, withValues, snapshot, depth - 1);
}

Snapshot Take(bool withValues) {
    Snapshot snapshot;
    Collect(kRoot, withValues, snapshot);
    return snapshot;
}

Snapshot Without(Snapshot snapshot, const std::set<std::string>& removed) {
    for (const std::string& path : removed)
        snapshot.erase(path);
    return snapshot;
}

// The keys in which two snapshots differ, for a readable failure.
std::string Differences(const Snapshot& expected, const Snapshot& actual) {
    std::string text;
    for (const auto& [path, values] : expected) {
        auto it = actual.find(path);
        if (it == actual.end())
            text += "\n  gone: " + path;
        else if (it->second != values)
            text += "\n  changed: " + path;
    }
    for (const auto& entry : actual)
        if (!expected.count(entry.first))
            text += "\n  new: " + entry.first;
    return text;
}

// The picture a row must show: the stored index when it is a 4-byte
// REG_DWORD naming one of the six, else -1 for "no picture or the first".
int ExpectedImage(const RawValue& raw) {
    if (!raw.exists || raw.type != REG_DWORD || raw.bytes.size() != 4)
        return -1;
    const auto index = static_cast<int>(*reinterpret_cast<const DWORD*>(raw.bytes.data()));
    return index >= 0 && index < kEventImages ? index : -1;
}

// One appointment of a day as the window must show it.
struct ExpectedRow {
    std::string path;
    std::string event;
    std::string notes;
    std::string detail;
    int image = -1;
    int minuteOfDay = -1; // -1: all day
};

// The time a stored TIME gives: an "HH:MM" text with its NUL, else all day.
int ExpectedMinute(const std::string& path) {
    const RawValue raw = ReadRaw(path, "TIME");
    if (!raw.exists || (raw.type != REG_SZ && raw.type != REG_EXPAND_SZ))
        return -1;
    const std::u16string wide = ReadWide(path, "TIME");
    const size_t end = wide.find(u'\0');
    if (end == std::u16string::npos || wide.find_first_not_of(u'\0', end) != std::u16string::npos)
        return -1;
    std::string text;
    for (size_t i = 0; i < end; ++i)
        text.push_back(wide[i] < 0x80 ? static_cast<char>(wide[i]) : '?');
    return ParseTimeOfDay(text).value_or(-1);
}

std::vector<ExpectedRow> ExpectedRows(const std::string& day) {
    std::vector<ExpectedRow> rows;
    const std::string dayPath = kRoot + "\\" + day;
    for (const std::string& name : Subkeys(dayPath)) {
        ExpectedRow row;
        row.path = dayPath + "\\" + name;
        row.event = ExpectedStoredText(ReadRaw(row.path, "EVENT"), kEventFieldBytes);
        row.notes = ExpectedStoredText(ReadRaw(row.path, "NOTES"), kNotesFieldBytes);
        row.detail = ExpectedStoredText(ReadRaw(row.path, "DETAIL NOTES"), kNotesFieldBytes);
        row.image = ExpectedImage(ReadRaw(row.path, "EVENT INDEX"));
        row.minuteOfDay = ExpectedMinute(row.path);
        if (row.minuteOfDay >= 0)
            row.notes = FormatTimeOfDay(row.minuteOfDay) + " " + row.notes;
        rows.push_back(row);
    }
    // All day first in the store's order, then by time.
    std::stable_sort(rows.begin(), rows.end(), [](const ExpectedRow& a, const ExpectedRow& b) {
        return a.minuteOfDay < b.minuteOfDay;
    });
    return rows;
}

std::string Padded(const std::string& text, size_t size) {
    std::string field = text;
    field.resize(size, '\0');
    return field;
}

std::vector<std::string> FixtureNames() {
    std::vector<std::string> names;
    for (const EmbeddedFixture& fixture : MalformedFixtures())
        names.push_back(fixture.name);
    return names;
}

class MalformedDataTest : public CalendarWindowTest,
                          public ::testing::WithParamInterface<std::string> {
protected:
    FixtureInfo info;
    bool full = true;

    void SetUp() override {
        const EmbeddedFixture* fixture = FindMalformedFixture(GetParam());
        ASSERT_NE(nullptr, fixture);
        const auto start = std::chrono::steady_clock::now();
        info = ImportRegFixture(fixture->name, fixture->text);
        ASSERT_TRUE(info.ok) << "the fixture must import whole";
        full = Take(false).size() <= kFullCompareKeys;
        Timed("import", start);
    }

    Snapshot Now() const { return Take(full); }
    // What a command on one day may change: the whole tree when it is small,
    // else the days' names and that day's keys.
    Snapshot NowAround(const std::string& day) const {
        if (full)
            return Take(true);
        Snapshot snapshot;
        Collect(kRoot, false, snapshot, 1);
        Collect(kRoot + "\\" + day, false, snapshot);
        return snapshot;
    }

    // Steps must finish in seconds even over 10,000 days; the bound only
    // catches a runaway (say, quadratic) walk, not a slow machine.
    void Timed(const char* step, std::chrono::steady_clock::time_point start) {
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                            std::chrono::steady_clock::now() - start)
                            .count();
        std::cout << "[ timing   ] " << GetParam() << ", " << step << ": " << ms << " ms\n";
        EXPECT_LT(ms, 120000) << step << " took " << ms << " ms";
    }

    // The fixture's days that the calendar can select: those named as the
    // program names a day.
    std::vector<SYSTEMTIME> ShowableDays() const {
        std::vector<SYSTEMTIME> days;
        for (const std::string& day : info.days) {
            CalendarDate date{};
            if (ParseDateText(day.c_str(), date) && FormatDateText(date) == day)
                days.push_back(ToSystemTime(date));
        }
        return days;
    }

    void PickDate(const SYSTEMTIME& date) {
        SendMessageA(Item(IDC_MONTHCAL), MCM_SETCURSEL, 0, reinterpret_cast<LPARAM>(&date));
        SendNotify(Hwnd(), IDC_MONTHCAL, MCN_SELCHANGE);
        PumpMessages();
    }
    void SelectRow(int row) {
        dlg->List().SetItemState(-1, 0, LVIS_SELECTED);
        dlg->List().SetItemState(row, LVIS_SELECTED, LVIS_SELECTED);
        PumpMessages();
    }
    std::string NotesBox() const {
        std::vector<char> text(1 << 17, '\0');
        GetDlgItemTextA(Hwnd(), IDC_DETAIL_NOTES, text.data(), static_cast<int>(text.size()));
        return text.data();
    }
    std::vector<int> RowsToExercise(int count) const {
        if (count <= kAllRowsUpTo) {
            std::vector<int> all;
            for (int row = 0; row < count; ++row)
                all.push_back(row);
            return all;
        }
        return {0, 1, count - 1};
    }

    // The list shows every appointment of the day in the store's order, each
    // text cut within its field and each picture one of the six or none.
    void CheckRows(const std::string& day, const std::vector<ExpectedRow>& expected) {
        const int count = dlg->List().GetItemCount();
        ASSERT_EQ(static_cast<int>(expected.size()), count) << "rows of " << day;
        for (int row = 0; row < count; ++row) {
            const ExpectedRow& want = expected[static_cast<size_t>(row)];
            EXPECT_EQ(want.event, dlg->List().GetItemText(row, 0))
                << "Event column of " << want.path;
            EXPECT_EQ(want.notes, dlg->List().GetItemText(row, 1))
                << "Notes column of " << want.path;
            const int image = dlg->List().GetItemImage(row);
            if (want.image >= 0)
                EXPECT_EQ(want.image, image) << "picture of " << want.path;
            else
                EXPECT_TRUE(image == I_IMAGENONE || image == 0)
                    << "an index naming no picture shows " << image << " for " << want.path;
        }
    }

    // Selecting a row shows the detailed notes of the last appointment with
    // its notes; Save Notes writes the box into every such appointment of the
    // day and nowhere else.
    void ShowAndSave(const SYSTEMTIME& date) {
        const std::string day = FormatDateText(date);
        std::vector<ExpectedRow> expected = ExpectedRows(day);
        const auto start = std::chrono::steady_clock::now();
        PickDate(date);
        Timed(("listing " + day).c_str(), start);
        CheckRows(day, expected);
        std::chrono::steady_clock::duration selecting{}, saving{};
        const std::vector<int> rows = RowsToExercise(static_cast<int>(expected.size()));
        for (int row : rows) {
            const std::string& notes = expected[static_cast<size_t>(row)].notes;
            std::string shown;
            for (const ExpectedRow& other : expected)
                if (other.notes == notes)
                    shown = other.detail;
            auto start = std::chrono::steady_clock::now();
            SelectRow(row);
            selecting += std::chrono::steady_clock::now() - start;
            EXPECT_EQ(shown, NotesBox()) << "detailed notes for row " << row << " of " << day;

            const Snapshot before = NowAround(day);
            Snapshot after = before;
            const std::string typed = "saved " + std::to_string(row);
            for (const ExpectedRow& other : expected)
                if (other.notes == notes && full)
                    after[other.path]["DETAIL NOTES"] = {REG_EXPAND_SZ,
                                                         Padded(typed, kNotesFieldBytes)};
            SetDlgItemTextA(Hwnd(), IDC_DETAIL_NOTES, typed.c_str());
            start = std::chrono::steady_clock::now();
            Command(IDC_SAVE_NOTES);
            saving += std::chrono::steady_clock::now() - start;
            const Snapshot now = NowAround(day);
            EXPECT_TRUE(after == now)
                << "Save Notes on row " << row << " of " << day << Differences(after, now);
            for (ExpectedRow& other : expected) {
                if (other.notes != notes)
                    continue;
                EXPECT_EQ(Padded(typed, kNotesFieldBytes),
                          ReadRaw(other.path, "DETAIL NOTES").bytes)
                    << other.path;
                other.detail = typed;
            }
        }
        const auto now = std::chrono::steady_clock::now();
        const std::string rowsOf = " of " + std::to_string(rows.size()) + " rows of " + day;
        Timed(("selecting" + rowsOf).c_str(), now - selecting);
        Timed(("Save Notes" + rowsOf).c_str(), now - saving);
    }

    // Delete removes the first appointment with the row's notes, or, when
    // that key cannot go as a leaf, says so and changes nothing.
    void DeleteSome(const SYSTEMTIME& date) {
        const std::string day = FormatDateText(date);
        for (int step = 0; step < kDeletesPerDay; ++step) {
            PickDate(date);
            const std::vector<ExpectedRow> expected = ExpectedRows(day);
            const int count = dlg->List().GetItemCount();
            ASSERT_EQ(static_cast<int>(expected.size()), count) << day;
            if (count == 0)
                return;
            const int row = count - 1 - step % count;
            const std::string& notes = expected[static_cast<size_t>(row)].notes;
            std::string target;
            for (const ExpectedRow& other : expected)
                if (target.empty() && other.notes == notes)
                    target = other.path;
            const bool leaf = Subkeys(target).empty();

            const Snapshot before = NowAround(day);
            const size_t boxesBefore = boxes.Count();
            SelectRow(row);
            boxes.Answer(IDYES);
            if (!leaf)
                boxes.Answer(IDOK);
            const auto start = std::chrono::steady_clock::now();
            SendMessageA(Hwnd(), WM_COMMAND, MAKEWPARAM(ID_LIST_DELETE, 0), 0);
            PumpMessages();
            Timed(("Delete on " + day).c_str(), start);
            const Snapshot now = NowAround(day);
            ASSERT_EQ(boxesBefore + (leaf ? 1 : 2), boxes.Count()) << "Delete on " << target;
            if (leaf) {
                const Snapshot want = Without(before, {target});
                EXPECT_TRUE(want == now) << "Delete on " << target << Differences(want, now);
                EXPECT_EQ(count - 1, dlg->List().GetItemCount());
            } else {
                EXPECT_EQ("Unable to delete appointment", boxes.Last().text) << target;
                EXPECT_TRUE(before == now)
                    << "failed Delete on " << target << Differences(before, now);
            }
        }
    }
};

TEST_P(MalformedDataTest, EveryReadPathKeepsToItsBuffersAndDeletesOnlyWhatItShould) {
    // Start-up reads the options (and purges when they say so) and lists
    // today.
    const Snapshot stored = Now();
    auto start = std::chrono::steady_clock::now();
    Open();
    Timed("start-up", start);
    EXPECT_EQ(info.minutes, dlg->ReminderMinutes());
    EXPECT_EQ(info.splash, dlg->CountOf("splash"));
    const Snapshot started = Now();
    const Snapshot wantStarted = info.purgeAtStartUp == 1 ? Without(stored, info.purged) : stored;
    EXPECT_TRUE(wantStarted == started) << "start-up" << Differences(wantStarted, started);

    // The day view: listing, detailed notes and Save Notes.
    start = std::chrono::steady_clock::now();
    for (const SYSTEMTIME& day : ShowableDays())
        ShowAndSave(day);
    Timed("day view", start);

    // The reminder scan reads without writing; its lines are stored notes.
    const Snapshot beforeScan = Now();
    start = std::chrono::steady_clock::now();
    const std::vector<std::string> lines = dlg->Reminders().CurrentNotes();
    Timed("reminder scan", start);
    EXPECT_EQ(static_cast<size_t>(info.reminded), lines.size()) << "reminder lines";
    for (const std::string& line : lines) {
        EXPECT_LE(line.size(), kMaxNotesLength);
        EXPECT_FALSE(line.empty()) << "a reminder of nothing";
    }
    EXPECT_TRUE(beforeScan == Now()) << "the reminder scan changed the store";

    // The same scan on a real reminder thread: the pop-up opens on the first
    // line when there is one, and the thread ends once it is closed.
    dlg->runRealReminder = true;
    Command(ID_TRAY_SHOW_REMINDER);
    if (!lines.empty()) {
        ASSERT_TRUE(PumpUntil([this] { return dlg->ReminderWindow() != nullptr; }, 60000));
        char text[1024] = {};
        GetDlgItemTextA(dlg->ReminderWindow(), IDC_REMINDER_TEXT, text, sizeof text);
        EXPECT_EQ(NumberedReminderLine(0, CutReminderLine(lines[0])), std::string(text));
        PostMessageA(dlg->ReminderWindow(), WM_CLOSE, 0, 0);
    }
    ASSERT_TRUE(PumpUntil([this] { return dlg->ActiveReminderThreads() == 0; }, 60000));
    EXPECT_EQ(0, dlg->IsReminderBusy());
    dlg->runRealReminder = false;

    // The purge deletes exactly the appointments whose range it read and
    // found ended; nothing it cannot read, nothing outside a day.
    const Snapshot beforePurge = Now();
    start = std::chrono::steady_clock::now();
    dlg->Timing().PurgeOutdated();
    Timed("purge", start);
    const Snapshot purged = Now();
    const Snapshot wantPurged = Without(beforePurge, info.purged);
    EXPECT_TRUE(wantPurged == purged) << "purge" << Differences(wantPurged, purged);

    // Delete, on what the purge left.
    for (const SYSTEMTIME& day : ShowableDays())
        DeleteSome(day);
}

// Wine takes key names of 256 characters, one more than Windows allows (the
// registry there refuses them, and the test is skipped). Every walk passes
// such a name over and goes on with the keys after it.
TEST_F(CalendarWindowTest, KeyNamesTooLongForTheNameBufferArePassedOver) {
    const std::string overlong(256, 'z');
    const std::string day = kRoot + "\\2002-5-7";
    CreateKey(day);
    fw::unique_hkey dayKey, longKey, longDay;
    ASSERT_EQ(ERROR_SUCCESS, OpenMachineKey(day, KEY_ALL_ACCESS, dayKey, false));
    if (RegCreateKeyExA(dayKey.get(), overlong.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        longKey.put(), nullptr) != ERROR_SUCCESS)
        GTEST_SKIP() << "the registry refuses names over 255 characters";
    const char ended[] = "2002-4-1";
    RegSetValueExA(longKey.get(), "FROM", 0, REG_SZ, reinterpret_cast<const BYTE*>(ended),
                   sizeof ended);
    RegSetValueExA(longKey.get(), "TO", 0, REG_SZ, reinterpret_cast<const BYTE*>(ended),
                   sizeof ended);
    fw::unique_hkey root;
    ASSERT_EQ(ERROR_SUCCESS, OpenMachineKey(kRoot, KEY_ALL_ACCESS, root, false));
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(root.get(), overlong.c_str(), 0, nullptr, 0,
                                             KEY_ALL_ACCESS, nullptr, longDay.put(), nullptr));
    // The store's order sorts the names: "Appointment 1" < "zzz..." < "~...".
    PutAppointment("2002-5-7", "Appointment 1", "2002-5-7", "2002-5-7", "before");
    PutAppointment("2002-5-7", "~ after", "2002-5-7", "2002-5-7", "after");
    PutAppointment("2002-5-7", "~~ ended", "2002-4-1", "2002-4-2", "ended");
    PutAppointment("~", "Appointment 1", "2002-5-7", "2002-5-7", "below a later key");

    Open();
    EXPECT_EQ(
        (std::vector<std::string>{"before", "after", "ended"}),
        (std::vector<std::string>{dlg->List().GetItemText(0, 1), dlg->List().GetItemText(1, 1),
                                  dlg->List().GetItemText(2, 1)}));
    EXPECT_EQ(3, dlg->List().GetItemCount());
    EXPECT_EQ((std::vector<std::string>{"before", "after", "below a later key"}),
              dlg->Reminders().CurrentNotes());
    dlg->Timing().PurgeOutdated();
    EXPECT_FALSE(KeyExists(day + "\\~~ ended")) << "the walk went on past the long name";
    EXPECT_TRUE(KeyExists(day + "\\" + overlong)) << "a name the walk cannot read stays";
}

INSTANTIATE_TEST_SUITE_P(Corpus, MalformedDataTest, ::testing::ValuesIn(FixtureNames()),
                         [](const ::testing::TestParamInfo<std::string>& param) {
                             std::string name = param.param.substr(0, param.param.find('.'));
                             for (char& c : name)
                                 if (!isalnum(static_cast<unsigned char>(c)))
                                     c = '_';
                             return name;
                         });

} // namespace
} // namespace qmtest
