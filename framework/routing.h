#pragma once

#include <windows.h>
#include <commctrl.h>

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

} // namespace fw
