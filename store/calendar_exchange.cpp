#include "store/calendar_exchange.h"

#include "framework/system_error.h"
#include "framework/clock.h"
#include "framework/unique_handle.h"
#include "framework/utf_text.h"
#include "store/appointment_batch.h"
#include "store/calendar_registry.h"
#include "store/calendar_root.h"
#include "store/notes_rule.h"
#include "store/registry_value.h"
#include "store/store_walk.h"
#include "store/system_time.h"
#include "store/series_registry.h"
#include "store/series_values.h"
#include "store/timed_registry.h"
#include "store/transfer_progress.h"
#include "version.h"

#include <algorithm>
#include <exception>
#include <map>
#include <utility>

namespace {

// Seconds between 1601-01-01 (FILETIME) and 1970-01-01.
constexpr std::int64_t kFileTimeEpoch = 11644473600;

std::int64_t UtcNow() {
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    const std::int64_t ticks = static_cast<std::int64_t>(
        (static_cast<std::uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime);
    return ticks / 10000000 - kFileTimeEpoch;
}

// What Windows says a code means, without its closing full stop.
fw::unique_handle OpenFile(const std::string& path, DWORD access, DWORD share, DWORD disposition) {
    HANDLE file = CreateFileW(fw::Widen(path).c_str(), access, share, nullptr, disposition,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    return fw::unique_handle(file != INVALID_HANDLE_VALUE ? file : nullptr);
}

} // namespace

ical::AppointmentValues CCalendarExchange::ReadValues(HKEY key) {
    AppointmentFields fields;
    ReadTextValue(key, kValueFrom, fields.from, kDateFieldBytes);
    ReadTextValue(key, kValueTo, fields.to, kDateFieldBytes);
    ReadTextValue(key, kValueNotes, fields.notes, kNotesFieldBytes);
    ReadTextValue(key, kValueEvent, fields.event, kEventFieldBytes);
    ReadTextValue(key, kValueDetailNotes, fields.detail, kNotesFieldBytes);
    // A missing index is no type at all; the export says what it makes of it.
    DWORD index = static_cast<DWORD>(-1);
    ReadDwordValue(key, kValueEventIndex, index);
    return {fields.from, fields.to,     fields.notes,         fields.event,
            index,       fields.detail, ReadTimedValues(key), ReadSeriesValues(key)};
}

namespace {

// Visits each appointment below the day key `dayName` of `root`, until a
// visit returns false; false then.
template <class Visit> bool ForEachAppointment(HKEY root, const char* dayName, Visit&& visit) {
    fw::unique_hkey day;
    if (OpenSubkey(root, dayName, KEY_READ, day) != ERROR_SUCCESS)
        return true;
    bool goOn = true;
    ForEachSubkey(day.get(), [&](const char* name) {
        fw::unique_hkey appointment;
        const LONG opened = OpenSubkey(day.get(), name, KEY_READ, appointment);
        if (opened != ERROR_SUCCESS)
            return opened == ERROR_FILE_NOT_FOUND ? SubkeyStep::Removed : SubkeyStep::Next;
        goOn = visit(name, CCalendarExchange::ReadValues(appointment.get()));
        return goOn ? SubkeyStep::Next : SubkeyStep::Stop;
    });
    return goOn;
}

// Which version of its event an imported appointment holds, beside its UID:
// "SEQUENCE" REG_DWORD and "STAMP" REG_SZ (UTC, YYYYMMDDTHHMMSSZ).
constexpr char kSequenceValueName[] = "SEQUENCE";
constexpr char kStampValueName[] = "STAMP";
constexpr std::size_t kStampCapacity = 17; // the text and its NUL

ical::EventVersion ReadVersion(HKEY key) {
    ical::EventVersion version;
    DWORD sequence = 0;
    if (ReadDwordValue(key, kSequenceValueName, sequence))
        version.sequence = sequence;
    ReadTextValue(key, kStampValueName, version.stamp, kStampCapacity);
    return version;
}

// Written after the appointment's own save: one cut short between the two
// leaves an older version, which the next import of the event updates. An
// event without a SEQUENCE or stamp leaves no value for it.
bool WriteVersion(const std::string& day, const std::string& name,
                  const ical::EventVersion& version) {
    fw::unique_hkey root, dayKey, appointment;
    if (OpenCalendarRoot(KEY_READ, root) != ERROR_SUCCESS ||
        OpenSubkey(root.get(), day, KEY_READ, dayKey) != ERROR_SUCCESS ||
        OpenSubkey(dayKey.get(), name, KEY_SET_VALUE, appointment) != ERROR_SUCCESS)
        return false;
    const std::wstring sequenceName = fw::Widen(kSequenceValueName);
    const std::wstring stampName = fw::Widen(kStampValueName);
    const std::wstring stamp = fw::Widen(version.stamp);
    const LONG sequence =
        version.sequence > 0
            ? (WriteDwordValue(
                   appointment.get(), kSequenceValueName,
                   static_cast<DWORD>(std::min<std::int64_t>(version.sequence, MAXDWORD)))
                   ? ERROR_SUCCESS
                   : ERROR_WRITE_FAULT)
            : RegDeleteValueW(appointment.get(), sequenceName.c_str());
    const LONG stamped =
        stamp.empty() ? RegDeleteValueW(appointment.get(), stampName.c_str())
                      : RegSetValueExW(appointment.get(), stampName.c_str(), 0, REG_SZ,
                                       reinterpret_cast<const BYTE*>(stamp.c_str()),
                                       static_cast<DWORD>((stamp.size() + 1) * sizeof(wchar_t)));
    const auto done = [](LONG code) {
        return code == ERROR_SUCCESS || code == ERROR_FILE_NOT_FOUND;
    };
    return done(sequence) && done(stamped);
}

} // namespace

std::vector<ical::StoredEvent> CCalendarExchange::ReadStoredEvents() {
    std::vector<ical::StoredEvent> found;
    fw::unique_hkey root;
    if (OpenCalendarRoot(KEY_READ, root) != ERROR_SUCCESS)
        return found;
    const std::wstring uidName = fw::Widen(kUidValueName);
    ForEachSubkey(root.get(), [&](const char* dayName) {
        fw::unique_hkey day;
        if (OpenSubkey(root.get(), dayName, KEY_READ, day) != ERROR_SUCCESS)
            return SubkeyStep::Next;
        ForEachSubkey(day.get(), [&](const char* name) {
            fw::unique_hkey appointment;
            const LONG opened = OpenSubkey(day.get(), name, KEY_READ, appointment);
            if (opened != ERROR_SUCCESS)
                return opened == ERROR_FILE_NOT_FOUND ? SubkeyStep::Removed : SubkeyStep::Next;
            // Most appointments have no UID: only those that do are read whole.
            if (RegQueryValueExW(appointment.get(), uidName.c_str(), nullptr, nullptr, nullptr,
                                 nullptr) != ERROR_SUCCESS)
                return SubkeyStep::Next;
            ical::AppointmentValues values = ReadValues(appointment.get());
            if (!values.series.uid.empty())
                found.push_back({dayName, name, std::move(values), ReadVersion(appointment.get())});
            return SubkeyStep::Next;
        });
        return SubkeyStep::Next;
    });
    return found;
}

std::string CCalendarExchange::WriteWholeFile(const std::string& path, const std::string& text) {
    const std::string temporary = path + ".tmp";
    DWORD error = ERROR_SUCCESS;
    {
        fw::unique_handle file = OpenFile(temporary, GENERIC_WRITE, 0, CREATE_ALWAYS);
        if (!file)
            return fw::SystemErrorText(GetLastError());
        std::size_t at = 0;
        while (at < text.size() && error == ERROR_SUCCESS) {
            const DWORD chunk =
                static_cast<DWORD>(std::min<std::size_t>(text.size() - at, 1u << 20));
            DWORD written = 0;
            if (!WriteFile(file.get(), text.data() + at, chunk, &written, nullptr) || written == 0)
                error = GetLastError() != ERROR_SUCCESS ? GetLastError() : ERROR_WRITE_FAULT;
            at += written;
        }
        if (error == ERROR_SUCCESS && !FlushFileBuffers(file.get()))
            error = GetLastError();
    }
    if (error == ERROR_SUCCESS &&
        !MoveFileExW(fw::Widen(temporary).c_str(), fw::Widen(path).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        error = GetLastError();
    if (error == ERROR_SUCCESS)
        return std::string();
    DeleteFileW(fw::Widen(temporary).c_str());
    return fw::SystemErrorText(error);
}

namespace {

// Reads a whole file of at most `limit` bytes. Empty when done, else why not.
std::string ReadWholeFile(const std::string& path, std::size_t limit, std::string& bytes) {
    fw::unique_handle file = OpenFile(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    if (!file)
        return fw::SystemErrorText(GetLastError());
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.get(), &size))
        return fw::SystemErrorText(GetLastError());
    if (static_cast<std::uint64_t>(size.QuadPart) > limit)
        return "the file is larger than " + std::to_string(limit >> 20) +
               " MiB, more than any calendar holds";
    bytes.resize(static_cast<std::size_t>(size.QuadPart));
    std::size_t at = 0;
    while (at < bytes.size()) {
        DWORD read = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - at, 1u << 20));
        if (!ReadFile(file.get(), bytes.data() + at, chunk, &read, nullptr))
            return fw::SystemErrorText(GetLastError());
        if (read == 0)
            break; // shorter than it said: what is there is read
        at += read;
    }
    bytes.resize(at);
    return std::string();
}

} // namespace

bool CCalendarExchange::ReadAll(std::vector<ical::StoredAppointment>& all,
                                ITransferProgress* progress) {
    all.clear();
    fw::unique_hkey root;
    if (OpenCalendarRoot(KEY_READ, root) != ERROR_SUCCESS)
        return true;
    bool goOn = true;
    ForEachSubkey(root.get(), [&](const char* dayName) {
        goOn = ForEachAppointment(root.get(), dayName,
                                  [&](const char* name, ical::AppointmentValues&& values) {
                                      all.push_back({dayName, name, std::move(values)});
                                      if (progress == nullptr)
                                          return true;
                                      TransferCounts counts;
                                      counts.appointments = all.size();
                                      progress->Report(counts);
                                      return !progress->StopRequested();
                                  });
        return goOn ? SubkeyStep::Next : SubkeyStep::Stop;
    });
    return goOn;
}

std::vector<ical::DayAppointment> CCalendarExchange::ReadDays(const std::set<std::string>& days) {
    std::vector<ical::DayAppointment> found;
    fw::unique_hkey root;
    if (OpenCalendarRoot(KEY_READ, root) != ERROR_SUCCESS)
        return found;
    for (const std::string& day : days)
        ForEachAppointment(root.get(), day.c_str(),
                           [&](const char*, ical::AppointmentValues&& values) {
                               found.push_back({day, std::move(values)});
                               return true;
                           });
    return found;
}

ical::ExportOutcome CCalendarExchange::Export(const std::string& path,
                                              ITransferProgress* progress) {
    ical::ExportOutcome outcome;
    outcome.path = path;
    std::vector<ical::StoredAppointment> all;
    ical::ExportResult result;
    try {
        if (!ReadAll(all, progress)) {
            outcome.cancelled = true;
            return outcome;
        }
        result = ical::ExportCalendar(all, ExportZones(UtcNow()));
    } catch (const std::exception& e) {
        // Memory ran out, most likely; the user hears of it, and nothing is written.
        outcome.error = std::string("the calendar could not be read whole (") + e.what() + ")";
        return outcome;
    }
    if (progress != nullptr && progress->StopRequested()) {
        outcome.cancelled = true;
        return outcome;
    }
    outcome.error = WriteWholeFile(path, result.text);
    outcome.written = outcome.error.empty();
    outcome.exported = result.exported;
    // The user knows an appointment by its day and notes, not its key.
    std::map<std::pair<std::string, std::string>, const std::string*> notesOf;
    if (!result.issues.empty())
        for (const ical::StoredAppointment& a : all)
            notesOf[{a.dayKey, a.appointmentKey}] = &a.values.notes;
    for (ical::ExportIssue& issue : result.issues) {
        const auto found = notesOf.find({issue.dayKey, issue.appointmentKey});
        outcome.issues.push_back(
            {std::move(issue), found != notesOf.end() ? *found->second : std::string()});
    }
    return outcome;
}

ical::ExportOptions CCalendarExchange::ExportZones(std::int64_t stampUtc) const {
    ical::ExportOptions options{QUILLMERE_VERSION_TEXT, stampUtc, m_zones.ComputerZoneName(),
                                nullptr};
    // Each zone as its rules are this year: what its VTIMEZONE says.
    const int year = fw::LocalNow().wYear;
    options.zoneRules = [this, year](const std::string& zone, ical::WindowsZoneRules& rules) {
        return m_zones.RulesOfYear(zone, year, rules);
    };
    return options;
}

ical::ImportOptions CCalendarExchange::ImportZones() const {
    ical::ImportOptions options;
    options.localTimeOf = [this](std::int64_t utc) {
        return ical::WallTimeOf(m_zones.WallAt(utc, std::string()));
    };
    options.computerZone = m_zones.ComputerZoneName();
    // A named zone is one this Windows has; "" would be the computer's.
    const auto known = [this](const std::string& zone) {
        ical::WindowsZoneRules rules;
        return !zone.empty() && m_zones.RulesOfYear(zone, 2000, rules);
    };
    options.zoneToUtc = [this, known](const std::string& zone, const ical::LocalDateTime& wall,
                                      std::int64_t& utc) {
        if (!known(zone))
            return false;
        const std::int64_t seconds = ical::WallSeconds(wall);
        utc = m_zones.UtcOfWall(seconds, zone);
        // In the hour a change skips the clock gives the change; RFC 5545
        // reads such a time with the offset from before it.
        if (m_zones.WallAt(utc, zone) != seconds)
            utc = seconds - (m_zones.WallAt(utc - 1, zone) - (utc - 1));
        return true;
    };
    options.zoneToWall = [this, known](const std::string& zone, std::int64_t utc,
                                       ical::LocalDateTime& wall) {
        if (!known(zone))
            return false;
        wall = ical::WallTimeOf(m_zones.WallAt(utc, zone));
        return true;
    };
    return options;
}

ical::ImportOutcome CCalendarExchange::Import(const std::string& path,
                                              ITransferProgress* progress) {
    ical::ImportOutcome outcome;
    outcome.path = path;
    ical::ImportOptions options = ImportZones();
    options.today = DateOf(fw::LocalNow());
    options.fitsTextField = [](std::string_view text) { return FitsNotesField(std::string(text)); };
    TransferCounts counts;
    if (progress != nullptr)
        options.keepGoing = [&](ical::ImportStage stage, std::size_t events) {
            if (stage == ical::ImportStage::Checking)
                counts.eventsInFile = 0;
            else if (counts.eventsInFile == 0)
                counts.eventsInFile = counts.events;
            counts.events = events;
            progress->Report(counts);
            return !progress->StopRequested();
        };
    // The whole file is checked and planned before anything is written. The
    // duplicates are looked for among the days it files under, which only a
    // first plan tells; a store without them needs no second.
    std::string bytes;
    std::vector<ical::StoredEvent> stored;
    try {
        outcome.error = ReadWholeFile(path, options.limits.maxFileBytes, bytes);
        if (!outcome.error.empty())
            return outcome;
        // One walk finds every appointment an event of the file may update.
        stored = ReadStoredEvents();
        options.stored = &stored;
        outcome.plan = ical::PlanImport(bytes, options);
        if (!outcome.plan.accepted) {
            outcome.cancelled = outcome.plan.cancelled;
            outcome.error = outcome.plan.error.message;
            return outcome;
        }
        std::set<std::string> days;
        for (const ical::PlannedAppointment& planned : outcome.plan.appointments)
            days.insert(planned.day);
        const std::vector<ical::DayAppointment> existing = ReadDays(days);
        if (!existing.empty()) {
            options.existing = &existing;
            counts.events = counts.eventsInFile = 0;
            outcome.plan = ical::PlanImport(bytes, options);
            if (!outcome.plan.accepted) {
                outcome.cancelled = outcome.plan.cancelled;
                outcome.error = outcome.plan.error.message;
                return outcome;
            }
        }
    } catch (const std::exception& e) {
        // Memory ran out, most likely; nothing has been written.
        outcome.error = std::string("it could not be read whole (") + e.what() + ")";
        return outcome;
    }
    bytes = std::string();

    CAppointmentBatch batch;
    counts.appointmentsTotal = outcome.plan.appointments.size();
    for (std::size_t i = 0; i < outcome.plan.appointments.size(); ++i) {
        if (progress != nullptr) {
            counts.appointments = i;
            progress->Report(counts);
            if (progress->StopRequested()) {
                outcome.cancelled = true;
                break;
            }
        }
        LONG error = ERROR_SUCCESS;
        try {
            const ical::DayAppointment a = outcome.plan.AppointmentAt(i);
            const ical::PlannedAppointment& planned = outcome.plan.appointments[i];
            const ical::EventVersion& version = outcome.plan.events[planned.event].version;
            // The time, alert and rule are written with the six values, in
            // the same crash-safe save. An update keeps the key it replaces,
            // unless the event moved to another day: then the new one is
            // filed before the old one goes, so that a save cut short leaves
            // both rather than neither.
            const ical::StoredEvent* old =
                planned.replaces ? &stored.at(*planned.replaces) : nullptr;
            std::string key;
            if (old != nullptr && old->day == a.day) {
                if (batch.Replace(a.day, old->key, a.values))
                    key = old->key;
                else
                    error = batch.LastError();
            } else if (batch.Add(a.day, a.values)) {
                key = batch.LastKeyName();
                if (old != nullptr) {
                    const StoreWriteScope scope(old->day);
                    fw::unique_hkey root, day;
                    if (OpenCalendarRoot(KEY_READ, root) == ERROR_SUCCESS &&
                        OpenSubkey(root.get(), old->day, KEY_ALL_ACCESS, day) == ERROR_SUCCESS)
                        DeleteSubkey(day.get(), old->key);
                }
            } else {
                error = batch.LastError();
            }
            if (error == ERROR_SUCCESS && !a.values.series.uid.empty())
                WriteVersion(a.day, key, version);
            if (error == ERROR_SUCCESS && old != nullptr) {
                ++outcome.updated;
                continue;
            }
        } catch (const std::exception& e) {
            outcome.stopped = true;
            outcome.writeError = e.what();
            break;
        }
        if (error != ERROR_SUCCESS) {
            outcome.stopped = true;
            outcome.writeError = fw::SystemErrorText(static_cast<DWORD>(error));
            if (batch.NoteFailed())
                outcome.writeError = "the note that lets an interrupted save be cleaned up could "
                                     "not be kept in HKEY_CURRENT_USER\\Software\\Quillmere (" +
                                     outcome.writeError + ")";
            break;
        }
        ++outcome.filed;
    }
    if (progress != nullptr) {
        counts.appointments = outcome.filed;
        progress->Report(counts);
    }
    batch.Finish();
    return outcome;
}
