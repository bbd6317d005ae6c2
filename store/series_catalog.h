#pragma once

#include "calendar/date_text.h"
#include "framework/unique_handle.h"
#include "ical/series.h"

#include <windows.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

// The store's repeating appointments, held in memory so that listing a day
// finds the occurrences of series filed on other days without walking the
// whole store. Shared by every thread of the process.
//
// Where a reminder scanner runs (CCalendarScanner registers itself), the
// scanner's walk after each change fills it, on the scanner's thread: no
// list walks the store. Until the first walk is in, a day lists without
// occurrences; whoever waits for them hears of each fill (Subscribe). The
// days this process writes are read again before the next answer (the
// writes name their day: StoreWriteScope), so that an own save shows at
// once; a walk installed later re-reads the days written since it began,
// so that it never undoes a newer save.
//
// Without a scanner (a command-line run, a test of the store alone) it walks
// by itself when asked and the store changed: nobody waits on a window there.
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
    // A series as a walk finds it.
    struct Entry {
        Occurrence row; // start: FROM
        ical::Series series;
        std::string filedKey; // the day key, lower-cased
        bool rowRead = false; // EVENT, NOTES and EVENT INDEX are in `row`
    };
    // Taken when a walk begins, handed back with what it found.
    struct WalkTicket {
        std::uint64_t number = 0;
        std::uint64_t writes = 0; // this process's writes before the walk
    };

    static CSeriesCatalog& Shared();

    // The entry of a series as a walk finds it. Nothing for a series that
    // covers no day or follows no rule. What its row shows is read when it
    // is first listed, or by ReadRow from its key.
    static std::optional<Entry> MakeEntry(const std::string& dayKey, const std::string& keyName,
                                          ical::Series series, std::optional<int> minuteOfDay);
    static void ReadRow(HKEY appointment, Entry& entry);

    // The occurrences that cover `day` of the series filed under any day key
    // but `dayKey`, by the day they are filed on, and each day's in the
    // registry's order; a series found covering it several times is listed
    // once.
    std::vector<Occurrence> Covering(const CalendarDate& day, const std::string& dayKey);

    // Whether the occurrences on `day` differ from the last answer Covering
    // gave (or it last answered for another day), for a window that lists a
    // day and hears of each fill: it lists again only when they changed.
    bool ChangedSinceListed(const CalendarDate& day, const std::string& dayKey);

    // The scanners that fill it. While none is registered it walks itself.
    void AddFeeder();
    void RemoveFeeder();
    WalkTicket BeginWalk();
    // A complete walk's series. A walk that began before the one installed
    // is dropped.
    void Install(std::vector<Entry> entries, const WalkTicket& ticket);

    // Called on the installing thread after each fill, until unsubscribed;
    // once Unsubscribe returns, the callback is not running and never runs.
    int Subscribe(std::function<void()> onFilled);
    void Unsubscribe(int id);

    // How many walks it made itself, how many fills it took from scanners,
    // and how many series it holds.
    int Walks() const;
    int Installs() const;
    std::size_t Count() const;

private:
    using Entries = std::vector<Entry>;

    bool IsFresh() const;
    void Rebuild();
    // Reads again the days this process wrote since they were last read.
    void TakeInOwnWrites();
    void Reset();
    std::vector<Occurrence> CoveringIn(Entries& base, const CalendarDate& day,
                                       const std::string& dayKey);

    mutable std::mutex m_mutex;
    fw::unique_hkey m_root;
    fw::unique_handle m_changed;
    std::uint64_t m_seenWrites = 0;
    int m_nWalks = 0;
    int m_nInstalls = 0;
    int m_nFeeders = 0;
    std::uint64_t m_nextTicket = 1;
    std::uint64_t m_baseTicket = 0;
    // The series of the last walk (null before it), and of the days this
    // process wrote since, by lower-cased day key, which stand instead of
    // that walk's.
    std::shared_ptr<Entries> m_base;
    std::map<std::string, Entries> m_ownDays;
    std::uint64_t m_ownWritesRead = 0;
    // What ChangedSinceListed compares with.
    struct Answer {
        bool given = false;
        CalendarDate day;
        std::string dayKey; // lower-cased
        std::vector<Occurrence> rows;
    };
    Answer m_lastAnswer;

    std::mutex m_listenerMutex;
    std::map<int, std::function<void()>> m_listeners;
    int m_nextListener = 1;
};
