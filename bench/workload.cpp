#include "bench/workload.h"

#include "framework/unique_handle.h"
#include "store/calendar_registry.h"
#include "store/system_time.h"
#include "store/date_range.h"
#include "store/key_naming.h"
#include "store/registry_value.h"

#include <cstdio>
#include <cwchar>
#include <iterator>
#include <string>
#include <cstdint>

namespace bench {

namespace {

constexpr int kPerDay = 5;
constexpr const char* kEventTexts[] = {"EMail", "Others", "Fishing", "Movie", "Music", "Holiday"};

// A small fixed generator, so that every run writes the same store.
class Lcg {
public:
    explicit Lcg(uint32_t seed) : m_state(seed) {}
    int Next(int bound) {
        m_state = m_state * 1664525u + 1013904223u;
        return static_cast<int>((m_state >> 8) % static_cast<uint32_t>(bound));
    }

private:
    uint32_t m_state;
};

CalendarDate AddDays(CalendarDate date, int days) {
    for (; days > 0; --days)
        date = NextDay(date);
    for (; days < 0; ++days)
        date = PreviousDay(date);
    return date;
}

std::string DetailFor(int serial) {
    char text[160];
    std::snprintf(text, sizeof text,
                  "Generated appointment %d: bring the papers, call ahead, and leave "
                  "early enough for the traffic.",
                  serial);
    return text;
}

// Writes one appointment's six values into a new key below `day`; an
// existing name gets the program's own suffix.
// `restoring`: an appointment that is still there is left alone instead of
// getting a second key. Returns the key written.
fw::unique_hkey WriteAppointment(HKEY day, const GeneratedAppointment& a, int serial,
                                 bool restoring) {
    fw::unique_hkey key;
    for (int attempt = 0; attempt < (restoring ? 1 : kMaxKeyNameAttempts); ++attempt) {
        const std::string name = AppointmentKeyName(a.created, attempt);
        DWORD disposition = 0;
        if (RegCreateKeyExA(day, name.c_str(), 0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS,
                            nullptr, key.put(), &disposition) != ERROR_SUCCESS)
            return {};
        if (disposition == REG_CREATED_NEW_KEY)
            break;
        key.reset();
    }
    if (!key)
        return key;
    WriteFixedText(key.get(), kValueFrom, FormatDateText(a.from), kDateFieldBytes);
    WriteFixedText(key.get(), kValueTo, FormatDateText(a.to), kDateFieldBytes);
    WriteFixedText(key.get(), kValueNotes, a.notes, kNotesFieldBytes);
    WriteFixedText(key.get(), kValueEvent, kEventTexts[a.eventIndex], kEventFieldBytes);
    WriteDwordValue(key.get(), kValueEventIndex, static_cast<DWORD>(a.eventIndex));
    WriteFixedText(key.get(), kValueDetailNotes, DetailFor(serial), kNotesFieldBytes);
    return key;
}

void WriteOptions(HKEY calendar) {
    fw::unique_hkey options(CreateVolatileKey(calendar, "OPTIONS"));
    if (!options)
        return;
    WriteDwordValue(options.get(), kValueTimeoutValue, 5);
    WriteDwordValue(options.get(), kValueSplash, 0);
    WriteDwordValue(options.get(), kValueTimeoutDelete, 0);
}

SYSTEMTIME CreationTime(int hour, int minute, int second, int millisecond) {
    SYSTEMTIME t{};
    t.wHour = static_cast<WORD>(hour);
    t.wMinute = static_cast<WORD>(minute);
    t.wSecond = static_cast<WORD>(second);
    t.wMilliseconds = static_cast<WORD>(millisecond);
    return t;
}

} // namespace

HKEY CreateVolatileKey(HKEY parent, const char* path) {
    HKEY key = nullptr;
    if (RegCreateKeyExA(parent, path, 0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr,
                        &key, nullptr) != ERROR_SUCCESS)
        return nullptr;
    return key;
}

std::vector<GeneratedAppointment> Generate(int count, const CalendarDate& today) {
    std::vector<GeneratedAppointment> all;
    all.reserve(static_cast<size_t>(count));
    Lcg rng(static_cast<uint32_t>(count) * 2654435761u);
    const int days = (count + kPerDay - 1) / kPerDay;
    CalendarDate day = AddDays(today, -(days / 10));
    for (int i = 0; i < days; ++i, day = NextDay(day)) {
        for (int j = 0; j < kPerDay && static_cast<int>(all.size()) < count; ++j) {
            GeneratedAppointment a;
            a.day = day;
            // Hours 10 to 14 keep the five names of a day apart.
            a.created = CreationTime(10 + j, rng.Next(60), rng.Next(60), rng.Next(1000));
            a.from = AddDays(day, -rng.Next(16));
            a.to = AddDays(a.from, rng.Next(30));
            char notes[64];
            std::snprintf(notes, sizeof notes, "Meeting %d at the office", i * kPerDay + j);
            a.notes = notes;
            a.eventIndex = rng.Next(6);
            all.push_back(std::move(a));
        }
    }
    return all;
}

WorkloadCounts WriteScanStore(HKEY root, int count, const CalendarDate& today, bool onlyEnded) {
    WorkloadCounts counts;
    fw::unique_hkey software(CreateVolatileKey(root, "SOFTWARE"));
    if (!software)
        return counts;
    fw::unique_hkey calendar(CreateVolatileKey(software.get(), "Calendar"));
    if (!calendar)
        return counts;
    if (!onlyEnded)
        WriteOptions(calendar.get());
    const std::vector<GeneratedAppointment> all = Generate(count, today);
    fw::unique_hkey day;
    CalendarDate openDay;
    int serial = 0;
    for (const GeneratedAppointment& a : all) {
        ++serial;
        const std::string from = FormatDateText(a.from);
        const std::string to = FormatDateText(a.to);
        const RangeState state = ClassifyRange(from.c_str(), to.c_str(), today);
        if (onlyEnded && state != RangeState::Ended)
            continue;
        if (!day || !(openDay == a.day)) {
            day.reset(CreateVolatileKey(calendar.get(), FormatDateText(a.day).c_str()));
            openDay = a.day;
            if (!day)
                continue;
        }
        WriteAppointment(day.get(), a, serial, onlyEnded);
        ++counts.appointments;
        counts.current += state == RangeState::Current ? 1 : 0;
        counts.ended += state == RangeState::Ended ? 1 : 0;
        counts.upcoming += state == RangeState::Upcoming ? 1 : 0;
    }
    return counts;
}

namespace {

// Gives every `every`-th appointment of the store, in the registry's order,
// to `give` (its key open for setting values); the count of those given.
template <class Give> int GiveEveryNth(HKEY root, int every, Give&& give) {
    fw::unique_hkey calendar;
    if (RegOpenKeyExA(root, kCalendarRootPath, 0, KEY_READ, calendar.put()) != ERROR_SUCCESS)
        return 0;
    int seen = 0;
    int given = 0;
    char dayName[kKeyNameBufferSize];
    char name[kKeyNameBufferSize];
    for (DWORD d = 0;; ++d) {
        DWORD length = sizeof dayName;
        if (RegEnumKeyExA(calendar.get(), d, dayName, &length, nullptr, nullptr, nullptr,
                          nullptr) != ERROR_SUCCESS)
            break;
        fw::unique_hkey day;
        if (RegOpenKeyExA(calendar.get(), dayName, 0, KEY_READ, day.put()) != ERROR_SUCCESS)
            continue;
        for (DWORD a = 0;; ++a) {
            length = sizeof name;
            if (RegEnumKeyExA(day.get(), a, name, &length, nullptr, nullptr, nullptr, nullptr) !=
                ERROR_SUCCESS)
                break;
            if (seen++ % every != 0)
                continue;
            fw::unique_hkey appointment;
            if (RegOpenKeyExA(day.get(), name, 0, KEY_SET_VALUE, appointment.put()) !=
                ERROR_SUCCESS)
                continue;
            if (give(appointment.get(), given))
                ++given;
        }
    }
    return given;
}

bool SetWide(HKEY key, const wchar_t* name, const std::wstring& text) {
    return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                          static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

} // namespace

int WriteAlertValues(HKEY root, int every) {
    return GiveEveryNth(root, every, [](HKEY appointment, int given) {
        const int minute = 8 * 60 + given % (12 * 60);
        char time[8];
        std::snprintf(time, sizeof time, "%02d:%02d", minute / 60, minute % 60);
        const DWORD remind = 15;
        return RegSetValueExA(appointment, "TIME", 0, REG_SZ, reinterpret_cast<const BYTE*>(time),
                              6) == ERROR_SUCCESS &&
               RegSetValueExA(appointment, "REMIND BEFORE", 0, REG_DWORD,
                              reinterpret_cast<const BYTE*>(&remind),
                              sizeof remind) == ERROR_SUCCESS;
    });
}

int WriteRepeatValues(HKEY root, int every) {
    static const wchar_t* const kRules[] = {
        L"FREQ=DAILY;INTERVAL=3",
        L"FREQ=WEEKLY",
        L"FREQ=WEEKLY;BYDAY=MO,WE,FR",
        L"FREQ=WEEKLY;INTERVAL=2;BYDAY=TU,TH;UNTIL=20301231",
        L"FREQ=MONTHLY;BYMONTHDAY=15,-1",
        L"FREQ=MONTHLY;BYDAY=2TU;COUNT=24",
        L"FREQ=MONTHLY;BYDAY=-1FR",
        L"FREQ=YEARLY",
        L"FREQ=YEARLY;BYMONTH=2;BYMONTHDAY=-1",
        L"FREQ=DAILY;COUNT=60;WKST=SU",
    };
    return GiveEveryNth(root, every, [](HKEY appointment, int given) {
        const std::wstring rule = kRules[given % std::size(kRules)];
        return SetWide(appointment, L"REPEAT", rule) &&
               (given % 3 != 0 || SetWide(appointment, L"SKIP DATES", L"20270104,20270301"));
    });
}

void WriteSeriesDayStore(HKEY root, int own, int occurrences, const CalendarDate& day,
                         const CalendarDate& floorDay) {
    WriteDayStore(root, own, day);
    fw::unique_hkey calendar;
    if (RegOpenKeyExA(root, kCalendarRootPath, 0, KEY_READ | KEY_WRITE, calendar.put()) !=
        ERROR_SUCCESS)
        return;
    fw::unique_hkey floorKey(CreateVolatileKey(calendar.get(), FormatDateText(floorDay).c_str()));
    Lcg rng(11u);
    const int total = own + occurrences;
    for (int i = 0; i < total && floorKey; ++i) {
        GeneratedAppointment a;
        a.day = a.from = a.to = floorDay;
        a.notes = "Meeting " + std::to_string(i) + " at the office";
        a.eventIndex = rng.Next(6);
        a.created = CreationTime(rng.Next(24), rng.Next(60), rng.Next(60), rng.Next(1000));
        WriteAppointment(floorKey.get(), a, i, false);
    }
    wchar_t until[16];
    std::swprintf(until, 16, L"%04d%02d%02d", day.year, day.month, day.day);
    for (int i = 0; i < occurrences; ++i) {
        GeneratedAppointment a;
        a.day = a.from = a.to = AddDays(day, -1 - i % 20);
        a.notes = "Class " + std::to_string(i);
        a.eventIndex = rng.Next(6);
        a.created = CreationTime(rng.Next(24), rng.Next(60), rng.Next(60), rng.Next(1000));
        fw::unique_hkey dayKey(CreateVolatileKey(calendar.get(), FormatDateText(a.day).c_str()));
        if (!dayKey)
            continue;
        if (fw::unique_hkey key = WriteAppointment(dayKey.get(), a, total + i, false))
            SetWide(key.get(), L"REPEAT", std::wstring(L"FREQ=DAILY;UNTIL=") + until);
    }
}

void WriteDayStore(HKEY root, int count, const CalendarDate& day) {
    fw::unique_hkey software(CreateVolatileKey(root, "SOFTWARE"));
    if (!software)
        return;
    fw::unique_hkey calendar(CreateVolatileKey(software.get(), "Calendar"));
    if (!calendar)
        return;
    WriteOptions(calendar.get());
    fw::unique_hkey dayKey(CreateVolatileKey(calendar.get(), FormatDateText(day).c_str()));
    if (!dayKey)
        return;
    Lcg rng(7u);
    for (int i = 0; i < count; ++i) {
        GeneratedAppointment a;
        a.day = day;
        a.from = day;
        a.to = day;
        char notes[64];
        std::snprintf(notes, sizeof notes, "Meeting %d at the office", i);
        a.notes = notes;
        a.eventIndex = rng.Next(6);
        a.created = CreationTime(rng.Next(24), rng.Next(60), rng.Next(60), rng.Next(1000));
        WriteAppointment(dayKey.get(), a, i, false);
    }
}

namespace {
// Generated appointments are named for hours 10 to 14; this one never clashes.
std::string OutsideKeyPath(const CalendarDate& today) {
    return std::string("SOFTWARE\\Calendar\\") + FormatDateText(today) + "\\" +
           AppointmentKeyName(16, 0, 0, 0, 0);
}
} // namespace

bool WriteOutsideAppointment(HKEY root, const CalendarDate& today) {
    fw::unique_hkey key;
    if (RegCreateKeyExA(root, OutsideKeyPath(today).c_str(), 0, nullptr, REG_OPTION_VOLATILE,
                        KEY_SET_VALUE, nullptr, key.put(), nullptr) != ERROR_SUCCESS)
        return false;
    const std::string date = FormatDateText(today);
    return WriteFixedText(key.get(), kValueFrom, date, kDateFieldBytes) &&
           WriteFixedText(key.get(), kValueTo, date, kDateFieldBytes) &&
           WriteFixedText(key.get(), kValueNotes, kOutsideNotes, kNotesFieldBytes) &&
           WriteFixedText(key.get(), kValueEvent, kEventTexts[1], kEventFieldBytes) &&
           WriteDwordValue(key.get(), kValueEventIndex, 1) &&
           WriteFixedText(key.get(), kValueDetailNotes, "", kNotesFieldBytes);
}

bool DeleteOutsideAppointment(HKEY root, const CalendarDate& today) {
    return RegDeleteKeyA(root, OutsideKeyPath(today).c_str()) == ERROR_SUCCESS;
}

bool WriteRemindFile(const char* path, int count, const CalendarDate& today) {
    FILE* file = std::fopen(path, "w");
    if (file == nullptr)
        return false;
    for (const GeneratedAppointment& a : Generate(count, today))
        std::fprintf(file, "REM %04d-%02d-%02d THROUGH %04d-%02d-%02d MSG %s\n", a.from.year,
                     a.from.month, a.from.day, a.to.year, a.to.month, a.to.day, a.notes.c_str());
    return std::fclose(file) == 0;
}

} // namespace bench
