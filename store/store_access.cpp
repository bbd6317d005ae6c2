#include "store/store_access.h"

#include "framework/unique_handle.h"
#include "store/calendar_registry.h"
#include "store/registry_value.h"

#include <string>

bool IsStoreWritable() {
    fw::unique_hkey key;
    LONG rc = OpenSubkey(HKEY_LOCAL_MACHINE, kCalendarRootPath, kStoreUserAccess, key);
    if (rc != ERROR_FILE_NOT_FOUND)
        return rc == ERROR_SUCCESS;
    std::string parent = kCalendarRootPath;
    for (;;) {
        const size_t slash = parent.rfind('\\');
        parent = slash == std::string::npos ? std::string() : parent.substr(0, slash);
        // An empty path opens the root itself.
        rc = OpenSubkey(HKEY_LOCAL_MACHINE, parent, KEY_CREATE_SUB_KEY, key);
        if (rc != ERROR_FILE_NOT_FOUND || parent.empty())
            return rc == ERROR_SUCCESS;
    }
}
