#include "ical/calendar_export.h"
#include "ical/import_plan.h"
#include "ical/series.h"
#include "tests/support/ics_text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using ical::DayAppointment;
using ical::EventVersion;
using ical::ImportOptions;
using ical::ImportPlan;
using ical::PlanImport;

// Today is 7 May 2002 for a user on UTC.
ImportOptions Options() {
    ImportOptions options;
    options.today = {2002, 5, 7};
    return options;
}

std::vector<DayAppointment> Filed(const ImportPlan& plan) {
    std::vector<DayAppointment> filed;
    for (std::size_t i = 0; i < plan.appointments.size(); ++i)
        filed.push_back(plan.AppointmentAt(i));
    return filed;
}

TEST(SeriesImport, TheLaterVersionOfAnEventIsByItsSequenceThenItsStamp) {
    const EventVersion stored{2, "20020501T100000Z"};
    // A higher SEQUENCE wins whatever the stamps say; a lower one loses.
    EXPECT_TRUE(ical::IsNewerVersion({3, "20010101T000000Z"}, stored));
    EXPECT_FALSE(ical::IsNewerVersion({1, "20300101T000000Z"}, stored));
    // The same SEQUENCE: only a later stamp is newer, the same one is not.
    EXPECT_TRUE(ical::IsNewerVersion({2, "20020501T100001Z"}, stored));
    EXPECT_FALSE(ical::IsNewerVersion(stored, stored));
    EXPECT_FALSE(ical::IsNewerVersion({2, "20020501T095959Z"}, stored));
    // Without a stamp an event is older than any that has one.
    EXPECT_FALSE(ical::IsNewerVersion({2, ""}, stored));
    EXPECT_TRUE(ical::IsNewerVersion({0, "20020101T000000Z"}, {0, ""}));
}

TEST(SeriesImport, AWeeklySeriesIsOneAppointmentSkippingItsExdateAndItsMovedOccurrence) {
    // Tuesdays at 18:00 floating time, to the end of June: 14 May is
    // cancelled by EXDATE, 21 May moved to Wednesday by an event of its
    // own, which comes first in the file. The stamps are of the latest
    // change, its LAST-MODIFIED.
    const std::string file = qmtest::Calendar(
        "BEGIN:VEVENT\nUID:class@example.org\nRECURRENCE-ID:20020521T180000\n"
        "DTSTART:20020522T180000\nDTEND:20020522T193000\nSUMMARY:Pottery (moved)\n"
        "DTSTAMP:20020401T000000Z\nEND:VEVENT\n"
        "BEGIN:VEVENT\nUID:class@example.org\nSEQUENCE:4\nDTSTAMP:20020401T000000Z\n"
        "LAST-MODIFIED:20020403T120000Z\n"
        "DTSTART:20020507T180000\nDTEND:20020507T193000\n"
        "RRULE:FREQ=WEEKLY;BYDAY=TU;UNTIL=20020630T235959\n"
        "EXDATE:20020514T180000\nSUMMARY:Pottery\n"
        "BEGIN:VALARM\nACTION:DISPLAY\nTRIGGER:-PT30M\nDESCRIPTION:x\nEND:VALARM\n"
        "END:VEVENT\n");
    const ImportPlan plan = PlanImport(file, Options());
    ASSERT_TRUE(plan.accepted) << plan.error.message;
    EXPECT_TRUE(plan.refused.empty());
    EXPECT_TRUE(plan.notes.empty()) << plan.notes[0].reason;
    const std::vector<DayAppointment> filed = Filed(plan);
    ASSERT_EQ(2u, filed.size());

    const DayAppointment& master = filed[0];
    EXPECT_EQ("2002-5-7", master.day);
    EXPECT_EQ("2002-5-7", master.values.from);
    EXPECT_EQ("2002-5-7", master.values.to);
    EXPECT_EQ((TimedValues{18 * 60, 90, 30, ""}), master.values.time);
    EXPECT_EQ(RepeatKind::Rule, master.values.series.repeatKind);
    // UNTIL is kept as the last day an occurrence may start on.
    EXPECT_EQ("FREQ=WEEKLY;BYDAY=TU;UNTIL=20020630", master.values.series.repeat);
    EXPECT_EQ((std::vector<CalendarDate>{{2002, 5, 14}, {2002, 5, 21}}),
              master.values.series.skipDates);
    EXPECT_EQ("class@example.org", master.values.series.uid);
    EXPECT_EQ((EventVersion{4, "20020403T120000Z"}),
              plan.events[plan.appointments[0].event].version);

    // The moved occurrence is an appointment of its own, on its new day,
    // with an identity that is not the series'.
    const DayAppointment& moved = filed[1];
    EXPECT_EQ("2002-5-22", moved.day);
    EXPECT_EQ("Pottery (moved)", moved.values.notes);
    EXPECT_EQ(RepeatKind::None, moved.values.series.repeatKind);
    EXPECT_EQ("class@example.org#20020521T180000", moved.values.series.uid);

    // Shown as the store shows it: Tuesdays from 7 May to 25 June, less the
    // two skipped.
    ical::Series series({2002, 5, 7}, {2002, 5, 7}, master.values.series, 18 * 3600);
    ical::WorkBudget budget(ical::kSeriesWork);
    std::vector<int> days;
    series.OccurrencesOverlapping({2002, 5, 1}, {2002, 12, 31}, budget, [&](const CalendarDate& d) {
        days.push_back(d.month * 100 + d.day);
    });
    EXPECT_EQ((std::vector<int>{507, 528, 604, 611, 618, 625}), days);
}

TEST(SeriesImport, RulesTheStoreCannotKeepAreFiledAsOccurrencesAndTheSummarySaysWhy) {
    const std::string file =
        qmtest::Calendar("BEGIN:VEVENT\nUID:a\nDTSTART;VALUE=DATE:20020601\nSUMMARY:Both ends\n"
                         "RRULE:FREQ=DAILY;COUNT=3;UNTIL=20020610\nEND:VEVENT\n"
                         "BEGIN:VEVENT\nUID:b\nDTSTART;VALUE=DATE:20020601\nSUMMARY:Extra days\n"
                         "RRULE:FREQ=MONTHLY;COUNT=2\nRDATE;VALUE=DATE:20020704\nEND:VEVENT\n");
    const ImportPlan plan = PlanImport(file, Options());
    ASSERT_TRUE(plan.accepted) << plan.error.message;
    std::vector<std::string> rows;
    for (const DayAppointment& a : Filed(plan)) {
        rows.push_back(a.day + " " + a.values.notes);
        // Each occurrence is one appointment, with no rule and no UID that
        // a later import could take for the event's.
        EXPECT_EQ(SeriesValues{}, a.values.series);
    }
    EXPECT_EQ((std::vector<std::string>{"2002-6-1 Both ends", "2002-6-2 Both ends",
                                        "2002-6-3 Both ends", "2002-6-1 Extra days",
                                        "2002-7-1 Extra days", "2002-7-4 Extra days"}),
              rows);
    ASSERT_EQ(2u, plan.notes.size());
    EXPECT_NE(std::string::npos, plan.notes[0].reason.find("both COUNT and UNTIL"));
    EXPECT_NE(std::string::npos, plan.notes[1].reason.find("RDATE"));
    EXPECT_NE(std::string::npos, plan.notes[1].reason.find("filed one by one"));
}

} // namespace

namespace {

TEST(SeriesImport, AbsurdRulesAreKeptAsRulesWithBoundedWorkAndShownSensibly) {
    // The file of the import fuzzer's corpus, line for line.
    const std::string file = qmtest::Calendar(
        "BEGIN:VEVENT\nUID:absurd-interval\nDTSTART;VALUE=DATE:20020601\nSUMMARY:Absurd interval\n"
        "RRULE:FREQ=DAILY;INTERVAL=999999;COUNT=999999999\nEND:VEVENT\n"
        "BEGIN:VEVENT\nUID:until-before\nDTSTART;VALUE=DATE:20020601\n"
        "SUMMARY:Until before the start\nRRULE:FREQ=WEEKLY;BYDAY=MO;UNTIL=20010101\nEND:VEVENT\n"
        "BEGIN:VEVENT\nUID:fifth-monday\nDTSTART;VALUE=DATE:20020601\n"
        "SUMMARY:Fifth Monday of February\nRRULE:FREQ=YEARLY;BYMONTH=2;BYDAY=5MO\nEND:VEVENT\n"
        "BEGIN:VEVENT\nUID:never\nDTSTART;VALUE=DATE:20020601\nSUMMARY:The 31st of February\n"
        "RRULE:FREQ=MONTHLY;BYMONTH=2;BYMONTHDAY=31\nEND:VEVENT\n"
        "BEGIN:VEVENT\nUID:bad-exdate\nDTSTART:20020601T090000\nDURATION:PT1H\n"
        "SUMMARY:Skips that are not dates\nRRULE:FREQ=WEEKLY\nEXDATE:tomorrow,20021345\n"
        "END:VEVENT\n"
        "BEGIN:VEVENT\nUID:million\nDTSTART;VALUE=DATE:17000101\nSUMMARY:A million days\n"
        "RRULE:FREQ=DAILY;COUNT=1000000\nEND:VEVENT\n");
    const ImportPlan plan = PlanImport(file, Options());
    ASSERT_TRUE(plan.accepted) << plan.error.message;
    EXPECT_TRUE(plan.refused.empty()) << plan.refused[0].reason;
    // Each is one appointment with its rule, whatever the rule would make.
    const std::vector<DayAppointment> filed = Filed(plan);
    ASSERT_EQ(6u, filed.size());
    for (const DayAppointment& a : filed)
        EXPECT_TRUE(a.values.series.Repeats()) << a.values.notes;
    EXPECT_LE(plan.work, 6 * Options().maxWorkPerEvent);
    // The skips that are not dates are left out, and the user told.
    ASSERT_EQ(1u, plan.notes.size());
    EXPECT_EQ(34, plan.notes[0].line);
    EXPECT_TRUE(filed[4].values.series.skipDates.empty());

    // What the store then shows of each, asked with a budget of its own:
    // the next occurrences from today, and when the series ends.
    std::vector<std::string> shown;
    for (const DayAppointment& a : filed) {
        CalendarDate from;
        ASSERT_TRUE(ParseDateText(a.values.from.c_str(), from));
        const ical::Series series(from, from, a.values.series);
        ical::WorkBudget budget(ical::kSeriesWork);
        std::string row;
        series.OccurrencesOverlapping({2002, 5, 7}, {2032, 12, 31}, budget,
                                      [&](const CalendarDate& d) {
                                          if (row.size() < 40)
                                              row += FormatDateText(d) + " ";
                                      });
        ical::WorkBudget endBudget(ical::kSeriesWork);
        const ical::SeriesEnd end = series.LastEnd(endBudget);
        row += end.kind == ical::SeriesEndKind::Never ? "never"
               : end.kind == ical::SeriesEndKind::On  ? "ends " + FormatDateText(end.lastDay)
                                                      : "by " + FormatDateText(end.lastDay);
        EXPECT_FALSE(budget.Exhausted()) << a.values.notes;
        shown.push_back(row);
    }
    EXPECT_EQ((std::vector<std::string>{
                  // Its second occurrence is in 4740, its third after 9999.
                  "2002-6-1 ends 7478-3-23",
                  // UNTIL before the start leaves the start, once.
                  "2002-6-1 ends 2002-6-1",
                  // February has a fifth Monday in 2016 and 2044.
                  "2002-6-1 2016-2-29 never",
                  "2002-6-1 never",
                  "2002-6-1 2002-6-8 2002-6-15 2002-6-22 2002-6-29 never",
                  // A million days from 1700 end in 4437.
                  "2002-5-7 2002-5-8 2002-5-9 2002-5-10 2002-5-11 ends 4437-11-27",
              }),
              shown);
}

} // namespace

namespace {

TEST(SeriesImport, ATimedSeriesFromAComputerWhoseZoneHasNoNameComesBackOnItsClock) {
    // A computer at UTC-5 all year, a zone no table names: its export
    // writes times in UTC, and reading them there gives the series back.
    ical::ExportOptions exporting{"1.0", 0, "", {}};
    exporting.zoneRules = [](const std::string& zone, ical::WindowsZoneRules& rules) {
        rules = ical::WindowsZoneRules{};
        rules.bias = 5 * 60;
        return zone.empty();
    };
    const ical::AppointmentValues weekly{
        "2002-5-6",
        "2002-5-6",
        "Late class",
        "Others",
        1,
        "",
        {22 * 60, 60, {}, ""},
        {RepeatKind::Rule, "FREQ=WEEKLY;BYDAY=MO,TH;UNTIL=20020620", {{2002, 5, 9}}, "late@x"}};
    const ical::ExportResult exported =
        ical::ExportCalendar({{"2002-5-6", "Appointment 1", weekly}}, exporting);
    // 22:00 at UTC-5 is 03:00 UTC on the next day.
    EXPECT_NE(std::string::npos, exported.text.find("DTSTART:20020507T030000Z\r\n"));
    EXPECT_NE(std::string::npos, exported.text.find("EXDATE:20020510T030000Z\r\n"));

    ImportOptions options = Options();
    options.localTimeOf = [](std::int64_t utc) { return ical::WallTimeOf(utc - 5 * 3600); };
    const ImportPlan plan = PlanImport(exported.text, options);
    ASSERT_TRUE(plan.accepted) << plan.error.message;
    ASSERT_EQ(1u, plan.appointments.size());
    EXPECT_TRUE(plan.notes.empty()) << plan.notes[0].reason;
    EXPECT_EQ(weekly, plan.AppointmentAt(0).values);
}

} // namespace
