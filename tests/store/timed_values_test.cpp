// The stored values of timed appointments, as bytes: what is read from
// whatever is stored, and what is written. Window-free: also built natively
// (fuzz/CMakeLists.txt).
#include "store/timed_values.h"
#include "store/value_decoding.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace {

// UTF-16 little-endian units of `text`, then `zeros` zero bytes.
std::vector<unsigned char> Units(const std::string& text, std::size_t zeros = 2) {
    std::vector<unsigned char> bytes;
    for (char c : text) {
        bytes.push_back(static_cast<unsigned char>(c));
        bytes.push_back(0);
    }
    bytes.insert(bytes.end(), zeros, 0);
    return bytes;
}

std::vector<unsigned char> Dword(std::uint32_t value) {
    return {static_cast<unsigned char>(value), static_cast<unsigned char>(value >> 8),
            static_cast<unsigned char>(value >> 16), static_cast<unsigned char>(value >> 24)};
}

struct Case {
    std::uint32_t type;
    std::vector<unsigned char> bytes;
    std::optional<int> expected;
};

TEST(TimedValues, StoredBytesReadAsWhatTheyMeanOrAsAbsent) {
    const Case times[] = {
        {kValueTypeText, Units("14:30"), 870},
        {kValueTypeExpandText, Units("00:00"), 0},
        {kValueTypeText, Units("23:59", 8), 1439}, // zeros after the NUL
        {kValueTypeText, Units("25:99"), std::nullopt},
        {kValueTypeText, Units("12:60"), std::nullopt},
        {kValueTypeText, Units("9:5"), std::nullopt},
        {kValueTypeText, Units("09:05 "), std::nullopt},
        {kValueTypeText, Units(" 12:00"), std::nullopt},
        {kValueTypeText, Units("14:30", 0), std::nullopt}, // no NUL
        {kValueTypeText, Units("14:30", 3), std::nullopt}, // odd size
        {kValueTypeText, {'1', 0, '4', 0, ':', 0, '3', 0, '0', 0, 0, 0, 'x', 0}, std::nullopt},
        {kValueTypeMultiText, Units("14:30", 4), std::nullopt},
        {kValueTypeBinary, Units("14:30"), std::nullopt},
        {kValueTypeDword, Dword(870), std::nullopt},
        {kValueTypeText, {}, std::nullopt},
    };
    for (const Case& c : times)
        EXPECT_EQ(c.expected, DecodeTimeValue(c.type, c.bytes.data(), c.bytes.size()))
            << "TIME of type " << c.type << ", " << c.bytes.size() << " bytes";

    const Case durations[] = {
        {kValueTypeDword, Dword(90), 90},
        {kValueTypeDword, Dword(14 * 24 * 60), 14 * 24 * 60},
        {kValueTypeDword, Dword(14 * 24 * 60 + 1), std::nullopt},
        {kValueTypeDword, Dword(0), std::nullopt},
        {kValueTypeDword, Dword(0xFFFFFFA6), std::nullopt}, // -90
        {kValueTypeText, Units("90"), std::nullopt},
        {kValueTypeBinary, Dword(90), std::nullopt},
    };
    for (const Case& c : durations)
        EXPECT_EQ(c.expected, DecodeDurationValue(c.type, c.bytes.data(), c.bytes.size()))
            << "DURATION of type " << c.type << ", " << c.bytes.size() << " bytes";

    const Case reminders[] = {
        {kValueTypeDword, Dword(0), 0},
        {kValueTypeDword, Dword(15), 15},
        {kValueTypeDword, Dword(7 * 24 * 60), 7 * 24 * 60},
        {kValueTypeDword, Dword(7 * 24 * 60 + 1), std::nullopt},
        {kValueTypeDword, Dword(0xFFFFFFF1), std::nullopt}, // -15
        {kValueTypeDword, Dword(0x80000000), std::nullopt},
        {kValueTypeDword, {15, 0, 0, 0, 0, 0, 0, 0}, std::nullopt},
    };
    for (const Case& c : reminders)
        EXPECT_EQ(c.expected, DecodeRemindBeforeValue(c.type, c.bytes.data(), c.bytes.size()))
            << "REMIND BEFORE of type " << c.type << ", " << c.bytes.size() << " bytes";

    // Zones: IANA names as the table spells them, Windows ids as their IANA
    // names, anything else the computer's zone.
    auto zone = [](std::uint32_t type, const std::vector<unsigned char>& bytes) {
        return DecodeTimeZoneValue(type, bytes.data(), bytes.size());
    };
    EXPECT_EQ("Europe/Berlin", zone(kValueTypeText, Units("Europe/Berlin")));
    EXPECT_EQ("Europe/Berlin", zone(kValueTypeText, Units("europe/BERLIN")));
    EXPECT_EQ("Asia/Calcutta", zone(kValueTypeText, Units("Asia/Calcutta")));
    EXPECT_EQ("Europe/Berlin", zone(kValueTypeText, Units("W. Europe Standard Time")));
    EXPECT_EQ("America/New_York", zone(kValueTypeExpandText, Units("Eastern Standard Time")));
    EXPECT_EQ("", zone(kValueTypeText, Units("Mars/Olympus_Mons")));
    EXPECT_EQ("", zone(kValueTypeText, Units("Europe/Berlin", 0)));
    EXPECT_EQ("", zone(kValueTypeBinary, Units("Europe/Berlin")));
    EXPECT_EQ("", zone(kValueTypeText, Units(std::string(70, 'a'))));
    EXPECT_EQ("", zone(kValueTypeText, {0xE4, 0x00, 0x00, 0x00})); // beyond ASCII
}

TEST(TimedValues, SavingWritesWhatReadingGivesBackAndNothingThatNeedsATime) {
    const TimedValues meeting{14 * 60 + 30, 90, 15, "Europe/Berlin"};
    const StoredTimedValues written = EncodeTimedValues(meeting);
    ASSERT_TRUE(written.time && written.duration && written.remindBefore && written.zone);
    EXPECT_EQ(Units("14:30"), written.time->bytes);
    EXPECT_EQ(Dword(90), written.duration->bytes);
    EXPECT_EQ(kValueTypeDword, written.remindBefore->type);
    EXPECT_EQ(meeting, DecodeTimedValues(written));

    // A Windows id is written as its IANA name.
    EXPECT_EQ(
        Units("Asia/Kolkata"),
        EncodeTimedValues({9 * 60, std::nullopt, std::nullopt, "India Standard Time"}).zone->bytes);

    // All day: the alert stays, what belongs to a time goes (it is deleted).
    const StoredTimedValues allDay = EncodeTimedValues({std::nullopt, 90, 360, "Europe/Berlin"});
    EXPECT_FALSE(allDay.time || allDay.duration || allDay.zone);
    EXPECT_EQ((TimedValues{std::nullopt, std::nullopt, 360, ""}), DecodeTimedValues(allDay));
    // Nothing out of bounds is written; no zone but the computer's, none.
    const StoredTimedValues odd = EncodeTimedValues({24 * 60, 0, -5, ""});
    EXPECT_FALSE(odd.time || odd.duration || odd.remindBefore || odd.zone);

    for (int minute = 0; minute < kMinutesPerDay; ++minute)
        ASSERT_EQ(minute, ParseTimeOfDay(FormatTimeOfDay(minute)));
    EXPECT_EQ("", FormatTimeOfDay(kMinutesPerDay));
}

} // namespace
