#include "store/timed_values.h"

#include "ical/zone_names.h"
#include "store/value_decoding.h"

namespace {

// The ASCII text of a REG_SZ or REG_EXPAND_SZ value that holds its NUL and
// nothing but zeros after it, of at most `maxLength` characters. Anything
// else, a character beyond ASCII included, is no text: the names and times
// read through here are ASCII.
std::optional<std::string> StrictAsciiText(std::uint32_t type, const unsigned char* data,
                                           std::size_t size, std::size_t maxLength) {
    const std::optional<std::u16string> text = DecodeStrictText(type, data, size, maxLength);
    if (!text)
        return std::nullopt;
    std::string ascii;
    for (const char16_t unit : *text) {
        if (unit < 0x20 || unit > 0x7E)
            return std::nullopt;
        ascii += static_cast<char>(unit);
    }
    return ascii;
}

std::optional<int> BoundedCount(std::uint32_t type, const unsigned char* data, std::size_t size,
                                int lowest, int highest) {
    std::uint32_t value = 0;
    if (!DecodeDwordValue(type, data, size, value))
        return std::nullopt;
    // A count written as a negative number is as large as this gets.
    if (value > static_cast<std::uint32_t>(highest) || static_cast<int>(value) < lowest)
        return std::nullopt;
    return static_cast<int>(value);
}

TimedValueBytes EncodeText(const std::string& text) {
    TimedValueBytes value{kValueTypeText, {}};
    for (char c : text) {
        value.bytes.push_back(static_cast<unsigned char>(c));
        value.bytes.push_back(0);
    }
    value.bytes.push_back(0);
    value.bytes.push_back(0);
    return value;
}

TimedValueBytes EncodeDword(int count) {
    TimedValueBytes value{kValueTypeDword, {}};
    const auto bits = static_cast<std::uint32_t>(count);
    for (int i = 0; i < 4; ++i)
        value.bytes.push_back(static_cast<unsigned char>(bits >> (8 * i)));
    return value;
}

template <typename Result, typename Decoder>
Result DecodeIf(const std::optional<TimedValueBytes>& stored, Decoder decode) {
    if (!stored)
        return Result{};
    return decode(stored->type, stored->bytes.data(), stored->bytes.size());
}

} // namespace

std::optional<int> DecodeTimeValue(std::uint32_t type, const unsigned char* data,
                                   std::size_t size) {
    const std::optional<std::string> text = StrictAsciiText(type, data, size, 5);
    return text ? ParseTimeOfDay(*text) : std::nullopt;
}

std::optional<int> DecodeDurationValue(std::uint32_t type, const unsigned char* data,
                                       std::size_t size) {
    return BoundedCount(type, data, size, 1, kMaxDurationMinutes);
}

std::optional<int> DecodeRemindBeforeValue(std::uint32_t type, const unsigned char* data,
                                           std::size_t size) {
    return BoundedCount(type, data, size, 0, kMaxRemindBeforeMinutes);
}

std::string DecodeTimeZoneValue(std::uint32_t type, const unsigned char* data, std::size_t size) {
    const std::optional<std::string> text =
        StrictAsciiText(type, data, size, kTimeZoneCapacity - 1);
    return text ? std::string(ical::IanaZoneOf(*text)) : std::string();
}

TimedValues DecodeTimedValues(const StoredTimedValues& stored) {
    TimedValues values;
    values.minuteOfDay = DecodeIf<std::optional<int>>(stored.time, DecodeTimeValue);
    values.duration = DecodeIf<std::optional<int>>(stored.duration, DecodeDurationValue);
    values.remindBefore =
        DecodeIf<std::optional<int>>(stored.remindBefore, DecodeRemindBeforeValue);
    values.zone = DecodeIf<std::string>(stored.zone, DecodeTimeZoneValue);
    return values;
}

StoredTimedValues EncodeTimedValues(const TimedValues& values) {
    StoredTimedValues stored;
    const bool timed = values.minuteOfDay && !FormatTimeOfDay(*values.minuteOfDay).empty();
    if (timed)
        stored.time = EncodeText(FormatTimeOfDay(*values.minuteOfDay));
    if (timed && values.duration && *values.duration >= 1 &&
        *values.duration <= kMaxDurationMinutes)
        stored.duration = EncodeDword(*values.duration);
    if (values.remindBefore && *values.remindBefore >= 0 &&
        *values.remindBefore <= kMaxRemindBeforeMinutes)
        stored.remindBefore = EncodeDword(*values.remindBefore);
    const std::string_view zone = ical::IanaZoneOf(values.zone);
    if (timed && !zone.empty())
        stored.zone = EncodeText(std::string(zone));
    return stored;
}
