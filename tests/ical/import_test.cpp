#include "ical/calendar_file.h"
#include "ical/civil_time.h"
#include "ical/import_plan.h"
#include "ical/time_value.h"
#include "ical/time_zone_table.h"
#include "ical/transfer_report.h"
#include "tests/support/fixed_zones.h"
#include "tests/support/ics_text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <tuple>
#include <vector>

namespace {

using ical::DayAppointment;
using ical::ImportOptions;
using ical::ImportPlan;
using ical::PlanImport;

using qmtest::Calendar;
using qmtest::Crlf;

// The user lives at a fixed offset from UTC (default +1 h); today is 7 May 2002.
ImportOptions Options(int offsetHours = 1) {
    ImportOptions options;
    options.today = {2002, 5, 7};
    options.localTimeOf = [offsetHours](std::int64_t utc) {
        return ical::WallTimeOf(utc + offsetHours * 3600);
    };
    return options;
}

// As Options(), with every repeating event filed as its occurrences, as a
// rule the store does not keep is.
ImportOptions Expanding(int offsetHours = 1) {
    ImportOptions options = Options(offsetHours);
    options.keepRules = false;
    return options;
}

// day FROM TO [TIME[/DURATION]] NOTES, one line per appointment, for
// comparing plans whole.
std::vector<std::string> Rows(const ImportPlan& plan) {
    std::vector<std::string> rows;
    for (std::size_t i = 0; i < plan.appointments.size(); ++i) {
        const DayAppointment a = plan.AppointmentAt(i);
        const TimedValues& time = a.values.time;
        std::string when;
        if (time.minuteOfDay)
            when = FormatTimeOfDay(*time.minuteOfDay) +
                   (time.duration ? "/" + std::to_string(*time.duration) : "") + " ";
        rows.push_back(a.day + " " + a.values.from + " " + a.values.to + " " + when +
                       a.values.notes);
    }
    return rows;
}

// The New York zone as Google and Apple export it: US rules since 2007.
const char* const kNewYork = "BEGIN:VTIMEZONE\n"
                             "TZID:America/New_York\n"
                             "BEGIN:DAYLIGHT\n"
                             "TZOFFSETFROM:-0500\n"
                             "TZOFFSETTO:-0400\n"
                             "DTSTART:20070311T020000\n"
                             "RRULE:FREQ=YEARLY;BYMONTH=3;BYDAY=2SU\n"
                             "END:DAYLIGHT\n"
                             "BEGIN:STANDARD\n"
                             "TZOFFSETFROM:-0400\n"
                             "TZOFFSETTO:-0500\n"
                             "DTSTART:20071104T020000\n"
                             "RRULE:FREQ=YEARLY;BYMONTH=11;BYDAY=1SU\n"
                             "END:STANDARD\n"
                             "END:VTIMEZONE\n";

TEST(IcalImport, GoogleStyleWeeklyRuleWithExdateYieldsExactlyTheseAppointments) {
    // Mondays and Wednesdays at 18:30 New York time, every other week, from
    // April on; the Monday of 13 May is cancelled, and six are held in all.
    // 18:30 EDT is 22:30 UTC, 00:30 the next day for a user at UTC+2.
    const std::string file = Calendar(std::string(kNewYork) +
                                      "BEGIN:VEVENT\n"
                                      "DTSTART;TZID=America/New_York:20020415T183000\n"
                                      "DTEND;TZID=America/New_York:20020415T200000\n"
                                      "RRULE:FREQ=WEEKLY;INTERVAL=2;BYDAY=MO,WE;COUNT=6\n"
                                      "EXDATE;TZID=America/New_York:20020513T183000\n"
                                      "DTSTAMP:20020401T120000Z\n"
                                      "UID:abc123@google.com\n"
                                      "SUMMARY:Choir\\, alto part\n"
                                      "DESCRIPTION:Bring the score\\nand water\n"
                                      "CATEGORIES:MUSIC\n"
                                      "BEGIN:VALARM\nACTION:DISPLAY\nTRIGGER:-PT10M\nEND:VALARM\n"
                                      "END:VEVENT\n");
    const ImportPlan plan = PlanImport(file, Expanding(2));
    ASSERT_TRUE(plan.accepted) << plan.error.message;
    // 15, 17 Apr and 29 Apr, 1 May lie before today; of 13 and 15 May the
    // Monday is excluded, yet it counts: COUNT=6 ends with 15 May. Its
    // time is the user's, its alarm an alert 10 minutes before.
    EXPECT_EQ((std::vector<std::string>{"2002-5-16 2002-5-16 2002-5-16 00:30/90 Choir, alto part"}),
              Rows(plan));
    const DayAppointment a = plan.AppointmentAt(0);
    EXPECT_EQ(10, a.values.time.remindBefore);
    EXPECT_EQ("", a.values.time.zone);
    EXPECT_EQ("Music", a.values.event);
    EXPECT_EQ(4u, a.values.eventIndex);
    EXPECT_EQ("Bring the score\r\nand water", a.values.detailNotes);
    EXPECT_TRUE(plan.refused.empty());

    // Without COUNT, the rule runs a year from today and says it goes on. At
    // UTC+1, 18:30 EDT is 23:30; 18:30 EST is 00:30 of the next day.
    std::string open = file;
    open.replace(open.find(";COUNT=6"), 8, "");
    const ImportPlan year = PlanImport(open, Expanding(1));
    ASSERT_TRUE(year.accepted);
    const std::vector<std::string> rows = Rows(year);
    // The fortnights from 13 May 2002 to 28 April 2003: 26 Mondays less
    // 13 May, and 26 Wednesdays.
    ASSERT_EQ(51u, rows.size());
    EXPECT_EQ("2002-5-15 2002-5-15 2002-5-15 23:30/90 Choir, alto part", rows[0]);
    EXPECT_EQ("2002-5-27 2002-5-27 2002-5-27 23:30/90 Choir, alto part", rows[1]);
    EXPECT_EQ("2002-10-30 2002-10-30 2002-10-30 23:30/90 Choir, alto part", rows[24]);
    // Monday 11 November
    EXPECT_EQ("2002-11-12 2002-11-12 2002-11-12 00:30/90 Choir, alto part", rows[25]);
    EXPECT_EQ("2003-4-30 2003-4-30 2003-4-30 23:30/90 Choir, alto part", rows.back());
    ASSERT_EQ(1u, year.notes.size());
    EXPECT_NE(std::string::npos, year.notes[0].reason.find("repeats after 2003-5-7"));
}

TEST(IcalImport, EveryKindOfBrokenFileGivesItsMessageAndLine) {
    struct Case {
        std::string bytes;
        int line;
        const char* message;
    };
    const std::string head = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\n";
    const std::string event = "BEGIN:VEVENT\r\nDTSTART;VALUE=DATE:20020507\r\nSUMMARY:x\r\n";
    const Case cases[] = {
        {"", 1, "the file is empty"},
        {"hello world\r\n", 1, "no ':'"},
        {"SUMMARY:x\r\n", 1, "outside BEGIN:VCALENDAR"},
        {head + event, 5, "the file ends inside BEGIN:VEVENT of line 3"},
        {head + event + "END:VEVENT\r\n", 6, "the file ends inside BEGIN:VCALENDAR of line 1"},
        {head + event + "END:VTODO\r\nEND:VCALENDAR\r\n", 6,
         "END:VTODO where BEGIN:VEVENT of line 3"},
        {head + "END:VEVENT\r\n", 3, "END:VEVENT where BEGIN:VCALENDAR"},
        {head + "END:VCALENDAR\r\nEND:VCALENDAR\r\n", 4, "END:VCALENDAR without its BEGIN"},
        {head + event + "DESCRIPTION:" + std::string(300000, 'a') + "\r\n", 6,
         "longer than 262144 bytes"},
        {head + event + "DESCRIPTION:caf\xE9\r\n", 6, "not UTF-8"},
        {head + std::string("SUMMARY:a\0b\r\n", 13), 3, "control byte 0x00"},
        {head + "\x7F\x45LF\x02\x01\x01\r\n", 3, "control byte 0x7F"},
        {" folded\r\n", 1, "continues a line"},
        {"BEGIN:VCALENDAR\rVERSION:2.0\r", 1, "lone CR"},
        {std::string("\xFF\xFE"
                     "B\0E\0",
                     6),
         1, "UTF-16"},
        {head + "BEGIN:VCALENDAR\r\n", 3, "a calendar inside a calendar"},
        {head + "X-A;PARAM=\"open:x\r\n", 3, "closing quote"},
    };
    for (const Case& c : cases) {
        const ImportPlan plan = PlanImport(c.bytes, Options());
        EXPECT_FALSE(plan.accepted) << c.message;
        EXPECT_EQ(c.line, plan.error.line) << plan.error.message;
        EXPECT_NE(std::string::npos, plan.error.message.find(c.message)) << plan.error.message;
        EXPECT_NE(std::string::npos, plan.error.message.find("line " + std::to_string(c.line)))
            << plan.error.message;
        EXPECT_TRUE(plan.appointments.empty());
    }

    // More events than a file may hold: refused at the first one too many.
    ImportOptions few = Options();
    few.limits.maxEvents = 2;
    const std::string three =
        Calendar("BEGIN:VEVENT\nEND:VEVENT\nBEGIN:VEVENT\nEND:VEVENT\nBEGIN:VEVENT\nEND:VEVENT\n");
    const ImportPlan tooMany = PlanImport(three, few);
    EXPECT_FALSE(tooMany.accepted);
    EXPECT_EQ(8, tooMany.error.line);
    EXPECT_NE(std::string::npos, tooMany.error.message.find("more than 2 events"));
}

TEST(IcalImport, EventsThatCannotBeFiledAreRefusedWithLineAndReasonTheRestAreFiled) {
    const std::string file = Calendar(
        "BEGIN:VEVENT\nDTSTART;VALUE=DATE:20021345\nSUMMARY:bad date\nEND:VEVENT\n" // 4
        "BEGIN:VEVENT\nDTSTART;VALUE=DATE:20020601\nEND:VEVENT\n"                   // 8
        "BEGIN:VEVENT\nDTSTART:20020601\nSUMMARY:" +
        std::string(500, 'n') +
        "\nEND:VEVENT\n" // 11
        "BEGIN:VEVENT\nDTSTART:20020601\nSUMMARY:setpos\nRRULE:FREQ=MONTHLY;BYDAY=MO;BYSETPOS=1\n"
        "END:VEVENT\n" // 15
        "BEGIN:VEVENT\nDTSTART:20020601T100000Z\nSUMMARY:hourly\nRRULE:FREQ=HOURLY\nEND:VEVENT\n"
        "BEGIN:VEVENT\nDTSTART:20020131\nSUMMARY:never\nRRULE:FREQ=YEARLY;BYMONTH=2;BYMONTHDAY=31\n"
        "END:VEVENT\n" // 25
        "BEGIN:VEVENT\nDTSTART:17000101\nSUMMARY:far\nRRULE:FREQ=DAILY;COUNT=999999999\n"
        "END:VEVENT\n" // 30
        "BEGIN:VEVENT\nDTSTART:19000101\nSUMMARY:daily\nRRULE:FREQ=DAILY;UNTIL=99991231\n"
        "END:VEVENT\n" // 35
        "BEGIN:VEVENT\nDTSTART:20020601\nDTEND:20020603T100000\nSUMMARY:mixed\nEND:VEVENT\n");
    const ImportPlan plan = PlanImport(file, Expanding());
    ASSERT_TRUE(plan.accepted) << plan.error.message;
    struct Expected {
        int line;
        const char* reason;
    };
    const Expected refused[] = {
        {5, "DTSTART \"20021345\" is not a date"},
        {8, "no SUMMARY"},
        {13, "longer than the 499 characters"},
        {18, "BYSETPOS is not taken"},
        {23, "FREQ=HOURLY is not taken"},
        {25, "no occurrence falls between 2002-5-7 and 2003-5-7"},
        {42, "DTEND is a date-time but DTSTART is not"},
    };
    ASSERT_EQ(std::size(refused), plan.refused.size());
    for (std::size_t i = 0; i < plan.refused.size(); ++i) {
        EXPECT_EQ(refused[i].line, plan.refused[i].line) << plan.refused[i].reason;
        EXPECT_NE(std::string::npos, plan.refused[i].reason.find(refused[i].reason))
            << plan.refused[i].reason;
    }
    // The daily rules, to the year 9999 and with a COUNT from 1700, are filed
    // for the year ahead only.
    EXPECT_EQ(2 * 366u, plan.appointments.size());
    EXPECT_EQ("2002-5-7", plan.AppointmentAt(0).day);
    EXPECT_EQ("2003-5-7", plan.AppointmentAt(365).day);
    EXPECT_EQ(0u, plan.duplicates);

    // The seam for the stored limits: a bound of 10 refuses a longer SUMMARY.
    ImportOptions narrow = Options();
    narrow.fitsTextField = [](std::string_view text) { return text.size() <= 10; };
    const ImportPlan cut = PlanImport(
        Calendar("BEGIN:VEVENT\nDTSTART:20020601\nSUMMARY:eleven char\nEND:VEVENT\n"), narrow);
    ASSERT_EQ(1u, cut.refused.size());
    EXPECT_EQ(6, cut.refused[0].line);
}

TEST(IcalImport, MovedAndCancelledOccurrencesReplaceThoseOfTheirRepeatingEvent) {
    // A weekly meeting of five Tuesdays as a calendar service exports it:
    // the second moved to Wednesday, the third cancelled, each by an event
    // of the meeting's UID with a RECURRENCE-ID (local, then UTC), written
    // before the meeting itself.
    const std::string file = Calendar(
        std::string(kNewYork) +
        "BEGIN:VEVENT\nUID:standup@example.com\n"
        "RECURRENCE-ID;TZID=America/New_York:20020514T100000\n"
        "DTSTART;TZID=America/New_York:20020515T100000\n"
        "DTEND;TZID=America/New_York:20020515T103000\nSUMMARY:Standup (moved)\nEND:VEVENT\n"
        "BEGIN:VEVENT\nUID:standup@example.com\nRECURRENCE-ID:20020521T140000Z\n"
        "STATUS:CANCELLED\nDTSTART;TZID=America/New_York:20020521T100000\nSUMMARY:Standup\n"
        "END:VEVENT\n"
        "BEGIN:VEVENT\nUID:standup@example.com\nDTSTART;TZID=America/New_York:20020507T100000\n"
        "DTEND;TZID=America/New_York:20020507T103000\nRRULE:FREQ=WEEKLY;COUNT=5\n"
        "SUMMARY:Standup\nEND:VEVENT\n"
        // All day: the day of a yearly event moved by a DATE RECURRENCE-ID;
        // the event has no other occurrence in the year ahead.
        "BEGIN:VEVENT\nUID:party\nDTSTART;VALUE=DATE:20000510\nRRULE:FREQ=YEARLY;UNTIL=20021231\n"
        "SUMMARY:Party\nEND:VEVENT\n"
        "BEGIN:VEVENT\nUID:party\nRECURRENCE-ID;VALUE=DATE:20020510\n"
        "DTSTART;VALUE=DATE:20020511\nSUMMARY:Party\nEND:VEVENT\n"
        // A moved occurrence of last year is not filed, as its event's own
        // occurrences of last year are not.
        "BEGIN:VEVENT\nUID:party\nRECURRENCE-ID;VALUE=DATE:20010510\n"
        "DTSTART;VALUE=DATE:20010512\nSUMMARY:Party\nEND:VEVENT\n"
        // Without its repeating event in the file: an event of its own.
        "BEGIN:VEVENT\nUID:lonely\nRECURRENCE-ID;VALUE=DATE:20020401\n"
        "DTSTART;VALUE=DATE:20020420\nSUMMARY:Orphan\nEND:VEVENT\n"
        // Cancelled whole; and a change of an occurrence and all after it.
        "BEGIN:VEVENT\nUID:gone\nSTATUS:CANCELLED\nDTSTART;VALUE=DATE:20020601\n"
        "SUMMARY:Gone\nEND:VEVENT\n"
        "BEGIN:VEVENT\nUID:standup@example.com\n"
        "RECURRENCE-ID;RANGE=THISANDFUTURE;TZID=America/New_York:20020604T100000\n"
        "DTSTART;TZID=America/New_York:20020604T100000\nSUMMARY:Standup, new room\n"
        "END:VEVENT\n");
    const ImportPlan plan = PlanImport(file, Expanding());
    ASSERT_TRUE(plan.accepted) << plan.error.message;
    // The events that replace occurrences are filed after the others.
    EXPECT_EQ((std::vector<std::string>{"2002-5-7 2002-5-7 2002-5-7 15:00/30 Standup",
                                        "2002-5-28 2002-5-28 2002-5-28 15:00/30 Standup",
                                        "2002-5-15 2002-5-15 2002-5-15 15:00/30 Standup (moved)",
                                        "2002-5-11 2002-5-11 2002-5-11 Party",
                                        "2002-4-20 2002-4-20 2002-4-20 Orphan",
                                        "2002-6-4 2002-6-4 2002-6-4 15:00 Standup, new room"}),
              Rows(plan));
    EXPECT_TRUE(plan.refused.empty());
    EXPECT_EQ(1u, plan.cancelledEvents);
    EXPECT_EQ(1u, plan.cancelledOccurrences);
    ASSERT_EQ(1u, plan.notes.size());
    const std::string head = file.substr(0, file.find("RECURRENCE-ID;RANGE"));
    EXPECT_EQ(std::count(head.begin(), head.end(), '\n') + 1, plan.notes[0].line);
    EXPECT_NE(std::string::npos,
              plan.notes[0].reason.find("THISANDFUTURE is taken for this occurrence only"));
    ical::ImportOutcome outcome;
    outcome.path = "x.ics";
    outcome.plan = plan;
    outcome.filed = plan.appointments.size();
    EXPECT_NE(std::string::npos,
              ical::ImportReport(outcome).find(
                  "Imported x.ics: 6 appointments filed, 0 duplicates skipped, 0 events refused. "
                  "The file cancels 1 event and 1 occurrence of a repeating event; nothing was "
                  "filed for them."));

    // A cancelled repeating event takes its moved occurrences with it.
    std::string cancelled = file;
    cancelled.insert(cancelled.find("RRULE:FREQ=WEEKLY"), "STATUS:CANCELLED\r\n");
    const ImportPlan none = PlanImport(cancelled, Expanding());
    EXPECT_EQ(2u, none.cancelledEvents);
    EXPECT_EQ(3u, none.cancelledOccurrences);
    EXPECT_EQ(2u, none.appointments.size());
}

TEST(IcalImport, LocalTimesInASpringForwardGapTakeTheOffsetBeforeTheChange) {
    // RFC 5545, 3.3.5: 02:30 on the night New York's clocks go from 02:00
    // to 03:00 is read with the offset before the change, -05:00: 07:30 UTC.
    ical::CalendarFile calendar;
    ical::ReadError error;
    ASSERT_TRUE(ical::ReadCalendarFile(Calendar(kNewYork), calendar, error));
    const ical::TimeZoneTable zones(calendar.zones);
    std::int64_t utc = 0;
    ASSERT_TRUE(zones.ToUtc("America/New_York", {{2007, 3, 11}, 2 * 3600 + 1800}, utc));
    EXPECT_EQ("20070311T073000Z", ical::FormatUtcTime(utc));
    ASSERT_TRUE(zones.ToUtc("America/New_York", {{2007, 3, 11}, 3 * 3600 + 1800}, utc));
    EXPECT_EQ("20070311T073000Z", ical::FormatUtcTime(utc));
    ASSERT_TRUE(zones.ToUtc("America/New_York", {{2007, 11, 4}, 3600 + 1800}, utc));
    EXPECT_EQ("20071104T053000Z", ical::FormatUtcTime(utc)); // twice: the first

    // Havana puts its clocks from 00:00 to 01:00: a daily 00:30 stays on its
    // day, 14 March 2027, for a user in Havana (at 01:30, with the offset
    // from before the change), and is not taken for the occurrence of the
    // day before.
    const std::string havana =
        Calendar("BEGIN:VTIMEZONE\nTZID:America/Havana\n"
                 "BEGIN:DAYLIGHT\nTZOFFSETFROM:-0500\nTZOFFSETTO:-0400\nDTSTART:20130310T000000\n"
                 "RRULE:FREQ=YEARLY;BYMONTH=3;BYDAY=2SU\nEND:DAYLIGHT\n"
                 "BEGIN:STANDARD\nTZOFFSETFROM:-0400\nTZOFFSETTO:-0500\nDTSTART:20131103T010000\n"
                 "RRULE:FREQ=YEARLY;BYMONTH=11;BYDAY=1SU\nEND:STANDARD\nEND:VTIMEZONE\n"
                 "BEGIN:VEVENT\nUID:early\nDTSTART;TZID=America/Havana:20270312T003000\n"
                 "RRULE:FREQ=DAILY;COUNT=4\nSUMMARY:Early\nEND:VEVENT\n");
    ImportOptions inHavana = Options();
    inHavana.today = {2027, 3, 10};
    inHavana.localTimeOf = [](std::int64_t utc) {
        const std::int64_t change = 1805000400; // 2027-03-14 05:00 UTC
        return ical::WallTimeOf(utc - (utc < change ? 5 : 4) * 3600);
    };
    const ImportPlan plan = PlanImport(havana, inHavana);
    ASSERT_TRUE(plan.accepted) << plan.error.message;
    EXPECT_EQ((std::vector<std::string>{"2027-3-12 2027-3-12 2027-3-12 00:30 Early",
                                        "2027-3-13 2027-3-13 2027-3-13 00:30 Early",
                                        "2027-3-14 2027-3-14 2027-3-14 01:30 Early",
                                        "2027-3-15 2027-3-15 2027-3-15 00:30 Early"}),
              Rows(plan));
    EXPECT_EQ(0u, plan.duplicates);
}

TEST(IcalImport, ARepeatingEventThatEndsBeforeItStartsIsFiledOnItsStartDaysAndSaidSo) {
    // Weekly from 2 April to 4 June, each "ending" weeks before it starts:
    // the occurrences from today on are filed, one day each, not lost.
    const std::tuple<const char*, const char*, std::string> forms[] = {
        {"DTSTART;VALUE=DATE:20020402", "DTEND;VALUE=DATE:20020301", ""},
        {"DTSTART:20020402T100000", "DTEND:20020320T100000", "10:00 "},
    };
    for (const auto& [start, end, at] : forms) {
        const ImportPlan plan =
            PlanImport(Calendar(std::string("BEGIN:VEVENT\n") + start + "\n" + end +
                                "\nRRULE:FREQ=WEEKLY;UNTIL=20020604\nSUMMARY:Choir\nEND:VEVENT\n"),
                       Expanding(0));
        ASSERT_TRUE(plan.accepted) << plan.error.message;
        EXPECT_EQ((std::vector<std::string>{"2002-5-7 2002-5-7 2002-5-7 " + at + "Choir",
                                            "2002-5-14 2002-5-14 2002-5-14 " + at + "Choir",
                                            "2002-5-21 2002-5-21 2002-5-21 " + at + "Choir",
                                            "2002-5-28 2002-5-28 2002-5-28 " + at + "Choir",
                                            "2002-6-4 2002-6-4 2002-6-4 " + at + "Choir"}),
                  Rows(plan))
            << end;
        ASSERT_EQ(1u, plan.notes.size()) << end;
        EXPECT_EQ(6, plan.notes[0].line);
        EXPECT_NE(std::string::npos,
                  plan.notes[0].reason.find("ends before DTSTART; filed for the start day only"));
    }
}

// A VTIMEZONE that another program nested inside an event is passed over:
// the event keeps its own properties, those read before the zone included,
// and the zone adds nothing to the calendar's zones (found by fuzzing against
// libical).
TEST(IcalImport, AZoneNestedInAnEventLeavesTheEventWhole) {
    const std::string text = Calendar(std::string("BEGIN:VEVENT\n"
                                                  "DTSTART;VALUE=DATE:20020507\n"
                                                  "BEGIN:VTIMEZONE\n"
                                                  "TZID:Nested\n") +
                                      "BEGIN:STANDARD\nDTSTART:16011028T030000\n"
                                      "TZOFFSETFROM:+0200\nTZOFFSETTO:+0100\nEND:STANDARD\n"
                                      "END:VTIMEZONE\n"
                                      "SUMMARY:Choir\n"
                                      "END:VEVENT\n");
    ical::CalendarFile file;
    ical::ReadError error;
    ASSERT_TRUE(ical::ReadCalendarFile(text, file, error)) << error.message;
    ASSERT_EQ(1u, file.events.size());
    ASSERT_NE(nullptr, file.events[0].Find("DTSTART"));
    EXPECT_EQ("20020507", file.events[0].Find("DTSTART")->value);
    EXPECT_TRUE(file.zones.empty());
    const ImportPlan plan = PlanImport(text, Options(0));
    EXPECT_EQ(std::vector<std::string>{"2002-5-7 2002-5-7 2002-5-7 Choir"}, Rows(plan));
}

TEST(IcalImport, CountRulesFromDistantStartsAreFiledAndWorkPastTheBudgetIsRefused) {
    // Every day of May since year 1, the last on 10 May 2002: counted, not
    // walked, so its last four days are filed; likewise every day of the
    // year, with a COUNT that reaches past the year ahead.
    const std::string file =
        Calendar("BEGIN:VEVENT\nDTSTART;VALUE=DATE:00010501\nRRULE:FREQ=DAILY;BYMONTH=5;COUNT=" +
                 std::to_string(2001 * 31 + 10) +
                 "\nSUMMARY:May\nEND:VEVENT\n"
                 "BEGIN:VEVENT\nDTSTART;VALUE=DATE:00010101\n"
                 "RRULE:FREQ=YEARLY;BYDAY=MO,TU,WE,TH,FR,SA,SU;COUNT=9999999\nSUMMARY:Every day\n"
                 "END:VEVENT\n"
                 // Each occurrence lasts a century: a century of them overlap today.
                 "BEGIN:VEVENT\nDTSTART;VALUE=DATE:19000101\nDURATION:P36500D\nRRULE:FREQ=DAILY\n"
                 "SUMMARY:Century\nEND:VEVENT\n");
    const ImportPlan plan = PlanImport(file, Expanding());
    ASSERT_TRUE(plan.accepted) << plan.error.message;
    const std::vector<std::string> rows = Rows(plan);
    ASSERT_EQ(4u + 366u, rows.size());
    EXPECT_EQ("2002-5-7 2002-5-7 2002-5-7 May", rows[0]);
    EXPECT_EQ("2002-5-10 2002-5-10 2002-5-10 May", rows[3]);
    EXPECT_EQ("2002-5-7 2002-5-7 2002-5-7 Every day", rows[4]);
    ASSERT_EQ(1u, plan.refused.size());
    EXPECT_EQ(17, plan.refused[0].line);
    EXPECT_NE(std::string::npos,
              plan.refused[0].reason.find(
                  "working out its occurrences from its start on 1900-1-1 would take more than "
                  "20000 steps"))
        << plan.refused[0].reason;
    EXPECT_LE(plan.work, 3 * 20000);

    // What real files need stays well within the budget: a meeting of 1990
    // with 300 exceptions over the years, in a zone written with its whole
    // history of changes.
    std::string zone = "BEGIN:VTIMEZONE\nTZID:Old\n";
    for (int year = 1900; year < 2007; ++year)
        zone += "BEGIN:DAYLIGHT\nTZOFFSETFROM:-0500\nTZOFFSETTO:-0400\nDTSTART:" +
                std::to_string(year) +
                "0401T020000\nEND:DAYLIGHT\nBEGIN:STANDARD\nTZOFFSETFROM:-0400\n"
                "TZOFFSETTO:-0500\nDTSTART:" +
                std::to_string(year) + "1028T020000\nEND:STANDARD\n";
    zone += "END:VTIMEZONE\n";
    std::string meeting = "BEGIN:VEVENT\nDTSTART;TZID=Old:19900102T090000\n"
                          "RRULE:FREQ=WEEKLY;BYDAY=TU,TH\nSUMMARY:Meeting\n";
    for (int i = 0; i < 300; ++i)
        meeting += "EXDATE;TZID=Old:" + std::to_string(1990 + i / 10) + "0" +
                   std::to_string(1 + i % 9) + "1" + std::to_string(i % 10) + "T090000\n";
    const ImportPlan heavy = PlanImport(Calendar(zone + meeting + "END:VEVENT\n"), Expanding());
    EXPECT_TRUE(heavy.refused.empty());
    EXPECT_EQ(105u, heavy.appointments.size());
    EXPECT_LT(heavy.work, 20000 / 2);
}

TEST(IcalImport, TimesOfEveryFormBecomeTheUsersLocalTimes) {
    const std::string file = Calendar(
        std::string(kNewYork) +
        "BEGIN:VEVENT\nDTSTART:20020601T233000Z\nDTEND:20020602T010000Z\nSUMMARY:utc\nEND:VEVENT\n"
        "BEGIN:VEVENT\nDTSTART:20020601T233000\nSUMMARY:floating\nEND:VEVENT\n"
        "BEGIN:VEVENT\nDTSTART;TZID=America/New_York:20021215T190000\nDURATION:PT3H\n"
        "SUMMARY:zoned\nEND:VEVENT\n"
        "BEGIN:VEVENT\nDTSTART;TZID=Mars/Olympus:20020601T233000\nSUMMARY:unknown zone\n"
        "END:VEVENT\n"
        "BEGIN:VEVENT\nDTSTART;VALUE=DATE:20020601\nDURATION:P1W\nSUMMARY:week\nEND:VEVENT\n"
        "BEGIN:VEVENT\nDTSTART;VALUE=DATE:20020601\nSUMMARY:one day\nEND:VEVENT\n"
        "BEGIN:VEVENT\nDTSTART:20020601T090000\nDTEND:20020603T000000\nSUMMARY:to midnight\n"
        "END:VEVENT\n"
        "BEGIN:VEVENT\nDTSTART;VALUE=DATE:20020601\nDTEND;VALUE=DATE:20020601\n"
        "SUMMARY:empty range\nEND:VEVENT\n");
    const ImportPlan plan = PlanImport(file, Options());
    ASSERT_TRUE(plan.accepted) << plan.error.message;
    EXPECT_EQ((std::vector<std::string>{
                  "2002-6-2 2002-6-2 2002-6-2 00:30/90 utc",           // 00:30 to 02:00 at UTC+1
                  "2002-6-1 2002-6-1 2002-6-1 23:30 floating",         // as written
                  "2002-12-16 2002-12-16 2002-12-16 01:00/180 zoned",  // 19:00 EST
                  "2002-6-1 2002-6-1 2002-6-1 23:30 unknown zone",     // taken as floating
                  "2002-6-1 2002-6-1 2002-6-7 week",                   // DURATION of 7 days
                  "2002-6-1 2002-6-1 2002-6-1 one day",                // no DTEND
                  "2002-6-1 2002-6-1 2002-6-1 09:00/2340 to midnight", // to 3 June
                  "2002-6-1 2002-6-1 2002-6-1 empty range"}),
              Rows(plan));
    ASSERT_EQ(1u, plan.notes.size());
    EXPECT_NE(std::string::npos,
              plan.notes[0].reason.find("no VTIMEZONE for TZID \"Mars/Olympus\""));
}

TEST(IcalImport, ATimedEventInAnotherZoneComesAtTheUsersTimeAndItsAlarmIsItsAlert) {
    // Read on a computer in New York. Berlin's 09:00 is 03:00 there, by the
    // file's VTIMEZONE; Outlook's Windows id without one is found in the
    // system's zones; New York's own times stay as written.
    const std::string file = Calendar(
        "BEGIN:VTIMEZONE\nTZID:Europe/Berlin\n"
        "BEGIN:STANDARD\nDTSTART:19701025T030000\nRRULE:FREQ=YEARLY;BYMONTH=10;BYDAY=-1SU\n"
        "TZOFFSETFROM:+0200\nTZOFFSETTO:+0100\nEND:STANDARD\n"
        "BEGIN:DAYLIGHT\nDTSTART:19700329T020000\nRRULE:FREQ=YEARLY;BYMONTH=3;BYDAY=-1SU\n"
        "TZOFFSETFROM:+0100\nTZOFFSETTO:+0200\nEND:DAYLIGHT\nEND:VTIMEZONE\n" +
        std::string(kNewYork) +
        "BEGIN:VEVENT\nDTSTART;TZID=Europe/Berlin:20020513T090000\n"
        "DTEND;TZID=Europe/Berlin:20020513T103000\nSUMMARY:Berlin call\n"
        "BEGIN:VALARM\nACTION:EMAIL\nTRIGGER:-PT1H\nEND:VALARM\n"
        "BEGIN:VALARM\nACTION:AUDIO\nTRIGGER;RELATED=START:-PT10M\nEND:VALARM\n"
        "BEGIN:VALARM\nACTION:DISPLAY\nTRIGGER:-PT30M\nDESCRIPTION:x\nEND:VALARM\nEND:VEVENT\n"
        "BEGIN:VEVENT\nDTSTART;TZID=W. Europe Standard Time:20020514T180000\nDURATION:PT1H\n"
        "SUMMARY:Outlook\nEND:VEVENT\n"
        "BEGIN:VEVENT\nDTSTART;TZID=America/New_York:20020515T120000\nSUMMARY:Lunch\n"
        "BEGIN:VALARM\nACTION:DISPLAY\nTRIGGER;RELATED=END:-PT5M\nEND:VALARM\nEND:VEVENT\n"
        // All day: an alarm 6 hours before is an alert at 18:00 the day before.
        "BEGIN:VEVENT\nDTSTART;VALUE=DATE:20020520\nSUMMARY:Birthday\n"
        "BEGIN:VALARM\nACTION:DISPLAY\nTRIGGER:-PT6H\nDESCRIPTION:x\nEND:VALARM\nEND:VEVENT\n"
        "BEGIN:VEVENT\nDTSTART;VALUE=DATE:20020521\nSUMMARY:Holiday\n"
        "BEGIN:VALARM\nACTION:DISPLAY\nTRIGGER:PT9H\nDESCRIPTION:x\nEND:VALARM\nEND:VEVENT\n");
    qmtest::FixedZones zones;
    zones.computer = "America/New_York";
    const ImportPlan plan = PlanImport(file, zones.Import());
    ASSERT_TRUE(plan.accepted) << plan.error.message;
    EXPECT_EQ((std::vector<std::string>{"2002-5-13 2002-5-13 2002-5-13 03:00/90 Berlin call",
                                        "2002-5-14 2002-5-14 2002-5-14 12:00/60 Outlook",
                                        "2002-5-15 2002-5-15 2002-5-15 12:00 Lunch",
                                        "2002-5-20 2002-5-20 2002-5-20 Birthday",
                                        "2002-5-21 2002-5-21 2002-5-21 Holiday"}),
              Rows(plan));
    std::vector<std::optional<int>> alerts;
    for (std::size_t i = 0; i < plan.appointments.size(); ++i) {
        EXPECT_EQ("", plan.AppointmentAt(i).values.time.zone);
        alerts.push_back(plan.AppointmentAt(i).values.time.remindBefore);
    }
    // The first display alarm before the start; sound and e-mail are none.
    EXPECT_EQ((std::vector<std::optional<int>>{30, std::nullopt, std::nullopt, 360, std::nullopt}),
              alerts);
    std::vector<std::string> notes;
    for (const ical::ImportIssue& note : plan.notes)
        notes.push_back(note.summary + ": " + note.reason);
    EXPECT_EQ((std::vector<std::string>{
                  "Lunch: its alarm \"-PT5M\" is set from the end; alerts are set from the start; "
                  "filed without an alert",
                  "Holiday: its alarm \"PT9H\" comes after the day begins; alerts come before it; "
                  "filed without an alert"}),
              notes);
}

TEST(IcalImport, TheSameEventTwiceOrAlreadyStoredIsFiledOnce) {
    const std::string event = "BEGIN:VEVENT\nDTSTART;VALUE=DATE:20020601\nSUMMARY:Lunch\n"
                              "CATEGORIES:Food,holiday\nEND:VEVENT\n";
    const std::string other = "BEGIN:VEVENT\nDTSTART;VALUE=DATE:20020601\nSUMMARY:lunch\n"
                              "END:VEVENT\n";
    const std::string file = Calendar(event + event + other);
    ImportPlan plan = PlanImport(file, Options());
    ASSERT_TRUE(plan.accepted);
    EXPECT_EQ((std::vector<std::string>{"2002-6-1 2002-6-1 2002-6-1 Lunch",
                                        "2002-6-1 2002-6-1 2002-6-1 lunch"}),
              Rows(plan));
    EXPECT_EQ(1u, plan.duplicates);
    EXPECT_EQ("Holiday", plan.AppointmentAt(0).values.event);
    EXPECT_EQ(5u, plan.AppointmentAt(0).values.eventIndex);
    EXPECT_EQ("Others", plan.AppointmentAt(1).values.event);

    // Importing again into the store that now holds them files nothing.
    std::vector<DayAppointment> stored;
    for (std::size_t i = 0; i < plan.appointments.size(); ++i)
        stored.push_back(plan.AppointmentAt(i));
    ImportOptions again = Options();
    again.existing = &stored;
    plan = PlanImport(file, again);
    EXPECT_TRUE(plan.appointments.empty());
    EXPECT_EQ(3u, plan.duplicates);
}

// An export of a day holding two equal appointments has two events with
// UIDs of their own: both come back, and a store that holds them takes
// neither again, one stored copy for one event.
TEST(IcalImport, EqualAppointmentsOfTwoEventsAreBothFiledAndMatchedOneForOne) {
    const auto event = [](const std::string& uid) {
        return "BEGIN:VEVENT\nUID:" + uid + "\nDTSTART;VALUE=DATE:20020601\nSUMMARY:Lunch\n" +
               "END:VEVENT\n";
    };
    const std::string file = Calendar(event("a") + event("b") + event("a"));
    ImportPlan plan = PlanImport(file, Options());
    EXPECT_EQ(2u, plan.appointments.size());
    EXPECT_EQ(1u, plan.duplicates) << "the event a met again";

    std::vector<DayAppointment> stored{plan.AppointmentAt(0)};
    ImportOptions withOne = Options();
    withOne.existing = &stored;
    EXPECT_EQ(1u, PlanImport(file, withOne).appointments.size());

    stored.push_back(plan.AppointmentAt(1));
    plan = PlanImport(file, withOne);
    EXPECT_TRUE(plan.appointments.empty());
    EXPECT_EQ(3u, plan.duplicates);

    // Two occurrences of one event at the same minute (found by the import
    // fuzzer: comparing them read past the plan's events) are one
    // appointment.
    plan = PlanImport(Calendar("BEGIN:VEVENT\nDTSTART:20020601T090000\nRDATE:20020601T090030\n"
                               "SUMMARY:Twice\nEND:VEVENT\n"),
                      Options(0));
    EXPECT_EQ(1u, plan.appointments.size());
    EXPECT_EQ(1u, plan.duplicates);
}

} // namespace
