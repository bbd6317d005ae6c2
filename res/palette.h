#pragma once

#include <windows.h>

// The program's own colours, which give way to the system's under high
// contrast (fw::ContrastColor, fw::ContrastBrush).

// Lavender: the splash card's and the reminder pop-up's background, and the
// background of the appointment list's texts.
inline constexpr COLORREF kLavender = RGB(209, 211, 255);
