#pragma once

#include <windows.h>

#include <functional>

namespace qmtest {

// Handles the current thread's messages for about `ms` milliseconds.
void PumpMessages(DWORD ms = 0);
// Handles messages until `done` is true or `timeoutMs` has passed; returns
// whether `done` became true.
bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs = 5000);

// Fixes the program's clock (today and the time of day) while it lives.
class FixedClock {
public:
    explicit FixedClock(int year, int month, int day, int hour = 12, int minute = 0, int second = 0,
                        int millisecond = 0);
    ~FixedClock();
    FixedClock(const FixedClock&) = delete;
    FixedClock& operator=(const FixedClock&) = delete;
    // Moves the fixed time.
    static void Set(int year, int month, int day, int hour = 12, int minute = 0, int second = 0,
                    int millisecond = 0);
};

// A SYSTEMTIME with the given date at midnight.
SYSTEMTIME MakeDate(int year, int month, int day);

// Sends a WM_NOTIFY as a control of `dialog` would.
LRESULT SendNotify(HWND dialog, int controlId, UINT code);

} // namespace qmtest
