#pragma once

#include "framework/dialog.h"
#include "tray/reminder_owner.h"

// Posted to the owner when a reminder pop-up has closed (the owner restarts
// its timer on its own thread).
inline constexpr UINT kReminderClosedMessage = WM_APP + 1;

// The small pop-up that slides in at the lower right of the screen and shows
// today's appointments one after the other.
class CReminderDlg : public fw::Dialog {
public:
    CReminderDlg();
    ~CReminderDlg() override;
};
