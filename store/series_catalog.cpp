#include "store/series_catalog.h"

#include "store/calendar_registry.h"
#include "store/calendar_root.h"
#include "store/registry_value.h"
#include "store/series_registry.h"
#include "store/store_walk.h"
#include "store/timed_registry.h"

#include <algorithm>
#include <cctype>
#include <tuple>

#ifndef REG_NOTIFY_THREAD_AGNOSTIC
#define REG_NOTIFY_THREAD_AGNOSTIC 0x10000000L
#endif

namespace {

// Key names are compared as the registry does, without regard to case.
std::string Folded(const std::string& name) {
    std::string folded = name;
    for (char& c : folded)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return folded;
}

// The series filed below one day key; nothing for a key that is not there.
std::vector<CSeriesCatalog::Entry> ReadDay(HKEY root, const std::string& dayName) {
    std::vector<CSeriesCatalog::Entry> entries;
    fw::unique_hkey day;
    if (OpenSubkey(root, dayName, KEY_READ, day) != ERROR_SUCCESS)
        return entries;
    AppointmentFields fields;
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
        const std::optional<int> minute = ReadTimeOfDay(appointment.get());
        if (std::optional<CSeriesCatalog::Entry> entry = CSeriesCatalog::MakeEntry(
                dayName, name, ical::Series(from, to, values, minute.value_or(0) * 60), minute)) {
            CSeriesCatalog::ReadRow(appointment.get(), *entry);
            entries.push_back(std::move(*entry));
        }
        return SubkeyStep::Next;
    });
    return entries;
}

bool SameRows(const std::vector<CSeriesCatalog::Occurrence>& a,
              const std::vector<CSeriesCatalog::Occurrence>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const auto& x, const auto& y) {
        return x.dayKey == y.dayKey && x.keyName == y.keyName && x.event == y.event &&
               x.notes == y.notes && x.eventIndex == y.eventIndex &&
               x.minuteOfDay == y.minuteOfDay && x.start == y.start;
    });
}

} // namespace

CSeriesCatalog& CSeriesCatalog::Shared() {
    static CSeriesCatalog catalog;
    return catalog;
}

std::optional<CSeriesCatalog::Entry> CSeriesCatalog::MakeEntry(const std::string& dayKey,
                                                               const std::string& keyName,
                                                               ical::Series series,
                                                               std::optional<int> minuteOfDay) {
    if (!series.Repeats() || series.Length() <= 0)
        return std::nullopt;
    Entry entry{{}, std::move(series), Folded(dayKey)};
    entry.row.dayKey = dayKey;
    entry.row.keyName = keyName;
    entry.row.minuteOfDay = minuteOfDay;
    return entry;
}

void CSeriesCatalog::ReadRow(HKEY appointment, Entry& entry) {
    Occurrence& row = entry.row;
    ReadTextValue(appointment, kValueEvent, row.event, kEventFieldBytes);
    ReadTextValue(appointment, kValueNotes, row.notes, kNotesFieldBytes);
    DWORD index = static_cast<DWORD>(-1);
    ReadDwordValue(appointment, kValueEventIndex, index);
    row.eventIndex = static_cast<int>(index);
    entry.rowRead = true;
}

bool CSeriesCatalog::IsFresh() const {
    return m_base && m_root && m_changed &&
           WaitForSingleObject(m_changed.get(), 0) == WAIT_TIMEOUT &&
           StoreWritesByThisProcess() == m_seenWrites && !IsKeyGone(m_root.get());
}

void CSeriesCatalog::Rebuild() {
    m_base.reset();
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
    auto entries = std::make_shared<Entries>();
    ForEachSubkey(m_root.get(), [&](const char* dayName) {
        Entries day = ReadDay(m_root.get(), dayName);
        std::move(day.begin(), day.end(), std::back_inserter(*entries));
        return SubkeyStep::Next;
    });
    m_base = std::move(entries);
    if (rc != ERROR_SUCCESS)
        m_root.reset();
}

void CSeriesCatalog::TakeInOwnWrites() {
    std::vector<std::string> days;
    std::uint64_t upTo = 0;
    const bool whole = StoreDaysWrittenSince(m_ownWritesRead, days, upTo);
    m_ownWritesRead = upTo;
    // More days than are kept: the scanner's walk, which the change
    // notification brings, takes them in.
    if (!whole || days.empty())
        return;
    fw::unique_hkey root;
    const LONG opened = OpenCalendarRoot(KEY_READ, root);
    for (const std::string& day : days)
        m_ownDays[Folded(day)] = opened == ERROR_SUCCESS ? ReadDay(root.get(), day) : Entries{};
}

void CSeriesCatalog::Reset() {
    m_base.reset();
    m_root.reset();
    m_ownDays.clear();
    m_lastAnswer = {};
    m_baseTicket = 0;
}

std::vector<CSeriesCatalog::Occurrence>
CSeriesCatalog::CoveringIn(Entries& base, const CalendarDate& day, const std::string& dayKey) {
    std::vector<Occurrence> found;
    const std::string listed = Folded(dayKey);
    fw::unique_hkey root;
    LONG rootOpened = ERROR_INVALID_HANDLE;
    const auto visit = [&](Entry& entry) {
        // Each series is asked with a budget of its own: a rule that costs
        // its whole budget is left out of this day, not the others after it.
        ical::WorkBudget budget(ical::kSeriesWork);
        const std::optional<CalendarDate> start = entry.series.OccurrenceCovering(day, budget);
        if (!start)
            return;
        // What a row shows is read the first time the series is listed: the
        // walk that found it reads no more than the reminders need. One that
        // cannot be read now is left out until the next walk.
        if (!entry.rowRead) {
            if (rootOpened == ERROR_INVALID_HANDLE)
                rootOpened = OpenCalendarRoot(KEY_READ, root);
            fw::unique_hkey appointment;
            if (rootOpened != ERROR_SUCCESS ||
                OpenSubkey(root.get(), entry.row.dayKey + "\\" + entry.row.keyName, KEY_READ,
                           appointment) != ERROR_SUCCESS)
                return;
            ReadRow(appointment.get(), entry);
        }
        found.push_back(entry.row);
        found.back().start = *start;
    };
    for (Entry& entry : base)
        if (entry.filedKey != listed && m_ownDays.count(entry.filedKey) == 0)
            visit(entry);
    for (auto& [filed, entries] : m_ownDays)
        if (filed != listed)
            for (Entry& entry : entries)
                visit(entry);
    // By the day they are filed on, each day's in the registry's order: the
    // same whether a day came from the walk or was read again since.
    using FiledOn = std::tuple<bool, int, int, int, std::string, std::size_t>;
    std::vector<FiledOn> order;
    order.reserve(found.size());
    for (std::size_t i = 0; i < found.size(); ++i) {
        CalendarDate date;
        const bool isDate = ParseDateText(found[i].dayKey.c_str(), date);
        order.emplace_back(!isDate, date.year, date.month, date.day, Folded(found[i].dayKey), i);
    }
    std::sort(order.begin(), order.end());
    std::vector<Occurrence> sorted;
    sorted.reserve(found.size());
    for (const FiledOn& at : order)
        sorted.push_back(std::move(found[std::get<5>(at)]));
    return sorted;
}

std::vector<CSeriesCatalog::Occurrence> CSeriesCatalog::Covering(const CalendarDate& day,
                                                                 const std::string& dayKey) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_nFeeders == 0) {
        if (!IsFresh())
            Rebuild();
    } else if (m_base) {
        TakeInOwnWrites();
    }
    std::vector<Occurrence> found;
    if (m_base)
        found = CoveringIn(*m_base, day, dayKey);
    m_lastAnswer = {true, day, Folded(dayKey), found};
    return found;
}

bool CSeriesCatalog::ChangedSinceListed(const CalendarDate& day, const std::string& dayKey) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_nFeeders > 0 && m_base)
        TakeInOwnWrites();
    std::vector<Occurrence> now;
    if (m_base)
        now = CoveringIn(*m_base, day, dayKey);
    return !m_lastAnswer.given || !(m_lastAnswer.day == day) ||
           m_lastAnswer.dayKey != Folded(dayKey) || !SameRows(m_lastAnswer.rows, now);
}

void CSeriesCatalog::AddFeeder() {
    std::lock_guard<std::mutex> lock(m_mutex);
    // What this process walked itself may be older than what the scanner
    // will fill: wait for that.
    if (m_nFeeders++ == 0)
        Reset();
}

void CSeriesCatalog::RemoveFeeder() {
    std::lock_guard<std::mutex> lock(m_mutex);
    // Nothing fills it any more: it walks itself from the next list on.
    if (--m_nFeeders == 0)
        Reset();
}

CSeriesCatalog::WalkTicket CSeriesCatalog::BeginWalk() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return {m_nextTicket++, StoreWritesByThisProcess()};
}

void CSeriesCatalog::Install(std::vector<Entry> entries, const WalkTicket& ticket) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_nFeeders == 0 || ticket.number < m_baseTicket)
            return;
        m_base = std::make_shared<Entries>(std::move(entries));
        m_baseTicket = ticket.number;
        // The days written since the walk began are read again: the walk
        // may have passed them before the write.
        m_ownDays.clear();
        m_ownWritesRead = ticket.writes;
        ++m_nInstalls;
    }
    std::lock_guard<std::mutex> lock(m_listenerMutex);
    for (const auto& [id, onFilled] : m_listeners)
        onFilled();
}

int CSeriesCatalog::Subscribe(std::function<void()> onFilled) {
    std::lock_guard<std::mutex> lock(m_listenerMutex);
    const int id = m_nextListener++;
    m_listeners.emplace(id, std::move(onFilled));
    return id;
}

void CSeriesCatalog::Unsubscribe(int id) {
    std::lock_guard<std::mutex> lock(m_listenerMutex);
    m_listeners.erase(id);
}

int CSeriesCatalog::Walks() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_nWalks;
}

int CSeriesCatalog::Installs() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_nInstalls;
}

std::size_t CSeriesCatalog::Count() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    std::size_t count = 0;
    if (m_base)
        for (const Entry& entry : *m_base)
            count += m_ownDays.count(entry.filedKey) == 0 ? 1 : 0;
    for (const auto& [day, entries] : m_ownDays)
        count += entries.size();
    return count;
}
