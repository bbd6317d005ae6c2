#pragma once

#include "calendar/date_text.h"
#include "framework/unique_handle.h"
#include "ical/series.h"

#include <windows.h>

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

// The store's repeating appointments, held in memory so that listing a day
// finds the occurrences of series filed on other days without walking the
// whole store. A walk fills it; it is walked again once the store changed:
// by another program (the change notification on the calendar root, armed
// before the walk so that a change during it is not lost) or by this one
// (StoreWritesByThisProcess, which counts a change before any notification
// need have arrived). Shared by every thread of the process.
class CSeriesCatalog {
public:
    // One occurrence, with what its row in a day's list shows.
    struct Occurrence {
        std::string dayKey;  // where the series is filed
        std::string keyName; // its key there
        std::string event;
        std::string notes;
        int eventIndex = -1;
        std::optional<int> minuteOfDay;
        CalendarDate start; // the occurrence's first day
    };

    static CSeriesCatalog& Shared();

    // The occurrences that cover `day` of the series filed under any day key
    // but `dayKey`, in the registry's order; a series found covering it
    // several times is listed once.
    std::vector<Occurrence> Covering(const CalendarDate& day, const std::string& dayKey);

    // How many walks filled it, and how many series it holds.
    int Walks() const;
    std::size_t Count() const;

private:
    struct Entry {
        Occurrence row; // start: FROM
        ical::Series series;
    };

    bool IsFresh() const;
    void Rebuild();

    mutable std::mutex m_mutex;
    fw::unique_hkey m_root;
    fw::unique_handle m_changed;
    bool m_bValid = false;
    std::uint64_t m_seenWrites = 0;
    int m_nWalks = 0;
    std::vector<Entry> m_entries;
};
