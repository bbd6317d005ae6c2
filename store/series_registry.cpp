#include "store/series_registry.h"

#include "framework/utf_text.h"
#include "store/registry_value.h"
#include "store/calendar_registry.h"
#include "store/series_values.h"
#include "store/timed_values.h"

#include <optional>
#include <utility>
#include <vector>

namespace {

std::optional<SeriesValueBytes> ReadBytes(HKEY key, const char* name) {
    return ReadValueBytes(key, name, kMaxSeriesValueBytes);
}

bool Put(HKEY key, const char* name, const std::optional<SeriesValueBytes>& value) {
    return PutValueBytes(key, name, value);
}

} // namespace

SeriesValues ReadSeriesValues(HKEY appointment) {
    StoredSeriesValues stored;
    stored.repeat = ReadBytes(appointment, kRepeatValueName);
    stored.skipDates = ReadBytes(appointment, kSkipDatesValueName);
    stored.uid = ReadBytes(appointment, kUidValueName);
    return DecodeSeriesValues(stored);
}

bool ReadRepeatingValues(HKEY appointment, SeriesValues& values) {
    StoredSeriesValues stored;
    stored.repeat = ReadBytes(appointment, kRepeatValueName);
    if (!stored.repeat)
        return false;
    stored.skipDates = ReadBytes(appointment, kSkipDatesValueName);
    values = DecodeSeriesValues(stored);
    return true;
}

bool WriteSeriesValues(HKEY appointment, const SeriesValues& values) {
    const StoredSeriesValues stored = EncodeSeriesValues(values);
    return (values.repeatKind == RepeatKind::Unfollowed ||
            Put(appointment, kRepeatValueName, stored.repeat)) &&
           Put(appointment, kSkipDatesValueName, stored.skipDates) &&
           Put(appointment, kUidValueName, stored.uid);
}

namespace {

std::vector<std::pair<const char*, const std::optional<SeriesValueBytes>*>>
Writes(const StoredSeriesValues& stored, const SeriesValues& values) {
    std::vector<std::pair<const char*, const std::optional<SeriesValueBytes>*>> writes;
    if (values.repeatKind != RepeatKind::Unfollowed && stored.repeat)
        writes.emplace_back(kRepeatValueName, &stored.repeat);
    if (stored.skipDates)
        writes.emplace_back(kSkipDatesValueName, &stored.skipDates);
    if (stored.uid)
        writes.emplace_back(kUidValueName, &stored.uid);
    return writes;
}

} // namespace

bool WriteSeriesValuesIntoNewKey(HKEY appointment, const SeriesValues& values,
                                 const std::function<bool()>& goOn) {
    const StoredSeriesValues stored = EncodeSeriesValues(values);
    for (const auto& [name, value] : Writes(stored, values)) {
        if (!Put(appointment, name, *value) || !goOn())
            return false;
    }
    return true;
}

int SeriesValuesToWrite(const SeriesValues& values) {
    const StoredSeriesValues stored = EncodeSeriesValues(values);
    return static_cast<int>(Writes(stored, values).size());
}

std::vector<std::string> OwnedValueNames(const SeriesValues& values) {
    std::vector<std::string> names = {kValueFrom,
                                      kValueTo,
                                      kValueNotes,
                                      kValueEvent,
                                      kValueEventIndex,
                                      kValueDetailNotes,
                                      kTimeValueName,
                                      kDurationValueName,
                                      kRemindBeforeValueName,
                                      kTimeZoneValueName,
                                      kSkipDatesValueName,
                                      kUidValueName};
    if (values.repeatKind != RepeatKind::Unfollowed)
        names.push_back(kRepeatValueName);
    return names;
}

bool CopyOtherValues(HKEY from, HKEY to, const std::vector<std::string>& owned) {
    std::vector<std::wstring> skip;
    for (const std::string& name : owned)
        skip.push_back(fw::Widen(name));
    const auto isOwned = [&](const wchar_t* name) {
        for (const std::wstring& own : skip) {
            if (CompareStringOrdinal(name, -1, own.c_str(), -1, TRUE) == CSTR_EQUAL)
                return true;
        }
        return false;
    };
    // Value names are at most 16,383 characters.
    std::vector<wchar_t> name(16384);
    std::vector<BYTE> data;
    for (DWORD index = 0;; ++index) {
        DWORD length = static_cast<DWORD>(name.size());
        DWORD type = REG_NONE;
        DWORD size = 0;
        LONG rc = RegEnumValueW(from, index, name.data(), &length, nullptr, &type, nullptr, &size);
        if (rc == ERROR_NO_MORE_ITEMS)
            return true;
        if (rc != ERROR_SUCCESS)
            return false;
        if (isOwned(name.data()))
            continue;
        data.resize(size);
        rc = RegQueryValueExW(from, name.data(), nullptr, &type, data.data(), &size);
        if (rc != ERROR_SUCCESS ||
            RegSetValueExW(to, name.data(), 0, type, data.data(), size) != ERROR_SUCCESS)
            return false;
    }
}
