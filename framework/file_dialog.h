#pragma once

#include <windows.h>
#include <commdlg.h>

namespace fw {

// Shows the system's Save As (`save`) or Open dialog as GetSaveFileNameW and
// GetOpenFileNameW do; false when the user cancels or the dialog cannot be
// shown. comdlg32 is loaded the first time a dialog is asked for, not at
// start-up: imported, it and the libraries it brings held about 5 MB of
// every start's working set under Wine, for dialogs most runs never open.
bool ShowFileDialog(OPENFILENAMEW& dialog, bool save);

} // namespace fw
