#pragma once

#include <atomic>
#include <thread>

// Waits for `thread` to end while answering the messages other threads send
// to this thread's windows. A worker that moves, shows or closes one of them
// waits inside that call until this thread answers, so a plain join could wait
// for the worker while the worker waits for it. `finished` is set by the
// worker as the last thing it does.
void JoinAnsweringSentMessages(std::thread& thread, const std::atomic<bool>& finished);
