#pragma once

#include "store/calendar_registry.h"

#include <string>

// What the store takes as it stands, so that nothing is cut or misplaced.

// A date text names one key directly below the root; an empty text or one
// with a separator would name the root itself or a deeper key.
inline bool IsDayKeyName(const std::string& dateText) {
    return !dateText.empty() && dateText.find('\\') == std::string::npos &&
           dateText.size() < kKeyNameBufferSize;
}
