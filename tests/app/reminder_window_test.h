#pragma once

#include "tests/app/calendar_test_window.h"

#include <string>

namespace qmtest {

// The line a reminder pop-up shows now.
inline std::string ReminderText(HWND popup) {
    char text[512] = {};
    GetDlgItemTextA(popup, IDC_REMINDER_TEXT, text, sizeof text);
    return text;
}

// The main window with the real reminder cycle: triggers start real reminder
// threads, whose pop-ups run as in the program.
class ReminderWindowTest : public CalendarWindowTest {
protected:
    void OpenReal(bool show = true) {
        Open(show);
        dlg->runRealReminder = true;
    }
    HWND WaitForPopup() {
        PumpUntil([this] { return dlg->ReminderWindow() != nullptr; });
        return dlg->ReminderWindow();
    }
    bool WaitForThreads() {
        return PumpUntil([this] { return dlg->ActiveReminderThreads() == 0; });
    }
    void Unload() {
        boxes.Answer(IDYES);
        Command(ID_TRAY_UNLOAD);
    }
};

} // namespace qmtest
