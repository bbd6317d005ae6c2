#pragma once

#include <windows.h>

#include <string>

// The window-free rules of the reminder pop-up: what a line holds, how the
// shown line is numbered and advanced, and where the slide places the pop-up.

// A reminder line holds an appointment's NOTES text of at most this many
// characters; a longer text is shown cut, the stored one stays whole.
inline constexpr size_t kReminderLineMaxLength = 299;

// The slide-in: step k runs from the first to the last value, one step every
// few milliseconds.
inline constexpr int kSlideFirstStep = -180;
inline constexpr int kSlideLastStep = 7;
inline constexpr DWORD kSlideStepMs = 5;

// The line timer of the pop-up: a new line every two seconds.
inline constexpr UINT_PTR kLineTimerId = 2;
inline constexpr UINT kLineTimerMs = 2000;

// `notes` cut to a reminder line, never inside a character of the system code
// page.
std::string CutReminderLine(const char* notes);

// The shown text of line `index` (counted from 0), numbered from 1: "%d. %s".
std::string NumberedReminderLine(int index, const std::string& line);

// The index the tick after `current` shows: the next line, back to the first
// after the last.
int NextReminderLine(int current, int count);

// The pop-up's place at slide step `k` on a screen whose rectangle is `screen`:
// it grows out of the right edge, always 2 pixels from it and 30 above the
// bottom, 85 pixels high and k + 198 wide.
RECT SlideRect(const RECT& screen, int k);
