// The start-up floor: the least a program can do to show the main window's
// dialog template, with the same controls, resources and common controls,
// and nothing behind them.
#include "bench/bare_calls.h"
#include "res/resource.h"

#include <windows.h>
#include <commctrl.h>

namespace {
INT_PTR CALLBACK FloorProc(HWND window, UINT msg, WPARAM wp, LPARAM) {
    switch (msg) {
    case WM_INITDIALOG:
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wp) == IDCANCEL)
            EndDialog(window, IDCANCEL);
        return TRUE;
    default:
        return FALSE;
    }
}
} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    bench::RegisterBareCommonControls();
    DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_CALENDAR_DIALOG), nullptr, FloorProc, 0);
    return 0;
}
