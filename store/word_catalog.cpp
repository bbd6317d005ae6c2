#include "store/word_catalog.h"

#include "calendar/text_search.h"
#include "framework/utf_text.h"
#include "ical/civil_time.h"
#include "store/calendar_registry.h"
#include "store/calendar_root.h"
#include "store/registry_value.h"
#include "store/series_registry.h"
#include "store/store_walk.h"
#include "store/system_time.h"
#include "store/timed_registry.h"
#include "framework/clock.h"

#include <algorithm>
#include <cstdlib>

#ifndef REG_NOTIFY_THREAD_AGNOSTIC
#define REG_NOTIFY_THREAD_AGNOSTIC 0x10000000L
#endif

namespace {

// After a change the worker waits this long for more before it walks, so
// that an import of many appointments costs one walk, not one each.
constexpr DWORD kSettleMilliseconds = 300;
// With no calendar to watch yet, it looks again this often.
constexpr DWORD kRetryMilliseconds = 2000;

// The text with every unpaired surrogate replaced, which the Windows
// functions refuse.
std::wstring Paired(std::wstring text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const wchar_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF)
            ++i;
        else if (c >= 0xD800 && c <= 0xDFFF)
            text[i] = 0xFFFD;
    }
    return text;
}

// Canonical decomposition, then the user's locale's lower case, then the
// combining marks dropped. Empty when a step fails.
std::wstring WindowsFold(const std::wstring& text) {
    const int length = static_cast<int>(text.size());
    int size = NormalizeString(NormalizationD, text.c_str(), length, nullptr, 0);
    std::wstring decomposed;
    for (int attempt = 0; size > 0 && attempt < 4; ++attempt) {
        decomposed.resize(static_cast<std::size_t>(size));
        size = NormalizeString(NormalizationD, text.c_str(), length, decomposed.data(), size);
        if (size > 0) {
            decomposed.resize(static_cast<std::size_t>(size));
            break;
        }
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER)
            return {};
        size = -size;
    }
    if (size <= 0)
        return {};
    const DWORD flags = LCMAP_LOWERCASE | LCMAP_LINGUISTIC_CASING;
    const int decomposedLength = static_cast<int>(decomposed.size());
    const int lowerSize = LCMapStringEx(LOCALE_NAME_USER_DEFAULT, flags, decomposed.c_str(),
                                        decomposedLength, nullptr, 0, nullptr, nullptr, 0);
    if (lowerSize <= 0)
        return {};
    std::wstring lower(static_cast<std::size_t>(lowerSize), L'\0');
    if (LCMapStringEx(LOCALE_NAME_USER_DEFAULT, flags, decomposed.c_str(), decomposedLength,
                      lower.data(), lowerSize, nullptr, nullptr, 0) <= 0)
        return {};
    std::vector<WORD> types(lower.size());
    if (!GetStringTypeW(CT_CTYPE3, lower.c_str(), static_cast<int>(lower.size()), types.data()))
        return {};
    std::wstring kept;
    kept.reserve(lower.size());
    for (std::size_t i = 0; i < lower.size(); ++i)
        if ((types[i] & C3_NONSPACING) == 0)
            kept += lower[i];
    return kept;
}

std::optional<CWordCatalog::Entry> ReadEntry(HKEY day, const char* dayKey, const char* name) {
    fw::unique_hkey appointment;
    if (OpenSubkey(day, name, KEY_READ, appointment) != ERROR_SUCCESS)
        return std::nullopt;
    CWordCatalog::Entry entry;
    entry.dayKey = dayKey;
    entry.keyName = name;
    std::string from, to, detail;
    ReadTextValue(appointment.get(), kValueEvent, entry.event, kEventFieldBytes);
    ReadTextValue(appointment.get(), kValueNotes, entry.notes, kNotesFieldBytes);
    ReadTextValue(appointment.get(), kValueDetailNotes, detail, kNotesFieldBytes);
    CalendarDate toDate;
    const bool hasFrom = ReadTextValue(appointment.get(), kValueFrom, from, kDateFieldBytes) &&
                         ParseDateText(from.c_str(), entry.from);
    const bool hasTo = ReadTextValue(appointment.get(), kValueTo, to, kDateFieldBytes) &&
                       ParseDateText(to.c_str(), toDate);
    // An appointment without a readable FROM is found on the day it is filed under.
    if (!hasFrom && !ParseDateText(dayKey, entry.from))
        return std::nullopt;
    SeriesValues values;
    if (hasFrom && hasTo && ReadRepeatingValues(appointment.get(), values) && values.Repeats()) {
        const std::optional<int> minute = ReadTimeOfDay(appointment.get());
        ical::Series series(entry.from, toDate, values, minute.value_or(0) * 60);
        if (series.Repeats() && series.Length() > 0)
            entry.series = std::move(series);
    }
    entry.folded = CWordCatalog::Fold(entry.event + "\n" + entry.notes + "\n" + detail);
    return entry;
}

// The date a repeating appointment is found on: its next occurrence from
// today, else its last, else its first.
CalendarDate FoundDate(const CWordCatalog::Entry& entry, const CalendarDate& today) {
    if (!entry.series)
        return entry.from;
    std::optional<CalendarDate> next;
    ical::WorkBudget budget(ical::kSeriesWork);
    const CalendarDate horizon = ical::DateOfDayNumber(ical::DayNumber(today) + 366 * 30);
    entry.series->OccurrencesOverlapping(today, horizon, budget, [&](const CalendarDate& start) {
        if (!next && CompareDates(start, today) >= 0)
            next = start;
    });
    if (next)
        return *next;
    std::optional<CalendarDate> last;
    ical::WorkBudget backBudget(ical::kSeriesWork);
    entry.series->OccurrencesOverlapping(entry.from, today, backBudget,
                                         [&](const CalendarDate& start) { last = start; });
    return last.value_or(entry.from);
}

} // namespace

CWordCatalog::~CWordCatalog() {
    Stop();
}

std::u16string CWordCatalog::Fold(std::string_view utf8) {
    // Plain ASCII needs no call to Windows where the user's locale lowers
    // its letters as ASCII does (everywhere but where I lowers to dotless ı).
    static const bool asciiLowersPlainly = [] {
        wchar_t lower[2] = {};
        return LCMapStringEx(LOCALE_NAME_USER_DEFAULT, LCMAP_LOWERCASE | LCMAP_LINGUISTIC_CASING,
                             L"I", 1, lower, 2, nullptr, nullptr, 0) == 1 &&
               lower[0] == L'i';
    }();
    if (asciiLowersPlainly &&
        std::all_of(utf8.begin(), utf8.end(), [](char c) { return (c & 0x80) == 0; })) {
        std::u16string ascii(utf8.begin(), utf8.end());
        return FoldForSearch(ascii);
    }
    const std::wstring text = Paired(fw::Widen(utf8));
    const std::wstring windows = text.empty() ? text : WindowsFold(text);
    // Where Windows cannot, the portable fold alone; after it, the portable
    // fold takes what a locale's lower case leaves (ß, İ).
    const std::wstring& base = windows.empty() ? text : windows;
    return FoldForSearch(
        std::u16string_view(reinterpret_cast<const char16_t*>(base.data()), base.size()));
}

std::vector<CWordCatalog::Entry> CWordCatalog::Walk(HKEY root, const CalendarDate& today,
                                                    const std::atomic<bool>* stop) {
    std::vector<Entry> entries;
    ForEachSubkey(root, [&](const char* dayName) {
        if (stop != nullptr && stop->load())
            return SubkeyStep::Stop;
        fw::unique_hkey day;
        if (OpenSubkey(root, dayName, KEY_READ, day) != ERROR_SUCCESS)
            return SubkeyStep::Next;
        ForEachSubkey(day.get(), [&](const char* name) {
            if (std::optional<Entry> entry = ReadEntry(day.get(), dayName, name)) {
                entry->foundOn = FoundDate(*entry, today);
                entry->foundFor = today;
                entries.push_back(std::move(*entry));
            }
            return SubkeyStep::Next;
        });
        return SubkeyStep::Next;
    });
    return entries;
}

void CWordCatalog::Install(std::vector<Entry> entries) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_entries = std::make_shared<const std::vector<Entry>>(std::move(entries));
        ++m_nWalks;
    }
    std::lock_guard<std::mutex> lock(m_listenerMutex);
    for (const auto& [id, onFilled] : m_listeners)
        onFilled();
}

bool CWordCatalog::IsReady() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_entries != nullptr;
}

std::size_t CWordCatalog::Count() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_entries ? m_entries->size() : 0;
}

int CWordCatalog::Walks() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_nWalks;
}

std::vector<CWordCatalog::Found>
CWordCatalog::Find(std::string_view words, const CalendarDate& today, std::size_t limit) const {
    std::shared_ptr<const std::vector<Entry>> entries;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        entries = m_entries;
    }
    std::vector<Found> found;
    const std::u16string folded = Fold(words);
    if (!entries || folded.empty())
        return found;
    const std::int64_t todayNumber = ical::DayNumber(today);
    // Nearest first; of two as near, the one to come; then in the walk's order.
    struct Hit {
        std::int64_t order;
        std::size_t index;
        CalendarDate date;
    };
    std::vector<Hit> hits;
    for (std::size_t i = 0; i < entries->size(); ++i) {
        const Entry& entry = (*entries)[i];
        if (!ContainsFolded(entry.folded, folded))
            continue;
        const CalendarDate date = entry.foundFor == today ? entry.foundOn : FoundDate(entry, today);
        const std::int64_t distance = ical::DayNumber(date) - todayNumber;
        hits.push_back({(std::abs(distance) * 2 + (distance < 0 ? 1 : 0)) *
                                static_cast<std::int64_t>(entries->size() + 1) +
                            static_cast<std::int64_t>(i),
                        i, date});
    }
    const std::size_t kept = std::min(limit, hits.size());
    std::partial_sort(hits.begin(), hits.begin() + static_cast<std::ptrdiff_t>(kept), hits.end(),
                      [](const Hit& a, const Hit& b) { return a.order < b.order; });
    found.reserve(kept);
    for (std::size_t k = 0; k < kept; ++k) {
        const Entry& entry = (*entries)[hits[k].index];
        found.push_back({entry.dayKey, entry.keyName, entry.event, entry.notes, hits[k].date,
                         CompareDates(hits[k].date, today) < 0, entry.series.has_value()});
    }
    return found;
}

void CWordCatalog::Start() {
    if (m_worker.joinable())
        return;
    m_stop.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!m_stop)
        return;
    m_stopping = false;
    m_worker = std::thread([this] {
        // Nothing may leave the thread: without the worker, Find answers from
        // the last walk it installed.
        try {
            Run();
        } catch (...) {
        }
    });
}

void CWordCatalog::Stop() {
    if (!m_worker.joinable())
        return;
    m_stopping = true;
    SetEvent(m_stop.get());
    m_worker.join();
    m_stop.reset();
}

void CWordCatalog::Run() {
    fw::unique_handle changed(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    if (!changed)
        return;
    for (;;) {
        fw::unique_hkey root;
        DWORD wait = INFINITE;
        if (OpenCalendarRoot(KEY_READ, root) == ERROR_SUCCESS) {
            // Armed before the walk: a change during it brings another.
            const DWORD filter = REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_LAST_SET;
            LONG rc = RegNotifyChangeKeyValue(root.get(), TRUE, filter | REG_NOTIFY_THREAD_AGNOSTIC,
                                              changed.get(), TRUE);
            if (rc == ERROR_INVALID_PARAMETER)
                rc = RegNotifyChangeKeyValue(root.get(), TRUE, filter, changed.get(), TRUE);
            if (rc != ERROR_SUCCESS)
                wait = kRetryMilliseconds;
            try {
                std::vector<Entry> entries = Walk(root.get(), DateOf(fw::LocalNow()), &m_stopping);
                // A walk cut short by Stop is not handed over.
                if (m_stopping)
                    return;
                Install(std::move(entries));
            } catch (const std::exception&) {
                // Out of memory: what was read before stays.
                wait = kRetryMilliseconds;
            }
        } else {
            if (!IsReady())
                Install({});
            wait = kRetryMilliseconds;
        }
        const HANDLE handles[] = {m_stop.get(), changed.get()};
        if (WaitForMultipleObjects(2, handles, FALSE, wait) == WAIT_OBJECT_0)
            return;
        if (WaitForSingleObject(m_stop.get(), kSettleMilliseconds) == WAIT_OBJECT_0)
            return;
    }
}

int CWordCatalog::Subscribe(std::function<void()> onFilled) {
    std::lock_guard<std::mutex> lock(m_listenerMutex);
    const int id = m_nextListener++;
    m_listeners.emplace(id, std::move(onFilled));
    return id;
}

void CWordCatalog::Unsubscribe(int id) {
    std::lock_guard<std::mutex> lock(m_listenerMutex);
    m_listeners.erase(id);
}
