// Which parts of an event an edit touched, and the server's copy with only
// those parts changed.
#include "sync/event_touch.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace caldav;

namespace {

std::string Crlf(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines)
        text += line + "\r\n";
    return text;
}

// An export as the store writes one: a single VEVENT with one alarm.
std::string Export(const std::string& start, const std::string& trigger,
                   const std::string& zone = std::string()) {
    std::vector<std::string> lines = {"BEGIN:VCALENDAR", "VERSION:2.0", "PRODID:-//Q//EN"};
    if (!zone.empty())
        for (const char* line :
             {"BEGIN:VTIMEZONE", "TZID:", "BEGIN:STANDARD", "DTSTART:19701025T030000",
              "TZOFFSETFROM:+0200", "TZOFFSETTO:+0100", "END:STANDARD", "END:VTIMEZONE"})
            lines.push_back(std::string(line) == "TZID:" ? "TZID:" + zone : line);
    for (const std::string& line :
         {std::string("BEGIN:VEVENT"), std::string("UID:u1"),
          std::string("DTSTAMP:20270101T000000Z"),
          "DTSTART" + (zone.empty() ? std::string(":") : ";TZID=" + zone + ":") + start,
          std::string("SUMMARY:Lunch"), std::string("CATEGORIES:Others")})
        lines.push_back(line);
    if (!trigger.empty())
        for (const std::string& line :
             {std::string("BEGIN:VALARM"), std::string("ACTION:DISPLAY"),
              std::string("DESCRIPTION:Lunch"), "TRIGGER:" + trigger, std::string("END:VALARM")})
            lines.push_back(line);
    lines.push_back("END:VEVENT");
    lines.push_back("END:VCALENDAR");
    return Crlf(lines);
}

// The server's copy: two alarms, an attendee, a property of another client.
const std::string kKept = Crlf({"BEGIN:VCALENDAR",
                                "VERSION:2.0",
                                "PRODID:-//Other//EN",
                                "BEGIN:VEVENT",
                                "UID:u1",
                                "DTSTAMP:20261201T000000Z",
                                "DTSTART:20270105T120000Z",
                                "SUMMARY:Lunch",
                                "ATTENDEE:mailto:a@example.com",
                                "X-OTHER:kept",
                                "BEGIN:VALARM",
                                "ACTION:DISPLAY",
                                "DESCRIPTION:Lunch",
                                "TRIGGER:-PT10M",
                                "END:VALARM",
                                "BEGIN:VALARM",
                                "ACTION:AUDIO",
                                "TRIGGER:-PT1H",
                                "END:VALARM",
                                "END:VEVENT",
                                "END:VCALENDAR"});

} // namespace

TEST(EventTouch, AChangedAlertReplacesTheAlarmsAndNothingElse) {
    const std::string before = Export("20270105T120000Z", "-PT10M");
    const std::string after = Export("20270105T120000Z", "-PT30M");
    const EventTouch touch = FindTouched(after, before);
    EXPECT_TRUE(touch.alarms);
    EXPECT_TRUE(touch.properties.empty());
    std::string result, error;
    ASSERT_TRUE(PatchKeptEvent(kKept, after, touch, result, error)) << error;
    EXPECT_EQ(Crlf({"BEGIN:VCALENDAR", "VERSION:2.0", "PRODID:-//Other//EN", "BEGIN:VEVENT",
                    "UID:u1", "DTSTAMP:20270101T000000Z", "DTSTART:20270105T120000Z",
                    "SUMMARY:Lunch", "ATTENDEE:mailto:a@example.com", "X-OTHER:kept", "SEQUENCE:1",
                    "BEGIN:VALARM", "ACTION:DISPLAY", "DESCRIPTION:Lunch", "TRIGGER:-PT30M",
                    "END:VALARM", "END:VEVENT", "END:VCALENDAR"}),
              result);
    // An alert removed removes the alarms.
    const EventTouch removed = FindTouched(Export("20270105T120000Z", ""), before);
    ASSERT_TRUE(PatchKeptEvent(kKept, Export("20270105T120000Z", ""), removed, result, error));
    EXPECT_EQ(std::string::npos, result.find("VALARM"));
    EXPECT_NE(std::string::npos, result.find("X-OTHER:kept"));
}

TEST(EventTouch, ATimeMovedIntoAZoneBringsTheZonesDefinitionAlong) {
    const std::string before = Export("20270105T120000Z", "-PT10M");
    const std::string after = Export("20270105T130000", "-PT10M", "Europe/Berlin");
    const EventTouch touch = FindTouched(after, before);
    EXPECT_EQ(std::vector<std::string>{"DTSTART"}, touch.properties);
    EXPECT_FALSE(touch.alarms);
    std::string result, error;
    ASSERT_TRUE(PatchKeptEvent(kKept, after, touch, result, error)) << error;
    const std::size_t zone = result.find("BEGIN:VTIMEZONE\r\nTZID:Europe/Berlin\r\n");
    ASSERT_NE(std::string::npos, zone);
    EXPECT_LT(zone, result.find("BEGIN:VEVENT"));
    EXPECT_NE(std::string::npos, result.find("DTSTART;TZID=Europe/Berlin:20270105T130000\r\n"));
    EXPECT_EQ(std::string::npos, result.find("DTSTART:20270105T120000Z"));
    EXPECT_NE(std::string::npos, result.find("TRIGGER:-PT1H")); // both alarms stay
    // A second edit in the same zone does not add the definition again.
    const std::string later = Export("20270105T140000", "-PT10M", "Europe/Berlin");
    std::string again;
    ASSERT_TRUE(PatchKeptEvent(result, later, FindTouched(later, after), again, error));
    EXPECT_EQ(again.find("BEGIN:VTIMEZONE"), again.rfind("BEGIN:VTIMEZONE"));
    EXPECT_NE(std::string::npos, again.find("SEQUENCE:2\r\n"));
}
