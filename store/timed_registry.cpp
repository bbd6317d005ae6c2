#include "store/timed_registry.h"

#include "framework/utf_text.h"
#include "store/registry_value.h"
#include "store/timed_values.h"

#include <optional>
#include <utility>

namespace {

// A value's type and bytes, at most a few dozen bytes for any of the four;
// a larger one is not one this program wrote, and reads as absent.
std::optional<TimedValueBytes> ReadBytes(HKEY key, const char* name) {
    constexpr DWORD kLargest = 2 * kTimeZoneCapacity;
    const std::wstring wide = fw::Widen(name);
    TimedValueBytes value;
    value.bytes.resize(kLargest);
    DWORD type = REG_NONE;
    DWORD size = kLargest;
    if (RegQueryValueExW(key, wide.c_str(), nullptr, &type, value.bytes.data(), &size) !=
        ERROR_SUCCESS)
        return std::nullopt;
    value.type = type;
    value.bytes.resize(size);
    return value;
}

bool Put(HKEY key, const char* name, const std::optional<TimedValueBytes>& value) {
    const std::wstring wide = fw::Widen(name);
    if (!value) {
        const LONG rc = RegDeleteValueW(key, wide.c_str());
        NoteStoreWrite();
        return rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND;
    }
    const LONG rc = RegSetValueExW(key, wide.c_str(), 0, value->type, value->bytes.data(),
                                   static_cast<DWORD>(value->bytes.size()));
    NoteStoreWrite();
    return rc == ERROR_SUCCESS;
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
