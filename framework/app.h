#pragma once

#include <windows.h>

#include <string>

namespace fw {

class Dialog;

// The application object: one global instance; WinMain runs its InitInstance.
class App {
public:
    App();
    virtual ~App();
    App(const App&) = delete;
    App& operator=(const App&) = delete;

    // Runs the program; returns FALSE when the program is to end afterwards.
    virtual BOOL InitInstance() = 0;

    // The standard Help command: shows the program's help text (string
    // resource kHelpTextId) in a box captioned "<title> Help".
    virtual void OnHelp(HWND owner);

    static App* Current();

    // Whether the program was started minimised (a shortcut set to run
    // minimised, "start /min"): the show command WinMain was given is one of
    // the minimising ones.
    bool StartedMinimized() const;

    // The main window, and the thread that runs it (dialogs on that thread
    // that name no owner are owned by it).
    Dialog* m_pMainWnd = nullptr;
    DWORD m_mainThreadId = 0;
    // The show command the program was started with (WinMain's nCmdShow).
    int m_nCmdShow = SW_SHOWDEFAULT;
    // What the process ends with; a run without windows sets it.
    int m_nExitCode = 0;
};

// String resources the framework reads: the program's title and its help text.
inline constexpr UINT kAppTitleId = 0xE000;
inline constexpr UINT kHelpTextId = 0xE001;
inline constexpr UINT kHelpCommandId = 0xE146; // ID_HELP

std::string LoadResourceString(UINT id);
std::string AppTitle();

} // namespace fw
