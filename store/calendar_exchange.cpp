#include "store/calendar_exchange.h"

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
std::string SystemMessage(DWORD code) {
    wchar_t* buffer = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::string text;
    if (length > 0 && buffer != nullptr)
        text = fw::Narrow(std::wstring(buffer, length));
    if (buffer != nullptr)
        LocalFree(buffer);
    while (!text.empty() &&
           (text.back() == '\n' || text.back() == '\r' || text.back() == ' ' || text.back() == '.'))
        text.pop_back();
    return text.empty() ? "error " + std::to_string(code) : text;
}

fw::unique_handle OpenFile(const std::string& path, DWORD access, DWORD share, DWORD disposition) {
    HANDLE file = CreateFileW(fw::Widen(path).c_str(), access, share, nullptr, disposition,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    return fw::unique_handle(file != INVALID_HANDLE_VALUE ? file : nullptr);
}

// The six values of an open appointment key, as the day list reads them.
ical::AppointmentValues ReadValues(HKEY key) {
    AppointmentFields fields;
    ReadTextValue(key, kValueFrom, fields.from, kDateFieldBytes);
    ReadTextValue(key, kValueTo, fields.to, kDateFieldBytes);
    ReadTextValue(key, kValueNotes, fields.notes, kNotesFieldBytes);
    ReadTextValue(key, kValueEvent, fields.event, kEventFieldBytes);
    ReadTextValue(key, kValueDetailNotes, fields.detail, kNotesFieldBytes);
    // A missing index is no type at all; the export says what it makes of it.
    DWORD index = static_cast<DWORD>(-1);
    ReadDwordValue(key, kValueEventIndex, index);
    return {fields.from, fields.to, fields.notes, fields.event, index, fields.detail, {}};
}

// Visits each appointment below the day key `dayName` of `root`.
template <class Visit> void ForEachAppointment(HKEY root, const char* dayName, Visit&& visit) {
    fw::unique_hkey day;
    if (OpenSubkey(root, dayName, KEY_READ, day) != ERROR_SUCCESS)
        return;
    ForEachSubkey(day.get(), [&](const char* name) {
        fw::unique_hkey appointment;
        const LONG opened = OpenSubkey(day.get(), name, KEY_READ, appointment);
        if (opened != ERROR_SUCCESS)
            return opened == ERROR_FILE_NOT_FOUND ? SubkeyStep::Removed : SubkeyStep::Next;
        visit(name, ReadValues(appointment.get()));
        return SubkeyStep::Next;
    });
}

} // namespace

std::string CCalendarExchange::WriteWholeFile(const std::string& path, const std::string& text) {
    const std::string temporary = path + ".tmp";
    DWORD error = ERROR_SUCCESS;
    {
        fw::unique_handle file = OpenFile(temporary, GENERIC_WRITE, 0, CREATE_ALWAYS);
        if (!file)
            return SystemMessage(GetLastError());
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
    return SystemMessage(error);
}

namespace {

// Reads a whole file of at most `limit` bytes. Empty when done, else why not.
std::string ReadWholeFile(const std::string& path, std::size_t limit, std::string& bytes) {
    fw::unique_handle file = OpenFile(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    if (!file)
        return SystemMessage(GetLastError());
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.get(), &size))
        return SystemMessage(GetLastError());
    if (static_cast<std::uint64_t>(size.QuadPart) > limit)
        return "the file is larger than " + std::to_string(limit >> 20) +
               " MiB, more than any calendar holds";
    bytes.resize(static_cast<std::size_t>(size.QuadPart));
    std::size_t at = 0;
    while (at < bytes.size()) {
        DWORD read = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - at, 1u << 20));
        if (!ReadFile(file.get(), bytes.data() + at, chunk, &read, nullptr))
            return SystemMessage(GetLastError());
        if (read == 0)
            break; // shorter than it said: what is there is read
        at += read;
    }
    bytes.resize(at);
    return std::string();
}

} // namespace

std::vector<ical::StoredAppointment> CCalendarExchange::ReadAll() {
    std::vector<ical::StoredAppointment> all;
    fw::unique_hkey root;
    if (OpenCalendarRoot(KEY_READ, root) != ERROR_SUCCESS)
        return all;
    ForEachSubkey(root.get(), [&](const char* dayName) {
        ForEachAppointment(root.get(), dayName,
                           [&](const char* name, ical::AppointmentValues&& values) {
                               all.push_back({dayName, name, std::move(values)});
                           });
        return SubkeyStep::Next;
    });
    return all;
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
                           });
    return found;
}

CalendarDate CCalendarExchange::LocalDateOf(std::int64_t utcSeconds) {
    const std::uint64_t ticks = static_cast<std::uint64_t>(utcSeconds + kFileTimeEpoch) * 10000000u;
    FILETIME utc{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
    SYSTEMTIME universal{}, local{};
    if (!FileTimeToSystemTime(&utc, &universal) ||
        !SystemTimeToTzSpecificLocalTime(nullptr, &universal, &local))
        return {universal.wYear, universal.wMonth, universal.wDay};
    return DateOf(local);
}

ical::ExportOutcome CCalendarExchange::Export(const std::string& path) {
    ical::ExportOutcome outcome;
    outcome.path = path;
    std::vector<ical::StoredAppointment> all;
    ical::ExportResult result;
    try {
        all = ReadAll();
        result = ical::ExportCalendar(all, {QUILLMERE_VERSION_TEXT, UtcNow()});
    } catch (const std::exception& e) {
        // Memory ran out, most likely; the user hears of it, and nothing is written.
        outcome.error = std::string("the calendar could not be read whole (") + e.what() + ")";
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

ical::ImportOutcome CCalendarExchange::Import(const std::string& path) {
    ical::ImportOutcome outcome;
    outcome.path = path;
    ical::ImportOptions options;
    options.today = DateOf(fw::LocalNow());
    options.localDateOf = &CCalendarExchange::LocalDateOf;
    options.fitsTextField = [](std::string_view text) { return FitsNotesField(std::string(text)); };
    // The whole file is checked and planned before anything is written. The
    // duplicates are looked for among the days it files under, which only a
    // first plan tells; a store without them needs no second.
    std::string bytes;
    try {
        outcome.error = ReadWholeFile(path, options.limits.maxFileBytes, bytes);
        if (!outcome.error.empty())
            return outcome;
        outcome.plan = ical::PlanImport(bytes, options);
        if (!outcome.plan.accepted) {
            outcome.error = outcome.plan.error.message;
            return outcome;
        }
        std::set<std::string> days;
        for (const ical::PlannedAppointment& planned : outcome.plan.appointments)
            days.insert(planned.day);
        const std::vector<ical::DayAppointment> existing = ReadDays(days);
        if (!existing.empty()) {
            options.existing = &existing;
            outcome.plan = ical::PlanImport(bytes, options);
        }
    } catch (const std::exception& e) {
        // Memory ran out, most likely; nothing has been written.
        outcome.error = std::string("it could not be read whole (") + e.what() + ")";
        return outcome;
    }
    bytes = std::string();

    CAppointmentBatch batch;
    for (std::size_t i = 0; i < outcome.plan.appointments.size(); ++i) {
        LONG error = ERROR_SUCCESS;
        try {
            const ical::DayAppointment a = outcome.plan.AppointmentAt(i);
            const ical::AppointmentValues& v = a.values;
            if (!batch.Add(a.day, v.from, v.to, v.notes, v.event, static_cast<int>(v.eventIndex),
                           v.detailNotes))
                error = batch.LastError();
        } catch (const std::exception& e) {
            outcome.stopped = true;
            outcome.writeError = e.what();
            break;
        }
        if (error != ERROR_SUCCESS) {
            outcome.stopped = true;
            outcome.writeError = SystemMessage(static_cast<DWORD>(error));
            if (batch.NoteFailed())
                outcome.writeError = "the note that lets an interrupted save be cleaned up could "
                                     "not be kept in HKEY_CURRENT_USER\\Software\\Quillmere (" +
                                     outcome.writeError + ")";
            break;
        }
        ++outcome.filed;
    }
    batch.Finish();
    return outcome;
}
