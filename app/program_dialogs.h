#pragma once

#include "framework/handler.h"

#include <functional>
#include <optional>

class CReminderTiming;

// The commands that open the About box (the system menu, the menu bar, the
// tray menu) and the Settings dialog (the menu bar, the tray menu, the
// Options button); an interval chosen in Settings is the reminder timer's
// from its next restart.
class CProgramDialogs : public fw::Handler {
public:
    explicit CProgramDialogs(CReminderTiming& reminders);
    ~CProgramDialogs() override;

    bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) override;

    // Open the dialogs; tests replace them to keep a modal window from
    // opening. Settings gives the interval it stored on OK.
    std::function<void()> runAboutBox;
    std::function<std::optional<int>()> runSettings;

private:
    std::optional<LRESULT> OnSysCommand(WPARAM wp, LPARAM lp);
    void OnAbout();
    void OnSettings();

    CReminderTiming& m_reminders;
};
