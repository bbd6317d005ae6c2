#include "tray/notification_state.h"

#include "tray/reminder_schedule.h"

#include <windows.h>

#include <atomic>

namespace {

std::atomic<NotificationStateFn> g_stateForTesting{nullptr};

// The shell's own, looked up since it exists from Vista on only.
using QueryFn = HRESULT(WINAPI*)(int*);

QueryFn ShellQuery() {
    static const QueryFn query = [] {
        HMODULE shell = GetModuleHandleA("shell32.dll");
        if (shell == nullptr)
            shell = LoadLibraryA("shell32.dll");
        return shell == nullptr ? nullptr
                                : reinterpret_cast<QueryFn>(reinterpret_cast<void*>(
                                      GetProcAddress(shell, "SHQueryUserNotificationState")));
    }();
    return query;
}

} // namespace

int QueryUserNotificationState() {
    if (NotificationStateFn fn = g_stateForTesting.load())
        return fn();
    QueryFn query = ShellQuery();
    int state = kStateUnknown;
    if (query == nullptr || FAILED(query(&state)))
        return kStateUnknown;
    return state;
}

NotificationStateFn SetNotificationStateForTesting(NotificationStateFn fn) {
    return g_stateForTesting.exchange(fn);
}
