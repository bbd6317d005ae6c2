#include "tests/support/window_testing.h"

#include "framework/clock.h"

#include <commctrl.h>

#include <mutex>

namespace qmtest {

void PumpMessages(DWORD ms) {
    const DWORD start = GetTickCount();
    do {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        if (ms != 0)
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    } while (GetTickCount() - start < ms);
}

bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start >= timeoutMs)
            return false;
        PumpMessages(0);
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    }
    return true;
}

namespace {
std::mutex g_clockMutex;
SYSTEMTIME g_fixed{};

SYSTEMTIME FixedNow() {
    std::lock_guard<std::mutex> lock(g_clockMutex);
    return g_fixed;
}
} // namespace

SYSTEMTIME MakeDate(int year, int month, int day) {
    SYSTEMTIME st{};
    st.wYear = static_cast<WORD>(year);
    st.wMonth = static_cast<WORD>(month);
    st.wDay = static_cast<WORD>(day);
    return st;
}

FixedClock::FixedClock(int year, int month, int day, int hour, int minute, int second,
                       int millisecond) {
    Set(year, month, day, hour, minute, second, millisecond);
    fw::SetClockForTesting(&FixedNow);
}

FixedClock::~FixedClock() {
    fw::SetClockForTesting(nullptr);
}

void FixedClock::Set(int year, int month, int day, int hour, int minute, int second,
                     int millisecond) {
    std::lock_guard<std::mutex> lock(g_clockMutex);
    g_fixed = MakeDate(year, month, day);
    g_fixed.wHour = static_cast<WORD>(hour);
    g_fixed.wMinute = static_cast<WORD>(minute);
    g_fixed.wSecond = static_cast<WORD>(second);
    g_fixed.wMilliseconds = static_cast<WORD>(millisecond);
}

LRESULT SendNotify(HWND dialog, int controlId, UINT code) {
    NMHDR header{};
    header.hwndFrom = GetDlgItem(dialog, controlId);
    header.idFrom = static_cast<UINT_PTR>(controlId);
    header.code = code;
    return SendMessageA(dialog, WM_NOTIFY, static_cast<WPARAM>(controlId),
                        reinterpret_cast<LPARAM>(&header));
}

} // namespace qmtest
