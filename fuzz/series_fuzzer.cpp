// Repeating appointments as another program may have stored them. Input:
//   byte 0 below 0x80: one stored value, decoded and written back
//     byte 0     which value: REPEAT, SKIP DATES, UID (mod 3)
//     byte 1     the value's type: 0 to 7 as they are, larger ones spread out
//     the rest   the value's bytes, as the wide functions hand them over
//   byte 0 from 0x80: a series asked what the program asks of it
//     then       REPEAT's text, a line; SKIP DATES' text, a line
//     the rest   FROM, the length, the first day asked and the steps from
//                it, as bytes
// Properties: what is read is written back as read, an unfollowed REPEAT
// excepted (it is left as stored); the remembered answer to "covers
// today?" is the answer asked afresh, day after day and after a jump back;
// the occurrences of a span agree with it; the last end and the purge's
// question agree with each other and with the occurrences.

#include "fuzz/fuzz_check.h"
#include "ical/civil_time.h"
#include "ical/series.h"
#include "store/series_values.h"
#include "store/value_decoding.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

std::uint64_t TakeBytes(const std::uint8_t*& data, std::size_t& size, int count) {
    std::uint64_t value = 0;
    for (int i = 0; i < count; ++i) {
        value <<= 8;
        if (size > 0) {
            value |= *data++;
            --size;
        }
    }
    return value;
}

std::string TakeLine(const std::uint8_t*& data, std::size_t& size) {
    const void* end = std::memchr(data, '\n', size);
    const std::size_t length = end ? static_cast<const std::uint8_t*>(end) - data : size;
    std::string line(reinterpret_cast<const char*>(data), length);
    const std::size_t taken = end ? length + 1 : length;
    data += taken;
    size -= taken;
    return line;
}

SeriesValueBytes Text(const std::string& ascii) {
    SeriesValueBytes value{kValueTypeText, {}};
    for (const char c : ascii) {
        value.bytes.push_back(static_cast<unsigned char>(c));
        value.bytes.push_back(0);
    }
    value.bytes.push_back(0);
    value.bytes.push_back(0);
    return value;
}

void CheckStoredValue(int which, std::uint32_t type, const unsigned char* bytes, std::size_t size) {
    StoredSeriesValues stored;
    const SeriesValueBytes value{type, std::vector<unsigned char>(bytes, bytes + size)};
    (which == 0 ? stored.repeat : which == 1 ? stored.skipDates : stored.uid) = value;
    const SeriesValues read = DecodeSeriesValues(stored);
    if (read.repeatKind == RepeatKind::Rule) {
        ical::SeriesRule rule;
        FUZZ_CHECK(ical::ReadSeriesRule(read.repeat, rule));
    }
    if (read.repeatKind == RepeatKind::None)
        FUZZ_CHECK(read.repeat.empty());
    FUZZ_CHECK(read.skipDates.size() <= kMaxSkipDates);
    for (std::size_t i = 0; i < read.skipDates.size(); ++i) {
        FUZZ_CHECK(ical::IsValidDate(read.skipDates[i]));
        FUZZ_CHECK(i == 0 || CompareDates(read.skipDates[i - 1], read.skipDates[i]) < 0);
    }
    SeriesValues expected = read;
    if (read.repeatKind == RepeatKind::Unfollowed)
        expected = {RepeatKind::None, "", read.skipDates, read.uid};
    FUZZ_CHECK(DecodeSeriesValues(EncodeSeriesValues(read)) == expected);
}

// The day number of a date from bytes, anywhere in years 1 to 9999.
std::int64_t AnyDay(std::uint64_t bytes) {
    static const std::int64_t first = ical::DayNumber({1, 1, 1});
    static const std::int64_t last = ical::DayNumber({9999, 12, 31});
    return first + static_cast<std::int64_t>(bytes % static_cast<std::uint64_t>(last - first + 1));
}

void CheckSeries(const std::uint8_t* data, std::size_t size) {
    const std::string repeat = TakeLine(data, size);
    const std::string skips = TakeLine(data, size);
    StoredSeriesValues stored;
    stored.repeat = Text(repeat);
    stored.skipDates = Text(skips);
    const SeriesValues values = DecodeSeriesValues(stored);
    // Mostly near our time, sometimes anywhere.
    const std::uint64_t fromBytes = TakeBytes(data, size, 3);
    const std::int64_t fromDay =
        fromBytes & 1
            ? AnyDay(fromBytes >> 1)
            : ical::DayNumber({1990, 1, 1}) + static_cast<std::int64_t>((fromBytes >> 1) % 20000);
    const std::int64_t length = 1 + static_cast<std::int64_t>(TakeBytes(data, size, 1) % 40);
    const CalendarDate from = ical::DateOfDayNumber(fromDay);
    const CalendarDate to = ical::AddDays(from, length - 1);
    if (!ical::IsValidDate(to))
        return;
    ical::Series series(from, to, values);
    FUZZ_CHECK(series.Repeats() == values.Repeats());

    // Day after day from somewhere near FROM, with a jump back now and then.
    std::int64_t day = fromDay - 5 + static_cast<std::int64_t>(TakeBytes(data, size, 2) % 3000);
    for (int step = 0; step < 40 && size > 0; ++step) {
        const std::uint8_t move = static_cast<std::uint8_t>(TakeBytes(data, size, 1));
        day += move < 0xF0 ? move % 8 : -static_cast<std::int64_t>(move % 16) * 30;
        const CalendarDate date = ical::DateOfDayNumber(day);
        if (!ical::IsValidDate(date))
            return;
        ical::WorkBudget budget(10 * ical::kSeriesWork);
        const std::optional<CalendarDate> covering = series.OccurrenceCovering(date, budget);
        if (budget.Exhausted())
            continue;
        FUZZ_CHECK(series.CoversToday(date) == covering.has_value());
        std::optional<CalendarDate> first;
        ical::WorkBudget spanBudget(10 * ical::kSeriesWork);
        series.OccurrencesOverlapping(date, date, spanBudget, [&](const CalendarDate& start) {
            if (!first)
                first = start;
            FUZZ_CHECK(!std::binary_search(values.skipDates.begin(), values.skipDates.end(), start,
                                           [](const CalendarDate& a, const CalendarDate& b) {
                                               return CompareDates(a, b) < 0;
                                           }) ||
                       !series.Repeats());
        });
        if (!spanBudget.Exhausted())
            FUZZ_CHECK(first == covering);
    }

    // The last end: no occurrence after it, one on it, and the purge's
    // question answered alike on either side of it.
    ical::WorkBudget endBudget(ical::kSeriesWork);
    const ical::SeriesEnd end = series.LastEnd(endBudget);
    FUZZ_CHECK(!endBudget.Exhausted() || end.kind == ical::SeriesEndKind::AtLatest);
    if (end.kind != ical::SeriesEndKind::On)
        return;
    FUZZ_CHECK(CompareDates(end.lastDay, to) >= 0);
    const CalendarDate after = NextDay(end.lastDay);
    if (!ical::IsValidDate(after))
        return;
    ical::WorkBudget budget(10 * ical::kSeriesWork);
    bool later = false;
    series.OccurrencesOverlapping(after, ical::AddDays(after, 800), budget,
                                  [&](const CalendarDate&) { later = true; });
    FUZZ_CHECK(!later);
    ical::WorkBudget coverBudget(10 * ical::kSeriesWork);
    if (CompareDates(end.lastDay, to) > 0)
        FUZZ_CHECK(series.OccurrenceCovering(end.lastDay, coverBudget).has_value());
    ical::WorkBudget purgeBudget(ical::kSeriesWork), stayBudget(ical::kSeriesWork);
    FUZZ_CHECK(series.EndedBefore(after, purgeBudget));
    FUZZ_CHECK(!series.EndedBefore(end.lastDay, stayBudget));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2)
        return 0;
    if (data[0] >= 0x80) {
        CheckSeries(data + 1, size - 1);
        return 0;
    }
    const std::uint32_t type = data[1] < 8 ? data[1] : data[1] * 0x01010101u;
    const std::size_t valueSize = size - 2;
    // A block exactly as large as the value, so that a read past it shows.
    std::unique_ptr<unsigned char[]> value(new unsigned char[valueSize]);
    std::memcpy(value.get(), data + 2, valueSize);
    CheckStoredValue(data[0] % 3, type, valueSize == 0 ? nullptr : value.get(), valueSize);
    return 0;
}
