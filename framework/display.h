#pragma once

#include "framework/unique_handle.h"

#include <windows.h>

// What the program draws depends on two things of the screen: its dots per
// inch, which every length made in pixels follows, and high contrast, under
// which the program's own colours give way to the system's.
namespace fw {

inline constexpr UINT kDefaultDpi = 96;
// WM_DPICHANGED, which older headers lack.
inline constexpr UINT kDpiChangedMessage = 0x02E0;

// The DPI of the monitor a window is on: GetDpiForWindow where Windows has it
// (10, version 1607 on), else the screen's, which older systems use for all.
UINT DpiForWindow(HWND window);
// A length in pixels at 96 DPI, at `dpi`.
inline int ScaleForDpi(int pixels, UINT dpi) {
    return MulDiv(pixels, static_cast<int>(dpi), static_cast<int>(kDefaultDpi));
}

// An Arial font of `height` pixels at 96 DPI, scaled to `dpi`; only height and
// weight differ between the program's fonts, everything else is the default.
unique_hfont CreateArialFont(int height, int weight, UINT dpi = kDefaultDpi);

// An image list of `size` x `size` 32-bit images with a mask, filled from a
// bitmap strip of the program's resources; `mask` is a colour the strip does
// not use, so the pictures show whole. Above 96 DPI the images and the strip
// are scaled to the DPI. Empty when the list cannot be made.
unique_himagelist LoadImageStrip(UINT bitmapId, int size, int initial, int grow, COLORREF mask,
                                 UINT dpi = kDefaultDpi);

// Whether high contrast is on (SPI_GETHIGHCONTRAST). Tests replace the probe,
// since no test machine has the real themes.
bool IsHighContrast();
using HighContrastProbe = bool (*)();
HighContrastProbe SetHighContrastProbeForTesting(HighContrastProbe probe);

// `own` while high contrast is off; the system colour `sysColor`
// (COLOR_WINDOW, COLOR_WINDOWTEXT, ...) while it is on.
COLORREF ContrastColor(COLORREF own, int sysColor);

// The answer to a colour request of a window painted on its own brush: that
// brush while high contrast is off; while it is on, the system's window
// colours, text included, whose text is sure to be readable on them.
HBRUSH ContrastBrush(HDC dc, HBRUSH own);

} // namespace fw
