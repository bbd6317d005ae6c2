#pragma once

#include "store/calendar_registry.h"

#include <string>

// The one rule for the texts stored in NOTES and DETAIL NOTES: the field holds
// at most 499 characters, and a longer text is refused, never cut, so that
// nothing the user wrote is lost unseen.
inline bool FitsNotesField(const std::string& text) {
    return text.size() <= kMaxNotesLength;
}

// What the user is told when a text does not fit.
inline constexpr const char* kNotesTooLongMessage =
    "Notes can hold at most 499 characters. Please shorten them.";
inline constexpr const char* kDetailNotesTooLongMessage =
    "Detailed notes can hold at most 499 characters. Please shorten them and save again.";
