// The values of repeating appointments read from the registry as another
// program left them: the malformed-data fixture series_values.reg, whose
// NOTES say what each appointment's values read as and how it repeats.
#include "ical/series.h"
#include "store/calendar_registry.h"
#include "store/series_registry.h"
#include "store/series_values.h"
#include "tests/support/registry_fixture.h"
#include "tests/support/registry_sandbox.h"

#include <gtest/gtest.h>

#include <string>

namespace qmtest {
namespace {

const std::string kRoot = "SOFTWARE\\Calendar";

SeriesValues ReadAt(const std::string& path) {
    fw::unique_hkey key;
    EXPECT_EQ(ERROR_SUCCESS, OpenMachineKey(path, KEY_READ, key, false)) << path;
    return key ? ReadSeriesValues(key.get()) : SeriesValues{};
}

CalendarDate StoredDate(const std::string& path, const char* name) {
    CalendarDate date;
    EXPECT_TRUE(ParseDateText(ReadRaw(path, name).bytes.c_str(), date)) << path << " " << name;
    return date;
}

// What the NOTES of the fixture's appointments say, worked out.
std::string Described(const std::string& path) {
    const SeriesValues values = ReadAt(path);
    const CalendarDate from = StoredDate(path, "FROM");
    const ical::Series series(from, StoredDate(path, "TO"), values);
    const char* kinds[] = {"NONE", "RULE", "UNFOLLOWED"};
    std::string text = std::string("REPEAT=") + kinds[static_cast<int>(values.repeatKind)] +
                       " SKIP=" + std::to_string(values.skipDates.size()) +
                       " UID=" + (values.uid.empty() ? "-" : values.uid);

    ical::WorkBudget budget(ical::kSeriesWork);
    const ical::SeriesEnd end = series.LastEnd(budget);
    text += " LAST=";
    if (end.kind == ical::SeriesEndKind::Never)
        text += "never";
    else
        text +=
            (end.kind == ical::SeriesEndKind::AtLatest ? "by " : "") + FormatDateText(end.lastDay);

    std::string next = "-";
    ical::WorkBudget nextBudget(ical::kSeriesWork);
    series.OccurrencesOverlapping(NextDay(from), {from.year + 50, from.month, 1}, nextBudget,
                                  [&](const CalendarDate& start) {
                                      if (next == "-" && CompareDates(start, from) > 0)
                                          next = FormatDateText(start);
                                  });
    EXPECT_FALSE(nextBudget.Exhausted()) << path;
    return text + " NEXT=" + next;
}

TEST(SeriesValuesStored, EachAppointmentOfTheCorpusReadsAndRepeatsAsItsNotesSay) {
    RegistrySandbox registry;
    const EmbeddedFixture* fixture = FindMalformedFixture("series_values.reg");
    ASSERT_NE(nullptr, fixture);
    ASSERT_TRUE(ImportRegFixture(fixture->name, fixture->text).ok);
    int checked = 0;
    for (const std::string& day : Subkeys(kRoot)) {
        for (const std::string& name : Subkeys(kRoot + "\\" + day)) {
            const std::string path = kRoot + "\\" + day + "\\" + name;
            const std::string notes = ReadRaw(path, "NOTES").bytes.c_str();
            EXPECT_EQ(notes.substr(0, notes.find(" (")), Described(path)) << path;
            ++checked;
        }
    }
    EXPECT_EQ(18, checked);
}

// A save leaves exactly the values it was given, except a REPEAT that is not
// followed, which stays as it was stored, however large.
TEST(SeriesValuesStored, WritingLeavesTheGivenValuesAndAnUnfollowedRuleAsStored) {
    RegistrySandbox registry;
    const std::string path = kRoot + "\\2027-3-1\\Appointment 1";
    fw::unique_hkey key;
    ASSERT_EQ(ERROR_SUCCESS, OpenMachineKey(path, KEY_READ | KEY_WRITE, key, true));
    const SeriesValues weekly{
        RepeatKind::Rule, "FREQ=WEEKLY;BYDAY=MO", {{2027, 3, 8}, {2027, 3, 15}}, "w@example.com"};
    ASSERT_TRUE(WriteSeriesValues(key.get(), weekly));
    EXPECT_EQ(weekly, ReadAt(path));
    EXPECT_EQ(std::u16string(u"20270308,20270315"), ReadWide(path, kSkipDatesValueName).c_str());
    ASSERT_TRUE(WriteSeriesValues(key.get(), SeriesValues{}));
    for (const char* name : {kRepeatValueName, kSkipDatesValueName, kUidValueName})
        EXPECT_FALSE(ReadRaw(path, name).exists) << name;

    SetDword(path, kRepeatValueName, 7);
    SeriesValues read = ReadAt(path);
    EXPECT_EQ(RepeatKind::Unfollowed, read.repeatKind);
    read.uid = "changed@example.com";
    ASSERT_TRUE(WriteSeriesValues(key.get(), read));
    EXPECT_EQ(REG_DWORD, ReadRaw(path, kRepeatValueName).type);
    EXPECT_EQ(read, ReadAt(path));

    const std::string huge = "FREQ=DAILY" + std::string(kMaxSeriesValueBytes, ';');
    SetText(path, kRepeatValueName, huge, REG_SZ);
    EXPECT_EQ(RepeatKind::Unfollowed, ReadAt(path).repeatKind);
    ASSERT_TRUE(WriteSeriesValues(key.get(), ReadAt(path)));
    EXPECT_EQ(huge.size() + 1, ReadWide(path, kRepeatValueName).size());
}

// A series saved, read back whole and edited: an edit writes the rule it is
// given, drops the one it leaves out, and keeps what it does not know of (a
// rule outside the set, a value a newer version wrote).
TEST(SeriesValuesStored, AnEditChangesTheRuleItOwnsAndKeepsWhatItDoesNotKnow) {
    RegistrySandbox registry;
    CCalendarRegistry store;
    ical::AppointmentValues weekly{"2027-3-1", "2027-3-1", "Class", "Others", 1, "Room 4", {}, {}};
    weekly.series = {RepeatKind::Rule, "FREQ=WEEKLY;BYDAY=MO", {{2027, 3, 8}}, "c@example.com"};
    std::string name;
    ASSERT_TRUE(store.AddAppointment("2027-3-1", weekly, &name));
    ical::AppointmentValues read;
    ASSERT_TRUE(store.ReadAppointment("2027-3-1", name, read));
    EXPECT_EQ(weekly, read);

    const std::string path = kRoot + "\\2027-3-1\\" + name;
    SetText(path, "X-NEWER", "kept", REG_SZ);
    read.series.repeat = "FREQ=WEEKLY;BYDAY=MO,WE;COUNT=10";
    read.series.skipDates.clear();
    ASSERT_TRUE(store.ReplaceAppointment("2027-3-1", name, read));
    ical::AppointmentValues edited;
    ASSERT_TRUE(store.ReadAppointment("2027-3-1", name, edited));
    EXPECT_EQ(read, edited);
    EXPECT_FALSE(ReadRaw(path, kSkipDatesValueName).exists);
    EXPECT_EQ("kept", std::string(ReadRaw(path, "X-NEWER").bytes.c_str()));

    SetText(path, kRepeatValueName, "FREQ=HOURLY", REG_SZ);
    ASSERT_TRUE(store.ReadAppointment("2027-3-1", name, read));
    ASSERT_EQ(RepeatKind::Unfollowed, read.series.repeatKind);
    read.notes = "Class moved";
    ASSERT_TRUE(store.ReplaceAppointment("2027-3-1", name, read));
    EXPECT_EQ(std::u16string(u"FREQ=HOURLY"), ReadWide(path, kRepeatValueName).c_str());

    read.series = {};
    ASSERT_TRUE(store.ReplaceAppointment("2027-3-1", name, read));
    for (const char* value : {kRepeatValueName, kSkipDatesValueName, kUidValueName})
        EXPECT_FALSE(ReadRaw(path, value).exists) << value;
    EXPECT_TRUE(ReadRaw(path, "X-NEWER").exists);
}

} // namespace
} // namespace qmtest
