#pragma once

#include "framework/unique_handle.h"
#include "store/reminder_index.h"

#include <windows.h>

#include <atomic>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

class CCalendarScanner;

// Reads the appointments that alert on a thread of its own, so that a walk of
// a large store never holds up the window: it reads today's alerts (from the
// reminder index, or a new walk), hands them over and posts a message to the
// window, then waits for the store's change notification or a wake.
class CAlertWalker {
public:
    explicit CAlertWalker(CCalendarScanner& scanner);
    ~CAlertWalker();
    CAlertWalker(const CAlertWalker&) = delete;
    CAlertWalker& operator=(const CAlertWalker&) = delete;

    // Starts the thread, which posts `message` to `window` with each new
    // list; nothing when it runs already or has been stopped.
    void Start(HWND window, UINT message);
    bool Running() const { return m_thread.joinable(); }
    // Asks for the alerts again (of a new day: a walk only when the index
    // was made for another).
    void Wake();
    // Ends the thread and waits for it; for good.
    void Stop();
    bool Stopped() const { return m_bStop.load(); }
    // The newest list handed over, once; nothing when none came since.
    std::optional<std::vector<IndexedAlert>> Take();

private:
    void Main();

    CCalendarScanner& m_scanner;
    std::thread m_thread;
    std::atomic<bool> m_bStop{false};
    fw::unique_handle m_wake;
    HWND m_hWindow = nullptr;
    UINT m_message = 0;
    std::mutex m_inboxMutex;
    std::optional<std::vector<IndexedAlert>> m_inbox; // guarded by m_inboxMutex
};
