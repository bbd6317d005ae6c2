#include "framework/app.h"

#include <commctrl.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int nCmdShow) {
    // The common controls (month calendar, list view, pickers, up-down,
    // tooltips) must be registered before any dialog that uses them is made.
    INITCOMMONCONTROLSEX icc{};
    icc.dwSize = sizeof icc;
    icc.dwICC = ICC_WIN95_CLASSES | ICC_DATE_CLASSES | ICC_USEREX_CLASSES | ICC_STANDARD_CLASSES;
    InitCommonControlsEx(&icc);

    fw::App* app = fw::App::Current();
    if (app == nullptr)
        return 1;
    app->m_mainThreadId = GetCurrentThreadId();
    app->m_nCmdShow = nCmdShow;
    app->InitInstance();
    return app->m_nExitCode;
}
