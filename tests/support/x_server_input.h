#pragma once

#include "tests/support/scratch_files.h"

#include <windows.h>

#include <string>

namespace qmtest {

// Keys and clicks made through the X server, as a real keyboard and mouse
// make them under Wine: xdotool hands them to the X server (XTEST), which
// gives keys to the X window that holds the X input focus, and Wine passes
// them to the thread of that window. SendInput takes another road: Wine puts
// it straight into the foreground thread's input, whichever X window has the
// focus, so it cannot show a window that took the X focus.
//
// Wine runs a Linux program when CreateProcess is given the DOS path of its
// file, but hands back no process handle to wait on. So xdotool runs under
// /bin/sh, which then writes xdotool's exit status to a marker file that Run
// waits for. DISPLAY comes from the environment Wine was started with, which
// is the display the test's windows are on.
class XServerInput {
public:
    // Under Wine, where the windows are on an X display; false on Windows.
    static bool Available();

    // Runs `xdotool ARGS` to its end, handling this thread's messages
    // meanwhile; true when it ran and succeeded (a missing xdotool fails).
    // ARGS are xdotool's own commands, chained as xdotool allows
    // ("mousemove 10 20 click 1 type abc": "type" takes the rest as text),
    // with no double quotes.
    bool Run(const std::string& args, DWORD timeoutMs = 10000);
    // What the last run printed, without the last line end.
    std::string Output() const;

    // The X window that Wine made for a top-level window, as xdotool names
    // it ("getwindowfocus" prints it); 0 for none.
    static unsigned long XWindowOf(HWND window);

    // The middle of a window's control as "X Y" in screen coordinates, which
    // are the X screen's under Wine: where xdotool's mousemove should go.
    static std::string MiddleOf(HWND window, int control);

private:
    bool Start(const std::string& args);
    // Whether the started xdotool has ended.
    bool Done() const;
    // Its exit status once it has ended, -1 before.
    int ExitCode() const;

    ScratchFiles m_files;
    std::string m_marker;
    std::string m_output;
    int m_runs = 0;
};

// Counts the left-button clicks this thread has taken from its queue while it
// lives: a click made through the X server has been handled, and its window
// activated, only once it is counted.
class ClicksTaken {
public:
    ClicksTaken();
    ~ClicksTaken();
    ClicksTaken(const ClicksTaken&) = delete;
    ClicksTaken& operator=(const ClicksTaken&) = delete;
    bool Hooked() const { return m_hook != nullptr; }
    int Count() const;

private:
    HHOOK m_hook = nullptr;
};

} // namespace qmtest
