#pragma once

#include "store/calendar_registry.h"
#include "store/date_text.h"
#include "store/key_naming.h"

#include <windows.h>

#include <cstring>

// What a visit of one subkey asks of the walk.
enum class SubkeyStep {
    Next,    // go on with the next subkey
    Removed, // the visited subkey is gone (deleted here or by another
             // program): the next one now has its index
    Stop,    // end the walk
};

// Visits the direct subkeys of `key` in the registry's own order, by index
// from 0 until the registry has no more. A name too long for the buffer is
// passed over instead of ending the walk, and so is an appointment still
// being written (see IsUnfinishedKeyName).
//
// A subkey that is gone does not move the index on, or the walk would pass
// over the key that slid into its place; one that claims to be gone but
// still answers at the same index is passed over, so no walk can loop.
template <class Visit> void ForEachSubkey(HKEY key, Visit&& visit) {
    char name[kKeyNameBufferSize];
    char removed[kKeyNameBufferSize] = "";
    for (DWORD index = 0;;) {
        DWORD length = sizeof name;
        LONG rc = RegEnumKeyExA(key, index, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (rc == ERROR_MORE_DATA) {
            ++index;
            continue;
        }
        if (rc != ERROR_SUCCESS)
            return;
        name[sizeof name - 1] = '\0';
        if (IsUnfinishedKeyName(name) || (removed[0] != '\0' && std::strcmp(name, removed) == 0)) {
            removed[0] = '\0';
            ++index;
            continue;
        }
        removed[0] = '\0';
        switch (visit(static_cast<const char*>(name))) {
        case SubkeyStep::Next:
            ++index;
            break;
        case SubkeyStep::Removed:
            std::memcpy(removed, name, sizeof removed);
            break;
        case SubkeyStep::Stop:
            return;
        }
    }
}

// Whether an open key has been deleted since it was opened: its reads then
// fail, which must not be taken for values that are missing.
inline bool IsKeyGone(HKEY key) {
    return RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                            nullptr, nullptr, nullptr, nullptr) == ERROR_KEY_DELETED;
}

// Read buffers for one appointment's texts, sized by the stored fields.
struct AppointmentFields {
    char from[kDateTextBufferSize];
    char to[kDateTextBufferSize];
    char event[kEventFieldBytes];
    char notes[kNotesFieldBytes];
    char detail[kNotesFieldBytes];
};
