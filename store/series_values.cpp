#include "store/series_values.h"

#include "framework/utf_text.h"
#include "ical/civil_time.h"
#include "ical/series.h"
#include "ical/time_value.h"
#include "store/value_decoding.h"

#include <algorithm>
#include <string_view>

namespace {

bool IsPrintableAscii(char16_t unit) {
    return unit >= 0x20 && unit <= 0x7E;
}

// A text of printable ASCII only, as the rule and the dates are; anything
// else becomes '\x7f', which no part of them takes.
std::string AsciiOf(std::u16string_view text) {
    std::string ascii(text.size(), '\x7f');
    for (std::size_t i = 0; i < text.size(); ++i)
        if (IsPrintableAscii(text[i]))
            ascii[i] = static_cast<char>(text[i]);
    return ascii;
}

bool ReadSkipDate(std::string_view entry, CalendarDate& date) {
    if (entry.size() != 8 ||
        !std::all_of(entry.begin(), entry.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return false;
    const auto number = [&](std::size_t at, std::size_t digits) {
        int value = 0;
        for (std::size_t i = at; i < at + digits; ++i)
            value = value * 10 + (entry[i] - '0');
        return value;
    };
    date = {number(0, 4), number(4, 2), number(6, 2)};
    return ical::IsValidDate(date);
}

bool Earlier(const CalendarDate& a, const CalendarDate& b) {
    return CompareDates(a, b) < 0;
}

void SortDates(std::vector<CalendarDate>& dates) {
    std::sort(dates.begin(), dates.end(), Earlier);
    dates.erase(std::unique(dates.begin(), dates.end()), dates.end());
}

SeriesValueBytes EncodeText(std::u16string_view text) {
    SeriesValueBytes value{kValueTypeText, {}};
    for (const char16_t unit : text) {
        value.bytes.push_back(static_cast<unsigned char>(unit & 0xFF));
        value.bytes.push_back(static_cast<unsigned char>(unit >> 8));
    }
    value.bytes.push_back(0);
    value.bytes.push_back(0);
    return value;
}

std::u16string Widened(std::string_view ascii) {
    return std::u16string(ascii.begin(), ascii.end());
}

template <typename Result, typename Decoder>
Result DecodeIf(const std::optional<SeriesValueBytes>& stored, Decoder decode) {
    if (!stored)
        return Result{};
    return decode(stored->type, stored->bytes.data(), stored->bytes.size());
}

} // namespace

RepeatValue DecodeRepeatValue(std::uint32_t type, const unsigned char* data, std::size_t size) {
    const std::optional<std::u16string> text = DecodeStrictText(type, data, size, kMaxRepeatLength);
    if (!text || !std::all_of(text->begin(), text->end(), IsPrintableAscii))
        return {RepeatKind::Unfollowed, ""};
    if (text->empty())
        return {};
    const std::string rule = AsciiOf(*text);
    ical::SeriesRule read;
    return {ical::ReadSeriesRule(rule, read) ? RepeatKind::Rule : RepeatKind::Unfollowed, rule};
}

std::vector<CalendarDate> DecodeSkipDatesValue(std::uint32_t type, const unsigned char* data,
                                               std::size_t size) {
    const std::optional<std::u16string> text =
        DecodeStrictText(type, data, size, kMaxSeriesValueBytes / 2);
    std::vector<CalendarDate> dates;
    if (!text)
        return dates;
    const std::string list = AsciiOf(*text);
    std::string_view rest = list;
    while (dates.size() < kMaxSkipDates) {
        const std::size_t comma = rest.find(',');
        CalendarDate date;
        if (ReadSkipDate(rest.substr(0, comma), date))
            dates.push_back(date);
        if (comma == std::string_view::npos)
            break;
        rest.remove_prefix(comma + 1);
    }
    SortDates(dates);
    return dates;
}

std::string DecodeUidValue(std::uint32_t type, const unsigned char* data, std::size_t size) {
    const std::optional<std::u16string> text = DecodeStrictText(type, data, size, kMaxUidLength);
    if (!text)
        return {};
    for (std::size_t i = 0; i < text->size(); ++i) {
        const char16_t unit = (*text)[i];
        if (unit < 0x20 || unit == 0x7F)
            return {};
        const bool high = unit >= 0xD800 && unit <= 0xDBFF;
        const bool low = unit >= 0xDC00 && unit <= 0xDFFF;
        if (low)
            return {}; // no high half before it
        if (high) {
            if (i + 1 == text->size() || (*text)[i + 1] < 0xDC00 || (*text)[i + 1] > 0xDFFF)
                return {};
            ++i;
        }
    }
    return fw::Utf16ToUtf8(*text);
}

SeriesValues DecodeSeriesValues(const StoredSeriesValues& stored) {
    SeriesValues values;
    const RepeatValue repeat = DecodeIf<RepeatValue>(stored.repeat, DecodeRepeatValue);
    values.repeatKind = repeat.kind;
    values.repeat = repeat.text;
    values.skipDates = DecodeIf<std::vector<CalendarDate>>(stored.skipDates, DecodeSkipDatesValue);
    values.uid = DecodeIf<std::string>(stored.uid, DecodeUidValue);
    return values;
}

StoredSeriesValues EncodeSeriesValues(const SeriesValues& values) {
    StoredSeriesValues stored;
    ical::SeriesRule rule;
    if (values.repeatKind == RepeatKind::Rule && values.repeat.size() <= kMaxRepeatLength &&
        std::all_of(values.repeat.begin(), values.repeat.end(),
                    [](char c) { return IsPrintableAscii(static_cast<unsigned char>(c)); }) &&
        ical::ReadSeriesRule(values.repeat, rule))
        stored.repeat = EncodeText(Widened(values.repeat));

    std::vector<CalendarDate> dates;
    for (const CalendarDate& date : values.skipDates)
        if (ical::IsValidDate(date))
            dates.push_back(date);
    SortDates(dates);
    if (dates.size() > kMaxSkipDates)
        dates.erase(dates.begin(), dates.end() - kMaxSkipDates);
    if (!dates.empty()) {
        std::string list;
        for (const CalendarDate& date : dates) {
            if (!list.empty())
                list += ',';
            list += ical::FormatDate(date);
        }
        stored.skipDates = EncodeText(Widened(list));
    }

    // A UID is written only when it reads back as itself.
    const SeriesValueBytes uid = EncodeText(fw::Utf8ToUtf16(values.uid));
    if (!values.uid.empty() &&
        DecodeUidValue(uid.type, uid.bytes.data(), uid.bytes.size()) == values.uid)
        stored.uid = uid;
    return stored;
}
