// An edit changes only the properties it touched in the kept server text.
#include "sync/vevent_patch.h"

#include <gtest/gtest.h>

using namespace caldav;

namespace {

// What another client wrote: a weekly timed event with attendees, two
// alarms, its own X- properties, a folded description and an overridden
// occurrence, with LF line ends in places, as servers pass on.
const std::string kKept =
    "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Other//EN\r\n"
    "BEGIN:VTIMEZONE\r\nTZID:Europe/Berlin\r\nBEGIN:STANDARD\r\nDTSTART:19701025T030000\r\n"
    "TZOFFSETFROM:+0200\r\nTZOFFSETTO:+0100\r\nEND:STANDARD\r\nEND:VTIMEZONE\r\n"
    "BEGIN:VEVENT\r\nUID:weekly-1\r\nDTSTAMP:20260101T000000Z\r\n"
    "DTSTART;TZID=Europe/Berlin:20270105T090000\r\nRRULE:FREQ=WEEKLY;BYDAY=TU\r\n"
    "SUMMARY:Stand-up\r\n"
    "DESCRIPTION:A long text that was folded by the server at seventy-five octe\r\n"
    " ts as RFC 5545 asks\r\n"
    "ATTENDEE;CN=\"Bob: the builder\";PARTSTAT=ACCEPTED:mailto:bob@example.com\r\n"
    "X-OTHER-CLIENT:keep me\n"
    "BEGIN:VALARM\r\nACTION:DISPLAY\r\nDESCRIPTION:first\r\nTRIGGER:-PT10M\r\nEND:VALARM\r\n"
    "BEGIN:VALARM\r\nACTION:AUDIO\r\nTRIGGER:-PT1M\r\nEND:VALARM\r\n"
    "END:VEVENT\r\n"
    "BEGIN:VEVENT\r\nUID:weekly-1\r\nRECURRENCE-ID;TZID=Europe/Berlin:20270112T090000\r\n"
    "DTSTART;TZID=Europe/Berlin:20270112T100000\r\nSUMMARY:Stand-up (late)\r\nEND:VEVENT\r\n"
    "END:VCALENDAR\r\n";

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
    const std::size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return text.replace(at, from.size(), to);
}

} // namespace

TEST(EventPatch, ReplacesOnlyTheNamedPropertiesOfTheMainEvent) {
    std::string result, error;
    // A new summary and description: both in place, the folded description
    // whole; the alarms' own DESCRIPTION and the override's SUMMARY untouched.
    ASSERT_TRUE(ReplaceEventProperties(kKept, {"SUMMARY", "DESCRIPTION"},
                                       "SUMMARY:Daily talk\r\nDESCRIPTION:short\r\n", result,
                                       error));
    std::string expected = Replaced(kKept, "SUMMARY:Stand-up\r\n", "SUMMARY:Daily talk\r\n");
    expected = Replaced(expected,
                        "DESCRIPTION:A long text that was folded by the server at seventy-five "
                        "octe\r\n ts as RFC 5545 asks\r\n",
                        "DESCRIPTION:short\r\n");
    EXPECT_EQ(result, expected);

    // A property the event lacks goes before its alarms; one not in the
    // updates is removed.
    ASSERT_TRUE(ReplaceEventProperties(kKept, {"categories", "X-OTHER-CLIENT"},
                                       "CATEGORIES:Music\r\n", result, error));
    expected = Replaced(kKept, "X-OTHER-CLIENT:keep me\n", "");
    expected = Replaced(expected, "BEGIN:VALARM\r\nACTION:DISPLAY",
                        "CATEGORIES:Music\r\nBEGIN:VALARM\r\nACTION:DISPLAY");
    EXPECT_EQ(result, expected);

    EXPECT_EQ(EventPropertyValue(kKept, "summary"), "Stand-up");
    EXPECT_EQ(EventPropertyValue(kKept, "ATTENDEE"), "mailto:bob@example.com");
    EXPECT_EQ(EventPropertyValue(kKept, "DESCRIPTION"),
              "A long text that was folded by the server at seventy-five octets as RFC 5545 asks");
    EXPECT_FALSE(ReplaceEventProperties("BEGIN:VCALENDAR\r\nEND:VCALENDAR\r\n", {"SUMMARY"},
                                        "SUMMARY:x\r\n", result, error));
}
