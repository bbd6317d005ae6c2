#include "tray/reminder_cycle.h"

#include "framework/clock.h"
#include "store/system_time.h"
#include "tray/reminder_dlg.h"
#include "tray/thread_join.h"
#include "tray/user_reminder_state.h"

CReminderCycle::CReminderCycle(IReminderTimer& timer) : m_timer(timer) {}

CReminderCycle::~CReminderCycle() {
    Stop();
}

void CReminderCycle::Trigger(bool timed) {
    // The flag is claimed before the scan, not once it has found lines, so a
    // second trigger during a slow scan cannot open a second pop-up.
    int expected = 0;
    if (m_bStopping.load() || !m_bBusy.compare_exchange_strong(expected, 1))
        return;
    // Threads that have ended are joined here, so that a long run does not
    // collect them.
    for (auto it = m_threads.begin(); it != m_threads.end();) {
        if (it->finished.load()) {
            it->thread.join();
            it = m_threads.erase(it);
        } else {
            ++it;
        }
    }
    ReminderThread& slot = m_threads.emplace_back();
    ++m_nActive;
    try {
        slot.thread = std::thread(&CReminderCycle::ThreadMain, this, &slot.finished, timed);
    } catch (...) {
        m_threads.pop_back();
        --m_nActive;
        SetReminderBusy(0);
    }
}

void CReminderCycle::ThreadMain(std::atomic<bool>* finished, bool timed) {
    try {
        RunReminder(timed);
    } catch (...) {
        // Nothing may leave the thread; the next trigger may try again.
        SetReminderBusy(0);
    }
    --m_nActive;
    // The last touch of the cycle by the thread.
    *finished = true;
}

void CReminderCycle::RunReminder(bool timed) {
    SYSTEMTIME day = fw::LocalNow();
    std::vector<std::string> found = NotesOn(DateOf(day));
    // A long scan that ran into the next day found the day before's lines,
    // and the change of day may have passed before there was a pop-up to
    // close: the new day is scanned instead (twice at most, for a clock that
    // keeps changing).
    for (int again = 0; again < 2 && !m_bStopping.load(); ++again) {
        const SYSTEMTIME now = fw::LocalNow();
        if (DateOf(now) == DateOf(day))
            break;
        day = now;
        found = NotesOn(DateOf(day));
    }
    const std::vector<std::string> lines = timed ? WithoutDismissedToday(day, found) : found;
    if (lines.empty() || m_bStopping.load()) {
        SetReminderBusy(0);
        return;
    }
    SetReminderBusy(1);
    {
        std::lock_guard<std::mutex> lock(m_popupMutex);
        m_found = found;
        m_foundDay = DateOf(day);
    }
    CReminderDlg popup;
    popup.SetReminders(this, lines);
    popup.SetUserChosen(!timed);
    popup.DoModal();
    // A pop-up that closed has released the flag itself; one whose window
    // could not be made never will.
    if (!popup.WasOpened())
        SetReminderBusy(0);
}

std::vector<std::string> CReminderCycle::CurrentNotes() {
    return NotesOn(DateOf(fw::LocalNow()));
}

std::vector<std::string> CReminderCycle::NotesOn(const CalendarDate& day) {
    // Unload waits for the reminder threads; a long walk is cut short instead.
    return m_scanner.CurrentNotes(day, m_bStopping);
}

void CReminderCycle::Purge() {
    m_scanner.PurgeEnded(DateOf(fw::LocalNow()), m_bStopping);
}

void CReminderCycle::Stop() {
    {
        std::lock_guard<std::mutex> lock(m_popupMutex);
        m_bStopping = true;
        if (m_hPopup != nullptr)
            PostMessageA(m_hPopup, WM_CLOSE, 0, 0);
    }
    for (ReminderThread& reminder : m_threads)
        JoinAnsweringSentMessages(reminder.thread, reminder.finished);
    m_threads.clear();
}

HWND CReminderCycle::PopupWindow() const {
    std::lock_guard<std::mutex> lock(m_popupMutex);
    return m_hPopup;
}

void CReminderCycle::SetReminderBusy(int busy) {
    m_bBusy = busy != 0 ? 1 : 0;
}

void CReminderCycle::RestartReminderTimer() {
    // A pop-up closed by Stop must not set a timer on a window that goes.
    if (!m_bStopping.load())
        m_timer.RestartReminderTimer();
}

bool CReminderCycle::ReminderOpened(HWND popup) {
    std::lock_guard<std::mutex> lock(m_popupMutex);
    if (m_bStopping.load())
        return false;
    m_hPopup = popup;
    return true;
}

void CReminderCycle::ReminderClosed(HWND popup) {
    std::lock_guard<std::mutex> lock(m_popupMutex);
    if (m_hPopup == popup)
        m_hPopup = nullptr;
}

bool CReminderCycle::BringPopupForward() {
    std::lock_guard<std::mutex> lock(m_popupMutex);
    // The pop-up's own thread may take the foreground; this one asks it to.
    return m_hPopup != nullptr &&
           PostMessageA(m_hPopup, kBringReminderForwardMessage, 0, 0) != FALSE;
}

bool CReminderCycle::CloseOtherDaysPopup(const CalendarDate& today) {
    std::lock_guard<std::mutex> lock(m_popupMutex);
    return m_hPopup != nullptr && !(m_foundDay == today) &&
           PostMessageA(m_hPopup, WM_CLOSE, 0, 0) != FALSE;
}

void CReminderCycle::SnoozeReminders(int minutes) {
    SnoozeTimedReminders(fw::LocalNow(), minutes);
    if (!m_bStopping.load())
        m_timer.ReminderSnoozed();
}

void CReminderCycle::DismissReminders() {
    std::vector<std::string> found;
    CalendarDate day;
    {
        std::lock_guard<std::mutex> lock(m_popupMutex);
        found = m_found;
        day = m_foundDay;
    }
    DismissForDay(day, fw::LocalNow(), found);
}
