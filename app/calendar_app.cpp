#include "app/calendar_app.h"

#include "app/calendar_dlg.h"
#include "app/command_line.h"
#include "app/single_instance.h"
#include "app/sync_command.h"

// The one application object; WinMain finds it through fw::App::Current().
CCalendarApp theApp;

BOOL CCalendarApp::InitInstance() {
    // An export, import or sync from the command line runs alone and ends.
    const std::vector<std::string> arguments = ProcessArguments();
    const FileCommand command = ParseFileCommand(arguments);
    if (command.kind != FileCommand::Kind::None) {
        m_nExitCode = RunFileCommand(command);
        return FALSE;
    }
    const SyncCommand sync = ParseSyncCommand(arguments);
    if (sync.kind != SyncCommand::Kind::None) {
        m_nExitCode = RunSyncCommand(sync);
        return FALSE;
    }

    // A shortcut set to run minimised (the start at sign-in) starts hidden in
    // the notification area.
    const bool hidden = StartedMinimized();
    // One copy per sign-in session: a later launch brings the running copy's
    // window forward and ends; a later start at sign-in leaves it as it is.
    CSingleInstance oneCopy;
    if (!oneCopy.Claim(!hidden))
        return FALSE;

    // The date pickers and the rest of the common controls are registered by
    // the framework before this runs; nothing else needs enabling here.
    CCalendarDlg dlg;
    if (hidden)
        dlg.StartHidden();
    m_pMainWnd = &dlg;
    dlg.DoModal();
    m_pMainWnd = nullptr;
    return FALSE;
}
