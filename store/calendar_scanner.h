#pragma once

#include "calendar/date_text.h"
#include "framework/unique_handle.h"
#include "store/reminder_index.h"

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

// The walk over the whole calendar: every date key and every appointment
// below it, in the registry's order. It finds the appointments current today
// for the reminder, and deletes those whose range has ended for the purge.
//
// Between two reminders the store has usually not changed, so the first walk
// leaves an index behind and a change notification on the calendar root; a
// later reminder answers from the index unless the notification says the
// store changed (by this program or any other), the date changed, or an hour
// has passed. Its answer is always the one a full walk would give.
//
// Both walks also remove the unfinished keys they pass whose writer has ended
// (see store/unfinished_note.h): the start-up clean-up finds only those its
// user's notes name, and reading the store's every day key at start-up would
// cost as much as a walk.
class CCalendarScanner {
public:
    CCalendarScanner();
    ~CCalendarScanner();
    CCalendarScanner(const CCalendarScanner&) = delete;
    CCalendarScanner& operator=(const CCalendarScanner&) = delete;

    // The NOTES of every appointment current on `today` (FROM <= today <= TO,
    // or for a repeating one, one of its occurrences covers today), whole,
    // in the registry's order; an appointment without readable notes
    // adds nothing. Every key below the root is read as a date key. `stop`
    // cuts a walk short (the result is then incomplete and not kept).
    std::vector<std::string> CurrentNotes(const CalendarDate& today, const std::atomic<bool>& stop);

    // Every appointment that alerts and has begun, or begins within nine
    // days of `today` (see ReminderIndex::AddAlert); of a repeating one,
    // each occurrence from today to then, as an alert of its own under the
    // series' keys: from the index while
    // the store is unchanged and the index is `today`'s, else from a new
    // walk, which builds the reminders' index too. Ask again when the day
    // turns. Nothing when the calendar cannot be
    // opened or `stop` cut the walk short; none, and the change notification
    // set for the root's making, when there is no calendar yet.
    std::optional<std::vector<IndexedAlert>> Alerts(const CalendarDate& today,
                                                    const std::atomic<bool>& stop);

    // For a thread that keeps the alerts: set when the store changes (by
    // this program or any other) until the next walk; and set once after
    // each complete walk, by whichever thread walked (auto-reset). Between
    // the two it hears of every change, also one that another thread's walk
    // took in before it looked. Generation counts the complete walks.
    HANDLE ChangeEvent() const { return m_changed.get(); }
    HANDLE WalkedEvent() const { return m_walked.get(); }
    std::uint64_t Generation() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_generation;
    }

    // Deletes every appointment whose TO lies before `today`, below the keys
    // named as the program names a day; keeps those current, to come, or with
    // a range that cannot be read. A repeating one goes only once its last
    // occurrence has ended (ical::Series::EndedBefore), and one whose REPEAT
    // is not followed is kept. Returns how many it deleted.
    int PurgeEnded(const CalendarDate& today, const std::atomic<bool>& stop);

    // The same walk without the index: what CurrentNotes must always equal.
    static std::vector<std::string> WalkCurrentNotes(const CalendarDate& today,
                                                     const std::atomic<bool>& stop);

    // How many full walks the reminders have made, and the index's size.
    int Walks() const { return m_nWalks.load(); }
    std::size_t IndexBytes() const;
    std::size_t IndexCount() const;

    // Tests move the clock that ages the index (milliseconds), and look in
    // while a walk runs: the hook is called after each date key.
    using TickSource = std::uint64_t (*)();
    void SetTickSourceForTesting(TickSource ticks) { m_ticks = ticks; }
    void SetWalkHookForTesting(std::function<void()> hook) { m_walkHook = std::move(hook); }

private:
    // Arms the notification on a freshly opened root; false when it cannot
    // be armed, so that nothing is taken from the index.
    bool Watch();
    bool IndexIsFresh(const CalendarDate& today);
    // The root is missing: the change notification is armed on its parent,
    // for the root's making. False when it cannot be.
    bool WatchForRoot();
    // The walk that builds the index (and collects today's lines when asked);
    // false when the root cannot be opened.
    bool WalkIntoIndex(const CalendarDate& today, const std::atomic<bool>& stop,
                       std::vector<std::string>* lines);

    mutable std::mutex m_mutex;
    fw::unique_hkey m_root;
    fw::unique_handle m_changed;
    fw::unique_handle m_walked;
    fw::unique_hkey m_parent;
    bool m_bRootMissing = false;
    ReminderIndex m_index;
    bool m_bIndexValid = false;
    // The index is whole, though perhaps not watched (an older Windows).
    bool m_bLastWalkComplete = false;
    std::uint64_t m_generation = 0;
    std::uint64_t m_builtAt = 0;
    std::atomic<int> m_nWalks{0};
    TickSource m_ticks;
    std::function<void()> m_walkHook;
};
