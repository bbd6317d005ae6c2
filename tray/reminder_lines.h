#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// The window-free rules of the reminder pop-up: what a line holds, how the
// shown line is numbered and advanced, and where the slide places the pop-up.
// They need no system header, so they also build natively; the timing
// constants have the plain types that DWORD, UINT_PTR and UINT stand for.

// A reminder line holds an appointment's NOTES text of at most this many
// characters, counted in UTF-16 units as the line's 300-unit buffer would
// hold them (a character outside the Basic Multilingual Plane counts two); a
// longer text is shown cut, the stored one stays whole.
inline constexpr std::size_t kReminderLineMaxLength = 299;

// The slide-in: step k runs from the first to the last value, one step every
// few milliseconds.
inline constexpr int kSlideFirstStep = -180;
inline constexpr int kSlideLastStep = 7;
inline constexpr unsigned long kSlideStepMs = 5;

// The line timer of the pop-up: a new line every two seconds.
inline constexpr std::uintptr_t kLineTimerId = 2;
inline constexpr unsigned int kLineTimerMs = 2000;

// `notes` (UTF-8) cut to a reminder line at a whole character: a surrogate
// pair is never split, so an emoji at the cut goes whole or not at all.
std::string CutReminderLine(std::string_view notes);

// The shown text of line `index` (counted from 0), numbered from 1: "%d. %s".
std::string NumberedReminderLine(int index, const std::string& line);

// The index the tick after `current` shows: the next line, back to the first
// after the last.
int NextReminderLine(int current, int count);

// A length in pixels at 96 dots per inch, at `dpi`, rounded to the nearest
// pixel (as MulDiv rounds).
constexpr long ScaleForDpi(long pixels, unsigned int dpi) {
    const long long product = static_cast<long long>(pixels) * dpi;
    return static_cast<long>(product >= 0 ? (product + 48) / 96 : -((-product + 48) / 96));
}

// The pop-up's place at slide step `k` on a screen whose rectangle is `screen`:
// it grows out of the right edge, always 2 pixels from it and 30 above the
// bottom, 85 pixels high and k + 198 wide, all at 96 dots per inch; at
// another `dpi` every one of these lengths (k too) is scaled, so the pop-up
// looks the same, larger. `Rect` is RECT in the program, or any type with
// its four members.
template <class Rect> Rect SlideRect(const Rect& screen, int k, unsigned int dpi = 96) {
    Rect place{};
    place.right = screen.right - ScaleForDpi(2, dpi);
    place.bottom = screen.bottom - ScaleForDpi(30, dpi);
    place.left = place.right - ScaleForDpi(k + 198, dpi);
    place.top = place.bottom - ScaleForDpi(85, dpi);
    return place;
}
