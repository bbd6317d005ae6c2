#pragma once

#include "store/calendar_registry.h"
#include "store/date_text.h"

#include <windows.h>

// What a visit of one subkey asks of the walk.
enum class SubkeyStep {
    Next,    // go on with the next subkey
    Removed, // the visited subkey was deleted: the next one now has its index
    Stop,    // end the walk
};

// Visits the direct subkeys of `key` in the registry's own order, by index
// from 0 until the registry has no more. A name too long for the buffer is
// passed over instead of ending the walk.
template <class Visit> void ForEachSubkey(HKEY key, Visit&& visit) {
    char name[kKeyNameBufferSize];
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
        switch (visit(static_cast<const char*>(name))) {
        case SubkeyStep::Next:
            ++index;
            break;
        case SubkeyStep::Removed:
            break;
        case SubkeyStep::Stop:
            return;
        }
    }
}

// Read buffers for one appointment's texts, sized by the stored fields.
struct AppointmentFields {
    char from[kDateTextBufferSize];
    char to[kDateTextBufferSize];
    char event[kEventFieldBytes];
    char notes[kNotesFieldBytes];
    char detail[kNotesFieldBytes];
};
