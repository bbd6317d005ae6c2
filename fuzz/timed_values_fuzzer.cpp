// The values of timed appointments as another program may have stored them.
// Input layout:
//   byte 0    which value: TIME, DURATION, REMIND BEFORE, TIME ZONE (mod 4)
//   byte 1    the value's type: 0 to 7 as they are, larger ones spread out
//   the rest  the value's bytes, as the wide functions hand them over

#include "fuzz/fuzz_check.h"
#include "ical/zone_names.h"
#include "store/timed_values.h"
#include "store/value_decoding.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

namespace {

// Whether `data` is exactly `written` followed by zeros.
bool IsWrittenAndZeros(const TimedValueBytes& written, const unsigned char* data,
                       std::size_t size) {
    if (size < written.bytes.size() || size % 2 != 0 ||
        std::memcmp(data, written.bytes.data(), written.bytes.size()) != 0)
        return false;
    for (std::size_t i = written.bytes.size(); i < size; ++i)
        if (data[i] != 0)
            return false;
    return true;
}

bool IsText(std::uint32_t type) {
    return type == kValueTypeText || type == kValueTypeExpandText;
}

void CheckTime(std::uint32_t type, const unsigned char* data, std::size_t size) {
    const std::optional<int> minute = DecodeTimeValue(type, data, size);
    if (!minute)
        return;
    FUZZ_CHECK(*minute >= 0 && *minute < kMinutesPerDay);
    // Only the very form written reads as a time, zeros after it allowed.
    const StoredTimedValues written = EncodeTimedValues({*minute, std::nullopt, std::nullopt, ""});
    FUZZ_CHECK(written.time && IsText(type) && IsWrittenAndZeros(*written.time, data, size));
}

void CheckCount(std::uint32_t type, const unsigned char* data, std::size_t size, bool duration) {
    const std::optional<int> count = duration ? DecodeDurationValue(type, data, size)
                                              : DecodeRemindBeforeValue(type, data, size);
    std::uint32_t raw = 0;
    const bool dword = DecodeDwordValue(type, data, size, raw);
    const std::uint32_t lowest = duration ? 1 : 0;
    const std::uint32_t highest = duration ? kMaxDurationMinutes : kMaxRemindBeforeMinutes;
    FUZZ_CHECK(count.has_value() == (dword && raw >= lowest && raw <= highest));
    if (count)
        FUZZ_CHECK(static_cast<std::uint32_t>(*count) == raw);
}

void CheckZone(std::uint32_t type, const unsigned char* data, std::size_t size) {
    const std::string zone = DecodeTimeZoneValue(type, data, size);
    if (zone.empty())
        return;
    // A known IANA name, written back as itself.
    FUZZ_CHECK(IsText(type));
    FUZZ_CHECK(ical::IanaZoneOf(zone) == zone && !ical::WindowsZoneOfIana(zone).empty());
    const StoredTimedValues written = EncodeTimedValues({0, std::nullopt, std::nullopt, zone});
    FUZZ_CHECK(written.zone);
    FUZZ_CHECK(DecodeTimeZoneValue(written.zone->type, written.zone->bytes.data(),
                                   written.zone->bytes.size()) == zone);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2)
        return 0;
    const int which = data[0] % 4;
    const std::uint32_t type = data[1] < 8 ? data[1] : data[1] * 0x01010101u;
    const std::size_t valueSize = size - 2;
    // A block exactly as large as the value, so that a read past it shows.
    std::unique_ptr<unsigned char[]> value(new unsigned char[valueSize]);
    std::memcpy(value.get(), data + 2, valueSize);
    const unsigned char* bytes = valueSize == 0 ? nullptr : value.get();

    switch (which) {
    case 0:
        CheckTime(type, bytes, valueSize);
        break;
    case 1:
        CheckCount(type, bytes, valueSize, true);
        break;
    case 2:
        CheckCount(type, bytes, valueSize, false);
        break;
    default:
        CheckZone(type, bytes, valueSize);
        break;
    }

    // The same bytes as all four values at once; what is saved from what
    // was read reads back the same, less what needs a time.
    TimedValueBytes stored{type, std::vector<unsigned char>(data + 2, data + size)};
    const TimedValues read = DecodeTimedValues({stored, stored, stored, stored});
    TimedValues expected = read;
    if (!read.minuteOfDay) {
        expected.duration.reset();
        expected.zone.clear();
    }
    FUZZ_CHECK(DecodeTimedValues(EncodeTimedValues(read)) == expected);
    return 0;
}
