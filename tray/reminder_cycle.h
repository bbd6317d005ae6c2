#pragma once

#include "store/calendar_scanner.h"
#include "tray/reminder_owner.h"

#include <windows.h>

#include <atomic>
#include <list>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// What the reminder cycle asks of the window whose timer drives it.
class IReminderTimer {
public:
    // Called from reminder threads too; the window hands it to its own thread.
    virtual void RestartReminderTimer() = 0;
    // The user snoozed the timed reminders (from a reminder thread): the
    // window sets the timer that brings them back.
    virtual void ReminderSnoozed() = 0;

protected:
    ~IReminderTimer() = default;
};

// The reminder cycle: each trigger (the timer, "Show Reminder") starts a
// reminder thread that scans the calendar and, when today has appointments,
// runs the reminder pop-up there. A timed reminder leaves out what the user
// dismissed for today and does not take the keyboard; one the user asked for
// shows everything current. One reminder at a time: the busy flag is
// claimed before the scan and freed when the pop-up has closed. A pop-up shows
// the lines of one day, the day they were found on; a dismissal belongs to
// that day. Stop closes an open pop-up and waits for every thread, so that
// none outlives its window.
class CReminderCycle : public IReminderOwner {
public:
    explicit CReminderCycle(IReminderTimer& timer);
    ~CReminderCycle();
    CReminderCycle(const CReminderCycle&) = delete;
    CReminderCycle& operator=(const CReminderCycle&) = delete;

    // Starts a reminder thread, unless a reminder is busy or the cycle has
    // stopped. Called on the window's own thread.
    void Trigger(bool timed = false);
    // One reminder on the calling thread: the scan, then the pop-up's modal
    // loop when there is anything to show.
    void RunReminder(bool timed = false);
    // Brings an open pop-up to the front; false when none is open.
    bool BringPopupForward();
    // The day is `today` now: an open pop-up whose lines were found on
    // another day is closed, since they are not today's. True when one was.
    bool CloseOtherDaysPopup(const CalendarDate& today);
    // Deletes the appointments that ended before today, on the calling thread.
    void Purge();
    // What a reminder now would show, without showing it.
    std::vector<std::string> CurrentNotes();
    // Closes an open pop-up and waits for every reminder thread; from then on
    // no reminder starts. Called on the window's own thread.
    void Stop();

    int IsBusy() const { return m_bBusy.load(); }
    bool IsStopped() const { return m_bStopping.load(); }
    // The open pop-up's window, else null.
    HWND PopupWindow() const;
    // Reminder threads still running.
    int ActiveThreads() const { return m_nActive.load(); }
    CCalendarScanner& Scanner() { return m_scanner; }

    // IReminderOwner: what the pop-up tells on its reminder thread.
    void SetReminderBusy(int busy) override;
    void RestartReminderTimer() override;
    bool ReminderOpened(HWND popup) override;
    void ReminderClosed(HWND popup) override;
    void SnoozeReminders(int minutes) override;
    void DismissReminders() override;

private:
    // A reminder thread, and whether it has done its last touch of the cycle.
    struct ReminderThread {
        std::thread thread;
        std::atomic<bool> finished{false};
    };
    void ThreadMain(std::atomic<bool>* finished, bool timed);
    // What a reminder on `day` would show.
    std::vector<std::string> NotesOn(const CalendarDate& day);

    IReminderTimer& m_timer;
    CCalendarScanner m_scanner;
    std::atomic<int> m_bBusy{0};
    std::atomic<bool> m_bStopping{false};
    std::atomic<int> m_nActive{0};
    // Started and joined on the window's own thread only.
    std::list<ReminderThread> m_threads;
    mutable std::mutex m_popupMutex;
    HWND m_hPopup = nullptr; // guarded by m_popupMutex
    // Everything the scan of the open pop-up found, and the day it found it
    // on, for a dismissal and for the change of day.
    std::vector<std::string> m_found; // guarded by m_popupMutex
    CalendarDate m_foundDay;          // guarded by m_popupMutex
};
