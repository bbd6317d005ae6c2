#include "ical/calendar_export.h"
#include "ical/ical_text.h"
#include "ical/import_plan.h"
#include "tests/support/fixed_zones.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

namespace ical {
// Failures show the appointments, not their bytes.
void PrintTo(const DayAppointment& a, std::ostream* os) {
    *os << a.day << " [" << a.values.from << " " << a.values.to << " " << a.values.notes << " "
        << a.values.event << " " << a.values.eventIndex << " " << a.values.detailNotes;
    const TimedValues& t = a.values.time;
    if (t.minuteOfDay)
        *os << " at " << FormatTimeOfDay(*t.minuteOfDay) << " for " << t.duration.value_or(0)
            << " in '" << t.zone << "'";
    if (t.remindBefore)
        *os << " alert " << *t.remindBefore << " before";
    *os << "]";
}
} // namespace ical

namespace {

using ical::DayAppointment;
using ical::StoredAppointment;

ical::ExportResult Export(const std::vector<StoredAppointment>& appointments,
                          std::int64_t stamp = 1020772800 /* 2002-05-07 12:00:00 UTC */) {
    return ical::ExportCalendar(appointments, {"1.0", stamp, {}, {}});
}

// What importing the text into an empty store would file.
std::vector<DayAppointment> ReadBack(const std::string& text) {
    ical::ImportOptions options;
    options.today = {2002, 5, 7};
    const ical::ImportPlan plan = ical::PlanImport(text, options);
    EXPECT_TRUE(plan.accepted) << plan.error.message;
    EXPECT_TRUE(plan.refused.empty());
    std::vector<DayAppointment> result;
    for (std::size_t i = 0; i < plan.appointments.size(); ++i)
        result.push_back(plan.AppointmentAt(i));
    return result;
}

// What the store holds after the import: the same, with the UID the export
// gave each appointment that had none.
std::vector<DayAppointment> Filed(const std::vector<StoredAppointment>& stored) {
    std::vector<DayAppointment> result;
    for (const StoredAppointment& a : stored) {
        result.push_back({a.dayKey, a.values});
        if (a.values.series.uid.empty())
            result.back().values.series.uid = ical::AppointmentUid(a.dayKey, a.appointmentKey);
    }
    return result;
}

TEST(IcalExport, WritesOneFoldedEscapedAllDayEventEachAndReadsBackTheSame) {
    // 499 UTF-16 units, the most a field holds, of two- and three-byte characters.
    std::string longNotes;
    while (ical::Utf16Length(longNotes) + 9 <= 499)
        longNotes += "d\xC3\xA9j\xC3\xA0 \xE6\x97\xA5\xE6\x9C\xAC ";
    longNotes.append(499 - ical::Utf16Length(longNotes), 'x');
    const std::vector<StoredAppointment> stored = {
        {"2002-5-7",
         "Appointment 95342",
         {"2002-5-1",
          "2002-5-31",
          "Lunch; then a walk, maybe",
          "Holiday",
          5,
          "Line one\r\nC:\\path\\file, \"quoted\"\r\n\r\n\xF0\x9F\x98\x80 end",
          {},
          {}}},
        {"2002-12-31",
         "Appointment 0000",
         {"2002-12-31", "2003-1-2", longNotes, "EMail", 0, "", {}, {}}},
        {"2002-5-7",
         "Appointment 1",
         {"2002-5-7", "2002-5-7", "x", "Others", 1, longNotes, {}, {}}},
    };
    const ical::ExportResult result = Export(stored);
    EXPECT_EQ(3u, result.exported);
    EXPECT_TRUE(result.issues.empty());

    // CR LF everywhere, no physical line over 75 octets, none that splits a
    // UTF-8 sequence.
    const std::string& text = result.text;
    std::size_t start = 0, lines = 0;
    while (start < text.size()) {
        const std::size_t end = text.find("\r\n", start);
        ASSERT_NE(std::string::npos, end);
        const std::string line = text.substr(start, end - start);
        EXPECT_LE(line.size(), 75u) << line;
        EXPECT_EQ(std::string::npos, line.find('\n'));
        EXPECT_TRUE(ical::IsValidUtf8(line)) << line;
        start = end + 2;
        ++lines;
    }
    EXPECT_LT(40u, lines);

    // The first event, whole.
    const std::string first =
        "BEGIN:VEVENT\r\n"
        "UID:2002-5-7/Appointment%2095342@quillmere\r\n"
        "DTSTAMP:20020507T120000Z\r\n"
        "DTSTART;VALUE=DATE:20020501\r\n"
        "DTEND;VALUE=DATE:20020601\r\n"
        "SUMMARY:Lunch\\; then a walk\\, maybe\r\n"
        "DESCRIPTION:Line one\\nC:\\\\path\\\\file\\, \"quoted\"\\n\\n\xF0\x9F\x98\x80 end\r\n"
        "CATEGORIES:Holiday\r\n"
        "X-QUILLMERE-DAY:2002-5-7\r\n"
        "END:VEVENT\r\n";
    EXPECT_NE(std::string::npos, text.find(first)) << text;
    EXPECT_EQ(0u, text.find("BEGIN:VCALENDAR\r\nVERSION:2.0\r\n"
                            "PRODID:-//The Quillmere Project//Quillmere 1.0//EN\r\n"
                            "CALSCALE:GREGORIAN\r\n"));

    // A fold that would cut through a character comes before it.
    std::string folded;
    ical::AppendFolded(folded, std::string(74, 'a') + "\xC3\xA9" + std::string(80, 'b'));
    EXPECT_EQ(std::string(74, 'a') + "\r\n \xC3\xA9" + std::string(72, 'b') + "\r\n " +
                  std::string(8, 'b') + "\r\n",
              folded);

    // The UIDs stay from one export to the next.
    const auto uids = [](const std::string& ics) {
        std::vector<std::string> found;
        for (std::size_t at = ics.find("\r\nUID:"); at != std::string::npos;
             at = ics.find("\r\nUID:", at + 1))
            found.push_back(ics.substr(at + 2, ics.find("\r\n", at + 2) - at - 2));
        return found;
    };
    const std::string later = Export(stored, 1100000000).text;
    EXPECT_NE(std::string::npos, later.find("DTSTAMP:20041109T113320Z"));
    EXPECT_EQ(3u, uids(text).size());
    EXPECT_EQ(uids(text), uids(later));

    EXPECT_EQ(Filed(stored), ReadBack(text));
    // Imported into the store it came from, whose appointments have no UID,
    // the file is all duplicates.
    std::vector<DayAppointment> existing;
    for (const StoredAppointment& a : stored)
        existing.push_back({a.dayKey, a.values});
    ical::ImportOptions holding;
    holding.today = {2002, 5, 7};
    holding.existing = &existing;
    const ical::ImportPlan again = ical::PlanImport(text, holding);
    EXPECT_TRUE(again.appointments.empty());
    EXPECT_EQ(3u, again.duplicates);
}

TEST(IcalExport, UnreadableDatesAreExportedWithWhatCanBeReadAndComeBackAsStored) {
    const auto make = [](std::string day, std::string from, std::string to) {
        return StoredAppointment{
            day, "Appointment 7", {from, to, "notes " + from, "Movie", 3, "", {}, {}}};
    };
    const std::vector<StoredAppointment> stored = {
        make("2002-5-7", "", "2002-5-1"),           // FROM empty: the day instead
        make("2002-5-7", "2002-13-45", "abc"),      // both unreadable: the day
        make("2002-5-7", "2002-05-07", "2002-5-9"), // a padded FROM
        make("2002-5-7", "2002-5-10", "2002-5-9"),  // TO before FROM
        make("2002-5-7", "9999-12-30", "9999-12-31"),
        make("OPTIONS", "2002-5-7-9", "2002-5-8"), // nothing but TO
    };
    const ical::ExportResult result = Export(stored);
    EXPECT_EQ(6u, result.exported);
    std::vector<DayAppointment> expected = Filed(stored);
    expected.back().day = "2002-5-8"; // no day key: its start day
    EXPECT_EQ(expected, ReadBack(result.text));
    std::vector<std::string> reasons;
    for (const ical::ExportIssue& issue : result.issues) {
        EXPECT_FALSE(issue.skipped);
        reasons.push_back(issue.reason);
    }
    EXPECT_EQ((std::vector<std::string>{
                  "FROM \"\" is not a date; exported from 2002-5-7",
                  "TO 2002-5-1 lies before FROM; exported as one day",
                  "FROM \"2002-13-45\" is not a date; exported from 2002-5-7",
                  "TO \"abc\" is not a date; exported to 2002-5-7",
                  "TO 2002-5-9 lies before FROM; exported as one day",
                  "FROM \"2002-5-7-9\" is not a date; exported from 2002-5-8",
                  "it is filed under \"OPTIONS\", which is not a day; importing files it under "
                  "2002-5-8"}),
              reasons);

    // Nothing to date it by: skipped, and said so. A wrong event type is
    // exported as the type its name or index gives, and said so.
    const ical::ExportResult odd = Export(
        {make("OPTIONS", "abc", ""),
         {"2002-5-7", "Appointment 2", {"2002-5-7", "2002-5-7", "six", "Holiday", 6, "", {}, {}}},
         {"2002-5-7", "Appointment 3", {"2002-5-7", "2002-5-7", "", "Bogus", 2, "", {}, {}}}});
    EXPECT_EQ(2u, odd.exported);
    ASSERT_EQ(4u, odd.issues.size());
    EXPECT_TRUE(odd.issues[0].skipped);
    EXPECT_EQ("neither its FROM \"abc\", its TO \"\" nor its day is a date", odd.issues[0].reason);
    EXPECT_EQ("its event type \"Holiday\" (index 6) is exported as Holiday", odd.issues[1].reason);
    EXPECT_EQ("it has no notes; importing this file will refuse it", odd.issues[2].reason);
    EXPECT_EQ("its event type \"Bogus\" (index 2) is exported as Fishing", odd.issues[3].reason);

    // A day key that holds a NUL is no day, though the text before the NUL
    // is one: it was once exported without a word and came back elsewhere.
    const ical::ExportResult nul =
        Export({make(std::string("2002-5-7\0x", 10), "2002-5-1", "2002-5-1")});
    ASSERT_EQ(1u, nul.issues.size());
    EXPECT_NE(std::string::npos, nul.issues[0].reason.find("which is not a day"));
}

std::vector<DayAppointment> ReadBack(const std::string& text, const ical::ImportOptions& options) {
    const ical::ImportPlan plan = ical::PlanImport(text, options);
    EXPECT_TRUE(plan.accepted) << plan.error.message;
    EXPECT_TRUE(plan.refused.empty());
    EXPECT_TRUE(plan.notes.empty()) << plan.notes[0].reason;
    std::vector<DayAppointment> result;
    for (std::size_t i = 0; i < plan.appointments.size(); ++i)
        result.push_back(plan.AppointmentAt(i));
    return result;
}

TEST(IcalExport, TimedAppointmentsKeepTheirInstantZoneAndAlertThroughAFile) {
    const auto timed = [](std::optional<int> minute, std::optional<int> duration,
                          std::optional<int> remind, std::string zone) {
        return TimedValues{minute, duration, remind, std::move(zone)};
    };
    const std::vector<StoredAppointment> stored = {
        {"2002-5-14",
         "Appointment 1",
         {"2002-5-14", "2002-5-14", "Dentist", "Others", 1, "", timed(870, 45, 15, ""), {}}},
        {"2002-5-13",
         "Appointment 2",
         {"2002-5-13",
          "2002-5-17",
          "Standup",
          "EMail",
          0,
          "Room 4",
          timed(540, 15, 5, "Europe/Berlin"),
          {}}},
        {"2002-5-20",
         "Appointment 3",
         {"2002-5-20", "2002-5-20", "Birthday", "Holiday", 5, "", timed({}, {}, 360, ""), {}}},
        // Over the night the clocks go back, without an end or an alert.
        {"2002-11-2",
         "Appointment 4",
         {"2002-11-2", "2002-11-4", "Late shift", "Others", 1, "", timed(1410, {}, {}, ""), {}}},
    };
    qmtest::FixedZones zones;
    zones.computer = "America/New_York";
    const ical::ExportResult result = ical::ExportCalendar(stored, zones.Export());
    EXPECT_TRUE(result.issues.empty());
    const std::string& text = result.text;
    for (const char* expected :
         {"BEGIN:VTIMEZONE\r\nTZID:America/New_York\r\n",
          "BEGIN:VTIMEZONE\r\nTZID:Europe/Berlin\r\n",
          "DTSTART;TZID=America/New_York:20020514T143000\r\n"
          "DTEND;TZID=America/New_York:20020514T151500\r\n",
          "BEGIN:VALARM\r\nACTION:DISPLAY\r\nDESCRIPTION:Dentist\r\nTRIGGER:-PT15M\r\n"
          "END:VALARM\r\nEND:VEVENT",
          // Every day of the range at 09:00 Berlin time, the last at 07:00 UTC.
          "DTSTART;TZID=Europe/Berlin:20020513T090000\r\n"
          "DTEND;TZID=Europe/Berlin:20020513T091500\r\n"
          "RRULE:FREQ=DAILY;UNTIL=20020517T070000Z\r\n",
          "X-QUILLMERE-ZONE:Europe/Berlin\r\n", "TRIGGER:-PT5M\r\n",
          "DTSTART;VALUE=DATE:20020520\r\nDTEND;VALUE=DATE:20020521\r\n", "TRIGGER:-PT6H\r\n",
          "DTSTART;TZID=America/New_York:20021102T233000\r\n"
          "RRULE:FREQ=DAILY;UNTIL=20021105T043000Z\r\n"})
        EXPECT_NE(std::string::npos, text.find(expected)) << expected << "\n" << text;
    EXPECT_LT(text.find("END:VTIMEZONE"), text.find("BEGIN:VEVENT"));

    // Read back where it was written, every value returns.
    EXPECT_EQ(Filed(stored), ReadBack(text, zones.Import()));

    // Read on a computer in Berlin, each time keeps its instant: the
    // dentist at 14:30 in New York is at 20:30 there; the late shift at
    // 23:30 is at 04:30 the next morning (05:30 once New York's clocks have
    // gone back, which one time for the range cannot say). The standup kept
    // in Berlin's zone stays as it was. Each stays under its day.
    zones.computer = "Europe/Berlin";
    std::vector<DayAppointment> expected = Filed(stored);
    expected[0].values.time.minuteOfDay = 20 * 60 + 30;
    expected[3].values.from = "2002-11-3";
    expected[3].values.to = "2002-11-5";
    expected[3].values.time = timed(270, {}, {}, "");
    EXPECT_EQ(expected, ReadBack(text, zones.Import()));
}

} // namespace
