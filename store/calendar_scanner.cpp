#include "store/calendar_scanner.h"

#include "calendar/appointment_time.h"
#include "ical/civil_time.h"
#include "ical/series.h"
#include "store/calendar_registry.h"
#include "store/calendar_root.h"
#include "store/date_range.h"
#include "store/registry_value.h"
#include "store/series_catalog.h"
#include "store/series_registry.h"
#include "store/store_walk.h"
#include "store/timed_registry.h"
#include "store/unfinished_note.h"

#include <algorithm>
#include <cstdint>

#ifndef REG_NOTIFY_THREAD_AGNOSTIC
#define REG_NOTIFY_THREAD_AGNOSTIC 0x10000000L
#endif

namespace {

// The safety net: however quiet the store, the index is built anew this often.
constexpr std::uint64_t kMaxIndexAgeMs = 60ull * 60ull * 1000ull;
// A day that another program keeps changing is purged again at most this often.
constexpr int kMaxPurgePasses = 8;

std::uint64_t SystemTicks() {
    return GetTickCount64();
}

// Where one walk puts what it finds.
struct WalkResult {
    bool purge = false;
    ReminderIndex* index = nullptr;
    std::vector<std::string>* lines = nullptr;
    // The repeating appointments, for the day lists (CSeriesCatalog).
    std::vector<CSeriesCatalog::Entry>* series = nullptr;
    int deleted = 0;
    // A key was gone when the walk came to it: another walk or program
    // deletes keys at the same time.
    bool sawGone = false;
    // Unfinished keys met on the way are removed when their writer has
    // ended: a save killed without its note (an older build's, or one
    // whose note another batch removed) leaves keys that nothing else finds.
    bool sweep = false;
    // Appointments that start after this day are not read for alerts: none
    // of them alerts before the day after it, and the index is made anew
    // each day. Most of a large store lies far ahead or has ended.
    CalendarDate alertHorizon;
};

// The last day whose appointments can alert before tomorrow ends: REMIND
// BEFORE reaches back at most a week, and a day more each side stands for
// a zone that is not the computer's.
CalendarDate AlertHorizon(const CalendarDate& today) {
    CalendarDate day = today;
    for (int i = 0; i < kMaxRemindBeforeMinutes / kMinutesPerDay + 2; ++i)
        day = NextDay(day);
    return day;
}

bool StartsBy(const std::string& from, const CalendarDate& last) {
    CalendarDate date;
    return ParseDateText(from.c_str(), date) && CompareDates(date, last) <= 0;
}

// A day holds one unfinished key per batch writing into it; more than this
// many are left for the next walk.
constexpr std::size_t kMaxUnfinishedPerDay = 16;

DWORD SubkeyCount(HKEY key) {
    DWORD count = 0;
    RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &count, nullptr, nullptr, nullptr, nullptr,
                     nullptr, nullptr, nullptr);
    return count;
}

// What a stored rule makes of an appointment whose range can be read.
struct Repeating {
    bool unfollowed = false; // a REPEAT outside the rules followed
    std::optional<ical::Series> series;
    std::optional<int> minuteOfDay;
};

Repeating ReadRepeating(HKEY appointment, const AppointmentFields& fields) {
    Repeating repeating;
    SeriesValues values;
    if (!ReadRepeatingValues(appointment, values))
        return repeating;
    repeating.unfollowed = values.repeatKind == RepeatKind::Unfollowed;
    CalendarDate from, to;
    if (values.Repeats() && ParseDateText(fields.from.c_str(), from) &&
        ParseDateText(fields.to.c_str(), to)) {
        repeating.minuteOfDay = ReadTimeOfDay(appointment);
        repeating.series.emplace(from, to, values, repeating.minuteOfDay.value_or(0) * 60);
    }
    return repeating;
}

// The occurrences of `series` that may alert before the index is made anew,
// each day of them once: an occurrence that overlaps the one before it
// starts after it.
void AddSeriesAlerts(const ical::Series& series, const char* dayName, const char* name,
                     HKEY appointment, const CalendarDate& today, WalkResult& result) {
    std::vector<CalendarDate> starts;
    ical::WorkBudget budget(ical::kSeriesWork);
    series.OccurrencesOverlapping(today, result.alertHorizon, budget,
                                  [&](const CalendarDate& start) { starts.push_back(start); });
    TimedValues timed;
    if (starts.empty() || !ReadAlertValues(appointment, timed))
        return;
    std::int64_t nextFree = INT64_MIN;
    for (const CalendarDate& start : starts) {
        const std::int64_t first = std::max(ical::DayNumber(start), nextFree);
        const std::int64_t last = ical::DayNumber(start) + series.Length() - 1;
        if (first > last)
            continue;
        result.index->AddAlert(dayName, name, ical::DateOfDayNumber(first),
                               ical::DateOfDayNumber(last), timed.minuteOfDay, *timed.remindBefore,
                               timed.zone);
        nextFree = last + 1;
    }
}

// Visits one appointment key below `day`.
SubkeyStep VisitAppointment(HKEY day, const char* dayName, const char* name,
                            const CalendarDate& today, AppointmentFields& fields,
                            WalkResult& result) {
    RangeState state = RangeState::Unreadable;
    Repeating repeating;
    {
        fw::unique_hkey appointment;
        const LONG opened = OpenSubkey(day, name, KEY_READ, appointment);
        if (opened == ERROR_FILE_NOT_FOUND) {
            result.sawGone = true;
            return SubkeyStep::Removed;
        }
        if (opened != ERROR_SUCCESS)
            return SubkeyStep::Next;
        ReadTextValue(appointment.get(), kValueFrom, fields.from, kDateFieldBytes);
        ReadTextValue(appointment.get(), kValueTo, fields.to, kDateFieldBytes);
        state = ClassifyRange(fields.from.c_str(), fields.to.c_str(), today);
        // Another program may delete the key between the reads; its values
        // then read as missing, which must not be taken for what it holds.
        if (state == RangeState::Unreadable && IsKeyGone(appointment.get())) {
            result.sawGone = true;
            return SubkeyStep::Removed;
        }
        // The purge asks of a rule only when the first occurrence has ended.
        if (state != RangeState::Unreadable && (!result.purge || state == RangeState::Ended))
            repeating = ReadRepeating(appointment.get(), fields);
        if (!result.purge) {
            // A series is current when one of its occurrences covers today.
            const bool current = repeating.series ? repeating.series->CoversToday(today)
                                                  : state == RangeState::Current;
            const char* notes = nullptr;
            if (current) {
                if (ReadTextValue(appointment.get(), kValueNotes, fields.notes, kNotesFieldBytes))
                    notes = fields.notes.c_str();
                else if (IsKeyGone(appointment.get()))
                    return SubkeyStep::Removed;
                // A current appointment without notes shows no empty line.
                if (notes != nullptr && notes[0] != '\0' && result.lines != nullptr)
                    result.lines->push_back(notes);
            }
            if (repeating.series && result.series != nullptr) {
                if (std::optional<CSeriesCatalog::Entry> entry = CSeriesCatalog::MakeEntry(
                        dayName, name, *repeating.series, repeating.minuteOfDay))
                    result.series->push_back(std::move(*entry));
            }
            if (result.index != nullptr) {
                if (repeating.series) {
                    result.index->AddCurrent(current, notes);
                    AddSeriesAlerts(*repeating.series, dayName, name, appointment.get(), today,
                                    result);
                    return SubkeyStep::Next;
                }
                result.index->Add(fields.from.c_str(), fields.to.c_str(), notes);
                // An appointment that has ended alerts no more; one whose
                // range cannot be read never does; one far ahead not yet.
                TimedValues timed;
                if ((state == RangeState::Current ||
                     (state == RangeState::Upcoming &&
                      StartsBy(fields.from, result.alertHorizon))) &&
                    ReadAlertValues(appointment.get(), timed))
                    result.index->AddAlert(dayName, name, fields.from.c_str(), fields.to.c_str(),
                                           timed.minuteOfDay, *timed.remindBefore, timed.zone);
            }
            return SubkeyStep::Next;
        }
    }
    // Only an appointment whose range has ended is deleted; one that is still
    // to come, or whose dates cannot be read, is kept. One that another walk
    // deleted first is gone all the same. A series goes once its last
    // occurrence has ended, and only when that can be told; a rule that is
    // not followed keeps its appointment, which is never deleted for it.
    if (state != RangeState::Ended || repeating.unfollowed)
        return SubkeyStep::Next;
    if (repeating.series) {
        ical::WorkBudget budget(ical::kSeriesWork);
        if (!repeating.series->EndedBefore(today, budget))
            return SubkeyStep::Next;
    }
    const LONG deleted = [&] {
        const StoreWriteScope writesTo(dayName);
        return DeleteSubkey(day, name);
    }();
    if (deleted == ERROR_SUCCESS)
        ++result.deleted;
    else if (deleted == ERROR_FILE_NOT_FOUND)
        result.sawGone = true;
    return deleted == ERROR_SUCCESS || deleted == ERROR_FILE_NOT_FOUND ? SubkeyStep::Removed
                                                                       : SubkeyStep::Next;
}

// Walks every appointment below `root` once. False when `stop` cut it short.
bool Walk(HKEY root, const CalendarDate& today, const std::atomic<bool>& stop, WalkResult& result,
          const std::function<void()>* afterDay = nullptr) {
    AppointmentFields fields;
    bool stopped = false;
    std::vector<std::string> unfinished;
    ForEachSubkey(root, [&](const char* dayName) {
        if (stop.load()) {
            stopped = true;
            return SubkeyStep::Stop;
        }
        // Reminders read every key as a day (OPTIONS has no subkeys and adds
        // nothing). The purge deletes only below a day the program itself
        // names: what lies below any other key is not its to delete.
        if (result.purge && !IsDateKeyName(dayName))
            return SubkeyStep::Next;
        fw::unique_hkey day;
        const LONG opened = OpenSubkey(root, dayName, KEY_READ, day);
        if (opened != ERROR_SUCCESS)
            return opened == ERROR_FILE_NOT_FOUND ? SubkeyStep::Removed : SubkeyStep::Next;
        // A key deleted by another program ahead of the walk lets the keys
        // behind it slide past the walk's index. The purge sees that in the
        // day's count of keys, or in a key gone when it came to it, and
        // walks the day again until a pass meets no such change.
        for (int pass = 0; pass < (result.purge ? kMaxPurgePasses : 1); ++pass) {
            const DWORD before = result.purge ? SubkeyCount(day.get()) : 0;
            const int deletedBefore = result.deleted;
            result.sawGone = false;
            ForEachSubkey(
                day.get(),
                [&](const char* name) {
                    if (stop.load()) {
                        stopped = true;
                        return SubkeyStep::Stop;
                    }
                    return VisitAppointment(day.get(), dayName, name, today, fields, result);
                },
                [&](const char* name) {
                    if (result.sweep && pass == 0 && unfinished.size() < kMaxUnfinishedPerDay)
                        unfinished.emplace_back(name);
                });
            if (stopped || !result.purge)
                break;
            const DWORD deletedHere = static_cast<DWORD>(result.deleted - deletedBefore);
            if (!result.sawGone && SubkeyCount(day.get()) + deletedHere == before)
                break;
        }
        // Removed once the day is walked, so that no index moves under the
        // walk.
        if (!stopped)
            for (const std::string& name : unfinished)
                RemoveAbandonedUnfinishedKey(day.get(), name.c_str());
        unfinished.clear();
        if (afterDay != nullptr && *afterDay)
            (*afterDay)();
        return stopped ? SubkeyStep::Stop : SubkeyStep::Next;
    });
    return !stopped;
}

} // namespace

CCalendarScanner::CCalendarScanner()
    : m_changed(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      m_walked(CreateEventW(nullptr, FALSE, FALSE, nullptr)), m_ticks(&SystemTicks) {
    CSeriesCatalog::Shared().AddFeeder();
}

CCalendarScanner::~CCalendarScanner() {
    CSeriesCatalog::Shared().RemoveFeeder();
}

bool CCalendarScanner::Watch() {
    if (!m_changed || !m_root)
        return false;
    ResetEvent(m_changed.get());
    const DWORD filter = REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_LAST_SET;
    // The notification must outlive the reminder thread that asks for it.
    LONG rc = RegNotifyChangeKeyValue(m_root.get(), TRUE, filter | REG_NOTIFY_THREAD_AGNOSTIC,
                                      m_changed.get(), TRUE);
    // Before Windows 8 it ends with the thread, which then signals it: every
    // reminder walks again, which is slower but never wrong.
    if (rc == ERROR_INVALID_PARAMETER)
        rc = RegNotifyChangeKeyValue(m_root.get(), TRUE, filter, m_changed.get(), TRUE);
    return rc == ERROR_SUCCESS;
}

bool CCalendarScanner::WatchForRoot() {
    if (!m_changed)
        return false;
    ResetEvent(m_changed.get());
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE", 0, KEY_NOTIFY, m_parent.put()) !=
        ERROR_SUCCESS)
        return false;
    LONG rc = RegNotifyChangeKeyValue(m_parent.get(), FALSE,
                                      REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_THREAD_AGNOSTIC,
                                      m_changed.get(), TRUE);
    if (rc == ERROR_INVALID_PARAMETER)
        rc = RegNotifyChangeKeyValue(m_parent.get(), FALSE, REG_NOTIFY_CHANGE_NAME, m_changed.get(),
                                     TRUE);
    return rc == ERROR_SUCCESS;
}

bool CCalendarScanner::IndexIsFresh(const CalendarDate& today) {
    return m_bIndexValid && m_root && m_index.Day() == today &&
           WaitForSingleObject(m_changed.get(), 0) == WAIT_TIMEOUT &&
           m_ticks() - m_builtAt < kMaxIndexAgeMs;
}

std::vector<std::string> CCalendarScanner::CurrentNotes(const CalendarDate& today,
                                                        const std::atomic<bool>& stop) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (IndexIsFresh(today)) {
        if (std::optional<std::vector<std::string>> lines = m_index.CurrentNotes(today))
            return *lines;
    }
    std::vector<std::string> lines;
    WalkIntoIndex(today, stop, &lines);
    return lines;
}

std::optional<std::vector<IndexedAlert>> CCalendarScanner::Alerts(const CalendarDate& today,
                                                                  const std::atomic<bool>& stop) {
    std::lock_guard<std::mutex> lock(m_mutex);
    // The index holds the alerts of the days near the one it was made for.
    if (!IndexIsFresh(today) && !WalkIntoIndex(today, stop, nullptr)) {
        if (m_bRootMissing)
            return std::vector<IndexedAlert>{};
        return std::nullopt;
    }
    if (!m_bIndexValid && !m_bLastWalkComplete)
        return std::nullopt;
    return m_index.Alerts();
}

bool CCalendarScanner::WalkIntoIndex(const CalendarDate& today, const std::atomic<bool>& stop,
                                     std::vector<std::string>* lines) {
    m_bIndexValid = false;
    m_bLastWalkComplete = false;
    // A root deleted and made again by another program is another key: the
    // root is opened anew, and watched from before the walk, so that a change
    // during the walk leaves the index stale. Without a root there is
    // nothing to watch, and every scan looks for it again.
    m_root.reset();
    m_parent.reset();
    m_bRootMissing = false;
    CSeriesCatalog& catalog = CSeriesCatalog::Shared();
    const CSeriesCatalog::WalkTicket ticket = catalog.BeginWalk();
    const LONG opened = OpenCalendarRoot(KEY_READ, m_root);
    if (opened != ERROR_SUCCESS) {
        m_root.reset();
        if (opened == ERROR_FILE_NOT_FOUND)
            catalog.Install({}, ticket);
        // No calendar yet: its making is a change of the names below
        // SOFTWARE, which is watched instead.
        m_bRootMissing = opened == ERROR_FILE_NOT_FOUND && WatchForRoot();
        return false;
    }
    ++m_nWalks;
    const bool watched = Watch();
    m_index.Begin(today);
    WalkResult result;
    result.index = &m_index;
    result.lines = lines;
    result.sweep = true;
    result.alertHorizon = AlertHorizon(today);
    std::vector<CSeriesCatalog::Entry> series;
    result.series = &series;
    const bool complete = Walk(m_root.get(), today, stop, result, &m_walkHook);
    if (complete)
        catalog.Install(std::move(series), ticket);
    m_bIndexValid = complete && watched;
    m_bLastWalkComplete = complete;
    m_builtAt = m_ticks();
    if (complete) {
        ++m_generation;
        SetEvent(m_walked.get());
    }
    return true;
}

std::vector<std::string> CCalendarScanner::WalkCurrentNotes(const CalendarDate& today,
                                                            const std::atomic<bool>& stop) {
    std::vector<std::string> lines;
    fw::unique_hkey root;
    if (OpenCalendarRoot(KEY_READ, root) != ERROR_SUCCESS)
        return lines;
    WalkResult result;
    result.lines = &lines;
    Walk(root.get(), today, stop, result);
    return lines;
}

int CCalendarScanner::PurgeEnded(const CalendarDate& today, const std::atomic<bool>& stop) {
    fw::unique_hkey root;
    if (OpenCalendarRoot(KEY_READ, root) != ERROR_SUCCESS)
        return 0;
    WalkResult result;
    result.purge = true;
    result.sweep = true;
    Walk(root.get(), today, stop, result);
    return result.deleted;
}

std::size_t CCalendarScanner::IndexBytes() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_index.Bytes();
}

std::size_t CCalendarScanner::IndexCount() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_index.Count();
}
