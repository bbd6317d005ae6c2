#pragma once

#include "app/calendar_dlg.h"
#include "res/resource.h"
#include "tests/support/message_box_responder.h"
#include "tests/support/registry_sandbox.h"
#include "tests/support/window_testing.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace qmtest {

// The main window with its start-up steps and modal commands watched: each
// seam records its name (and whether the window was visible then) instead of
// opening a modal window, unless told to run the real one.
class TestCalendarDlg : public CCalendarDlg {
public:
    std::vector<std::string> events;
    bool runRealSplash = false;
    bool runRealAbout = false;
    bool runRealSettings = false;
    bool runRealReminder = false;

    void Record(const std::string& what) {
        events.push_back(what + (m_hWnd != nullptr && IsWindowVisible(m_hWnd) ? "(visible)" : ""));
    }
    int CountOf(const std::string& what) const {
        int n = 0;
        for (const auto& e : events)
            n += e.rfind(what, 0) == 0 ? 1 : 0;
        return n;
    }

protected:
    void AddTrayIcon() override {
        Record("tray");
        CCalendarDlg::AddTrayIcon();
    }
    void RunSplash() override {
        Record("splash");
        if (runRealSplash)
            CCalendarDlg::RunSplash();
    }
    void RunAboutBox() override {
        Record("about");
        if (runRealAbout)
            CCalendarDlg::RunAboutBox();
    }
    void RunSettings() override {
        Record("settings");
        if (runRealSettings)
            CCalendarDlg::RunSettings();
    }
    void StartReminderThread(bool timed) override {
        Record("reminder");
        if (runRealReminder)
            CCalendarDlg::StartReminderThread(timed);
    }
    bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) override {
        if (msg == WM_SHOWWINDOW && wp != 0)
            events.push_back("shown");
        return CCalendarDlg::OnMessage(msg, wp, lp, result);
    }
};

// A main window made as start-up makes it (modeless, so the test keeps the
// thread), over a scratch registry, a fixed clock and a message-box responder.
// The start-up seams only record what they would open (see TestCalendarDlg).
class CalendarWindowTest : public ::testing::Test {
protected:
    RegistrySandbox registry;
    FixedClock clock{2002, 5, 7};
    MessageBoxResponder boxes;
    std::unique_ptr<TestCalendarDlg> dlg;

    void Open(bool show = true) {
        dlg = std::make_unique<TestCalendarDlg>();
        ASSERT_TRUE(dlg->Create(nullptr));
        if (show)
            dlg->ShowWindow(SW_SHOWNORMAL);
        PumpMessages();
    }
    HWND Hwnd() const { return dlg->GetSafeHwnd(); }
    HWND Item(int id) const { return GetDlgItem(dlg->GetSafeHwnd(), id); }
    // The rows of the appointment list, as the user sees them.
    int RowCount() const { return ListView_GetItemCount(Item(IDC_APPOINTMENT_LIST)); }
    void Command(int id) {
        SendMessageA(Hwnd(), WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
        PumpMessages();
    }
    void TearDown() override {
        if (dlg && dlg->GetSafeHwnd() != nullptr)
            dlg->DestroyWindow();
        dlg.reset();
        PumpMessages();
        EXPECT_EQ(0, boxes.Unexpected()) << "a message box came that the test did not expect";
    }
};

} // namespace qmtest
