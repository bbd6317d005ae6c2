#pragma once

#include "calendar/date_text.h"
#include "framework/unique_handle.h"
#include "ical/series.h"

#include <windows.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

// The words of every appointment (EVENT, NOTES and DETAIL NOTES), folded once
// so that a search is a plain substring search in memory. A worker thread
// walks the store, watches it for changes (by this program or another) and
// walks it again after each; until its first walk is in, nothing is found
// and IsReady is false.
class CWordCatalog {
public:
    // One appointment as a walk reads it.
    struct Entry {
        std::string dayKey;
        std::string keyName;
        std::string event;
        std::string notes;
        CalendarDate from;
        std::optional<ical::Series> series; // for a repeating one
        std::u16string folded;              // event, notes and detail notes
        // The date it is found on, worked out on the walk's thread for the
        // day it walked.
        CalendarDate foundOn;
        CalendarDate foundFor;
    };
    // An appointment found, on the date it is found on: its FROM, or for a
    // repeating one its next occurrence from today, else its last.
    struct Found {
        std::string dayKey;
        std::string keyName;
        std::string event;
        std::string notes;
        CalendarDate date;
        bool past = false;
        bool repeating = false;
    };

    CWordCatalog() = default;
    ~CWordCatalog();
    CWordCatalog(const CWordCatalog&) = delete;
    CWordCatalog& operator=(const CWordCatalog&) = delete;

    // Starts the worker once; later calls do nothing. Stop ends it (the
    // destructor does too).
    void Start();
    void Stop();
    bool IsReady() const;

    // Called on the worker thread after each walk is installed, until
    // unsubscribed; once Unsubscribe returns the callback is not running.
    int Subscribe(std::function<void()> onFilled);
    void Unsubscribe(int id);

    // The appointments whose words hold `words`, nearest to `today` first
    // (the later of two as near), at most `limit`.
    std::vector<Found> Find(std::string_view words, const CalendarDate& today,
                            std::size_t limit) const;

    // The walk and its hand-over, also for the benchmark.
    // `today`: the day whose dates the walk works out ahead. `stop` ends it
    // early; what it read is then incomplete.
    static std::vector<Entry> Walk(HKEY root, const CalendarDate& today,
                                   const std::atomic<bool>* stop = nullptr);
    void Install(std::vector<Entry> entries);
    std::size_t Count() const;
    int Walks() const;

    // The words folded as a search folds them: the user's locale's own
    // lower case and decomposition through Windows, then the portable fold.
    static std::u16string Fold(std::string_view utf8);

private:
    void Run();

    mutable std::mutex m_mutex;
    std::shared_ptr<const std::vector<Entry>> m_entries;
    int m_nWalks = 0;
    std::thread m_worker;
    fw::unique_handle m_stop;
    std::atomic<bool> m_stopping{false};

    std::mutex m_listenerMutex;
    std::map<int, std::function<void()>> m_listeners;
    int m_nextListener = 1;
};
