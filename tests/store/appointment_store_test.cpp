#include "store/calendar_registry.h"
#include "tests/support/registry_sandbox.h"
#include "tests/support/window_testing.h"
#include "tests/support/write_protect.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

namespace qmtest {
namespace {

const std::string kDay = "SOFTWARE\\Calendar\\2002-5-7";

// What the store fills, in the order it filled it.
struct RecordingView : IAppointmentView {
    struct Row {
        std::string event;
        std::string notes;
        int eventIndex;
        bool operator==(const Row&) const = default;
    };
    std::vector<Row> rows;
    std::vector<std::string> shownDetails;

    void AppendAppointmentRow(const char* eventText, const char* notes, int eventIndex) override {
        rows.push_back({eventText, notes, eventIndex});
    }
    void ShowDetailNotes(const char* detailNotes) override { shownDetails.push_back(detailNotes); }

    std::vector<std::string> Notes() const {
        std::vector<std::string> notes;
        for (const Row& row : rows)
            notes.push_back(row.notes);
        return notes;
    }
};

// A fixed-size text field as it must be stored: the text, its NUL, zeros.
std::string Field(const std::string& text, size_t bytes) {
    std::string field = text;
    field.resize(bytes, '\0');
    return field;
}

std::string DwordBytes(DWORD value) {
    return std::string(reinterpret_cast<const char*>(&value), sizeof value);
}

std::vector<std::string> Sorted(std::vector<std::string> names) {
    std::sort(names.begin(), names.end());
    return names;
}

// The confirmation a Delete asks for before it deletes: the scripted answer,
// and how often it was asked.
struct Confirmation {
    bool answer = true;
    int asked = 0;
    std::function<bool()> Asker() {
        return [this] {
            ++asked;
            return answer;
        };
    }
};

class AppointmentStoreTest : public ::testing::Test {
protected:
    RegistrySandbox sandbox;
    FixedClock clock{2002, 5, 7, 9, 5, 3, 42};
    Confirmation confirm;
    CCalendarRegistry store;

    ModifyResult Delete(const std::string& dateText, const std::string& notes) {
        return store.ModifyAppointment(ModifyMode::Delete, dateText, notes, "", confirm.Asker());
    }
    RecordingView List(ListMode mode, const std::string& match, const std::string& dateText) {
        RecordingView view;
        store.ListAppointments(mode, match, dateText, view);
        return view;
    }
};

TEST_F(AppointmentStoreTest, AddWritesTheKeyPathAndSixValuesWithExactTypesAndSizes) {
    ASSERT_TRUE(store.AddAppointment("2002-5-7", "2002-5-1", "2002-5-31", "Dentist", "Others", 1,
                                     "Bring the card"));

    EXPECT_EQ(std::vector<std::string>{"2002-5-7"}, Subkeys("SOFTWARE\\Calendar"));
    EXPECT_TRUE(ValueNames(kDay).empty()) << "a date key holds no values";
    ASSERT_EQ(std::vector<std::string>{"Appointment 95342"}, Subkeys(kDay))
        << "09:05:03.042 names the key without separators or leading zeros";
    const std::string key = kDay + "\\Appointment 95342";
    EXPECT_EQ(Sorted({"DETAIL NOTES", "EVENT", "EVENT INDEX", "FROM", "NOTES", "TO"}),
              Sorted(ValueNames(key)));

    struct Expected {
        const char* name;
        DWORD type;
        std::string bytes;
    };
    const Expected expected[] = {
        {"FROM", REG_EXPAND_SZ, Field("2002-5-1", 11)},
        {"TO", REG_EXPAND_SZ, Field("2002-5-31", 11)},
        {"NOTES", REG_EXPAND_SZ, Field("Dentist", 500)},
        {"EVENT", REG_EXPAND_SZ, Field("Others", 10)},
        {"EVENT INDEX", REG_DWORD, DwordBytes(1)},
        {"DETAIL NOTES", REG_EXPAND_SZ, Field("Bring the card", 500)},
    };
    for (const Expected& value : expected) {
        const RawValue raw = ReadRaw(key, value.name);
        ASSERT_TRUE(raw.exists) << value.name;
        EXPECT_EQ(value.type, raw.type) << value.name;
        EXPECT_EQ(value.bytes.size(), raw.bytes.size()) << value.name;
        EXPECT_EQ(value.bytes, raw.bytes) << value.name;
    }

    // Midnight gives the shortest name.
    FixedClock::Set(2002, 5, 7, 0, 0, 0, 0);
    ASSERT_TRUE(store.AddAppointment("2002-5-7", "2002-5-7", "2002-5-7", "Early", "EMail", 0, ""));
    EXPECT_TRUE(KeyExists(kDay + "\\Appointment 0000"));
}

TEST_F(AppointmentStoreTest, NotesOf499CharactersAreStoredWholeAndLongerTextsAreRefused) {
    const std::string notes499(499, 'n');
    const std::string detail499(499, 'd');
    ASSERT_TRUE(
        store.AddAppointment("2002-5-7", "2002-5-7", "2002-5-7", notes499, "Movie", 3, detail499));
    const std::string key = kDay + "\\Appointment 95342";
    EXPECT_EQ(notes499 + '\0', ReadRaw(key, "NOTES").bytes);
    EXPECT_EQ(detail499 + '\0', ReadRaw(key, "DETAIL NOTES").bytes);
    RecordingView listed = List(ListMode::Fill, "", "2002-5-7");
    ASSERT_EQ(1u, listed.rows.size());
    EXPECT_EQ(notes499, listed.rows[0].notes);

    // Cutting the 500th character off would lose it without a word: the
    // store refuses such a text and writes nothing at all.
    FixedClock::Set(2002, 5, 7, 10, 0, 0, 0);
    EXPECT_FALSE(store.AddAppointment("2002-5-7", "2002-5-7", "2002-5-7", std::string(500, 'n'),
                                      "Movie", 3, ""));
    EXPECT_FALSE(store.AddAppointment("2002-5-7", "2002-5-7", "2002-5-7", "fits", "Movie", 3,
                                      std::string(500, 'd')));
    EXPECT_EQ(1u, Subkeys(kDay).size());

    EXPECT_EQ(ModifyResult::SaveFailed, store.ModifyAppointment(ModifyMode::SaveDetail, "2002-5-7",
                                                                notes499, std::string(500, 'x')));
    EXPECT_EQ(detail499 + '\0', ReadRaw(key, "DETAIL NOTES").bytes) << "left as it was";
}

TEST_F(AppointmentStoreTest, ClashingKeyNamesNeverOverwriteAnAppointment) {
    // Two appointments in the same millisecond.
    FixedClock::Set(2002, 5, 7, 1, 23, 45, 6);
    ASSERT_TRUE(store.AddAppointment("2002-5-7", "2002-5-7", "2002-5-7", "first", "EMail", 0, "a"));
    ASSERT_TRUE(
        store.AddAppointment("2002-5-7", "2002-5-7", "2002-5-7", "second", "EMail", 0, "b"));
    // 12:03:45.006 joins to the same digits as 1:23:45.006.
    FixedClock::Set(2002, 5, 7, 12, 3, 45, 6);
    ASSERT_TRUE(store.AddAppointment("2002-5-7", "2002-5-7", "2002-5-7", "third", "EMail", 0, "c"));

    const std::vector<std::string> names = Subkeys(kDay);
    ASSERT_EQ(3u, names.size());
    EXPECT_TRUE(KeyExists(kDay + "\\Appointment 123456"));
    for (const std::string& name : names)
        EXPECT_EQ(0u, name.rfind("Appointment ", 0)) << name;

    std::vector<std::string> stored;
    for (const std::string& name : names)
        stored.push_back(ReadRaw(kDay + "\\" + name, "NOTES").bytes.c_str());
    EXPECT_EQ(Sorted({"first", "second", "third"}), Sorted(stored));
}

TEST_F(AppointmentStoreTest, DataStoredByAnotherProgramReadsLikeOurOwn) {
    ASSERT_TRUE(store.AddAppointment("2002-5-7", "2002-5-1", "2002-5-9", "Trout", "Fishing", 2,
                                     "Lake at six"));
    const std::string ours = kDay + "\\Appointment 95342";
    const std::string theirs = PutAppointment("2002-5-8", "Appointment 77", "2002-5-1", "2002-5-9",
                                              "Trout", "Fishing", 2, "Lake at six");

    for (const char* name : {"FROM", "TO", "NOTES", "EVENT", "EVENT INDEX", "DETAIL NOTES"}) {
        const RawValue a = ReadRaw(ours, name);
        const RawValue b = ReadRaw(theirs, name);
        EXPECT_EQ(b.type, a.type) << name;
        EXPECT_EQ(b.bytes, a.bytes) << name;
    }
    EXPECT_EQ(List(ListMode::Fill, "", "2002-5-8").rows, List(ListMode::Fill, "", "2002-5-7").rows);
    EXPECT_EQ(List(ListMode::ShowDetail, "Trout", "2002-5-8").shownDetails,
              List(ListMode::ShowDetail, "Trout", "2002-5-7").shownDetails);
    EXPECT_EQ(std::vector<std::string>{"Lake at six"},
              List(ListMode::ShowDetail, "Trout", "2002-5-7").shownDetails);
}

TEST_F(AppointmentStoreTest, ListsTheDayInTheStoresOwnOrder) {
    PutAppointment("2002-5-7", "Appointment 3", "2002-5-7", "2002-5-7", "three", "Movie", 3);
    PutAppointment("2002-5-7", "Appointment 10", "2002-5-7", "2002-5-7", "ten", "Music", 4);
    PutAppointment("2002-5-7", "Appointment 2", "2002-5-7", "2002-5-7", "two", "Holiday", 5);
    // Filed under the 7th; its range covering the 8th does not list it there.
    PutAppointment("2002-5-7", "Appointment 4", "2002-5-1", "2002-5-31", "month", "EMail", 0);

    std::vector<std::string> expected;
    for (const std::string& name : Subkeys(kDay))
        expected.push_back(ReadRaw(kDay + "\\" + name, "NOTES").bytes.c_str());
    RecordingView view = List(ListMode::Fill, "", "2002-5-7");
    EXPECT_EQ(expected, view.Notes());
    ASSERT_EQ(4u, view.rows.size());
    const auto ten = std::find_if(view.rows.begin(), view.rows.end(),
                                  [](const RecordingView::Row& r) { return r.notes == "ten"; });
    ASSERT_NE(view.rows.end(), ten);
    EXPECT_EQ((RecordingView::Row{"Music", "ten", 4}), *ten);
    EXPECT_TRUE(view.shownDetails.empty());

    EXPECT_TRUE(List(ListMode::Fill, "", "2002-5-8").rows.empty());
}

TEST_F(AppointmentStoreTest, EqualNotesAreListedShownSavedAndDeletedByEnumerationOrder) {
    PutAppointment("2002-5-7", "Appointment 1", "2002-5-7", "2002-5-7", "Lunch", "EMail", 0, "A");
    PutAppointment("2002-5-7", "Appointment 2", "2002-5-7", "2002-5-7", "Lunch", "Others", 1, "B");
    PutAppointment("2002-5-7", "Appointment 3", "2002-5-7", "2002-5-7", "lunch", "Movie", 3, "c");
    const std::vector<std::string> order = Subkeys(kDay);
    ASSERT_EQ(3u, order.size());
    std::vector<std::string> lunchKeys; // the "Lunch" keys, in enumeration order
    for (const std::string& name : order)
        if (ReadRaw(kDay + "\\" + name, "NOTES").bytes.c_str() == std::string("Lunch"))
            lunchKeys.push_back(kDay + "\\" + name);
    ASSERT_EQ(2u, lunchKeys.size());
    const std::string laterDetail = ReadRaw(lunchKeys[1], "DETAIL NOTES").bytes.c_str();

    const std::vector<std::string> filled = List(ListMode::Fill, "", "2002-5-7").Notes();
    EXPECT_EQ(2, std::count(filled.begin(), filled.end(), "Lunch"));

    // Every match is shown in turn, so the later one stays; the match is exact.
    RecordingView shown = List(ListMode::ShowDetail, "Lunch", "2002-5-7");
    ASSERT_EQ(2u, shown.shownDetails.size());
    EXPECT_EQ(laterDetail, shown.shownDetails.back());
    EXPECT_EQ(std::vector<std::string>{"c"},
              List(ListMode::ShowDetail, "lunch", "2002-5-7").shownDetails);
    EXPECT_TRUE(List(ListMode::ShowDetail, "LUNCH", "2002-5-7").shownDetails.empty());

    EXPECT_EQ(ModifyResult::None,
              store.ModifyAppointment(ModifyMode::SaveDetail, "2002-5-7", "Lunch", "new text"));
    for (const std::string& key : lunchKeys) {
        const RawValue detail = ReadRaw(key, "DETAIL NOTES");
        EXPECT_EQ(static_cast<DWORD>(REG_EXPAND_SZ), detail.type);
        EXPECT_EQ(Field("new text", 500), detail.bytes) << key;
    }
    EXPECT_EQ(Field("c", 500), ReadRaw(kDay + "\\Appointment 3", "DETAIL NOTES").bytes)
        << "lunch is another appointment than Lunch";

    EXPECT_EQ(ModifyResult::Deleted, Delete("2002-5-7", "Lunch"));
    EXPECT_EQ(1, confirm.asked);
    EXPECT_FALSE(KeyExists(lunchKeys[0])) << "the first match in enumeration order goes";
    EXPECT_TRUE(KeyExists(lunchKeys[1]));
    EXPECT_TRUE(KeyExists(kDay + "\\Appointment 3"));
}

TEST_F(AppointmentStoreTest, AMissingDayListsNothingAndModifiesNothing) {
    PutAppointment("2002-5-6", "Appointment 1", "2002-5-6", "2002-5-6", "Lunch");
    RecordingView view;
    view.rows.push_back({"kept", "kept", 0});
    store.ListAppointments(ListMode::Fill, "", "2002-5-7", view);
    store.ListAppointments(ListMode::ShowDetail, "Lunch", "2002-5-7", view);
    EXPECT_EQ(1u, view.rows.size()) << "listing does not clear what is there";
    EXPECT_TRUE(view.shownDetails.empty());

    // Notes saved into nothing would be lost without a word: a failed save.
    EXPECT_EQ(ModifyResult::SaveFailed,
              store.ModifyAppointment(ModifyMode::SaveDetail, "2002-5-7", "Lunch", "x"));
    EXPECT_EQ(ModifyResult::SaveFailed,
              store.ModifyAppointment(ModifyMode::SaveDetail, "2002-5-6", "Dinner", "x"));
    EXPECT_EQ(ModifyResult::None, Delete("2002-5-7", "Lunch"));
    EXPECT_EQ(0, confirm.asked) << "nothing to confirm";
    EXPECT_FALSE(KeyExists(kDay)) << "no day key is made by modifying";
    EXPECT_EQ(ModifyResult::None, Delete("2002-5-6", "Dinner"));
    EXPECT_EQ(0, confirm.asked);
    EXPECT_EQ(Field("", 500),
              ReadRaw("SOFTWARE\\Calendar\\2002-5-6\\Appointment 1", "DETAIL NOTES").bytes);
}

TEST_F(AppointmentStoreTest, DeletingTheOnlyAppointmentLeavesAnEmptyDayKey) {
    PutAppointment("2002-5-7", "Appointment 1", "2002-5-7", "2002-5-7", "Lunch");
    EXPECT_EQ(ModifyResult::Deleted, Delete("2002-5-7", "Lunch"));
    EXPECT_TRUE(KeyExists(kDay));
    EXPECT_TRUE(Subkeys(kDay).empty());
    EXPECT_TRUE(List(ListMode::Fill, "", "2002-5-7").rows.empty());
}

TEST_F(AppointmentStoreTest, AnsweringNoLeavesEverythingAndAsksOnlyOnce) {
    const std::string first = PutAppointment("2002-5-7", "Appointment 1", "2002-5-7", "2002-5-7",
                                             "Lunch", "EMail", 0, "A");
    const std::string second = PutAppointment("2002-5-7", "Appointment 2", "2002-5-7", "2002-5-7",
                                              "Lunch", "EMail", 0, "B");
    confirm.answer = false;
    EXPECT_EQ(ModifyResult::Declined, Delete("2002-5-7", "Lunch"));
    EXPECT_EQ(1, confirm.asked) << "No ends the operation; the second match is not offered";
    EXPECT_TRUE(KeyExists(first));
    EXPECT_TRUE(KeyExists(second));
    EXPECT_EQ(6u, ValueNames(first).size());
    EXPECT_EQ(Field("A", 500), ReadRaw(first, "DETAIL NOTES").bytes);
}

TEST_F(AppointmentStoreTest, AFailedDeletionReportsTwoAndKeepsTheKey) {
    // A key with a subkey of its own (put there from outside) cannot be
    // deleted as a leaf.
    const std::string key =
        PutAppointment("2002-5-7", "Appointment 1", "2002-5-7", "2002-5-7", "Lunch");
    CreateKey(key + "\\extra");
    EXPECT_EQ(ModifyResult::DeleteFailed, Delete("2002-5-7", "Lunch"));
    EXPECT_TRUE(KeyExists(key));
}

TEST_F(AppointmentStoreTest, WriteFailuresAreReportedNotTakenForSuccess) {
    const std::string locked = PutAppointment("2002-5-7", "Appointment 1", "2002-5-7", "2002-5-7",
                                              "Lunch", "EMail", 0, "A");
    const std::string open = PutAppointment("2002-5-7", "Appointment 2", "2002-5-7", "2002-5-7",
                                            "Lunch", "EMail", 0, "B");
    {
        WriteProtectedKey readOnly(locked);
        EXPECT_EQ(ModifyResult::SaveFailed,
                  store.ModifyAppointment(ModifyMode::SaveDetail, "2002-5-7", "Lunch", "new"));
    }
    EXPECT_EQ(Field("A", 500), ReadRaw(locked, "DETAIL NOTES").bytes);
    EXPECT_EQ(Field("new", 500), ReadRaw(open, "DETAIL NOTES").bytes)
        << "the other match is still saved";

    {
        // No write access to the store's tree.
        WriteProtectedKey readOnly("SOFTWARE\\Calendar");
        EXPECT_FALSE(store.AddAppointment("2002-6-1", "2002-6-1", "2002-6-1", "x", "EMail", 0, ""));
    }
    EXPECT_FALSE(KeyExists("SOFTWARE\\Calendar\\2002-6-1"));
}

TEST_F(AppointmentStoreTest, MalformedStoredValuesListWithoutHarm) {
    const std::string key = kDay + "\\Appointment 1";
    SetText(key, "EVENT", std::string(64 * 1024, 'E'), REG_EXPAND_SZ, 64 * 1024); // no NUL
    SetDword(key, "NOTES", 7);
    const char eightBytes[8] = {1, 0, 0, 0, 0, 0, 0, 0};
    SetBytes(key, "EVENT INDEX", REG_DWORD, eightBytes, sizeof eightBytes);
    SetText(key, "DETAIL NOTES", std::string(3000, 'd'), REG_SZ);

    RecordingView view = List(ListMode::Fill, "", "2002-5-7");
    ASSERT_EQ(1u, view.rows.size());
    EXPECT_EQ(std::string(9, 'E'), view.rows[0].event) << "cut to the 10-byte field";
    EXPECT_EQ("", view.rows[0].notes) << "a number is no notes text";
    EXPECT_EQ(-1, view.rows[0].eventIndex) << "an 8-byte index names no picture";

    RecordingView shown = List(ListMode::ShowDetail, "", "2002-5-7");
    ASSERT_EQ(1u, shown.shownDetails.size());
    EXPECT_EQ(std::string(499, 'd'), shown.shownDetails[0]);
}

} // namespace
} // namespace qmtest
