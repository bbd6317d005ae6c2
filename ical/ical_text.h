#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// UTF-8 and the TEXT values of RFC 5545: escaping, unescaping and lists.
namespace ical {

// The length of the well-formed UTF-8 sequence at the start of `text`
// (shortest form, no surrogates, at most U+10FFFF), or 0 when there is none.
std::size_t Utf8SequenceLength(std::string_view text);

// Whether the whole text is well-formed UTF-8.
bool IsValidUtf8(std::string_view text);

// The text with every ill-formed byte replaced by U+FFFD; `replaced` (when
// given) is set when any was.
std::string ToValidUtf8(std::string_view text, bool* replaced = nullptr);

// How many UTF-16 code units the (well-formed) UTF-8 text takes.
std::size_t Utf16Length(std::string_view text);

// A TEXT value: backslash, semicolon and comma escaped, each line break
// (CR LF, CR or LF) written as \n.
std::string EscapeText(std::string_view text);

// The value of a TEXT property, with \n and \N turned into `lineBreak` and
// \\ \; \, into the character. A backslash before anything else is kept as
// it stands, as most readers do.
std::string UnescapeText(std::string_view value, std::string_view lineBreak);

// The items of a comma-separated TEXT list (CATEGORIES), each unescaped;
// escaped commas stay inside their item.
std::vector<std::string> SplitTextList(std::string_view value, std::string_view lineBreak);

// The text in double quotes for a message, cut after about 40 bytes at a
// character boundary.
std::string QuoteForMessage(std::string_view text);

// ASCII upper case, for names and codes, which RFC 5545 compares without case.
std::string UpperAscii(std::string_view text);
bool EqualsNoCase(std::string_view a, std::string_view b);

} // namespace ical
