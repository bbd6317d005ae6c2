#pragma once

#include "framework/unique_handle.h"
#include "store/value_decoding.h"

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// Reading and writing the store's values exactly as they are laid out: texts as
// REG_EXPAND_SZ of a fixed length, numbers as 4-byte REG_DWORD. Every call
// goes through the registry's wide functions; names and texts are UTF-8 here.
// What the stored units mean is decided in store/value_decoding.h.

// Reads a text value for a field of `capacity` characters (UTF-16 units, its
// NUL included, at least 1) into `text`. Accepts REG_SZ, REG_EXPAND_SZ and
// REG_MULTI_SZ (its first string); a longer text is cut to capacity - 1 units
// at a whole character. Any other type, or a missing value, gives "" and false.
bool ReadTextValue(HKEY key, const char* name, std::string& text, size_t capacity);

// Reads a 4-byte REG_DWORD; any other type or size leaves `value` untouched
// and gives false.
bool ReadDwordValue(HKEY key, const char* name, DWORD& value);

// Whether a text fits a field of `fieldSize` characters: at most
// fieldSize - 1 UTF-16 units, and at most fieldSize - 1 bytes in the code
// page, so that programs reading it through the code-page functions into a
// buffer of the field's size get all of it.
bool FitsTextField(const std::string& text, size_t fieldSize);

// Writes `text` as REG_EXPAND_SZ for a field of `fieldSize` characters: the
// text, its NUL, then zeros (see EncodeFixedText). A text that does not fit
// (FitsTextField) is refused, never cut: false, and nothing is written.
bool WriteFixedText(HKEY key, const char* name, const std::string& text, size_t fieldSize);

bool WriteDwordValue(HKEY key, const char* name, DWORD value);

// A value's type and bytes, whatever they are. Most values are short and
// come in one call; a longer one is fetched at its size up to `largest`, and
// one larger still comes as its type and no bytes, which no decoder takes
// for a value. None when the value is absent.
std::optional<StoredValueBytes> ReadValueBytes(HKEY key, const char* name, std::size_t largest);
// Sets the value to exactly `value`, or deletes it when there is none.
bool PutValueBytes(HKEY key, const char* name, const std::optional<StoredValueBytes>& value);

// Keys by UTF-8 name, through the wide functions, so that any name another
// program gave a key opens again. Each returns the registry's code.
LONG OpenSubkey(HKEY parent, const std::string& name, REGSAM access, fw::unique_hkey& key);
LONG CreateSubkey(HKEY parent, const std::string& name, REGSAM access, fw::unique_hkey& key,
                  DWORD* disposition = nullptr);
LONG DeleteSubkey(HKEY parent, const std::string& name);
// Gives the subkey `name` of `parent` the name `newName`; ERROR_CALL_NOT_IMPLEMENTED
// where Windows has no such call (before Vista).
LONG RenameSubkey(HKEY parent, const std::string& name, const std::string& newName);
bool CanRenameSubkeys();

// Every write, creation, rename and delete of this process through these
// helpers (and the timed and series values) counts one, after it is done:
// what caches the store in memory compares it, since a change notification
// need not have arrived by the time the call that made the change returns.
void NoteStoreWrite();
std::uint64_t StoreWritesByThisProcess();

// Names the day key that this thread's writes go to while it lives, so that
// a cache of the store can read that day again instead of the whole store.
// Writes made outside any scope are counted but name no day.
class StoreWriteScope {
public:
    explicit StoreWriteScope(std::string dayKey);
    ~StoreWriteScope();
    StoreWriteScope(const StoreWriteScope&) = delete;
    StoreWriteScope& operator=(const StoreWriteScope&) = delete;

private:
    std::string m_dayKey;
    const std::string* m_outer;
};

// The day keys named by this process's writes after write number `since`
// (StoreWritesByThisProcess), each once, and in `upTo` the number of the last
// write. False when some of them are no longer kept (a few hundred are).
bool StoreDaysWrittenSince(std::uint64_t since, std::vector<std::string>& days,
                           std::uint64_t& upTo);

// The code page the length rule counts in: the system's (CP_ACP), unless a
// test names another. Returns the one it replaces.
UINT SetStoreCodePageForTesting(UINT codePage);
// The length of a text in that code page, in bytes; a character the code
// page lacks becomes its default character.
size_t CodePageLength(const std::string& text);
