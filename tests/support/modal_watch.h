#pragma once

// Helpers for tests that let the program run a real modal window: a watch that
// finds the window once it shows and acts on it as a user would, and an
// application object that makes the main window the owner of such windows, as
// in the running program. Shared by the about and main window tests.

#include "framework/app.h"
#include "framework/dialog.h"

#include <windows.h>

#include <functional>
#include <map>
#include <string>

namespace qmtest {

inline std::string TextOf(HWND hwnd) {
    char text[512] = {};
    GetWindowTextA(hwnd, text, sizeof text);
    return text;
}

// The visible dialog window of this thread that `match` accepts, or null.
inline HWND FindShownDialog(const std::function<bool(HWND)>& match) {
    struct Search {
        const std::function<bool(HWND)>* match;
        HWND found;
    } search{&match, nullptr};
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND hwnd, LPARAM lp) -> BOOL {
            auto* s = reinterpret_cast<Search*>(lp);
            char cls[16] = {};
            GetClassNameA(hwnd, cls, sizeof cls);
            if (lstrcmpA(cls, "#32770") == 0 && IsWindowVisible(hwnd) && (*s->match)(hwnd)) {
                s->found = hwnd;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// While it lives, looks every few milliseconds for a shown dialog that `match`
// accepts and runs `act` on the first one, once. It runs from a thread timer,
// which the program's modal loops dispatch like any other message.
class ModalWatch {
public:
    ModalWatch(std::function<bool(HWND)> match, std::function<void(HWND)> act)
        : m_match(std::move(match)), m_act(std::move(act)) {
        m_timer = SetTimer(nullptr, 0, 20, &ModalWatch::Tick);
        Watches()[m_timer] = this;
    }
    ~ModalWatch() {
        KillTimer(nullptr, m_timer);
        Watches().erase(m_timer);
    }
    ModalWatch(const ModalWatch&) = delete;
    ModalWatch& operator=(const ModalWatch&) = delete;

    bool Acted() const { return m_bActed; }

private:
    static std::map<UINT_PTR, ModalWatch*>& Watches() {
        static std::map<UINT_PTR, ModalWatch*> watches;
        return watches;
    }
    static void CALLBACK Tick(HWND, UINT, UINT_PTR id, DWORD) {
        auto it = Watches().find(id);
        if (it == Watches().end() || it->second->m_bActed)
            return;
        ModalWatch* self = it->second;
        if (HWND dialog = FindShownDialog(self->m_match)) {
            self->m_bActed = true;
            self->m_act(dialog);
        }
    }

    std::function<bool(HWND)> m_match;
    std::function<void(HWND)> m_act;
    UINT_PTR m_timer = 0;
    bool m_bActed = false;
};

// Matches a dialog that has a control with this id.
inline std::function<bool(HWND)> HasControl(int id) {
    return [id](HWND dialog) { return GetDlgItem(dialog, id) != nullptr; };
}
// Matches a dialog with this caption.
inline std::function<bool(HWND)> HasCaption(const std::string& caption) {
    return [caption](HWND dialog) { return TextOf(dialog) == caption; };
}

// Clicks a dialog's button as the mouse would, so its BN_CLICKED arrives.
inline void ClickButton(HWND dialog, int id) {
    SendMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0);
}

// The application object while it lives: dialogs that name no owner get the
// main window as owner, as in the program. Let it go before the main window is
// destroyed, since the end of the main window posts the program's quit message.
class TestApp : public fw::App {
public:
    explicit TestApp(fw::Dialog* mainWindow) {
        m_pMainWnd = mainWindow;
        m_mainThreadId = GetCurrentThreadId();
    }
    BOOL InitInstance() override { return FALSE; }
};

} // namespace qmtest
