#include "framework/message_box.h"

#include "framework/utf_text.h"

#include <atomic>

namespace fw {

namespace {
std::atomic<MessageBoxObserver> g_observer{nullptr};
}

int ShowMessageBox(HWND owner, const char* text, const char* caption, UINT style) {
    if (MessageBoxObserver observer = g_observer.load())
        observer(owner, text, caption, style);
    return MessageBoxW(owner, Widen(text != nullptr ? text : "").c_str(),
                       Widen(caption != nullptr ? caption : "").c_str(), style);
}

int ShowNotice(HWND owner, const char* text) {
    return ShowMessageBox(owner, text, "Quillmere", MB_OK | MB_ICONINFORMATION);
}

MessageBoxObserver SetMessageBoxObserver(MessageBoxObserver observer) {
    return g_observer.exchange(observer);
}

} // namespace fw
