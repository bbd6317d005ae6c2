#pragma once

#include "calendar/date_text.h"

#include <optional>
#include <string>
#include <string_view>

// Searching appointments by their words, free of system headers so that it is
// tested and fuzzed natively. Texts are folded once (case and accents taken
// out) and each search is then a plain substring search over folded text.

// Lower case, accents and other combining marks dropped, ß as "ss", İ as "i";
// a lone surrogate becomes U+FFFD. Letters the table does not know are kept
// as they are. Running it again on its result changes nothing.
std::u16string FoldForSearch(std::u16string_view text);

// Whether the folded `words` occur in the folded `text`. Nothing matches
// empty words.
bool ContainsFolded(std::u16string_view text, std::u16string_view words);

// A date the user typed: ISO "2027-05-14", or the user's short-date picture
// (as Windows writes it: "dd/MM/yyyy", "M/d/yyyy", "dd.MM.yy"...). Day, month
// and year are read in the picture's order, between any separators; a
// two-digit year is 2000 to 2099. Nothing for anything else or a day that
// does not exist.
std::optional<CalendarDate> ParseTypedDate(std::string_view text, std::string_view picture);
