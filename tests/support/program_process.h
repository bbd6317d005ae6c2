#pragma once

#include "framework/unique_handle.h"

#include <windows.h>

#include <string>

namespace qmtest {

// Quillmere as a process of its own, in the test prefix, ended when this
// goes. It reads and writes the prefix's own store, not a scratch key:
// see PrefixStore.
class ProgramProcess {
public:
    // `showCommand` is what a shortcut hands the program (SW_SHOWMINIMIZED for
    // one set to run minimised); none for a plain launch. `exe` is the built
    // program unless another copy (an installed one) is named. `arguments`
    // follow the program's name on its command line; with `outputPath`, what
    // it prints goes to that file.
    explicit ProgramProcess(int showCommand = -1, const std::string& exe = {},
                            const std::string& arguments = {}, const std::string& outputPath = {});
    ~ProgramProcess();
    ProgramProcess(const ProgramProcess&) = delete;
    ProgramProcess& operator=(const ProgramProcess&) = delete;

    bool Running() const;
    // Waits for the process to end; true when it did, with its exit code.
    bool WaitForExit(DWORD timeoutMs, DWORD* exitCode = nullptr);
    // The process's main window (the one with the appointment list), or null.
    HWND MainWindow() const;
    // How many of the process's top-level windows are on screen.
    int VisibleWindows() const;

private:
    fw::unique_handle m_process;
    DWORD m_id = 0;
};

// The path of a file next to the build's quillmere.exe (the test executables
// live one folder below it).
std::string BuildOutput(const std::string& fileName);

// Icons in the notification area, counted from the window that Wine's shell
// makes for each (there is no call that lists them).
int TrayIconCount();
// Processes of quillmere.exe in this Wine session.
int RunningCopies();

// Tests that start the program use the test prefix's own store, so they run
// only in the build's private prefix. While this lives the store is empty
// but for the options that keep the splash card away, so that a launch is
// quick; it is emptied again afterwards.
class PrefixStore {
public:
    PrefixStore();
    ~PrefixStore();
    PrefixStore(const PrefixStore&) = delete;
    PrefixStore& operator=(const PrefixStore&) = delete;

    static bool InPrivatePrefix();
};

} // namespace qmtest
