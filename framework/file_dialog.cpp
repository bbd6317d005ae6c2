#include "framework/file_dialog.h"

namespace fw {

namespace {

using FileDialogFn = BOOL(WINAPI*)(LPOPENFILENAMEW);

struct FileDialogs {
    FileDialogFn open = nullptr;
    FileDialogFn save = nullptr;
};

// Loaded once and kept: the dialogs leave threads and hooks of the shell
// behind, which must not outlive the library.
const FileDialogs& LoadFileDialogs() {
    static const FileDialogs dialogs = [] {
        FileDialogs loaded;
        if (HMODULE library = LoadLibraryW(L"comdlg32.dll")) {
            loaded.open = reinterpret_cast<FileDialogFn>(
                reinterpret_cast<void*>(GetProcAddress(library, "GetOpenFileNameW")));
            loaded.save = reinterpret_cast<FileDialogFn>(
                reinterpret_cast<void*>(GetProcAddress(library, "GetSaveFileNameW")));
        }
        return loaded;
    }();
    return dialogs;
}

} // namespace

bool ShowFileDialog(OPENFILENAMEW& dialog, bool save) {
    const FileDialogs& dialogs = LoadFileDialogs();
    const FileDialogFn show = save ? dialogs.save : dialogs.open;
    return show != nullptr && show(&dialog) != FALSE;
}

} // namespace fw
