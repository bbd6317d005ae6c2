#pragma once

#include "calendar/date_text.h"
#include "framework/utf_text.h"
#include "store/calendar_registry.h"
#include "store/key_naming.h"

#include <windows.h>

#include <string>

// What a visit of one subkey asks of the walk.
enum class SubkeyStep {
    Next,    // go on with the next subkey
    Removed, // the visited subkey is gone (deleted here or by another
             // program): the next one now has its index
    Stop,    // end the walk
};

// What a walk that does not look at unfinished keys does with them.
struct PassOverUnfinished {
    void operator()(const char*) const {}
};

// Visits the direct subkeys of `key` in the registry's own order, by index
// from 0 until the registry has no more. A name too long for the buffer is
// passed over instead of ending the walk, and so is an appointment still
// being written (see IsUnfinishedKeyName), whose name goes to `unfinished`
// instead. Names are enumerated through the wide functions and handed on as
// UTF-8, so that a key another program named in any script opens again by
// its name.
//
// A subkey that is gone does not move the index on, or the walk would pass
// over the key that slid into its place; one that claims to be gone but
// still answers at the same index is passed over, so no walk can loop.
template <class Visit, class Unfinished = PassOverUnfinished>
void ForEachSubkey(HKEY key, Visit&& visit, Unfinished&& unfinished = {}) {
    wchar_t wideName[kKeyNameBufferSize];
    std::string removed;
    for (DWORD index = 0;;) {
        DWORD length = kKeyNameBufferSize;
        LONG rc = RegEnumKeyExW(key, index, wideName, &length, nullptr, nullptr, nullptr, nullptr);
        if (rc == ERROR_MORE_DATA) {
            ++index;
            continue;
        }
        if (rc != ERROR_SUCCESS)
            return;
        const std::string name =
            fw::Narrow(std::wstring_view(wideName, length < kKeyNameBufferSize ? length : 0));
        const bool isUnfinished = IsUnfinishedKeyName(name.c_str());
        if (isUnfinished || (!removed.empty() && name == removed)) {
            if (isUnfinished)
                unfinished(name.c_str());
            removed.clear();
            ++index;
            continue;
        }
        removed.clear();
        switch (visit(name.c_str())) {
        case SubkeyStep::Next:
            ++index;
            break;
        case SubkeyStep::Removed:
            removed = name;
            break;
        case SubkeyStep::Stop:
            return;
        }
    }
}

// Whether an open key has been deleted since it was opened: its reads then
// fail, which must not be taken for values that are missing.
inline bool IsKeyGone(HKEY key) {
    return RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                            nullptr, nullptr, nullptr, nullptr) == ERROR_KEY_DELETED;
}

// One appointment's texts as read, UTF-8.
struct AppointmentFields {
    std::string from;
    std::string to;
    std::string event;
    std::string notes;
    std::string detail;
};
