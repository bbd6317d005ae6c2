// The stored values of repeating appointments, as bytes: what is read from
// whatever is stored, and what is written. Window-free: also built natively
// (fuzz/CMakeLists.txt).
#include "ical/civil_time.h"
#include "store/series_values.h"
#include "store/value_decoding.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

// UTF-16 little-endian units of `text`, then `zeros` zero bytes.
std::vector<unsigned char> Units(const std::u16string& text, std::size_t zeros = 2) {
    std::vector<unsigned char> bytes;
    for (char16_t unit : text) {
        bytes.push_back(static_cast<unsigned char>(unit & 0xFF));
        bytes.push_back(static_cast<unsigned char>(unit >> 8));
    }
    bytes.insert(bytes.end(), zeros, 0);
    return bytes;
}

std::vector<unsigned char> Units(const std::string& ascii, std::size_t zeros = 2) {
    return Units(std::u16string(ascii.begin(), ascii.end()), zeros);
}

TEST(SeriesValues, RepeatReadsAsARuleNoneOrOneNotFollowed) {
    struct Case {
        std::uint32_t type;
        std::vector<unsigned char> bytes;
        RepeatKind kind;
        std::string text;
    } cases[] = {
        {kValueTypeText, Units("FREQ=WEEKLY;BYDAY=TU,TH"), RepeatKind::Rule,
         "FREQ=WEEKLY;BYDAY=TU,TH"},
        {kValueTypeExpandText, Units("freq=monthly;byday=-1fr", 6), RepeatKind::Rule,
         "freq=monthly;byday=-1fr"},
        {kValueTypeText, Units(""), RepeatKind::None, ""},
        // Outside the set: kept as text, followed as once only.
        {kValueTypeText, Units("FREQ=MINUTELY"), RepeatKind::Unfollowed, "FREQ=MINUTELY"},
        {kValueTypeText, Units("FREQ=DAILY;COUNT=2;UNTIL=20300101"), RepeatKind::Unfollowed,
         "FREQ=DAILY;COUNT=2;UNTIL=20300101"},
        {kValueTypeText, Units("FREQ=DAILY;UNTIL=tomorrow"), RepeatKind::Unfollowed,
         "FREQ=DAILY;UNTIL=tomorrow"},
        // Not text that can be read: no NUL, odd size, text after the NUL,
        // beyond ASCII, too long, another type, nothing.
        {kValueTypeText, Units("FREQ=DAILY", 0), RepeatKind::Unfollowed, ""},
        {kValueTypeText, Units("FREQ=DAILY", 3), RepeatKind::Unfollowed, ""},
        {kValueTypeText, Units(std::string("FREQ=DAILY\0x", 12)), RepeatKind::Unfollowed, ""},
        {kValueTypeText, Units(u"FREQ=DAILY;BYDAY=M\u00d6"), RepeatKind::Unfollowed, ""},
        {kValueTypeText, Units("FREQ=DAILY;" + std::string(kMaxRepeatLength, ';')),
         RepeatKind::Unfollowed, ""},
        {kValueTypeMultiText, Units("FREQ=DAILY", 4), RepeatKind::Unfollowed, ""},
        {kValueTypeDword, {1, 0, 0, 0}, RepeatKind::Unfollowed, ""},
        {kValueTypeText, {}, RepeatKind::Unfollowed, ""},
    };
    for (const Case& c : cases) {
        const RepeatValue read = DecodeRepeatValue(c.type, c.bytes.data(), c.bytes.size());
        EXPECT_EQ(c.kind, read.kind) << c.text << ", type " << c.type << ", " << c.bytes.size();
        EXPECT_EQ(c.text, read.text);
    }
}

TEST(SeriesValues, SkipDatesThatAreNotDatesArePassedOverAndTheRestHold) {
    const std::vector<unsigned char> list =
        Units("20270315,2027-3-22,20270230,,x,20270301, 20270308,202703290,20270315,00010101");
    EXPECT_EQ((std::vector<CalendarDate>{{1, 1, 1}, {2027, 3, 1}, {2027, 3, 15}}),
              DecodeSkipDatesValue(kValueTypeText, list.data(), list.size()));
    const std::vector<unsigned char> wrongType = Units("20270315", 4);
    EXPECT_TRUE(
        DecodeSkipDatesValue(kValueTypeMultiText, wrongType.data(), wrongType.size()).empty());
    // At most kMaxSkipDates are read, whatever the value holds.
    std::string many;
    for (std::size_t i = 0; i < kMaxSkipDates + 5; ++i)
        many += std::to_string(20000101 + 10000 * (i % 8000)) + ",";
    const std::vector<unsigned char> manyBytes = Units(many);
    EXPECT_EQ(kMaxSkipDates,
              DecodeSkipDatesValue(kValueTypeText, manyBytes.data(), manyBytes.size()).size());
}

TEST(SeriesValues, UidReadsAsUtf8OrNotAtAll) {
    const std::vector<unsigned char> plain = Units(u"040000008200E000@example.com");
    EXPECT_EQ("040000008200E000@example.com",
              DecodeUidValue(kValueTypeText, plain.data(), plain.size()));
    const std::vector<unsigned char> accented = Units(u"\u00e9v\u00e9nement-\U0001F382");
    EXPECT_EQ("\xC3\xA9v\xC3\xA9nement-\xF0\x9F\x8E\x82",
              DecodeUidValue(kValueTypeText, accented.data(), accented.size()));
    for (const std::u16string& bad : {std::u16string(u"a\nb"), std::u16string(u"x\xD800y"),
                                      std::u16string(u"\xDC00"), std::u16string()}) {
        const std::vector<unsigned char> bytes = Units(bad);
        EXPECT_EQ("", DecodeUidValue(kValueTypeText, bytes.data(), bytes.size()));
    }
}

TEST(SeriesValues, SavingWritesWhatReadsBackAndLeavesAnUnfollowedRuleAlone) {
    const SeriesValues values{RepeatKind::Rule,
                              "FREQ=YEARLY;BYMONTH=2;BYMONTHDAY=-1",
                              {{2027, 2, 28}, {2026, 2, 28}},
                              "birthday@example.com"};
    const StoredSeriesValues stored = EncodeSeriesValues(values);
    ASSERT_TRUE(stored.skipDates.has_value());
    EXPECT_EQ(Units("20260228,20270228"), stored.skipDates->bytes);
    SeriesValues sorted = values;
    std::swap(sorted.skipDates[0], sorted.skipDates[1]);
    EXPECT_EQ(sorted, DecodeSeriesValues(stored));

    // Nothing to write deletes; an unfollowed rule gets no value here (the
    // glue keeps the stored one), nor does a rule outside the set.
    const StoredSeriesValues empty = EncodeSeriesValues(SeriesValues{});
    EXPECT_FALSE(empty.repeat || empty.skipDates || empty.uid);
    EXPECT_FALSE(EncodeSeriesValues({RepeatKind::Unfollowed, "FREQ=HOURLY", {}, ""}).repeat);
    EXPECT_FALSE(EncodeSeriesValues({RepeatKind::Rule, "FREQ=HOURLY", {}, ""}).repeat);

    // More skip dates than are read: the latest are kept.
    SeriesValues many{RepeatKind::Rule, "FREQ=DAILY", {}, ""};
    for (int day = 0; day < static_cast<int>(kMaxSkipDates) + 10; ++day)
        many.skipDates.push_back(ical::AddDays({2000, 1, 1}, day));
    const SeriesValues read = DecodeSeriesValues(EncodeSeriesValues(many));
    ASSERT_EQ(kMaxSkipDates, read.skipDates.size());
    EXPECT_EQ(ical::AddDays({2000, 1, 1}, 10), read.skipDates.front());
}

} // namespace
