#include "sync/registry_calendar.h"

#include "framework/system_error.h"
#include "framework/clock.h"
#include "framework/unique_handle.h"
#include "framework/utf_text.h"
#include "ical/calendar_export.h"
#include "ical/import_plan.h"
#include "store/appointment_batch.h"
#include "store/calendar_registry.h"
#include "store/calendar_root.h"
#include "store/notes_rule.h"
#include "store/registry_value.h"
#include "store/series_registry.h"
#include "store/series_values.h"
#include "store/store_walk.h"
#include "store/timed_registry.h"
#include "store/timed_values.h"
#include "store/value_decoding.h"
#include "store/system_time.h"
#include "sync/event_touch.h"
#include "sync/vevent_patch.h"

#include <objbase.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <set>

namespace caldav {

namespace {

constexpr char kSequenceValueName[] = "SEQUENCE";
constexpr char kStampValueName[] = "STAMP";

// FNV-1a, 64 bits: the same on every run and every build, unlike std::hash.
class Fingerprint {
public:
    void Add(const void* data, std::size_t size) {
        const auto* bytes = static_cast<const unsigned char*>(data);
        for (std::size_t i = 0; i < size; ++i) {
            m_hash ^= bytes[i];
            m_hash *= 0x100000001b3ull;
        }
    }
    // Each text with its length, so that no two lists of texts run together.
    void Add(const std::string& text) {
        const std::uint64_t size = text.size();
        Add(&size, sizeof size);
        Add(text.data(), text.size());
    }
    void Add(std::int64_t number) { Add(&number, sizeof number); }
    std::string Text() const {
        char text[17];
        std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(m_hash));
        return text;
    }

private:
    std::uint64_t m_hash = 0xcbf29ce484222325ull;
};

void AddValues(Fingerprint& print, const ical::AppointmentValues& values) {
    print.Add(values.from);
    print.Add(values.to);
    print.Add(values.notes);
    print.Add(values.event);
    print.Add(std::int64_t{values.eventIndex});
    print.Add(values.detailNotes);
    print.Add(std::int64_t{values.time.minuteOfDay.value_or(-1)});
    print.Add(std::int64_t{values.time.duration.value_or(-1)});
    print.Add(std::int64_t{values.time.remindBefore.value_or(-1)});
    print.Add(values.time.zone);
    print.Add(static_cast<std::int64_t>(values.series.repeatKind));
    print.Add(values.series.repeat);
    for (const CalendarDate& skip : values.series.skipDates)
        print.Add(std::int64_t{skip.year * 10000 + skip.month * 100 + skip.day});
}

bool SameName(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::toupper(static_cast<unsigned char>(x)) ==
                      std::toupper(static_cast<unsigned char>(y));
           });
}

// The fingerprint of an open key: its values by what they mean, and every
// value the store does not read (another program's, a newer version's, a
// rule it does not follow) by its name, type and bytes.
std::string FingerprintOfKey(HKEY key, const ical::AppointmentValues& values) {
    Fingerprint print;
    AddValues(print, values);
    std::vector<std::string> read = OwnedValueNames(values.series);
    read.push_back(kSequenceValueName);
    read.push_back(kStampValueName);
    std::vector<std::pair<std::string, StoredValueBytes>> others;
    wchar_t name[16384];
    for (DWORD index = 0;; ++index) {
        DWORD length = static_cast<DWORD>(std::size(name));
        if (RegEnumValueW(key, index, name, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        const std::string narrow = fw::Narrow(std::wstring_view(name, length));
        if (std::any_of(read.begin(), read.end(),
                        [&](const std::string& known) { return SameName(known, narrow); }))
            continue;
        if (auto bytes = ReadValueBytes(key, narrow.c_str(), 1u << 20))
            others.emplace_back(narrow, std::move(*bytes));
    }
    std::sort(others.begin(), others.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    for (const auto& [other, bytes] : others) {
        print.Add(other);
        print.Add(std::int64_t{bytes.type});
        print.Add(bytes.bytes.data(), bytes.bytes.size());
    }
    return print.Text();
}

// What the store's readers make of a value when all its bytes are at hand:
// those that read at most `largest` bytes (at least the 256 of their first
// try) take a longer value for its type and no bytes.
std::optional<StoredValueBytes> AsRead(const std::map<std::string, StoredValueBytes>& all,
                                       const char* name, std::size_t largest) {
    std::string upper(name);
    for (char& c : upper)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    const auto found = all.find(upper);
    if (found == all.end())
        return std::nullopt;
    StoredValueBytes value = found->second;
    if (value.bytes.size() > std::max<std::size_t>(256, largest))
        value.bytes.clear();
    return value;
}

} // namespace

bool ReadWholeKey(HKEY key, ical::AppointmentValues& values, std::string& fingerprint) {
    DWORD count = 0, longestName = 0, largestData = 0;
    if (RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count,
                         &longestName, &largestData, nullptr, nullptr) != ERROR_SUCCESS ||
        largestData > (1u << 16))
        return false;
    std::map<std::string, StoredValueBytes> all; // by upper-case name
    std::map<std::string, std::string> names;    // upper case to as stored
    std::vector<wchar_t> name(longestName + 2);
    std::vector<BYTE> data(largestData + 2);
    for (DWORD index = 0;; ++index) {
        DWORD nameLength = static_cast<DWORD>(name.size());
        DWORD size = static_cast<DWORD>(data.size());
        DWORD type = REG_NONE;
        const LONG rc =
            RegEnumValueW(key, index, name.data(), &nameLength, nullptr, &type, data.data(), &size);
        if (rc == ERROR_NO_MORE_ITEMS)
            break;
        if (rc != ERROR_SUCCESS)
            return false;
        const std::string narrow = fw::Narrow(std::wstring_view(name.data(), nameLength));
        std::string upper = narrow;
        for (char& c : upper)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        all[upper] = StoredValueBytes{type, {data.data(), data.data() + size}};
        names[upper] = narrow;
    }
    const auto text = [&](const char* valueName, std::size_t capacity) {
        std::string decoded;
        if (const auto value = AsRead(all, valueName, static_cast<std::size_t>(-1)))
            DecodeTextValue(value->type, value->bytes.data(), value->bytes.size(), capacity,
                            decoded);
        return decoded;
    };
    values = ical::AppointmentValues();
    values.from = text(kValueFrom, kDateFieldBytes);
    values.to = text(kValueTo, kDateFieldBytes);
    values.notes = text(kValueNotes, kNotesFieldBytes);
    values.event = text(kValueEvent, kEventFieldBytes);
    values.detailNotes = text(kValueDetailNotes, kNotesFieldBytes);
    std::uint32_t index = static_cast<std::uint32_t>(-1);
    if (const auto value = AsRead(all, kValueEventIndex, 4))
        DecodeDwordValue(value->type, value->bytes.data(), value->bytes.size(), index);
    values.eventIndex = index;
    StoredTimedValues timed;
    timed.time = AsRead(all, kTimeValueName, 2 * kTimeZoneCapacity);
    timed.duration = AsRead(all, kDurationValueName, 2 * kTimeZoneCapacity);
    timed.remindBefore = AsRead(all, kRemindBeforeValueName, 2 * kTimeZoneCapacity);
    timed.zone = AsRead(all, kTimeZoneValueName, 2 * kTimeZoneCapacity);
    values.time = DecodeTimedValues(timed);
    StoredSeriesValues series;
    series.repeat = AsRead(all, kRepeatValueName, kMaxSeriesValueBytes);
    series.skipDates = AsRead(all, kSkipDatesValueName, kMaxSeriesValueBytes);
    series.uid = AsRead(all, kUidValueName, kMaxSeriesValueBytes);
    values.series = DecodeSeriesValues(series);

    Fingerprint print;
    AddValues(print, values);
    std::vector<std::string> read = OwnedValueNames(values.series);
    read.push_back(kSequenceValueName);
    read.push_back(kStampValueName);
    std::vector<std::pair<std::string, const StoredValueBytes*>> others;
    for (const auto& [upper, bytes] : all)
        if (std::none_of(read.begin(), read.end(),
                         [&](const std::string& known) { return SameName(known, upper); }))
            others.emplace_back(names[upper], &bytes);
    std::sort(others.begin(), others.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    for (const auto& [other, bytes] : others) {
        print.Add(other);
        print.Add(std::int64_t{bytes->type});
        print.Add(bytes->bytes.data(), bytes->bytes.size());
    }
    fingerprint = print.Text();
    return true;
}

namespace {

// UTF-16 units of a UTF-8 text.
std::size_t WideLength(const std::string& text) {
    std::size_t units = 0;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte & 0xC0) != 0x80)
            units += byte >= 0xF0 ? 2 : 1;
    }
    return units;
}

// A text cut to fit NOTES or DETAIL NOTES, at a whole character, ending in
// the mark that tells it was cut; one that fits stays as it is.
std::string CutToFit(const std::string& text) {
    if (FitsNotesField(text))
        return text;
    const std::size_t room = kMaxNotesLength - WideLength(kCutMark);
    std::string cut;
    std::size_t units = 0;
    for (std::size_t i = 0; i < text.size();) {
        std::size_t next = i + 1;
        while (next < text.size() && (static_cast<unsigned char>(text[next]) & 0xC0) == 0x80)
            ++next;
        const std::size_t width = static_cast<unsigned char>(text[i]) >= 0xF0 ? 2 : 1;
        if (units + width > room)
            break;
        units += width;
        cut.append(text, i, next - i);
        i = next;
    }
    // A code page with several bytes to a character may take less.
    while (!cut.empty() && !FitsNotesField(cut + kCutMark)) {
        cut.pop_back();
        while (!cut.empty() && (static_cast<unsigned char>(cut.back()) & 0xC0) == 0x80)
            cut.pop_back();
        if (!cut.empty() && static_cast<unsigned char>(cut.back()) >= 0xC0)
            cut.pop_back();
    }
    return cut + kCutMark;
}

std::int64_t UtcNow() {
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    const std::int64_t ticks = static_cast<std::int64_t>(
        (static_cast<std::uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime);
    return ticks / 10000000 - 11644473600;
}

bool WriteUid(HKEY key, const std::string& uid) {
    const std::wstring name = fw::Widen(kUidValueName);
    const std::wstring text = fw::Widen(uid);
    const bool written =
        RegSetValueExW(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                       static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
    NoteStoreWrite();
    return written;
}

std::string ReadUid(HKEY key) {
    std::string uid;
    ReadTextValue(key, kUidValueName, uid, kMaxUidLength + 1);
    return uid;
}

// Visits every appointment key, opened with `access`, with its day's name.
template <class Visit> void ForEachAppointmentKey(REGSAM access, Visit&& visit) {
    fw::unique_hkey root;
    if (OpenCalendarRoot(KEY_READ, root) != ERROR_SUCCESS)
        return;
    ForEachSubkey(root.get(), [&](const char* dayName) {
        fw::unique_hkey day;
        if (OpenSubkey(root.get(), dayName, KEY_READ, day) != ERROR_SUCCESS)
            return SubkeyStep::Next;
        ForEachSubkey(day.get(), [&](const char* name) {
            fw::unique_hkey appointment;
            const LONG opened = OpenSubkey(day.get(), name, access, appointment);
            if (opened != ERROR_SUCCESS)
                return opened == ERROR_FILE_NOT_FOUND ? SubkeyStep::Removed : SubkeyStep::Next;
            visit(std::string(dayName), std::string(name), appointment.get());
            return SubkeyStep::Next;
        });
        return SubkeyStep::Next;
    });
}

LONG OpenAppointment(const std::string& day, const std::string& key, REGSAM access,
                     fw::unique_hkey& appointment) {
    fw::unique_hkey root, dayKey;
    LONG rc = OpenCalendarRoot(KEY_READ, root);
    if (rc == ERROR_SUCCESS)
        rc = OpenSubkey(root.get(), day, KEY_READ, dayKey);
    if (rc == ERROR_SUCCESS)
        rc = OpenSubkey(dayKey.get(), key, access, appointment);
    return rc;
}

} // namespace

std::string NewEventUid() {
    GUID guid{};
    if (FAILED(CoCreateGuid(&guid))) {
        // No GUID to be had: the time and the process make one unique enough.
        static unsigned counter = 0;
        return std::to_string(UtcNow()) + "-" + std::to_string(GetCurrentProcessId()) + "-" +
               std::to_string(++counter) + "@quillmere";
    }
    char text[64];
    std::snprintf(text, sizeof text, "%08lx-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x@quillmere",
                  static_cast<unsigned long>(guid.Data1), guid.Data2, guid.Data3, guid.Data4[0],
                  guid.Data4[1], guid.Data4[2], guid.Data4[3], guid.Data4[4], guid.Data4[5],
                  guid.Data4[6], guid.Data4[7]);
    return text;
}

std::string FingerprintOfValues(const ical::AppointmentValues& values) {
    Fingerprint print;
    AddValues(print, values);
    return print.Text();
}

CRegistryCalendar::CRegistryCalendar(const SyncState& state, int horizon)
    : m_state(state), m_horizon(horizon), m_stamp(UtcNow()) {}

bool CRegistryCalendar::AssignMissingUids(std::string& message) {
    std::set<std::string> seen;
    LONG failed = ERROR_SUCCESS;
    ForEachAppointmentKey(KEY_READ | KEY_SET_VALUE,
                          [&](const std::string& day, const std::string&, HKEY key) {
                              const std::string uid = ReadUid(key);
                              // Overridden occurrences are named after their master, and a second
                              // appointment with a UID taken (a copied key) becomes an event of its
                              // own.
                              const bool part = uid.find('#') != std::string::npos;
                              if (!uid.empty() && (part || seen.insert(uid).second))
                                  return;
                              const std::string fresh = NewEventUid();
                              const StoreWriteScope scope(day);
                              if (WriteUid(key, fresh))
                                  seen.insert(fresh);
                              else if (failed == ERROR_SUCCESS)
                                  failed = ERROR_WRITE_FAULT;
                          });
    m_indexed = false;
    m_listed = false;
    m_items.clear();
    if (failed == ERROR_SUCCESS)
        return true;
    message = "The appointments could not be given the identities sync needs (" +
              fw::SystemErrorText(static_cast<DWORD>(failed)) + ").";
    return false;
}

void CRegistryCalendar::Index() {
    if (m_indexed)
        return;
    m_byUid.clear();
    m_overrides.clear();
    ForEachAppointmentKey(KEY_QUERY_VALUE,
                          [&](const std::string& day, const std::string& name, HKEY key) {
                              const std::string uid = ReadUid(key);
                              const std::size_t hash = uid.find('#');
                              if (uid.empty())
                                  return;
                              if (hash != std::string::npos)
                                  m_overrides[uid.substr(0, hash)].push_back({day, name});
                              else
                                  m_byUid.emplace(uid, Place{day, name});
                          });
    m_indexed = true;
}

std::vector<LocalItem> CRegistryCalendar::Items() {
    std::vector<LocalItem> items;
    if (m_listed) {
        for (const auto& [id, item] : m_items)
            items.push_back(item);
        return items;
    }
    m_byUid.clear();
    m_overrides.clear();
    ForEachAppointmentKey(KEY_READ, [&](const std::string& day, const std::string& name, HKEY key) {
        ical::AppointmentValues values;
        std::string fingerprint;
        if (!ReadWholeKey(key, values, fingerprint)) {
            values = CCalendarExchange::ReadValues(key);
            fingerprint = FingerprintOfKey(key, values);
        }
        const std::string& uid = values.series.uid;
        if (uid.empty())
            return;
        const std::size_t hash = uid.find('#');
        if (hash != std::string::npos) {
            m_overrides[uid.substr(0, hash)].push_back({day, name});
            return;
        }
        if (!m_byUid.emplace(uid, Place{day, name}).second)
            return; // the same UID twice: the first one is the item
        items.push_back({uid, fingerprint});
    });
    m_indexed = true;
    // Gone from the store with an event that ended before today: the purge
    // removed it, and the server keeps it.
    for (const ItemState& state : m_state.items) {
        if (state.localId.empty() || m_byUid.count(state.localId) != 0)
            continue;
        // So is one whose event files nothing here (cancelled, or one the
        // store cannot hold): the server keeps it.
        if (EventEndsBefore(state.serverText, m_horizon) || FilesNothing(state.serverText)) {
            LocalItem purged;
            purged.localId = state.localId;
            purged.purged = true;
            items.push_back(purged);
        }
    }
    for (const LocalItem& item : items)
        m_items[item.localId] = item;
    m_listed = true;
    return items;
}

std::string CRegistryCalendar::ExportOne(const std::string& day, const std::string& key,
                                         const ical::AppointmentValues& values) const {
    const ical::ExportResult result =
        ical::ExportCalendar({{day, key, values}}, m_exchange.ExportZones(m_stamp));
    return result.exported == 1 ? result.text : std::string();
}

bool CRegistryCalendar::Plan(const std::string& icalendar, Filed& filed,
                             std::string& message) const {
    ical::ImportOptions options = m_exchange.ImportZones();
    options.today = m_horizon > 0
                        ? CalendarDate{m_horizon / 10000, m_horizon / 100 % 100, m_horizon % 100}
                        : DateOf(fw::LocalNow());
    options.keepRules = true;
    // Texts longer than a field are cut here, not refused.
    options.fitsTextField = [](std::string_view) { return true; };
    // An event without a title is shown with one; the server keeps none, as
    // the baseline of an edit has the same.
    std::string titled, ignored;
    const bool untitled =
        EventPropertyValue(icalendar, "SUMMARY").empty() &&
        ReplaceEventProperties(icalendar, {"SUMMARY"}, std::string("SUMMARY:") + kNoTitle + "\r\n",
                               titled, ignored);
    const ical::ImportPlan plan = ical::PlanImport(untitled ? titled : icalendar, options);
    if (!plan.accepted) {
        message = "An event from the server could not be read: " + plan.error.message;
        return false;
    }
    const std::string uid = EventUid(icalendar);
    bool master = false;
    for (std::size_t i = 0; i < plan.appointments.size(); ++i) {
        ical::DayAppointment a = plan.AppointmentAt(i);
        a.values.notes = CutToFit(a.values.notes);
        a.values.detailNotes = CutToFit(a.values.detailNotes);
        if (a.values.series.uid.find('#') != std::string::npos) {
            filed.overrides.push_back(std::move(a));
        } else if (!master) {
            // A rule the store does not keep comes as its occurrences: the
            // first stands for the event, the server keeps the rule.
            master = true;
            a.values.series.uid = uid;
            filed.day = a.day;
            filed.values = std::move(a.values);
        }
    }
    if (!master && !filed.overrides.empty()) {
        // Only occurrences of a series kept elsewhere (an invitation to one
        // of them): the first is the event here.
        master = true;
        filed.day = filed.overrides.front().day;
        filed.values = std::move(filed.overrides.front().values);
        const std::string& named = filed.values.series.uid;
        filed.values.series.uid = uid.empty() ? named.substr(0, named.find('#')) : uid;
        filed.overrides.erase(filed.overrides.begin());
    }
    filed.any = master;
    if (master)
        return true;
    filed.cancelled = plan.cancelledEvents > 0;
    filed.message = "The event \"" + EventPropertyValue(icalendar, "SUMMARY") + "\" (" + uid +
                    ") gives no appointment here";
    if (!plan.refused.empty())
        filed.message += ": " + plan.refused.front().reason;
    filed.message += ".";
    return true;
}

bool CRegistryCalendar::FilesNothing(const std::string& icalendar) const {
    Filed filed;
    std::string message;
    return Plan(icalendar, filed, message) && !filed.any;
}

std::string CRegistryCalendar::FingerprintOf(const std::string& icalendar) {
    Filed filed;
    std::string message;
    if (!Plan(icalendar, filed, message) || !filed.any)
        return "-"; // no appointment's fingerprint
    return FingerprintOfValues(filed.values);
}

std::string CRegistryCalendar::FingerprintAt(const Place& place) {
    fw::unique_hkey key;
    if (OpenAppointment(place.day, place.key, KEY_READ, key) != ERROR_SUCCESS)
        return std::string();
    return FingerprintOfKey(key.get(), CCalendarExchange::ReadValues(key.get()));
}

bool CRegistryCalendar::Export(const std::string& localId, const std::string& kept,
                               std::string& icalendar, std::string& message) {
    Index();
    const auto found = m_byUid.find(localId);
    fw::unique_hkey key;
    if (found == m_byUid.end() ||
        OpenAppointment(found->second.day, found->second.key, KEY_READ, key) != ERROR_SUCCESS) {
        message = "The appointment " + localId + " is no longer in the calendar.";
        return false;
    }
    const Place place = found->second;
    const ical::AppointmentValues values = CCalendarExchange::ReadValues(key.get());
    const std::string local = ExportOne(place.day, place.key, values);
    if (local.empty()) {
        message = "The appointment \"" + values.notes + "\" has no date that can be read.";
        return false;
    }
    if (kept.empty()) {
        icalendar = local;
        AppendOverrides(localId, icalendar);
        return true;
    }
    // What the server's copy was stored as, written the same way: the lines
    // that differ are the ones the user changed since.
    Filed baseline;
    std::string ignored, base;
    if (Plan(kept, baseline, ignored) && baseline.any) {
        baseline.values.series.uid = values.series.uid;
        base = ExportOne(baseline.day, place.key, baseline.values);
    }
    EventTouch touch = FindTouched(local, base);
    if (!baseline.values.series.Repeats() && (!EventPropertyValue(kept, "RRULE").empty() ||
                                              !EventPropertyValue(kept, "RDATE").empty())) {
        // A series the store holds as one occurrence of it: its dates here
        // say where that occurrence falls, and must never replace the
        // series' own on the server.
        static const char* const kDates[] = {
            "DTSTART",        "DTEND",  "DURATION",         "RRULE",
            "RDATE",          "EXDATE", ical::kDayProperty, ical::kFromProperty,
            ical::kToProperty};
        std::erase_if(touch.properties, [](const std::string& name) {
            return std::find(std::begin(kDates), std::end(kDates), name) != std::end(kDates);
        });
    }
    return PatchKeptEvent(kept, local, touch, icalendar, message);
}

void CRegistryCalendar::AppendOverrides(const std::string& uid, std::string& icalendar) {
    const auto overrides = m_overrides.find(uid);
    const std::size_t end = icalendar.rfind("END:VCALENDAR");
    if (overrides == m_overrides.end() || end == std::string::npos)
        return;
    // An occurrence's time is in the zone of the event's start.
    std::string zone;
    const std::size_t start = icalendar.find("\r\nDTSTART;TZID=");
    if (start != std::string::npos) {
        const std::size_t from = start + 15;
        zone = icalendar.substr(from, icalendar.find(':', from) - from);
    }
    std::string events;
    for (const Place& place : overrides->second) {
        fw::unique_hkey key;
        if (OpenAppointment(place.day, place.key, KEY_READ, key) != ERROR_SUCCESS)
            continue;
        const ical::AppointmentValues values = CCalendarExchange::ReadValues(key.get());
        const std::size_t hash = values.series.uid.find('#');
        const std::string text = ExportOne(place.day, place.key, values);
        const std::size_t begin = text.find("BEGIN:VEVENT\r\n");
        const std::size_t last = text.rfind("END:VEVENT\r\n");
        const std::size_t uidLine = text.find("\r\nUID:", begin);
        if (hash == std::string::npos || begin == std::string::npos || last == std::string::npos ||
            uidLine == std::string::npos || uidLine > last)
            continue;
        // Written as the event's own occurrence: its UID, and the occurrence
        // it replaces as it was named.
        const std::string occurrence = values.series.uid.substr(hash + 1);
        std::string recurrence = "RECURRENCE-ID";
        if (occurrence.size() == 8)
            recurrence += ";VALUE=DATE";
        else if (!zone.empty() && occurrence.back() != 'Z')
            recurrence += ";TZID=" + zone;
        std::string event = text.substr(begin, last + 12 - begin);
        const std::size_t uidAt = uidLine - begin + 2;
        event.replace(uidAt, event.find("\r\n", uidAt) - uidAt, "UID:" + uid);
        const std::size_t after = event.find("\r\n", uidAt) + 2;
        std::string line;
        ical::AppendFolded(line, recurrence + ":" + occurrence);
        event.insert(after, line);
        events += event;
    }
    icalendar.insert(end, events);
}

bool CRegistryCalendar::Delete(const Place& place) {
    const StoreWriteScope scope(place.day);
    fw::unique_hkey root, day;
    if (OpenCalendarRoot(KEY_READ, root) != ERROR_SUCCESS)
        return true;
    const LONG opened = OpenSubkey(root.get(), place.day, KEY_ALL_ACCESS, day);
    if (opened == ERROR_FILE_NOT_FOUND)
        return true;
    const LONG deleted = opened == ERROR_SUCCESS ? DeleteSubkey(day.get(), place.key) : opened;
    return deleted == ERROR_SUCCESS || deleted == ERROR_FILE_NOT_FOUND;
}

bool CRegistryCalendar::ReplaceOverrides(const std::string& uid,
                                         const std::vector<ical::DayAppointment>& overrides,
                                         std::string& message) {
    std::vector<Place>& places = m_overrides[uid];
    for (auto it = places.begin(); it != places.end();) {
        if (!Delete(*it)) {
            message = "An overridden occurrence could not be replaced.";
            return false;
        }
        it = places.erase(it);
    }
    CAppointmentBatch& batch = m_batch;
    for (ical::DayAppointment a : overrides) {
        // Named after the master as stored here.
        const std::size_t hash = a.values.series.uid.find('#');
        a.values.series.uid = uid + a.values.series.uid.substr(hash);
        if (!batch.Add(a.day, a.values)) {
            message = "An overridden occurrence could not be filed (" +
                      fw::SystemErrorText(static_cast<DWORD>(batch.LastError())) + ").";
            return false;
        }
        places.push_back({a.day, batch.LastKeyName()});
    }
    return true;
}

LocalApply CRegistryCalendar::Apply(const std::string& localId, const std::string& icalendar) {
    LocalApply result;
    result.localId = localId;
    Index();
    Filed filed;
    if (!Plan(icalendar, filed, result.message))
        return result;
    if (!filed.any)
        return ApplyNothing(localId, filed);
    std::string uid = localId;
    if (uid.empty()) {
        uid = filed.values.series.uid;
        // A UID an appointment here has already (the server holds it twice)
        // or one that would read as an occurrence's gets one of its own.
        if (uid.empty() || uid.find('#') != std::string::npos || m_byUid.count(uid) != 0)
            uid = NewEventUid();
    }
    filed.values.series.uid = uid;

    CAppointmentBatch& batch = m_batch;
    const auto found = m_byUid.find(uid);
    Place place;
    bool added = false;
    if (found != m_byUid.end() && found->second.day == filed.day) {
        place = found->second;
        if (!batch.Replace(place.day, place.key, filed.values)) {
            result.message = "The appointment \"" + filed.values.notes +
                             "\" could not be updated (" +
                             fw::SystemErrorText(static_cast<DWORD>(batch.LastError())) + ").";
            return result;
        }
    } else {
        // Filed on its new day before it leaves the old one, so that a step
        // that fails leaves it twice rather than not at all.
        if (!batch.Add(filed.day, filed.values)) {
            result.message = "The appointment \"" + filed.values.notes + "\" could not be saved (" +
                             fw::SystemErrorText(static_cast<DWORD>(batch.LastError())) + ").";
            return result;
        }
        place = {filed.day, batch.LastKeyName()};
        added = true;
        if (found != m_byUid.end() && !Delete(found->second)) {
            Delete(place);
            result.message = "The appointment \"" + filed.values.notes +
                             "\" could not be moved to " + filed.day + ".";
            return result;
        }
        m_byUid[uid] = place;
    }
    const auto overrides = m_overrides.find(uid);
    if ((!filed.overrides.empty() ||
         (overrides != m_overrides.end() && !overrides->second.empty())) &&
        !ReplaceOverrides(uid, filed.overrides, result.message))
        return result;
    result.ok = true;
    result.localId = uid;
    // A key just made holds these values and nothing else; one replaced may
    // keep values of other programs, which count too.
    result.fingerprint = added ? FingerprintOfValues(filed.values) : FingerprintAt(place);
    if (m_listed)
        m_items[uid] = {uid, result.fingerprint};
    return result;
}

LocalApply CRegistryCalendar::ApplyNothing(const std::string& localId, const Filed& filed) {
    LocalApply result;
    result.message = filed.message;
    result.localId = localId;
    const auto found = m_byUid.find(localId);
    if (filed.cancelled || localId.empty() || found == m_byUid.end()) {
        // Cancelled on the server: the appointment goes. An event new here
        // is linked to an identity no appointment has, which the next sync
        // finds missing and leaves to the server.
        if (!localId.empty() && !Remove(localId)) {
            result.message = "A cancelled event's appointment could not be deleted.";
            return result;
        }
        if (result.localId.empty())
            result.localId = NewEventUid();
        result.ok = true;
        return result;
    }
    // A version the store cannot hold leaves the appointment as it was.
    result.ok = true;
    result.fingerprint = FingerprintAt(found->second);
    return result;
}

bool CRegistryCalendar::Remove(const std::string& localId) {
    Index();
    const auto found = m_byUid.find(localId);
    if (found != m_byUid.end()) {
        if (!Delete(found->second))
            return false;
        m_byUid.erase(found);
    }
    m_items.erase(localId);
    std::string message;
    return ReplaceOverrides(localId, {}, message);
}

LocalApply CRegistryCalendar::AddConflictCopy(const std::string& localId) {
    LocalApply result;
    Index();
    const auto found = m_byUid.find(localId);
    fw::unique_hkey key;
    if (found == m_byUid.end() ||
        OpenAppointment(found->second.day, found->second.key, KEY_READ, key) != ERROR_SUCCESS) {
        result.message = "The appointment " + localId + " is no longer in the calendar.";
        return result;
    }
    const std::string day = found->second.day;
    ical::AppointmentValues values = CCalendarExchange::ReadValues(key.get());
    key.reset();
    values.series.uid = NewEventUid();
    if (FitsNotesField(kConflictNoteMark + values.notes))
        values.notes.insert(0, kConflictNoteMark);
    CAppointmentBatch& batch = m_batch;
    if (!batch.Add(day, values)) {
        result.message = "The local version of \"" + values.notes + "\" could not be kept (" +
                         fw::SystemErrorText(static_cast<DWORD>(batch.LastError())) + ").";
        return result;
    }
    const Place place{day, batch.LastKeyName()};
    {
        const StoreWriteScope scope(day);
        fw::unique_hkey copy;
        if (OpenAppointment(day, place.key, KEY_SET_VALUE, copy) == ERROR_SUCCESS)
            WriteDwordValue(copy.get(), kConflictCopyValueName, 1);
    }
    m_byUid[values.series.uid] = place;
    result.ok = true;
    result.localId = values.series.uid;
    result.fingerprint = FingerprintAt(place);
    if (m_listed)
        m_items[result.localId] = {result.localId, result.fingerprint};
    return result;
}

} // namespace caldav
