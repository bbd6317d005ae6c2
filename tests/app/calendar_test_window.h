#pragma once

#include "about/about_dlg.h"
#include "about/splash_dlg.h"
#include "app/calendar_dlg.h"
#include "app/day_view.h"
#include "app/list_commands.h"
#include "app/program_dialogs.h"
#include "app/reminder_timing.h"
#include "app/startup_steps.h"
#include "app/window_modes.h"
#include "app/window_look.h"
#include "framework/controls.h"
#include "res/resource.h"
#include "settings/settings_dlg.h"
#include "tests/support/message_box_responder.h"
#include "tests/support/registry_sandbox.h"
#include "tests/support/window_testing.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
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

    TestCalendarDlg() {
        Controller<CStartupSteps>().runSplash = [this] {
            Record("splash");
            if (runRealSplash)
                RunSplash();
        };
        Controller<CProgramDialogs>().runAboutBox = [this] {
            Record("about");
            if (runRealAbout)
                RunAboutBox();
        };
        Controller<CProgramDialogs>().runSettings = [this]() -> std::optional<int> {
            Record("settings");
            return runRealSettings ? RunSettings() : std::nullopt;
        };
        Timing().startReminderThread = [this](bool timed) {
            Record("reminder");
            if (runRealReminder)
                Reminders().Trigger(timed);
        };
    }

    void Record(const std::string& what) {
        events.push_back(what + (m_hWnd != nullptr && IsWindowVisible(m_hWnd) ? "(visible)" : ""));
    }
    int CountOf(const std::string& what) const {
        int n = 0;
        for (const auto& e : events)
            n += e.rfind(what, 0) == 0 ? 1 : 0;
        return n;
    }

    // The window's controllers, and what tests read of them.
    template <class C> C& Controller() const { return *FindHandler<C>(); }
    CDayView& DayView() const { return Controller<CDayView>(); }
    CReminderTiming& Timing() const { return Controller<CReminderTiming>(); }
    CReminderCycle& Reminders() const { return Timing().Cycle(); }
    CWindowLook& Look() const { return Controller<CWindowLook>(); }
    HWND ReminderWindow() const { return Reminders().PopupWindow(); }
    int ActiveReminderThreads() const { return Reminders().ActiveThreads(); }
    int IsReminderBusy() const { return Reminders().IsBusy(); }
    int ReminderMinutes() const { return Timing().ReminderMinutes(); }
    // The list and the calendar as the user sees them.
    fw::ListView List() const {
        fw::ListView list;
        list.Attach(GetDlgItem(IDC_APPOINTMENT_LIST));
        return list;
    }
    fw::MonthCal Calendar() const {
        fw::MonthCal calendar;
        calendar.Attach(GetDlgItem(IDC_MONTHCAL));
        return calendar;
    }

protected:
    void AddTrayIcon() override {
        Record("tray");
        CCalendarDlg::AddTrayIcon();
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
