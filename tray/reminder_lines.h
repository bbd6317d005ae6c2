#pragma once

#include "store/value_decoding.h"

#include <cstddef>
#include <cstdint>
#include <string>

// The window-free rules of the reminder pop-up: what a line holds, how the
// shown line is numbered and advanced, and where the slide places the pop-up.
// They need no system header, so they also build natively; the timing
// constants have the plain types that DWORD, UINT_PTR and UINT stand for.

// A reminder line holds an appointment's NOTES text of at most this many
// characters; a longer text is shown cut, the stored one stays whole.
inline constexpr std::size_t kReminderLineMaxLength = 299;

// The slide-in: step k runs from the first to the last value, one step every
// few milliseconds.
inline constexpr int kSlideFirstStep = -180;
inline constexpr int kSlideLastStep = 7;
inline constexpr unsigned long kSlideStepMs = 5;

// The line timer of the pop-up: a new line every two seconds.
inline constexpr std::uintptr_t kLineTimerId = 2;
inline constexpr unsigned int kLineTimerMs = 2000;

// `notes` cut to a reminder line, never inside a character of the code page
// (the system's unless another is given).
std::string CutReminderLine(const char* notes, LeadBytePredicate isLeadByte = IsSystemLeadByte);

// The shown text of line `index` (counted from 0), numbered from 1: "%d. %s".
std::string NumberedReminderLine(int index, const std::string& line);

// The index the tick after `current` shows: the next line, back to the first
// after the last.
int NextReminderLine(int current, int count);

// The pop-up's place at slide step `k` on a screen whose rectangle is `screen`:
// it grows out of the right edge, always 2 pixels from it and 30 above the
// bottom, 85 pixels high and k + 198 wide. `Rect` is RECT in the program, or
// any type with its four members.
template <class Rect> Rect SlideRect(const Rect& screen, int k) {
    Rect place{};
    place.left = screen.right - k - 200;
    place.top = screen.bottom - 115;
    place.right = place.left + k + 198;
    place.bottom = place.top + 85;
    return place;
}
