#pragma once

#include <windows.h>

// Gives a text control the card's bold font and redraws it, unless it has that
// font already: the request comes from the control's own painting, and a
// redraw on every request would paint it over and over.
inline void SetCardFont(HWND control, HFONT font) {
    if (reinterpret_cast<HFONT>(SendMessageA(control, WM_GETFONT, 0, 0)) != font)
        SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
}
