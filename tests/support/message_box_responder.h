#pragma once

#include <windows.h>

#include <deque>
#include <string>
#include <vector>

namespace qmtest {

// One message box the program showed, as the program asked for it and as the
// real box read on screen.
struct ShownMessageBox {
    HWND owner = nullptr;
    bool ownerVisible = false; // the owner was on screen when the box came
    std::string text;
    std::string caption;
    UINT style = 0;
    std::string shownCaption; // the real window's title
    std::string shownText;    // the real window's message text
    int answer = 0;           // the button the responder pressed
};

// Answers the real message boxes of the current thread with scripted buttons
// and records each one. A box with no scripted answer gets IDCANCEL, or IDNO
// for a Yes/No box, and counts as unexpected.
class MessageBoxResponder {
public:
    MessageBoxResponder();
    ~MessageBoxResponder();
    MessageBoxResponder(const MessageBoxResponder&) = delete;
    MessageBoxResponder& operator=(const MessageBoxResponder&) = delete;

    // The button to press for the next box (IDOK, IDYES, IDNO, ...).
    void Answer(int button) { m_answers.push_back(button); }

    const std::vector<ShownMessageBox>& Shown() const { return m_shown; }
    size_t Count() const { return m_shown.size(); }
    const ShownMessageBox& Last() const { return m_shown.back(); }
    int Unexpected() const { return m_unexpected; }
    void Clear() { m_shown.clear(); }

private:
    static void Observe(HWND owner, const char* text, const char* caption, UINT style);
    static LRESULT CALLBACK CbtProc(int code, WPARAM wp, LPARAM lp);

    std::deque<int> m_answers;
    std::vector<ShownMessageBox> m_shown;
    int m_unexpected = 0;
    bool m_pending = false;
    HHOOK m_hook = nullptr;
};

} // namespace qmtest
