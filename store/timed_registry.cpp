#include "store/timed_registry.h"

#include "framework/utf_text.h"
#include "store/registry_value.h"
#include "store/timed_values.h"

#include <optional>
#include <utility>

namespace {

// At most a few dozen bytes for any of the four: a larger value is not one
// this program wrote, and reads as no value.
std::optional<TimedValueBytes> ReadBytes(HKEY key, const char* name) {
    return ReadValueBytes(key, name, 2 * kTimeZoneCapacity);
}

bool Put(HKEY key, const char* name, const std::optional<TimedValueBytes>& value) {
    return PutValueBytes(key, name, value);
}

} // namespace

TimedValues ReadTimedValues(HKEY appointment) {
    StoredTimedValues stored;
    stored.time = ReadBytes(appointment, kTimeValueName);
    stored.duration = ReadBytes(appointment, kDurationValueName);
    stored.remindBefore = ReadBytes(appointment, kRemindBeforeValueName);
    stored.zone = ReadBytes(appointment, kTimeZoneValueName);
    return DecodeTimedValues(stored);
}

std::optional<int> ReadTimeOfDay(HKEY appointment) {
    StoredTimedValues stored;
    stored.time = ReadBytes(appointment, kTimeValueName);
    if (!stored.time)
        return std::nullopt;
    return DecodeTimedValues(stored).minuteOfDay;
}

bool ReadAlertValues(HKEY appointment, TimedValues& values) {
    values = {};
    StoredTimedValues stored;
    stored.remindBefore = ReadBytes(appointment, kRemindBeforeValueName);
    if (!stored.remindBefore)
        return false;
    stored.time = ReadBytes(appointment, kTimeValueName);
    stored.zone = ReadBytes(appointment, kTimeZoneValueName);
    values = DecodeTimedValues(stored);
    return values.remindBefore.has_value();
}

bool WriteTimedValues(HKEY appointment, const TimedValues& values) {
    const StoredTimedValues stored = EncodeTimedValues(values);
    return Put(appointment, kTimeValueName, stored.time) &&
           Put(appointment, kDurationValueName, stored.duration) &&
           Put(appointment, kRemindBeforeValueName, stored.remindBefore) &&
           Put(appointment, kTimeZoneValueName, stored.zone);
}

bool WriteTimedValuesIntoNewKey(HKEY appointment, const TimedValues& values,
                                const std::function<bool()>& goOn) {
    const StoredTimedValues stored = EncodeTimedValues(values);
    const std::pair<const char*, const std::optional<TimedValueBytes>*> writes[] = {
        {kTimeValueName, &stored.time},
        {kDurationValueName, &stored.duration},
        {kRemindBeforeValueName, &stored.remindBefore},
        {kTimeZoneValueName, &stored.zone},
    };
    for (const auto& [name, value] : writes) {
        if (!*value)
            continue;
        if (!Put(appointment, name, *value) || !goOn())
            return false;
    }
    return true;
}
