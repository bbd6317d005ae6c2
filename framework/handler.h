#pragma once

#include "framework/data_exchange.h"
#include "framework/routing.h"

#include <windows.h>

namespace fw {

// What a handler sees of the window that holds it, and no more: the window's
// handle, its DPI and its timers.
class HandlerHost {
public:
    virtual HWND Hwnd() const = 0;
    // The dots per inch of the monitor the window is on, as it last heard.
    virtual UINT Dpi() const = 0;
    virtual void SetTimer(UINT_PTR id, UINT elapse) = 0;
    virtual void KillTimer(UINT_PTR id) = 0;
    virtual bool IsTimerRunning(UINT_PTR id) const = 0;

protected:
    ~HandlerHost() = default;
};

// The window timer ids a handler owns, first to last, both included. WM_TIMER
// for one of them reaches that handler alone, and no two handlers of a window
// may own the same id. None by default.
struct TimerIds {
    UINT_PTR first = 1;
    UINT_PTR last = 0;

    bool Contains(UINT_PTR id) const { return first <= id && id <= last; }
    bool Overlaps(const TimerIds& other) const {
        return first <= last && other.first <= other.last && first <= other.last &&
               other.first <= last;
    }
};

// One part of a window's behaviour (a feature controller) with a routing
// table of its own. The window asks its handlers in a fixed order, before or
// after its own table, as a chained message map does: the first that handles
// a message ends the search, and one that declines passes it on. A message
// that several handlers must hear (a change of the clock, of the system's
// colours) is acted on and declined by each. The handler sees the window
// only through HandlerHost.
class Handler {
public:
    virtual ~Handler() = default;
    Handler(const Handler&) = delete;
    Handler& operator=(const Handler&) = delete;

    // The handler's routing table; true when it handled the message.
    virtual bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result);
    // Asked before the window's own translation (shortcut keys, dialog keys).
    virtual BOOL PreTranslateMessage(MSG* msg);
    // The handler's part of the window's data exchange.
    virtual void DoDataExchange(DataExchange& dx);
    // After the window's own: once per modal run, when its queue is first
    // idle; and when the window moved to a monitor of another DPI.
    virtual void OnFirstIdle();
    virtual void OnDpiChanged(UINT dpi);
    // The window is being destroyed (WM_DESTROY); handlers hear it in the
    // reverse of their order, before the window's own routes. Whatever
    // reports to the window stops here.
    virtual void OnDestroy();

    const TimerIds& Timers() const { return m_timers; }
    // Called once, by the window that takes the handler.
    void Attach(HandlerHost& host) { m_host = &host; }

protected:
    explicit Handler(TimerIds timers = {}) : m_timers(timers) {}

    // Null until the window has been added to and created.
    HWND Hwnd() const { return m_host != nullptr ? m_host->Hwnd() : nullptr; }
    UINT Dpi() const;
    HWND GetDlgItem(int id) const { return ::GetDlgItem(Hwnd(), id); }
    // Exchanges this handler's own controls and fields only.
    bool UpdateData(bool saveAndValidate = true);
    // The handler's own timers; an id it does not own is refused.
    void SetTimer(UINT_PTR id, UINT elapse);
    void KillTimer(UINT_PTR id);
    bool IsTimerRunning(UINT_PTR id) const;

private:
    HandlerHost* m_host = nullptr;
    TimerIds m_timers;
};

} // namespace fw
