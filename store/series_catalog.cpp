#include "store/series_catalog.h"

#include "store/calendar_registry.h"
#include "store/calendar_root.h"
#include "store/registry_value.h"
#include "store/series_registry.h"
#include "store/store_walk.h"
#include "store/timed_registry.h"

#ifndef REG_NOTIFY_THREAD_AGNOSTIC
#define REG_NOTIFY_THREAD_AGNOSTIC 0x10000000L
#endif

CSeriesCatalog& CSeriesCatalog::Shared() {
    static CSeriesCatalog catalog;
    return catalog;
}

bool CSeriesCatalog::IsFresh() const {
    return m_bValid && m_root && m_changed &&
           WaitForSingleObject(m_changed.get(), 0) == WAIT_TIMEOUT &&
           StoreWritesByThisProcess() == m_seenWrites && !IsKeyGone(m_root.get());
}

void CSeriesCatalog::Rebuild() {
    m_bValid = false;
    m_entries.clear();
    m_root.reset();
    if (!m_changed)
        m_changed.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    // Counted before the walk: a write of this process during it leaves the
    // catalog stale.
    m_seenWrites = StoreWritesByThisProcess();
    if (!m_changed || OpenCalendarRoot(KEY_READ, m_root) != ERROR_SUCCESS) {
        m_root.reset();
        return;
    }
    ResetEvent(m_changed.get());
    const DWORD filter = REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_LAST_SET;
    // Lists are asked for from more than one thread; the notification must
    // outlive the one that armed it. Before Windows 8 it cannot, and ends
    // with that thread, which signals it: a walk too many, never a stale list.
    LONG rc = RegNotifyChangeKeyValue(m_root.get(), TRUE, filter | REG_NOTIFY_THREAD_AGNOSTIC,
                                      m_changed.get(), TRUE);
    if (rc == ERROR_INVALID_PARAMETER)
        rc = RegNotifyChangeKeyValue(m_root.get(), TRUE, filter, m_changed.get(), TRUE);
    ++m_nWalks;
    AppointmentFields fields;
    ForEachSubkey(m_root.get(), [&](const char* dayName) {
        fw::unique_hkey day;
        if (OpenSubkey(m_root.get(), dayName, KEY_READ, day) != ERROR_SUCCESS)
            return SubkeyStep::Next;
        ForEachSubkey(day.get(), [&](const char* name) {
            fw::unique_hkey appointment;
            SeriesValues values;
            if (OpenSubkey(day.get(), name, KEY_READ, appointment) != ERROR_SUCCESS ||
                !ReadRepeatingValues(appointment.get(), values))
                return SubkeyStep::Next;
            CalendarDate from, to;
            if (!values.Repeats() ||
                !ReadTextValue(appointment.get(), kValueFrom, fields.from, kDateFieldBytes) ||
                !ReadTextValue(appointment.get(), kValueTo, fields.to, kDateFieldBytes) ||
                !ParseDateText(fields.from.c_str(), from) || !ParseDateText(fields.to.c_str(), to))
                return SubkeyStep::Next;
            Occurrence row;
            row.dayKey = dayName;
            row.keyName = name;
            ReadTextValue(appointment.get(), kValueEvent, row.event, kEventFieldBytes);
            ReadTextValue(appointment.get(), kValueNotes, row.notes, kNotesFieldBytes);
            DWORD index = static_cast<DWORD>(-1);
            ReadDwordValue(appointment.get(), kValueEventIndex, index);
            row.eventIndex = static_cast<int>(index);
            row.minuteOfDay = ReadTimeOfDay(appointment.get());
            row.start = from;
            ical::Series series(from, to, values, row.minuteOfDay.value_or(0) * 60);
            if (series.Repeats() && series.Length() > 0)
                m_entries.push_back({std::move(row), std::move(series)});
            return SubkeyStep::Next;
        });
        return SubkeyStep::Next;
    });
    m_bValid = rc == ERROR_SUCCESS;
}

std::vector<CSeriesCatalog::Occurrence> CSeriesCatalog::Covering(const CalendarDate& day,
                                                                 const std::string& dayKey) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!IsFresh())
        Rebuild();
    std::vector<Occurrence> found;
    for (const Entry& entry : m_entries) {
        if (entry.row.dayKey == dayKey)
            continue;
        // Each series is asked with a budget of its own: a rule that costs
        // its whole budget is left out of this day, not the others after it.
        ical::WorkBudget budget(ical::kSeriesWork);
        if (std::optional<CalendarDate> start = entry.series.OccurrenceCovering(day, budget)) {
            found.push_back(entry.row);
            found.back().start = *start;
        }
    }
    return found;
}

int CSeriesCatalog::Walks() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_nWalks;
}

std::size_t CSeriesCatalog::Count() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_entries.size();
}
