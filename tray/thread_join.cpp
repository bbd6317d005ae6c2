#include "tray/thread_join.h"

#include <windows.h>

void JoinAnsweringSentMessages(std::thread& thread, const std::atomic<bool>& finished) {
    if (!thread.joinable())
        return;
    while (!finished.load()) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_SENDMESSAGE);
        // Handles the sent messages only; posted ones stay queued for the
        // thread's own loop.
        MSG msg;
        PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
    thread.join();
}
