#pragma once

#include <windows.h>

// What the reminder pop-up asks of the window that started it. The pop-up
// runs on a reminder thread of its own, so every call below comes from that
// thread.
class IReminderOwner {
public:
    virtual void SetReminderBusy(int busy) = 0;
    virtual void RestartReminderTimer() = 0;
    // The pop-up's window exists. False when the owner is going away: the
    // pop-up then closes at once instead of showing.
    virtual bool ReminderOpened(HWND popup) = 0;
    // The pop-up's window is about to go; the owner forgets it.
    virtual void ReminderClosed(HWND popup) = 0;
    // The user's choices from the pop-up's menu, told before it closes: no
    // timed reminder for `minutes`; or none today of what this one found.
    virtual void SnoozeReminders(int minutes) = 0;
    virtual void DismissReminders() = 0;

protected:
    ~IReminderOwner() = default;
};
