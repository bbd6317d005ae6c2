#include "store/calendar_exchange.h"
#include "store/calendar_registry.h"
#include "store/registry_value.h"
#include "store/series_registry.h"
#include "store/timed_registry.h"
#include "store/user_values.h"
#include "tests/support/ics_text.h"
#include "tests/support/registry_sandbox.h"
#include "tests/support/scratch_files.h"
#include "tests/support/window_testing.h"
#include "tests/support/write_protect.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace qmtest {
namespace {

const std::string kRoot = "SOFTWARE\\Calendar";

std::string Event(const std::string& body) {
    return "BEGIN:VEVENT\n" + body + "END:VEVENT\n";
}

// Gives a stored appointment a time, an alert or a zone, as a save writes them.
void PutTime(const std::string& day, const std::string& key, const TimedValues& time) {
    fw::unique_hkey appointment;
    ASSERT_EQ(ERROR_SUCCESS,
              OpenMachineKey(kRoot + "\\" + day + "\\" + key, KEY_SET_VALUE, appointment, false));
    ASSERT_TRUE(WriteTimedValues(appointment.get(), time));
}

// The values that say which event an imported appointment came from and
// which version of it: the UID an appointment without one is exported with,
// and the file's stamp.
const std::vector<std::string> kImportIdentity = {"UID", "STAMP", "SEQUENCE"};
const std::vector<std::string> kImportVersion = {"STAMP", "SEQUENCE"};

// Imports and exports over a scratch store on 7 May 2002 at noon, to files
// of the test's own in the temporary folder.
class CalendarExchangeTest : public ::testing::Test {
protected:
    RegistrySandbox sandbox;
    FixedClock clock{2002, 5, 7};
    CCalendarExchange exchange;
    ScratchFiles files;
};

TEST_F(CalendarExchangeTest, ExportThenImportIntoAnEmptyStoreGivesBackEveryValue) {
    const std::string longDetail =
        Crlf(std::string(240, 'd') + "\n; a, b\\c\n" + std::string(247, 'e'));
    ASSERT_EQ(499u, longDetail.size());
    PutAppointment("2002-5-7", "Appointment 1", "2002-5-7", "2002-5-7",
                   "Lunch with Anna, then the bank; back at 3", "EMail", 0,
                   Crlf("Bring:\n- the forms\n- C:\\Users\\anna\\tax.pdf"));
    // Two equal appointments of one day stay two.
    PutAppointment("2002-5-7", "Appointment 2", "2002-5-1", "2002-5-31", "Tea", "Others", 1, "");
    PutAppointment("2002-5-7", "Appointment 3", "2002-5-1", "2002-5-31", "Tea", "Others", 1, "");
    PutAppointment("2002-5-8", "Appointment 120000", "2002-5-8", "2002-5-10",
                   "Fishing trip \xE2\x80\x94 Lake Tahoe", "Fishing", 2, longDetail);
    PutAppointment("2002-12-24", "Appointment 9", "2002-12-24", "2003-1-2",
                   "Holidays \xF0\x9F\x8E\x84 \xD0\x9F\xD1\x80\xD0\xB0\xD0\xB7\xD0\xB4", "Holiday",
                   5, "Quoted \"text\" and a backslash \\ at the end\\");
    PutAppointment("2002-6-4", "Appointment 8", "2002-6-4", "2002-6-4", std::string(499, 'n'),
                   "Music", 4, std::string(499, 'm'));
    // Ranges another program left malformed come back as they were.
    PutAppointment("2002-6-1", "Appointment 5", "2002-13-45", "soon", "Bad range", "Movie", 3, "");
    PutAppointment("2002-6-2", "Appointment 6", "2002-6-9", "2002-6-3", "Reversed", "Music", 4, "");
    PutAppointment("2002-6-3", "Appointment 7", "", "2002-6-5", "No start", "EMail", 0, "");
    // Times, in the computer's zone (New York's) and in another, over days,
    // with alerts; an all-day appointment's alert the evening before.
    exchange.ZoneClock().SetComputerZoneForTesting(L"Eastern Standard Time");
    PutAppointment("2002-5-14", "Appointment 10", "2002-5-14", "2002-5-14", "Dentist", "Others", 1,
                   "");
    PutTime("2002-5-14", "Appointment 10", {14 * 60 + 30, 45, 15, ""});
    PutAppointment("2002-5-13", "Appointment 11", "2002-5-13", "2002-5-17", "Standup", "EMail", 0,
                   "Room 4");
    PutTime("2002-5-13", "Appointment 11", {9 * 60, 15, 5, "Europe/Berlin"});
    PutAppointment("2002-11-2", "Appointment 12", "2002-11-2", "2002-11-4", "Late shift", "Others",
                   1, "");
    PutTime("2002-11-2", "Appointment 12", {23 * 60 + 30, {}, {}, ""});
    PutAppointment("2002-5-20", "Appointment 13", "2002-5-20", "2002-5-20", "Birthday", "Holiday",
                   5, "");
    PutTime("2002-5-20", "Appointment 13", {{}, {}, 360, ""});
    // No date anywhere: it cannot be an event, and the export says so.
    PutAppointment("Someday", "Appointment 1", "soon", "later", "Undated", "Others", 1, "");
    std::vector<std::string> expected = StoreContents();
    ASSERT_EQ(14u, expected.size());
    std::erase_if(expected, [](const std::string& a) { return a.rfind("Someday|", 0) == 0; });

    const std::string path = files.Path("round.ics");
    const ical::ExportOutcome exported = exchange.Export(path);
    ASSERT_TRUE(exported.written) << exported.error;
    EXPECT_EQ(13u, exported.exported);
    std::vector<std::string> changed, skipped;
    for (const ical::ExportOutcome::Issue& issue : exported.issues)
        (issue.issue.skipped ? skipped : changed).push_back(issue.notes);
    EXPECT_EQ((std::vector<std::string>{"Undated"}), skipped);
    EXPECT_EQ((std::vector<std::string>{"Bad range", "Bad range", "Reversed", "No start"}),
              changed);
    const std::string report = ical::ExportReport(exported);
    EXPECT_TRUE(Contains(report, "Exported 13 appointments to " + path + "."));
    const std::string text = ScratchFiles::Read(path);
    EXPECT_TRUE(Contains(text, "DTSTART;TZID=America/New_York:20020514T143000\r\n"));
    EXPECT_TRUE(Contains(text, "DTSTART;TZID=Europe/Berlin:20020513T090000\r\n"));
    EXPECT_TRUE(Contains(text, "BEGIN:VTIMEZONE\r\nTZID:Europe/Berlin\r\n"));
    EXPECT_TRUE(Contains(report, "Not exported:\n\"Someday\" \"Undated\": neither its FROM"));

    DeleteKey(kRoot);
    const ical::ImportOutcome imported = exchange.Import(path);
    ASSERT_TRUE(imported.error.empty()) << imported.error;
    EXPECT_EQ(13u, imported.filed);
    EXPECT_EQ(0u, imported.plan.duplicates);
    EXPECT_TRUE(imported.plan.refused.empty());
    EXPECT_TRUE(imported.plan.notes.empty());
    // Each comes back with the UID it was exported with, by which a later
    // import of the file knows it.
    const std::vector<std::string> contents = StoreContents();
    EXPECT_EQ(expected, WithoutValues(contents, kImportIdentity));
    EXPECT_EQ(13, std::count_if(contents.begin(), contents.end(),
                                [](const std::string& a) { return Contains(a, "@quillmere"); }));
    // Everything is there, the times included: again, all are duplicates.
    EXPECT_EQ(13u, exchange.Import(path).plan.duplicates);
    EXPECT_EQ(contents, StoreContents());
}

TEST_F(CalendarExchangeTest, AnEventInAnotherZoneIsFiledAtTheComputersTimeByWindowsZones) {
    // No VTIMEZONE: Berlin's rules come from Windows. 09:00 in Berlin is
    // 03:00 in New York, where the computer is; an equal appointment at
    // another time is no duplicate.
    exchange.ZoneClock().SetComputerZoneForTesting(L"Eastern Standard Time");
    PutAppointment("2002-6-3", "Appointment 1", "2002-6-3", "2002-6-3", "Call Berlin", "Others", 1,
                   "");
    PutTime("2002-6-3", "Appointment 1", {9 * 60, 30, {}, ""});
    const std::string path = files.Write(
        "berlin.ics",
        Calendar(Event("UID:b\nDTSTART;TZID=Europe/Berlin:20020603T090000\nDURATION:PT30M\n"
                       "SUMMARY:Call Berlin\nBEGIN:VALARM\nACTION:DISPLAY\nTRIGGER:-PT15M\n"
                       "DESCRIPTION:Call Berlin\nEND:VALARM\n")));
    const ical::ImportOutcome outcome = exchange.Import(path);
    ASSERT_TRUE(outcome.error.empty()) << outcome.error;
    EXPECT_EQ(1u, outcome.filed);
    EXPECT_TRUE(outcome.plan.notes.empty()) << outcome.plan.notes[0].reason;
    std::vector<std::string> names = Subkeys(kRoot + "\\2002-6-3");
    std::erase(names, "Appointment 1");
    ASSERT_EQ(1u, names.size());
    fw::unique_hkey filed;
    ASSERT_EQ(ERROR_SUCCESS,
              OpenMachineKey(kRoot + "\\2002-6-3\\" + names[0], KEY_READ, filed, false));
    EXPECT_EQ((TimedValues{3 * 60, 30, 15, ""}), ReadTimedValues(filed.get()));
}

TEST_F(CalendarExchangeTest, ImportingAFileTwiceFilesItOnceEvenWhenAllInOneMillisecond) {
    // The clock stands still, so every key name is made in the same
    // millisecond: more than the thousand names one New may try.
    std::string events;
    for (int i = 1; i <= 1100; ++i)
        events += Event("UID:item" + std::to_string(i) + "\nDTSTART;VALUE=DATE:20020601\n" +
                        "SUMMARY:Item " + std::to_string(i) + "\n");
    events += Event("UID:daily\nDTSTART;VALUE=DATE:20020501\nRRULE:FREQ=DAILY;COUNT=10\n"
                    "SUMMARY:Daily\nCATEGORIES:Music\n");
    events +=
        Event("UID:long\nDTSTART;VALUE=DATE:20020602\nSUMMARY:" + std::string(500, 'n') + "\n");
    const std::string path = files.Write("twice.ics", Calendar(events));
    const int longLine = 3 + 1100 * 5 + 7 + 4;

    ical::ImportOutcome first = exchange.Import(path);
    ASSERT_TRUE(first.error.empty()) << first.error;
    EXPECT_EQ(1101u, first.filed) << "1100 items and the daily rule, kept as one";
    const std::vector<std::string> names = Subkeys(kRoot + "\\2002-6-1");
    EXPECT_EQ(1100u, names.size());
    EXPECT_EQ(1u, std::count(names.begin(), names.end(), "Appointment 12000-1100"));
    ASSERT_EQ(1u, first.plan.refused.size());
    EXPECT_EQ(longLine, first.plan.refused[0].line);
    const auto store = TreeSnapshot(kRoot);

    const ical::ImportOutcome second = exchange.Import(path);
    EXPECT_EQ(0u, second.filed);
    EXPECT_EQ(1101u, second.plan.duplicates);
    EXPECT_EQ(store, TreeSnapshot(kRoot));
    const std::string report = ical::ImportReport(second);
    EXPECT_TRUE(Contains(report, "Imported " + path +
                                     ": 0 appointments filed, 1101 duplicates skipped, 1 event "
                                     "refused.\n\nRefused:\nLine " +
                                     std::to_string(longLine) + " \"nnnn"))
        << report;
    EXPECT_TRUE(Contains(report, "its SUMMARY is longer than the 499 characters"));
    EXPECT_EQ("Imported x: 0 appointments filed, 1101 duplicates skipped, 1 event refused.\n... "
              "and 1 more. The whole list is in y.",
              ical::ImportReport(
                  [&] {
                      ical::ImportOutcome shortened = second;
                      shortened.path = "x";
                      return shortened;
                  }(),
                  0, "y"));
}

TEST_F(CalendarExchangeTest, ABrokenFileIsRefusedWholeWithItsLineAndNothingIsFiled) {
    PutAppointment("2002-5-7", "Appointment 1", "2002-5-7", "2002-5-7", "Kept", "EMail", 0, "");
    const auto store = TreeSnapshot(kRoot);
    const std::string good = Event("DTSTART;VALUE=DATE:20020601\nSUMMARY:fine\n");
    // 100,000 good events, then one left open: found before any is filed.
    std::string large = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\n";
    for (int i = 0; i < 100000; ++i)
        large += Crlf(good);
    large += "BEGIN:VEVENT\r\nSUMMARY:open\r\nEND:VCALENDAR\r\n";
    const struct {
        const char* name;
        std::string bytes;
        int line;
    } cases[] = {
        {"truncated", Crlf("BEGIN:VCALENDAR\nVERSION:2.0\n" + good + "BEGIN:VEVENT\nSUMM"), 8},
        {"unterminated", Calendar(good + "BEGIN:VEVENT\nDTSTART:20020601\nSUMMARY:x\n"), 8},
        {"overlong", Calendar(good + "BEGIN:VEVENT\nSUMMARY:" + std::string(300000, 'x') + "\n"),
         9},
        {"junk",
         std::string("BEGIN:VCALENDAR\r\n\x7F"
                     "ELF\x02\x01\x01\0\0\0\r\n",
                     20),
         2},
        {"bad date", Calendar(Event("DTSTART;VALUE=DATE:20021345\nSUMMARY:x\n")), 0},
        {"large", large, 400003},
    };
    for (const auto& c : cases) {
        const ical::ImportOutcome outcome = exchange.Import(files.Write(c.name, c.bytes));
        if (c.line == 0) {
            // A bad date refuses its own event, with its line, not the file.
            ASSERT_EQ(1u, outcome.plan.refused.size()) << c.name;
            EXPECT_EQ(5, outcome.plan.refused[0].line) << c.name;
        } else {
            EXPECT_TRUE(Contains(outcome.error, "line " + std::to_string(c.line)))
                << c.name << ": " << outcome.error;
            EXPECT_TRUE(Contains(ical::ImportReport(outcome),
                                 "cannot be imported, so nothing was filed:\nline "))
                << c.name;
        }
        EXPECT_EQ(0u, outcome.filed) << c.name;
        EXPECT_EQ(store, TreeSnapshot(kRoot)) << c.name;
    }

    // Too large to be a calendar: refused before it is read.
    const std::string huge = files.Path("huge.ics");
    {
        fw::unique_handle file(CreateFileA(huge.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                           FILE_ATTRIBUTE_NORMAL, nullptr));
        LARGE_INTEGER size{};
        size.QuadPart = (64ll << 20) + 1;
        ASSERT_TRUE(SetFilePointerEx(file.get(), size, nullptr, FILE_BEGIN));
        ASSERT_TRUE(SetEndOfFile(file.get()));
    }
    EXPECT_EQ("the file is larger than 64 MiB, more than any calendar holds",
              exchange.Import(huge).error);
    EXPECT_FALSE(exchange.Import(files.Path("missing.ics")).error.empty());
    EXPECT_EQ(store, TreeSnapshot(kRoot));
}

TEST_F(CalendarExchangeTest, AWriteThatFailsPartWaySaysExactlyHowManyWereFiled) {
    const std::string path =
        files.Write("partial.ics", Calendar(Event("DTSTART;VALUE=DATE:20020601\nSUMMARY:One\n") +
                                            Event("DTSTART;VALUE=DATE:20020601\nSUMMARY:Two\n") +
                                            Event("DTSTART;VALUE=DATE:20020602\nSUMMARY:Three\n") +
                                            Event("DTSTART;VALUE=DATE:20020603\nSUMMARY:Four\n")));
    {
        WriteProtectedKey protectedDay(kRoot + "\\2002-6-2");
        const ical::ImportOutcome outcome = exchange.Import(path);
        EXPECT_TRUE(outcome.stopped);
        EXPECT_EQ(2u, outcome.filed);
        EXPECT_EQ(2u, Subkeys(kRoot + "\\2002-6-1").size());
        EXPECT_TRUE(Subkeys(kRoot + "\\2002-6-2").empty()) << "nothing half-written is left";
        EXPECT_FALSE(KeyExists(kRoot + "\\2002-6-3")) << "nothing after it is tried";
        const std::string report = ical::ImportReport(outcome);
        EXPECT_TRUE(Contains(report, "stopped after 2 of 4 appointments. The next one, \"Three\" "
                                     "for 2002-6-2 (line 12), could not be written: "))
            << report;
        EXPECT_TRUE(Contains(report, ": 2 appointments filed, 0 duplicates skipped"));
        EXPECT_TRUE(UserValueNames(kValueUnfinishedNew).empty())
            << "no save is left noted as unfinished";
    }
    // Once the day can be written, the same file files the rest.
    const ical::ImportOutcome again = exchange.Import(path);
    EXPECT_EQ(2u, again.filed);
    EXPECT_EQ(2u, again.plan.duplicates);
    EXPECT_EQ(4u, StoreContents().size());
}

} // namespace
} // namespace qmtest

namespace qmtest {
namespace {

// Gives a stored appointment a rule, skipped dates and UID, as a save writes them.
void PutSeries(const std::string& day, const std::string& key, const std::string& rule,
               std::vector<CalendarDate> skips, const std::string& uid) {
    fw::unique_hkey appointment;
    ASSERT_EQ(ERROR_SUCCESS,
              OpenMachineKey(kRoot + "\\" + day + "\\" + key, KEY_ALL_ACCESS, appointment, false));
    ASSERT_TRUE(
        WriteSeriesValues(appointment.get(), {RepeatKind::Rule, rule, std::move(skips), uid}));
}

TEST_F(CalendarExchangeTest, RepeatingAppointmentsThroughAFileComeBackWithEveryValue) {
    exchange.ZoneClock().SetComputerZoneForTesting(L"Eastern Standard Time");
    PutAppointment("2000-2-29", "Appointment 1", "2000-2-29", "2000-2-29", "Anna's birthday",
                   "Holiday", 5, "");
    PutSeries("2000-2-29", "Appointment 1", "FREQ=YEARLY;BYMONTH=2;BYMONTHDAY=-1", {}, "bd@x");
    PutAppointment("2002-5-1", "Appointment 2", "2002-5-1", "2002-5-1", "Water the plants",
                   "Others", 1, "");
    PutSeries("2002-5-1", "Appointment 2", "FREQ=DAILY;INTERVAL=3;COUNT=10", {{2002, 5, 4}},
              "plants@x");
    // Timed in the computer's zone, with an alert and skipped evenings.
    PutAppointment("2002-5-7", "Appointment 3", "2002-5-7", "2002-5-7", "Choir", "Music", 4,
                   "Alto part");
    PutTime("2002-5-7", "Appointment 3", {18 * 60 + 30, 90, 10, ""});
    PutSeries("2002-5-7", "Appointment 3", "FREQ=WEEKLY;BYDAY=TU,TH;UNTIL=20020711",
              {{2002, 5, 9}, {2002, 6, 4}}, "choir@x");
    // Timed in another zone, on the last day of each month.
    PutAppointment("2002-5-31", "Appointment 4", "2002-5-31", "2002-5-31", "Rent", "EMail", 0, "");
    PutTime("2002-5-31", "Appointment 4", {9 * 60, 15, 60, "Europe/Berlin"});
    PutSeries("2002-5-31", "Appointment 4", "FREQ=MONTHLY;BYMONTHDAY=-1", {{2002, 8, 31}},
              "rent@x");
    PutAppointment("2002-5-31", "Appointment 5", "2002-5-31", "2002-6-1", "Club night", "Music", 4,
                   "");
    PutSeries("2002-5-31", "Appointment 5", "FREQ=MONTHLY;BYDAY=-1FR;WKST=SU", {}, "club@x");
    PutAppointment("2002-11-12", "Appointment 6", "2002-11-12", "2002-11-12", "Council", "Others",
                   1, "");
    PutSeries("2002-11-12", "Appointment 6", "FREQ=YEARLY;BYMONTH=11;BYDAY=2TU;UNTIL=20300101", {},
              "council@x");
    PutAppointment("2002-5-6", "Appointment 7", "2002-5-6", "2002-5-6", "Gym", "Others", 1, "");
    PutSeries("2002-5-6", "Appointment 7", "FREQ=WEEKLY;INTERVAL=2;BYDAY=MO,WE,FR;WKST=SU",
              {{2002, 5, 8}}, "gym@x");
    // A timed daily rule, which a range of days at a time is not.
    PutAppointment("2002-6-3", "Appointment 8", "2002-6-3", "2002-6-3", "Stretch", "Others", 1, "");
    PutTime("2002-6-3", "Appointment 8", {7 * 60, 10, {}, ""});
    PutSeries("2002-6-3", "Appointment 8", "FREQ=DAILY;UNTIL=20020614", {}, "stretch@x");
    const std::vector<std::string> expected = StoreContents();

    const std::string path = files.Path("series.ics");
    const ical::ExportOutcome exported = exchange.Export(path);
    ASSERT_TRUE(exported.written) << exported.error;
    EXPECT_TRUE(exported.issues.empty()) << exported.issues[0].issue.reason;
    const std::string text = ScratchFiles::Read(path);
    // One event for each series, not one for each occurrence.
    std::size_t events = 0;
    for (std::size_t at = text.find("BEGIN:VEVENT"); at != std::string::npos;
         at = text.find("BEGIN:VEVENT", at + 1))
        ++events;
    EXPECT_EQ(8u, events);
    for (const char* line :
         {"RRULE:FREQ=YEARLY;BYMONTH=2;BYMONTHDAY=-1\r\n", "EXDATE;VALUE=DATE:20020504\r\n",
          // A timed rule ends at the end of its last day, in UTC.
          "RRULE:FREQ=WEEKLY;BYDAY=TU,TH;UNTIL=20020712T035959Z\r\n",
          "EXDATE;TZID=America/New_York:20020509T183000\r\n",
          "EXDATE;TZID=Europe/Berlin:20020831T090000\r\n", "UID:choir@x\r\n"})
        EXPECT_TRUE(Contains(text, line)) << line << "\n" << text;

    DeleteKey(kRoot);
    const ical::ImportOutcome imported = exchange.Import(path);
    ASSERT_TRUE(imported.error.empty()) << imported.error;
    EXPECT_EQ(8u, imported.filed);
    EXPECT_TRUE(imported.plan.refused.empty()) << imported.plan.refused[0].reason;
    EXPECT_TRUE(imported.plan.notes.empty()) << imported.plan.notes[0].reason;
    EXPECT_EQ(expected, WithoutValues(StoreContents(), kImportVersion));
    // The file again is the same events at the same versions.
    const ical::ImportOutcome again = exchange.Import(path);
    EXPECT_EQ(0u, again.filed);
    EXPECT_EQ(0u, again.updated);
    EXPECT_EQ(8u, again.plan.duplicates);
}

TEST_F(CalendarExchangeTest, AnEventChangedInTheFileUpdatesExactlyItsAppointment) {
    const auto file = [](const std::string& classVersion, const std::string& classSummary) {
        return Calendar(
            Event("UID:class@example.org\nRECURRENCE-ID:20020521T180000\n"
                  "DTSTART:20020522T180000\nDURATION:PT90M\nSUMMARY:Pottery (moved)\n"
                  "DTSTAMP:20020401T000000Z\n") +
            Event("UID:class@example.org\n" + classVersion +
                  "DTSTART:20020507T180000\nDURATION:PT90M\nRRULE:FREQ=WEEKLY;COUNT=10\n"
                  "EXDATE:20020514T180000\nSUMMARY:" +
                  classSummary + "\n") +
            Event("UID:dentist@example.org\nDTSTAMP:20020401T000000Z\n"
                  "DTSTART;VALUE=DATE:20020610\nSUMMARY:Dentist\n"));
    };
    const std::string path =
        files.Write("class.ics", file("SEQUENCE:1\nDTSTAMP:20020401T000000Z\n", "Pottery"));
    const ical::ImportOutcome first = exchange.Import(path);
    ASSERT_TRUE(first.error.empty()) << first.error;
    EXPECT_EQ(3u, first.filed);
    const std::vector<std::string> keys = Subkeys(kRoot + "\\2002-5-7");
    ASSERT_EQ(1u, keys.size());
    fw::unique_hkey master;
    ASSERT_EQ(ERROR_SUCCESS,
              OpenMachineKey(kRoot + "\\2002-5-7\\" + keys[0], KEY_READ, master, false));
    EXPECT_EQ((SeriesValues{RepeatKind::Rule,
                            "FREQ=WEEKLY;COUNT=10",
                            {{2002, 5, 14}, {2002, 5, 21}},
                            "class@example.org"}),
              ReadSeriesValues(master.get()));
    master.reset();
    const auto before = TreeSnapshot(kRoot);

    // The same file again files nothing and changes nothing.
    const ical::ImportOutcome same = exchange.Import(path);
    EXPECT_EQ(0u, same.filed);
    EXPECT_EQ(0u, same.updated);
    EXPECT_EQ(3u, same.plan.duplicates);
    EXPECT_EQ(before, TreeSnapshot(kRoot));

    // An older version of the series, though it says something else, is
    // left alone.
    files.Write("class.ics", file("SEQUENCE:0\nDTSTAMP:20020501T000000Z\n", "Pottery, old"));
    EXPECT_EQ(0u, exchange.Import(path).updated);
    EXPECT_EQ(before, TreeSnapshot(kRoot));

    // The series changed: its appointment is updated in place, under its
    // key; the other two stay as they were.
    files.Write("class.ics", file("SEQUENCE:2\nDTSTAMP:20020401T000000Z\n", "Pottery, room 2"));
    const ical::ImportOutcome changed = exchange.Import(path);
    EXPECT_EQ(0u, changed.filed);
    EXPECT_EQ(1u, changed.updated);
    EXPECT_TRUE(Contains(ical::ImportReport(changed),
                         ": 0 appointments filed, 1 updated, 2 duplicates skipped"))
        << ical::ImportReport(changed);
    auto after = TreeSnapshot(kRoot);
    EXPECT_EQ(before.size(), after.size());
    std::vector<std::string> differing;
    for (const auto& [name, value] : after)
        if (before.count(name) == 0 || before.at(name) != value)
            differing.push_back(name);
    for (const std::string& name : differing)
        EXPECT_EQ(0u, name.rfind(kRoot + "\\2002-5-7\\" + keys[0], 0)) << name;
    EXPECT_FALSE(differing.empty());
    EXPECT_EQ(1u, Subkeys(kRoot + "\\2002-5-7").size());
    std::string notes;
    ASSERT_EQ(ERROR_SUCCESS,
              OpenMachineKey(kRoot + "\\2002-5-7\\" + keys[0], KEY_READ, master, false));
    ReadTextValue(master.get(), "NOTES", notes, 500);
    EXPECT_EQ("Pottery, room 2", notes);
}

} // namespace
} // namespace qmtest
