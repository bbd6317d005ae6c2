#pragma once

#include "store/calendar_registry.h"
#include "store/registry_value.h"

#include <string>

// The one rule for the texts stored in NOTES and DETAIL NOTES: the field holds
// at most 499 characters (UTF-16 units, so a character outside the Basic
// Multilingual Plane counts two), and the text must also take at most 499
// bytes in the system's code page, so that programs reading it through the
// code-page functions get all of it. A longer text is refused, never cut, so
// that nothing the user wrote is lost unseen.
inline bool FitsNotesField(const std::string& text) {
    return FitsTextField(text, kNotesFieldBytes);
}

// What the user is told when a text does not fit.
inline constexpr const char* kNotesTooLongMessage =
    "Notes can hold at most 499 characters. Please shorten them.";
inline constexpr const char* kDetailNotesTooLongMessage =
    "Detailed notes can hold at most 499 characters. Please shorten them and save again.";
