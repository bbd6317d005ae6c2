// Checks of the window-free logic under the native sanitizers, for what the
// Wine suite cannot reach: a double-byte code page, and reads that ASan
// watches byte for byte. Exits non-zero on the first failure.

#include "fuzz/fuzz_check.h"
#include "store/date_range.h"
#include "store/value_decoding.h"
#include "tray/reminder_lines.h"
#include "tray/reminder_schedule.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

namespace {

// Decodes `value` (held in a block of exactly its size) into a buffer of
// exactly `capacity` bytes.
std::string Decode(std::uint32_t type, const std::string& value, std::size_t capacity,
                   LeadBytePredicate isLeadByte, bool* ok = nullptr) {
    std::unique_ptr<unsigned char[]> bytes(new unsigned char[value.size()]);
    std::memcpy(bytes.get(), value.data(), value.size());
    std::unique_ptr<char[]> buffer(new char[capacity]);
    const bool result =
        DecodeTextValue(type, bytes.get(), value.size(), buffer.get(), capacity, isLeadByte);
    if (ok != nullptr)
        *ok = result;
    return buffer.get();
}

void CheckTextDecoding() {
    using fuzzing::NoLeadBytes;
    using fuzzing::ShiftJisLeadByte;
    struct Case {
        std::uint32_t type;
        std::string value;
        std::size_t capacity;
        LeadBytePredicate isLeadByte;
        bool ok;
        std::string text;
    };
    const std::string kanji = "\x93\xfa\x96\x7b"; // two double-byte characters
    const Case cases[] = {
        {kValueTypeExpandText, std::string("2002-5-7\0\0\0", 11), 12, NoLeadBytes, true,
         "2002-5-7"},
        {kValueTypeText, "no NUL at all", 20, NoLeadBytes, true, "no NUL at all"},
        {kValueTypeText, "no NUL at all", 6, NoLeadBytes, true, "no NU"},
        {kValueTypeExpandText, "", 12, NoLeadBytes, true, ""},
        {kValueTypeExpandText, "abc", 1, NoLeadBytes, true, ""},
        {kValueTypeMultiText, std::string("first\0second\0\0", 14), 50, NoLeadBytes, true, "first"},
        {kValueTypeDword, std::string("2002", 4), 12, NoLeadBytes, false, ""},
        {kValueTypeBinary, "2002-5-7", 12, NoLeadBytes, false, ""},
        {kValueTypeNone, "x", 12, NoLeadBytes, false, ""},
        // A cut never splits a double-byte character...
        {kValueTypeText, kanji, 4, ShiftJisLeadByte, true, "\x93\xfa"},
        {kValueTypeText, kanji, 2, ShiftJisLeadByte, true, ""},
        {kValueTypeText, "a" + kanji, 5, ShiftJisLeadByte, true, "a\x93\xfa"},
        // ...but the same bytes in a single-byte code page are cut anywhere.
        {kValueTypeText, kanji, 4, NoLeadBytes, true, "\x93\xfa\x96"},
        // A lone lead byte at the end of the data is not read past.
        {kValueTypeText, "ab\x93", 3, ShiftJisLeadByte, true, "ab"},
        {kValueTypeText, "ab\x93", 8, ShiftJisLeadByte, true, "ab\x93"},
    };
    for (const Case& c : cases) {
        bool ok = !c.ok;
        const std::string text = Decode(c.type, c.value, c.capacity, c.isLeadByte, &ok);
        if (ok != c.ok || text != c.text) {
            std::fprintf(stderr, "decoding \"%s\" (type %u, capacity %zu) gave \"%s\"\n",
                         c.value.c_str(), c.type, c.capacity, text.c_str());
            std::abort();
        }
    }
    // No buffer or no room: nothing written, and false.
    FUZZ_CHECK(!DecodeTextValue(kValueTypeText, nullptr, 0, nullptr, 4, NoLeadBytes));
    char untouched = 'u';
    FUZZ_CHECK(!DecodeTextValue(kValueTypeText, nullptr, 0, &untouched, 0, NoLeadBytes));
    FUZZ_CHECK(untouched == 'u');
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
    // 298 single bytes then a double-byte character: the character would end
    // at byte 300, so the line stops before it.
    const std::string notes = std::string(298, 'n') + "\x93\xfa" + "tail";
    FUZZ_CHECK(CutReminderLine(notes.c_str(), fuzzing::ShiftJisLeadByte) == std::string(298, 'n'));
    FUZZ_CHECK(CutReminderLine(notes.c_str(), fuzzing::NoLeadBytes) ==
               std::string(298, 'n') + "\x93");
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

} // namespace

int main() {
    CheckTextDecoding();
    CheckDwordDecoding();
    CheckReminderCut();
    CheckMalformedDates();
    CheckReminderSchedule();
    std::puts("native checks passed");
    return 0;
}
