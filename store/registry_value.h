#pragma once

#include "store/value_decoding.h"

#include <windows.h>

#include <string>

// Reading and writing the store's values exactly as they are laid out: texts as
// REG_EXPAND_SZ of a fixed byte count, numbers as 4-byte REG_DWORD. Whatever
// another program stored, a read never runs past its buffer and every text it
// returns is NUL-terminated. What the bytes mean is decided in
// store/value_decoding.h.

// Reads a text value into `buffer` of `capacity` bytes (at least 1). Accepts
// REG_SZ, REG_EXPAND_SZ and REG_MULTI_SZ (its first string); a longer text is
// cut at a character boundary to capacity - 1 bytes. Any other type, or a
// missing value, gives "" and false.
bool ReadTextValue(HKEY key, const char* name, char* buffer, size_t capacity);

// Reads a 4-byte REG_DWORD; any other type or size leaves `value` untouched
// and gives false.
bool ReadDwordValue(HKEY key, const char* name, DWORD& value);

// Writes `text` as REG_EXPAND_SZ of exactly `byteCount` bytes: the text, its
// NUL, then zeros. A text too long for the field is cut at a character
// boundary; callers that must not lose text check the length first.
bool WriteFixedText(HKEY key, const char* name, const std::string& text, size_t byteCount);

bool WriteDwordValue(HKEY key, const char* name, DWORD value);
