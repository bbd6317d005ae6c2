// Checks of the window-free logic under the native sanitizers, for what the
// Wine suite cannot reach: a double-byte code page, and reads that ASan
// watches byte for byte. Exits non-zero on the first failure.

#include "fuzz/fuzz_check.h"
#include "ical/calendar_file.h"
#include "ical/civil_time.h"
#include "ical/import_plan.h"
#include "ical/time_value.h"
#include "ical/time_zone_table.h"
#include "store/date_range.h"
#include "store/key_naming.h"
#include "store/value_decoding.h"
#include "tests/support/fake_zone.h"
#include "tray/reminder_lines.h"
#include "tray/reminder_schedule.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

namespace {

// Decodes `value`, UTF-16 as the wide functions read it (held in a block of
// exactly its size), for a field of `capacity` units.
std::string Decode(std::uint32_t type, const std::u16string& units, std::size_t capacity,
                   bool* ok = nullptr, std::size_t extraBytes = 0) {
    const std::size_t size = units.size() * 2 + extraBytes;
    std::unique_ptr<unsigned char[]> bytes(new unsigned char[size]);
    for (std::size_t i = 0; i < units.size(); ++i) {
        bytes[2 * i] = static_cast<unsigned char>(units[i] & 0xFF);
        bytes[2 * i + 1] = static_cast<unsigned char>(units[i] >> 8);
    }
    for (std::size_t i = units.size() * 2; i < size; ++i)
        bytes[i] = 'x';
    std::string text;
    const bool result = DecodeTextValue(type, bytes.get(), size, capacity, text);
    if (ok != nullptr)
        *ok = result;
    return text;
}

void CheckTextDecoding() {
    struct Case {
        std::uint32_t type;
        std::u16string value;
        std::size_t capacity;
        bool ok;
        std::string text;
        std::size_t extraBytes = 0;
    };
    const std::u16string emoji = u"\U0001F600"; // a surrogate pair
    const Case cases[] = {
        {kValueTypeExpandText, std::u16string(u"2002-5-7\0\0\0", 11), 11, true, "2002-5-7"},
        {kValueTypeText, u"no NUL at all", 20, true, "no NUL at all"},
        {kValueTypeText, u"no NUL at all", 6, true, "no NU"},
        {kValueTypeExpandText, u"", 12, true, ""},
        {kValueTypeExpandText, u"abc", 1, true, ""},
        {kValueTypeExpandText, u"abc", 0, false, ""},
        {kValueTypeMultiText, std::u16string(u"first\0second\0\0", 14), 50, true, "first"},
        {kValueTypeDword, u"20", 12, false, ""},
        {kValueTypeBinary, u"2002-5-7", 12, false, ""},
        {kValueTypeNone, u"x", 12, false, ""},
        // Cyrillic and CJK come through whole, as UTF-8.
        {kValueTypeText, u"\u0414\u0430\u0440\u044C\u044F \u6771\u4EAC", 500, true,
         "\xD0\x94\xD0\xB0\xD1\x80\xD1\x8C\xD1\x8F \xE6\x9D\xB1\xE4\xBA\xAC"},
        // A cut never splits a surrogate pair...
        {kValueTypeText, u"ab" + emoji, 4, true, "ab"},
        {kValueTypeText, u"ab" + emoji, 5, true, "ab\xF0\x9F\x98\x80"},
        // ...and a lone surrogate reads as U+FFFD.
        {kValueTypeText, std::u16string(1, u'\xD83D') + u"x", 10, true, "\xEF\xBF\xBDx"},
        // An odd last byte is half a character and not read.
        {kValueTypeText, u"ab", 10, true, "ab", 1},
    };
    for (const Case& c : cases) {
        bool ok = !c.ok;
        const std::string text = Decode(c.type, c.value, c.capacity, &ok, c.extraBytes);
        if (ok != c.ok || text != c.text) {
            std::fprintf(stderr, "decoding (type %u, capacity %zu) gave \"%s\"\n", c.type,
                         c.capacity, text.c_str());
            std::abort();
        }
    }
    // The fixed field: 500 units in a single-byte code page; in a double-byte
    // one as many as make 500 bytes there, as a code-page writer stored it.
    const std::u16string kanji = u"\u65E5\u672C";
    FUZZ_CHECK(EncodeFixedText(kanji, 2, 500).size() == 500);
    FUZZ_CHECK(EncodeFixedText(kanji, 4, 500).size() == 498);
    FUZZ_CHECK(EncodeFixedText(std::u16string(499, u'a'), 499, 500).size() == 500);
    FUZZ_CHECK(EncodeFixedText(std::u16string(500, u'a'), 500, 500).empty());
    FUZZ_CHECK(EncodeFixedText(std::u16string(300, u'a'), 600, 500).empty());
}

void CheckDwordDecoding() {
    const unsigned char bytes[5] = {0x3c, 0x00, 0x00, 0x80, 0xff};
    std::uint32_t value = 7;
    FUZZ_CHECK(DecodeDwordValue(kValueTypeDword, bytes, 4, value) && value == 0x8000003cu);
    value = 7;
    FUZZ_CHECK(!DecodeDwordValue(kValueTypeDword, bytes, 3, value) && value == 7);
    FUZZ_CHECK(!DecodeDwordValue(kValueTypeDword, bytes, 5, value) && value == 7);
    FUZZ_CHECK(!DecodeDwordValue(kValueTypeExpandText, bytes, 4, value) && value == 7);
    FUZZ_CHECK(!DecodeDwordValue(kValueTypeBinary, bytes, 4, value) && value == 7);
}

void CheckReminderCut() {
    // 298 characters then an emoji, two UTF-16 units: it would end at unit
    // 300, so the line stops before it; one character less and it fits.
    const std::string emoji = "\xF0\x9F\x98\x80";
    FUZZ_CHECK(CutReminderLine(std::string(298, 'n') + emoji + "tail") == std::string(298, 'n'));
    FUZZ_CHECK(CutReminderLine(std::string(297, 'n') + emoji + "tail") ==
               std::string(297, 'n') + emoji);
    // Cyrillic counts one unit a character, though two bytes in UTF-8.
    std::string cyrillic;
    for (int i = 0; i < 300; ++i)
        cyrillic += "\xD0\x94";
    FUZZ_CHECK(CutReminderLine(cyrillic) == cyrillic.substr(0, 2 * 299));
}

void CheckMalformedDates() {
    const char* const texts[] = {"",          "2002-13-45", "abc",       "2002-5",    "-1-1-1",
                                 "99999-1-1", "2002-5-7-9", "2003-2-29", "2002-5-7 ", " 2002-5-7",
                                 "2002--5-7", "10000-1-1",  "0-1-1",     "2002-0-7",  "2002-5-0",
                                 "+2002-5-7", "123456-1-1", "2002-5-32", "2002-4-31", "1900-2-29"};
    for (const char* text : texts) {
        CalendarDate date{1, 2, 3};
        if (ParseDateText(text, date) || !(date == CalendarDate{1, 2, 3})) {
            std::fprintf(stderr, "\"%s\" was read as a date\n", text);
            std::abort();
        }
        FUZZ_CHECK(ClassifyRange(text, "2002-5-7", {2002, 5, 7}) == RangeState::Unreadable);
    }
    CalendarDate date;
    FUZZ_CHECK(ParseDateText("9999-12-31", date) && date == (CalendarDate{9999, 12, 31}));
    FUZZ_CHECK(ParseDateText("2004-2-29", date) && date == (CalendarDate{2004, 2, 29}));
    FUZZ_CHECK(ParseDateText("2000-2-29", date) && date == (CalendarDate{2000, 2, 29}));
    FUZZ_CHECK(ParseDateText("0002-05-07", date) && date == (CalendarDate{2, 5, 7}));
}

// What the fuzzer's properties do not pin down: the answers that hold a
// reminder back, two appointments of one name, and damaged stored state.
void CheckReminderSchedule() {
    for (int state = -1; state <= 8; ++state)
        FUZZ_CHECK(NotificationStateHoldsReminders(state) ==
                   (state >= 1 && state <= 7 && state != kStateAcceptsNotices));

    const std::vector<std::string> found = {"Lunch", "Dentist", "Lunch"};
    const std::vector<std::uint64_t> one = MergeDismissed({}, {"Lunch", "Dentist"});
    FUZZ_CHECK(WithoutDismissed(found, one) == std::vector<std::string>{"Lunch"});
    FUZZ_CHECK(MergeDismissed(MergeDismissed(one, found), found).size() == 3);

    const unsigned char feb30[8] = {0x06, 0x7c, 0x31, 0x01}; // 2002-2-30, packed
    FUZZ_CHECK(!DecodeSnooze(feb30, sizeof feb30));
    // 1 March 2002 at 86,400,000 ms is no time of day; one ms less is.
    unsigned char dayLong[8] = {0x4d, 0x7c, 0x31, 0x01, 0x00, 0x5c, 0x26, 0x05};
    FUZZ_CHECK(!DecodeSnooze(dayLong, sizeof dayLong));
    dayLong[4] = 0xff, dayLong[5] = 0x5b;
    FUZZ_CHECK(DecodeSnooze(dayLong, sizeof dayLong)->msOfDay == kMsPerDay - 1);
    std::vector<unsigned char> dismissed = EncodeDismissed({{2002, 5, 7}, one});
    FUZZ_CHECK(!DecodeDismissed(dismissed.data(), dismissed.size() - 4));
    dismissed[4] = 1;
    FUZZ_CHECK(!DecodeDismissed(dismissed.data(), dismissed.size()));
}

// The writer an unfinished key's name gives, in this build's form and the
// older one, and names that give none.
void CheckUnfinishedKeyNames() {
    const UnfinishedWriter writer{4294967292ul, 133800000000000000ull, 18446744073709551615ull};
    UnfinishedWriter read;
    FUZZ_CHECK(ParseUnfinishedKeyName(UnfinishedKeyName(writer).c_str(), read) &&
               read.processId == writer.processId && read.processCreated == writer.processCreated &&
               read.batch == writer.batch);
    FUZZ_CHECK(ParseUnfinishedKeyName("~Quillmere unfinished 1234-5678", read) &&
               read.processId == 1234 && read.processCreated == 0 && read.batch == 5678);
    const char* const refused[] = {
        "~Quillmere unfinished 12",    "~Quillmere unfinished 12-",
        "~Quillmere unfinished -1-2",  "~Quillmere unfinished 1-2-3-4",
        "~Quillmere unfinished 0-5",   "~Quillmere unfinished 4294967296-5",
        "~Quillmere unfinished 8-0-5", "~Quillmere unfinished 8-18446744073709551616",
        "~Quillmere unfinished 8-5 ",  "Appointment 1-2",
    };
    for (const char* name : refused)
        FUZZ_CHECK(!ParseUnfinishedKeyName(name, read));
}

// A zone as calendar programs export it, with the day in the year
// checked on which its clocks go forward, at midnight for all but New York.
struct GapZone {
    const char* tzid;
    const char* daylight; // TZOFFSETFROM, TZOFFSETTO, DTSTART and RRULE lines
    const char* standard;
    CalendarDate change;
    int wallSeconds; // the local time at which the clocks go forward
    int offsetBefore;
};

std::string ZoneText(const GapZone& zone) {
    return std::string("BEGIN:VTIMEZONE\r\nTZID:") + zone.tzid + "\r\nBEGIN:DAYLIGHT\r\n" +
           zone.daylight + "END:DAYLIGHT\r\nBEGIN:STANDARD\r\n" + zone.standard +
           "END:STANDARD\r\nEND:VTIMEZONE\r\n";
}

// The local date and time at an instant, as the C library's time zone
// database gives them for the zone named in TZ.
ical::LocalDateTime LibraryWallTime(std::int64_t utc) {
    const std::time_t t = static_cast<std::time_t>(utc);
    std::tm local{};
    localtime_r(&t, &local);
    return {{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday},
            local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec};
}

// A local time that the clocks skip takes the offset from before the change
// (RFC 5545, 3.3.5), also where they skip from midnight: an event at 00:30
// that day stays on it. Every zone's table is also held against the C
// library's for every half hour of the year.
void CheckDaylightSavingGaps() {
    const GapZone zones[] = {
        {"America/New_York",
         "TZOFFSETFROM:-0500\r\nTZOFFSETTO:-0400\r\nDTSTART:20070311T020000\r\n"
         "RRULE:FREQ=YEARLY;BYMONTH=3;BYDAY=2SU\r\n",
         "TZOFFSETFROM:-0400\r\nTZOFFSETTO:-0500\r\nDTSTART:20071104T020000\r\n"
         "RRULE:FREQ=YEARLY;BYMONTH=11;BYDAY=1SU\r\n",
         {2007, 3, 11},
         2 * 3600,
         -5 * 3600},
        {"America/Havana",
         "TZOFFSETFROM:-0500\r\nTZOFFSETTO:-0400\r\nDTSTART:20130310T000000\r\n"
         "RRULE:FREQ=YEARLY;BYMONTH=3;BYDAY=2SU\r\n",
         "TZOFFSETFROM:-0400\r\nTZOFFSETTO:-0500\r\nDTSTART:20131103T010000\r\n"
         "RRULE:FREQ=YEARLY;BYMONTH=11;BYDAY=1SU\r\n",
         {2027, 3, 14},
         0,
         -5 * 3600},
        {"America/Santiago",
         "TZOFFSETFROM:-0400\r\nTZOFFSETTO:-0300\r\nDTSTART:20190908T000000\r\n"
         "RRULE:FREQ=YEARLY;BYMONTH=9;BYMONTHDAY=2,3,4,5,6,7,8;BYDAY=SU\r\n",
         "TZOFFSETFROM:-0300\r\nTZOFFSETTO:-0400\r\nDTSTART:20190407T000000\r\n"
         "RRULE:FREQ=YEARLY;BYMONTH=4;BYMONTHDAY=2,3,4,5,6,7,8;BYDAY=SU\r\n",
         {2027, 9, 5},
         0,
         -4 * 3600},
        // Paraguay kept summer time until 2024.
        {"America/Asuncion",
         "TZOFFSETFROM:-0400\r\nTZOFFSETTO:-0300\r\nDTSTART:20101003T000000\r\n"
         "RRULE:FREQ=YEARLY;BYMONTH=10;BYDAY=1SU\r\n",
         "TZOFFSETFROM:-0300\r\nTZOFFSETTO:-0400\r\nDTSTART:20130324T000000\r\n"
         "RRULE:FREQ=YEARLY;BYMONTH=3;BYDAY=4SU\r\n",
         {2019, 10, 6},
         0,
         -4 * 3600},
        {"Asia/Beirut",
         "TZOFFSETFROM:+0200\r\nTZOFFSETTO:+0300\r\nDTSTART:19930328T000000\r\n"
         "RRULE:FREQ=YEARLY;BYMONTH=3;BYDAY=-1SU\r\n",
         "TZOFFSETFROM:+0300\r\nTZOFFSETTO:+0200\r\nDTSTART:19991031T000000\r\n"
         "RRULE:FREQ=YEARLY;BYMONTH=10;BYDAY=-1SU\r\n",
         {2027, 3, 28},
         0,
         2 * 3600},
        // Cairo's clocks go back as the last Thursday of October ends.
        {"Africa/Cairo",
         "TZOFFSETFROM:+0200\r\nTZOFFSETTO:+0300\r\nDTSTART:20230428T000000\r\n"
         "RRULE:FREQ=YEARLY;BYMONTH=4;BYDAY=-1FR\r\n",
         "TZOFFSETFROM:+0300\r\nTZOFFSETTO:+0200\r\nDTSTART:20231027T000000\r\n"
         "RRULE:FREQ=YEARLY;BYMONTH=10;BYMONTHDAY=26,27,28,29,30,31;BYDAY=FR\r\n",
         {2027, 4, 30},
         0,
         2 * 3600},
    };
    for (const GapZone& zone : zones) {
        setenv("TZ", zone.tzid, 1);
        tzset();
        ical::CalendarFile calendar;
        ical::ReadError error;
        const std::string head = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\n" + ZoneText(zone);
        FUZZ_CHECK(ical::ReadCalendarFile(head + "END:VCALENDAR\r\n", calendar, error));
        const ical::TimeZoneTable table(calendar.zones);

        // Half an hour into the gap: the offset before the change.
        std::int64_t utc = 0;
        FUZZ_CHECK(table.ToUtc(zone.tzid, {zone.change, zone.wallSeconds + 1800}, utc));
        const std::int64_t expected =
            ical::WallSeconds({zone.change, zone.wallSeconds + 1800}) - zone.offsetBefore;
        if (utc != expected)
            std::fprintf(stderr, "%s: %s in the gap gave %s\n", zone.tzid,
                         FormatDateText(zone.change).c_str(), ical::FormatUtcTime(utc).c_str());
        FUZZ_CHECK(utc == expected);
        FUZZ_CHECK(LibraryWallTime(utc).date == zone.change);

        // The table against the C library, every half hour of the year.
        const std::int64_t yearStart = ical::WallSeconds({{zone.change.year, 1, 1}, 0});
        for (std::int64_t t = yearStart; t < yearStart + 366 * ical::kSecondsPerDay; t += 1800) {
            ical::LocalDateTime wall;
            FUZZ_CHECK(table.ToWall(zone.tzid, t, wall));
            if (!(wall == LibraryWallTime(t)))
                std::fprintf(stderr, "%s at %s: table %s, library %s\n", zone.tzid,
                             ical::FormatUtcTime(t).c_str(), FormatDateText(wall.date).c_str(),
                             FormatDateText(LibraryWallTime(t).date).c_str());
            FUZZ_CHECK(wall == LibraryWallTime(t));
        }

        // A daily event at half an hour past the change, from two days
        // before: four days, four appointments, none taken for the day before.
        const int at = zone.wallSeconds + 1800;
        char start[32];
        std::snprintf(start, sizeof start, "%sT%02d%02d00",
                      ical::FormatDate(ical::AddDays(zone.change, -2)).c_str(), at / 3600,
                      at / 60 % 60);
        const std::string file = head + "BEGIN:VEVENT\r\nUID:x\r\nDTSTART;TZID=" + zone.tzid + ":" +
                                 start +
                                 "\r\nRRULE:FREQ=DAILY;COUNT=4\r\nSUMMARY:Daily\r\nEND:VEVENT\r\n"
                                 "END:VCALENDAR\r\n";
        ical::ImportOptions options;
        options.today = ical::AddDays(zone.change, -3);
        options.localTimeOf = [](std::int64_t instant) { return LibraryWallTime(instant); };
        const ical::ImportPlan plan = ical::PlanImport(file, options);
        FUZZ_CHECK(plan.accepted && plan.appointments.size() == 4 && plan.duplicates == 0);
        for (int i = 0; i < 4; ++i)
            FUZZ_CHECK(plan.AppointmentAt(i).day ==
                       FormatDateText(ical::AddDays(zone.change, i - 2)));
    }
    unsetenv("TZ");
    tzset();
}

// The day timer by a zone's rules: from the start of a day on which the
// clocks change, to the first instant of the next.
void CheckDayStartAcrossClockChanges() {
    using qmtest::FakeZone;
    constexpr unsigned kHour = 3600 * 1000;
    constexpr unsigned kMargin = kDayChangeMarginMs;
    const auto wait = [](const FakeZone& zone, int y, int mo, int d, int h, int mi, int s = 0) {
        return MsUntilNextDay({{y, mo, d}, ((h * 60 + mi) * 60 + s) * 1000}, zone);
    };
    const FakeZone us = qmtest::UsEastern2027();
    FUZZ_CHECK(wait(us, 2027, 3, 14, 0, 0, 30) == 23 * kHour - 30000 + kMargin);
    FUZZ_CHECK(wait(us, 2027, 11, 7, 0, 0, 30) == 25 * kHour - 30000 + kMargin);
    FUZZ_CHECK(wait(us, 2027, 3, 13, 23, 59, 59) == 1000 + kMargin);
    FUZZ_CHECK(wait(us, 2027, 6, 1, 0, 0) == 24 * kHour + kMargin);
    // 01:30 on the day the clocks go back comes twice; the later is taken,
    // so the timer is an hour early at worst, never late.
    FUZZ_CHECK(wait(us, 2027, 11, 7, 1, 30) == 22 * kHour + kHour / 2 + kMargin);

    // Havana: 14 March has no 00:00, the day begins at 01:00; 7 November
    // begins twice, the first time counts.
    const FakeZone havana = qmtest::Havana2027();
    FUZZ_CHECK(wait(havana, 2027, 3, 13, 23, 0) == kHour + kMargin);
    FUZZ_CHECK(wait(havana, 2027, 3, 14, 1, 0) == 23 * kHour + kMargin);
    FUZZ_CHECK(wait(havana, 2027, 11, 6, 23, 0) == kHour + kMargin);
    // Beirut: the clocks go back from 24:00 to 23:00 on 30 October.
    const FakeZone beirut = qmtest::Beirut2027();
    FUZZ_CHECK(wait(beirut, 2027, 10, 30, 0, 0) == 25 * kHour + kMargin);
    FUZZ_CHECK(wait(beirut, 2027, 10, 30, 22, 0) == 3 * kHour + kMargin);
    FUZZ_CHECK(wait(beirut, 2027, 3, 27, 23, 0) == kHour + kMargin);
    // A jump from 23:30 to 00:30: the new day begins at the jump.
    const FakeZone across{0, {{qmtest::UtcMs(2027, 6, 1, 23, 30), 60}}};
    FUZZ_CHECK(wait(across, 2027, 6, 1, 23, 0) == kHour / 2 + kMargin);
    // Samoa went from 29 to 31 December 2011 at once.
    FUZZ_CHECK(wait(qmtest::Samoa2011(), 2011, 12, 29, 12, 0) == 12 * kHour + kMargin);

    // A zone that cannot say leaves the wall-clock count.
    const ZoneRules silent = [](std::int64_t) { return std::optional<LocalMoment>(); };
    FUZZ_CHECK(MsUntilNextDay({{2027, 3, 14}, 30000}, silent) == 24 * kHour - 30000 + kMargin);
}

} // namespace

int main() {
    CheckTextDecoding();
    CheckDwordDecoding();
    CheckReminderCut();
    CheckMalformedDates();
    CheckReminderSchedule();
    CheckUnfinishedKeyNames();
    CheckDaylightSavingGaps();
    CheckDayStartAcrossClockChanges();
    std::puts("native checks passed");
    return 0;
}
