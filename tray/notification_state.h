#pragma once

// What the shell says about interrupting the user now: one of the states of
// tray/reminder_schedule.h (SHQueryUserNotificationState's answer), or
// kStateUnknown where the shell cannot say.
int QueryUserNotificationState();

// Tests stand in for the shell, which under Wine always accepts; nullptr
// restores it. Returns the previous stand-in.
using NotificationStateFn = int (*)();
NotificationStateFn SetNotificationStateForTesting(NotificationStateFn fn);
