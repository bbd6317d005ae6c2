#pragma once

#include "framework/unique_handle.h"

#include <windows.h>

#include <string>
#include <utility>

// The one running copy of the program in a sign-in session. The first copy
// holds a named mutex in the session's namespace for as long as it runs and
// marks its main window; a later copy asks that window to come forward, as
// "&Calender && Notes" does, and ends before it makes a tray icon, a purge, a
// splash or a timer of its own. Modes that must run beside a running copy
// simply do not claim.
//
// The copy that runs also holds a marker in the machine's namespace, beside
// the running copies of every other session: the installer and the
// uninstaller, which must not replace or remove a program in use, see from it
// that a copy runs somewhere. The marker decides nothing for the program.
class CSingleInstance {
public:
    // The names every copy uses; tests pass ones of their own.
    explicit CSingleInstance(std::string name = kMutexName,
                             std::string marker = kRunningMarkerName);
    ~CSingleInstance();
    CSingleInstance(const CSingleInstance&) = delete;
    CSingleInstance& operator=(const CSingleInstance&) = delete;

    // True when this process is now the one copy and goes on to start. False
    // when another copy runs: it has been asked to show its window (unless
    // `showRunningCopy` is false) and this process is to end at once.
    bool Claim(bool showRunningCopy);

    // The main window marks itself so that a later copy finds it without
    // going by its caption, which other windows of the program share. The
    // mark holds no data and goes with the window.
    static void MarkMainWindow(HWND window);
    // A marked window, of any process in this session, or null.
    static HWND FindMarkedWindow();

    // The mutex's name; the installer checks it to see whether a copy runs in
    // its session.
    static constexpr const char* kMutexName = "Local\\Quillmere.OneCopy";
    // The marker's name: a mutex that every running copy holds open, never
    // owns, for as long as it runs.
    static constexpr const char* kRunningMarkerName = "Global\\Quillmere.Running";

private:
    void HoldRunningMarker();

    std::string m_name;
    std::string m_markerName;
    fw::unique_handle m_mutex;
    fw::unique_handle m_marker;
    bool m_bOwned = false;
};
