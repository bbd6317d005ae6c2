#include "app/single_instance.h"

#include "framework/utf_text.h"
#include "res/resource.h"

#include <sddl.h>

namespace {

constexpr const char* kMainWindowProperty = "Quillmere.MainWindow";
// How long a later copy waits for the running copy's window to appear (it
// may still be starting) before it gives up and ends anyway.
constexpr DWORD kFindWindowMs = 10000;
constexpr DWORD kPollMs = 100;
// Everyone may open the marker to wait on it, and for nothing else: a copy
// of another user, in another session, opens the one that the first copy
// made, and so does the installer, whoever runs it. (A mutex, unlike a file
// mapping, needs no privilege to be made in the global namespace.)
constexpr const wchar_t* kMarkerAccess = L"D:(A;;0x00100000;;;WD)";

} // namespace

CSingleInstance::CSingleInstance(std::string name, std::string marker)
    : m_name(std::move(name)), m_markerName(std::move(marker)) {}

CSingleInstance::~CSingleInstance() {
    if (m_bOwned)
        ReleaseMutex(m_mutex.get());
}

bool CSingleInstance::Claim(bool showRunningCopy) {
    m_mutex.reset(CreateMutexW(nullptr, TRUE, fw::Widen(m_name).c_str()));
    const DWORD error = GetLastError();
    if (m_mutex && error != ERROR_ALREADY_EXISTS) {
        m_bOwned = true;
        HoldRunningMarker();
        return true;
    }
    // A copy started by another user in this session (an administrator's,
    // say) may keep its mutex from us: it runs all the same.
    if (!m_mutex && error != ERROR_ACCESS_DENIED) {
        HoldRunningMarker();
        return true;
    }

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
                HoldRunningMarker();
                return true;
            }
        } else {
            Sleep(kPollMs);
        }
    }
    return false;
}

void CSingleInstance::HoldRunningMarker() {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(kMarkerAccess, SDDL_REVISION_1,
                                                              &descriptor, nullptr))
        return;
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
    // Made, or opened where another copy made it first. Without it the
    // program still runs; the installer then finds its file in use instead.
    m_marker.reset(CreateMutexExW(&attributes, fw::Widen(m_markerName).c_str(), 0, SYNCHRONIZE));
    LocalFree(descriptor);
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
