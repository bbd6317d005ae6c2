#pragma once

#include "framework/unique_handle.h"

#include <windows.h>

// The one place the calendar's root key, HKEY_LOCAL_MACHINE\SOFTWARE\Calendar,
// is opened. Every other key of the store is opened relative to it. `create`
// makes the root when it is missing. Returns the registry's code.
LONG OpenCalendarRoot(REGSAM access, fw::unique_hkey& root, bool create = false);
