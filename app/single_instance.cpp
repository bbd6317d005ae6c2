#include "app/single_instance.h"

#include "res/resource.h"

namespace {

constexpr const char* kMainWindowProperty = "Quillmere.MainWindow";
// How long a later copy waits for the running copy's window to appear (it
// may still be starting) before it gives up and ends anyway.
constexpr DWORD kFindWindowMs = 10000;
constexpr DWORD kPollMs = 100;

} // namespace

CSingleInstance::CSingleInstance(std::string name) : m_name(std::move(name)) {}

CSingleInstance::~CSingleInstance() {
    if (m_bOwned)
        ReleaseMutex(m_mutex.get());
}

bool CSingleInstance::Claim(bool showRunningCopy) {
    m_mutex.reset(CreateMutexA(nullptr, TRUE, m_name.c_str()));
    const DWORD error = GetLastError();
    if (m_mutex && error != ERROR_ALREADY_EXISTS) {
        m_bOwned = true;
        return true;
    }
    // A copy started by another user in this session (an administrator's,
    // say) may keep its mutex from us: it runs all the same.
    if (!m_mutex && error != ERROR_ACCESS_DENIED)
        return true;

    const DWORD start = GetTickCount();
    while (GetTickCount() - start < kFindWindowMs) {
        if (HWND running = FindMarkedWindow()) {
            if (showRunningCopy) {
                DWORD process = 0;
                GetWindowThreadProcessId(running, &process);
                // This process was just started by the user and may hand the
                // foreground on, so that the window comes up in front.
                AllowSetForegroundWindow(process);
                PostMessageA(running, WM_COMMAND, MAKEWPARAM(ID_TRAY_CALENDAR_NOTES, 0), 0);
            }
            return false;
        }
        // The running copy may be ending instead: then this one takes over.
        if (m_mutex) {
            const DWORD wait = WaitForSingleObject(m_mutex.get(), kPollMs);
            if (wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED) {
                m_bOwned = true;
                return true;
            }
        } else {
            Sleep(kPollMs);
        }
    }
    return false;
}

void CSingleInstance::MarkMainWindow(HWND window) {
    SetPropA(window, kMainWindowProperty, reinterpret_cast<HANDLE>(1));
}

HWND CSingleInstance::FindMarkedWindow() {
    HWND found = nullptr;
    EnumWindows(
        [](HWND window, LPARAM lp) -> BOOL {
            if (GetPropA(window, kMainWindowProperty) == nullptr)
                return TRUE;
            *reinterpret_cast<HWND*>(lp) = window;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found;
}
