#pragma once

#include "framework/data_exchange.h"

#include <windows.h>
#include <commctrl.h>

#include <map>
#include <mutex>
#include <optional>

namespace fw {

// One entry of a window's routing table: a window message, a command (menu
// item, accelerator or button click), a control's WM_COMMAND notification, a
// WM_NOTIFY notification, a colour request or a timer tick, and the member
// function it reaches.
template <class T> struct Route {
    enum class Kind { Command, Control, Notify, Message, CtlColor, Timer };
    Kind kind;
    UINT message = 0;
    UINT id = 0;
    UINT code = 0;
    void (T::*onCommand)() = nullptr;
    LRESULT (T::*onNotify)(NMHDR*) = nullptr;
    // Returns the result when it handled the message, nothing to pass it on.
    std::optional<LRESULT> (T::*onMessage)(WPARAM, LPARAM) = nullptr;
    HBRUSH (T::*onCtlColor)(HDC, HWND, UINT) = nullptr;
    void (T::*onTimer)(UINT_PTR) = nullptr;
};

// WM_COMMAND from a menu item, an accelerator or a button click.
template <class T> constexpr Route<T> OnCommand(UINT id, void (T::*fn)()) {
    Route<T> r{Route<T>::Kind::Command};
    r.message = WM_COMMAND;
    r.id = id;
    r.onCommand = fn;
    return r;
}
// WM_COMMAND carrying a control's notification code (such as EN_CHANGE).
template <class T> constexpr Route<T> OnControl(UINT id, UINT code, void (T::*fn)()) {
    Route<T> r{Route<T>::Kind::Control};
    r.message = WM_COMMAND;
    r.id = id;
    r.code = code;
    r.onCommand = fn;
    return r;
}
// WM_NOTIFY from control `id` with notification `code`; the handler's result
// becomes the notification's result.
template <class T> constexpr Route<T> OnNotify(UINT id, UINT code, LRESULT (T::*fn)(NMHDR*)) {
    Route<T> r{Route<T>::Kind::Notify};
    r.message = WM_NOTIFY;
    r.id = id;
    r.code = code;
    r.onNotify = fn;
    return r;
}
template <class T>
constexpr Route<T> OnMessage(UINT message, std::optional<LRESULT> (T::*fn)(WPARAM, LPARAM)) {
    Route<T> r{Route<T>::Kind::Message};
    r.message = message;
    r.onMessage = fn;
    return r;
}
// Every WM_CTLCOLOR... request; the handler gets the kind as CTLCOLOR_...
template <class T> constexpr Route<T> OnCtlColor(HBRUSH (T::*fn)(HDC, HWND, UINT)) {
    Route<T> r{Route<T>::Kind::CtlColor};
    r.onCtlColor = fn;
    return r;
}
template <class T> constexpr Route<T> OnTimer(void (T::*fn)(UINT_PTR)) {
    Route<T> r{Route<T>::Kind::Timer};
    r.message = WM_TIMER;
    r.onTimer = fn;
    return r;
}

// Looks a message up in a routing table, in order, and calls the first match.
template <class T, class Table>
bool DispatchRoutes(T* self, const Table& routes, UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
    for (const Route<T>& r : routes) {
        switch (r.kind) {
        case Route<T>::Kind::Command:
            if (msg == WM_COMMAND && LOWORD(wp) == r.id && HIWORD(wp) <= 1) {
                (self->*r.onCommand)();
                result = 0;
                return true;
            }
            break;
        case Route<T>::Kind::Control:
            if (msg == WM_COMMAND && LOWORD(wp) == r.id && HIWORD(wp) == r.code && lp != 0) {
                (self->*r.onCommand)();
                result = 0;
                return true;
            }
            break;
        case Route<T>::Kind::Notify:
            if (msg == WM_NOTIFY) {
                auto* header = reinterpret_cast<NMHDR*>(lp);
                if (header != nullptr && header->idFrom == r.id && header->code == r.code) {
                    result = (self->*r.onNotify)(header);
                    return true;
                }
            }
            break;
        case Route<T>::Kind::Message:
            if (msg == r.message) {
                if (std::optional<LRESULT> handled = (self->*r.onMessage)(wp, lp)) {
                    result = *handled;
                    return true;
                }
            }
            break;
        case Route<T>::Kind::CtlColor:
            if (msg >= WM_CTLCOLORMSGBOX && msg <= WM_CTLCOLORSTATIC) {
                result = reinterpret_cast<LRESULT>((self->*r.onCtlColor)(reinterpret_cast<HDC>(wp),
                                                                         reinterpret_cast<HWND>(lp),
                                                                         msg - WM_CTLCOLORMSGBOX));
                return true;
            }
            break;
        case Route<T>::Kind::Timer:
            if (msg == WM_TIMER) {
                (self->*r.onTimer)(static_cast<UINT_PTR>(wp));
                result = 0;
                return true;
            }
            break;
        }
    }
    return false;
}

// A dialog built from a numbered template: modal with its own message loop, or
// modeless for tests. Derived classes route messages through OnMessage, which
// they implement with their routing table.
class Dialog {
public:
    explicit Dialog(UINT templateId, HWND parent = nullptr);
    virtual ~Dialog();
    Dialog(const Dialog&) = delete;
    Dialog& operator=(const Dialog&) = delete;

    // Creates the dialog hidden, runs OnInitDialog, shows it when its queue is
    // first idle (then calls OnFirstIdle) and runs until EndDialog, its
    // destruction or WM_QUIT.
    INT_PTR DoModal();
    // Modeless: created and initialised, but not shown.
    bool Create(HWND parent);
    void EndDialog(INT_PTR result);
    void DestroyWindow();

    HWND GetSafeHwnd() const { return m_hWnd; }
    HWND GetDlgItem(int id) const { return ::GetDlgItem(m_hWnd, id); }
    bool UpdateData(bool saveAndValidate = true);
    void ShowWindow(int command) const { ::ShowWindow(m_hWnd, command); }
    bool IsModalRunning() const { return m_bContinueModal; }
    INT_PTR ModalResult() const { return m_nModalResult; }

    // Window timers. The window's own thread sets them; a call from any other
    // thread is handed to that thread, since a timer belongs to the thread that
    // owns its window. The set periods are kept so they can be looked at.
    void SetTimer(UINT_PTR id, UINT elapse);
    void KillTimer(UINT_PTR id);
    bool IsTimerRunning(UINT_PTR id) const;
    UINT TimerPeriod(UINT_PTR id) const;

    virtual BOOL PreTranslateMessage(MSG* msg);

    // The dots per inch of the monitor the window is on, as it last heard.
    UINT Dpi() const { return m_dpi; }

protected:
    virtual BOOL OnInitDialog();
    virtual void OnOK();
    virtual void OnCancel();
    virtual void DoDataExchange(DataExchange& dx);
    // Once per modal run, when its queue is first idle: after the window was
    // shown, or at that point when it is not to be shown.
    virtual void OnFirstIdle();
    // The derived class's routing table; true when the message was handled.
    virtual bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result);
    // The window moved to a monitor of another DPI (Dpi() is the new one):
    // make again whatever was made in pixels.
    virtual void OnDpiChanged(UINT dpi);
    // Shortcut keys from the accelerator table `id`, handled before the
    // dialog's own keyboard navigation.
    void LoadAccelerators(UINT id);

    // Centre the window after OnInitDialog unless OnInitDialog placed it.
    bool m_bAutoCenter = true;
    // Show the window when the modal loop is first idle.
    bool m_bShowOnIdle = true;
    HWND m_hWnd = nullptr;

private:
    static INT_PTR CALLBACK StaticDialogProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    INT_PTR DialogProc(UINT msg, WPARAM wp, LPARAM lp);
    HWND ResolveOwner() const;
    void CenterWindow(HWND owner) const;
    void RecordTimer(UINT_PTR id, std::optional<UINT> period);

    UINT m_nTemplateId;
    HWND m_hParent;
    HACCEL m_hAccel = nullptr;
    UINT m_dpi = 96;
    bool m_bContinueModal = false;
    INT_PTR m_nModalResult = -1;
    mutable std::mutex m_timerMutex;
    std::map<UINT_PTR, UINT> m_timers;
};

// Private messages by which another thread hands a timer call to the window's
// own thread.
inline constexpr UINT kSetTimerMessage = WM_APP + 0x3F0;
inline constexpr UINT kKillTimerMessage = WM_APP + 0x3F1;

} // namespace fw
