#pragma once

// What the reminder pop-up asks of the window that started it when it closes.
class IReminderOwner {
public:
    virtual void SetReminderBusy(int busy) = 0;
    virtual void RestartReminderTimer() = 0;

protected:
    ~IReminderOwner() = default;
};
