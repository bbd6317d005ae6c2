#include "app/calendar_app.h"

#include "app/calendar_dlg.h"

// The one application object; WinMain finds it through fw::App::Current().
CCalendarApp theApp;

BOOL CCalendarApp::InitInstance() {
    // The date pickers and the rest of the common controls are registered by
    // the framework before this runs; nothing else needs enabling here.
    CCalendarDlg dlg;
    m_pMainWnd = &dlg;
    dlg.DoModal();
    m_pMainWnd = nullptr;
    return FALSE;
}
