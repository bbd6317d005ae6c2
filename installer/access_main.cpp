// quillmere-access.exe: run by the installer, with its rights, to let every
// user of the machine use the store. It shows nothing; its exit code is the
// Win32 error code, 0 when done.
#include "installer/store_access.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    return static_cast<int>(GrantUsersStoreAccess());
}
