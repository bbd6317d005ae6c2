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
