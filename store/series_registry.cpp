#include "store/series_registry.h"

#include "framework/utf_text.h"
#include "store/series_values.h"

#include <optional>

namespace {

// A value's type and bytes. Most are short and come in one call; a longer
// one is fetched at its size, up to kMaxSeriesValueBytes, and one larger
// still comes as its type and no bytes.
std::optional<SeriesValueBytes> ReadBytes(HKEY key, const char* name) {
    const std::wstring wide = fw::Widen(name);
    BYTE first[256];
    DWORD type = REG_NONE;
    DWORD size = sizeof first;
    LONG rc = RegQueryValueExW(key, wide.c_str(), nullptr, &type, first, &size);
    if (rc == ERROR_SUCCESS)
        return SeriesValueBytes{type, {first, first + size}};
    if (rc != ERROR_MORE_DATA)
        return std::nullopt;
    SeriesValueBytes value{type, {}};
    if (size <= kMaxSeriesValueBytes) {
        value.bytes.resize(size);
        rc = RegQueryValueExW(key, wide.c_str(), nullptr, &type, value.bytes.data(), &size);
        if (rc == ERROR_SUCCESS) {
            value.type = type;
            value.bytes.resize(size);
            return value;
        }
        if (rc != ERROR_MORE_DATA)
            return std::nullopt; // deleted meanwhile
    }
    value.bytes.clear(); // grown meanwhile, or too large from the start
    return value;
}

bool Put(HKEY key, const char* name, const std::optional<SeriesValueBytes>& value) {
    const std::wstring wide = fw::Widen(name);
    if (!value) {
        const LONG rc = RegDeleteValueW(key, wide.c_str());
        return rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND;
    }
    return RegSetValueExW(key, wide.c_str(), 0, value->type, value->bytes.data(),
                          static_cast<DWORD>(value->bytes.size())) == ERROR_SUCCESS;
}

} // namespace

SeriesValues ReadSeriesValues(HKEY appointment) {
    StoredSeriesValues stored;
    stored.repeat = ReadBytes(appointment, kRepeatValueName);
    stored.skipDates = ReadBytes(appointment, kSkipDatesValueName);
    stored.uid = ReadBytes(appointment, kUidValueName);
    return DecodeSeriesValues(stored);
}

bool WriteSeriesValues(HKEY appointment, const SeriesValues& values) {
    const StoredSeriesValues stored = EncodeSeriesValues(values);
    return (values.repeatKind == RepeatKind::Unfollowed ||
            Put(appointment, kRepeatValueName, stored.repeat)) &&
           Put(appointment, kSkipDatesValueName, stored.skipDates) &&
           Put(appointment, kUidValueName, stored.uid);
}
