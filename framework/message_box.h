#pragma once

#include <windows.h>

namespace fw {

// Every message the program shows goes through here, so that the tests can see
// the exact owner, text, caption and style of the real box they answer. Texts
// are UTF-8; the box shows them through the wide functions.
int ShowMessageBox(HWND owner, const char* text, const char* caption, UINT style);

// The program's usual notice: information icon, caption "Quillmere".
int ShowNotice(HWND owner, const char* text);

using MessageBoxObserver = void (*)(HWND owner, const char* text, const char* caption, UINT style);
// Called on the showing thread just before each box opens; nullptr for none.
MessageBoxObserver SetMessageBoxObserver(MessageBoxObserver observer);

} // namespace fw
