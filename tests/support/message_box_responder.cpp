#include "tests/support/message_box_responder.h"

#include "framework/message_box.h"
#include "framework/utf_text.h"

#include <gtest/gtest.h>

namespace qmtest {

namespace {
MessageBoxResponder* g_responder = nullptr;

// As the user reads it, in UTF-8 like the texts the program asked for.
std::string WindowText(HWND hwnd) {
    wchar_t text[2048] = {};
    GetWindowTextW(hwnd, text, 2048);
    return fw::Narrow(text);
}

// The message text is the box's static control that is not its icon.
std::string MessageText(HWND box) {
    std::string found;
    EnumChildWindows(
        box,
        [](HWND child, LPARAM lp) -> BOOL {
            char cls[32] = {};
            GetClassNameA(child, cls, sizeof cls);
            if (lstrcmpiA(cls, "Static") == 0 &&
                (GetWindowLongA(child, GWL_STYLE) & SS_ICON) == 0) {
                std::string text = WindowText(child);
                if (!text.empty()) {
                    *reinterpret_cast<std::string*>(lp) = text;
                    return FALSE;
                }
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found;
}
} // namespace

MessageBoxResponder::MessageBoxResponder() {
    g_responder = this;
    fw::SetMessageBoxObserver(&MessageBoxResponder::Observe);
    m_hook =
        SetWindowsHookExA(WH_CBT, &MessageBoxResponder::CbtProc, nullptr, GetCurrentThreadId());
}

MessageBoxResponder::~MessageBoxResponder() {
    if (m_hook != nullptr)
        UnhookWindowsHookEx(m_hook);
    fw::SetMessageBoxObserver(nullptr);
    g_responder = nullptr;
}

void MessageBoxResponder::Observe(HWND owner, const char* text, const char* caption, UINT style) {
    if (g_responder == nullptr)
        return;
    ShownMessageBox box;
    box.owner = owner;
    box.ownerVisible = owner != nullptr && IsWindowVisible(owner);
    box.text = text != nullptr ? text : "";
    box.caption = caption != nullptr ? caption : "";
    box.style = style;
    g_responder->m_shown.push_back(box);
    g_responder->m_pending = true;
}

LRESULT CALLBACK MessageBoxResponder::CbtProc(int code, WPARAM wp, LPARAM lp) {
    MessageBoxResponder* self = g_responder;
    if (code == HCBT_ACTIVATE && self != nullptr && self->m_pending) {
        HWND box = reinterpret_cast<HWND>(wp);
        char cls[32] = {};
        GetClassNameA(box, cls, sizeof cls);
        if (lstrcmpA(cls, "#32770") == 0) {
            self->m_pending = false;
            ShownMessageBox& shown = self->m_shown.back();
            shown.shownCaption = WindowText(box);
            shown.shownText = MessageText(box);
            int answer;
            if (!self->m_answers.empty()) {
                answer = self->m_answers.front();
                self->m_answers.pop_front();
            } else {
                ++self->m_unexpected;
                answer = (shown.style & MB_TYPEMASK) == MB_YESNO ? IDNO : IDCANCEL;
                if ((shown.style & MB_TYPEMASK) == MB_OK)
                    answer = IDOK;
            }
            shown.answer = answer;
            PostMessageA(box, WM_COMMAND, MAKEWPARAM(answer, BN_CLICKED),
                         reinterpret_cast<LPARAM>(GetDlgItem(box, answer)));
        }
    }
    return CallNextHookEx(nullptr, code, wp, lp);
}

} // namespace qmtest
