#include "res/resource.h"
#include "tests/support/calendar_test_window.h"
#include "tray/reminder_lines.h"

#include <gtest/gtest.h>

#include <string>

namespace qmtest {
namespace {

std::string ReminderText(HWND popup) {
    char text[512] = {};
    GetDlgItemTextA(popup, IDC_REMINDER_TEXT, text, sizeof text);
    return text;
}

// The reminder timer, the triggers and the real reminder thread with its
// pop-up, on the main window of 7 May 2002.
class ReminderCycleWindowTest : public CalendarWindowTest {
protected:
    void SetUp() override { SetDword("SOFTWARE\\Calendar\\OPTIONS", "TIMEOUT VALUE", 4); }
    void OpenReal() {
        Open();
        dlg->runRealReminder = true;
    }
    void PutCurrent(const std::string& key, const std::string& notes) {
        PutAppointment("2002-5-7", key, "2002-5-7", "2002-5-7", notes);
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

TEST_F(ReminderCycleWindowTest, TriggersStartAScanOnlyWhileNoReminderIsBusy) {
    Open();
    Command(ID_TRAY_MINIMIZE);
    SendMessageA(Hwnd(), WM_TIMER, 1, 0);
    Command(ID_TRAY_SHOW_REMINDER);
    EXPECT_EQ(2, dlg->CountOf("reminder"));

    dlg->SetReminderBusy(1);
    SendMessageA(Hwnd(), WM_TIMER, 1, 0);
    Command(ID_TRAY_SHOW_REMINDER);
    EXPECT_EQ(2, dlg->CountOf("reminder")) << "nothing happens while a reminder is busy";
    EXPECT_EQ(4u * 60000u, dlg->TimerPeriod(1)) << "and the timer is left alone";
}

TEST_F(ReminderCycleWindowTest, ShowReminderWithNothingCurrentShowsNothingAndFreesTheFlag) {
    PutAppointment("2002-5-7", "Appointment 1", "2002-5-8", "2002-5-9", "tomorrow");
    OpenReal();
    for (int round = 1; round <= 2; ++round) {
        Command(ID_TRAY_SHOW_REMINDER);
        ASSERT_TRUE(WaitForThreads());
        EXPECT_EQ(0, dlg->IsReminderBusy());
        EXPECT_EQ(nullptr, dlg->ReminderWindow());
        EXPECT_FALSE(dlg->IsTimerRunning(1)) << "no pop-up closed, so no restart";
    }
    EXPECT_EQ(2, dlg->CountOf("reminder")) << "the next trigger scans again";
}

TEST_F(ReminderCycleWindowTest, APopupBlocksFurtherTriggersAndItsCloseRestartsTheTimer) {
    PutCurrent("Appointment 1", "Dentist");
    PutCurrent("Appointment 2", "Call Anna");
    OpenReal();
    // Two triggers in a row, the second before the first scan is done.
    Command(ID_TRAY_SHOW_REMINDER);
    Command(ID_TRAY_SHOW_REMINDER);
    HWND popup = WaitForPopup();
    ASSERT_NE(nullptr, popup);
    EXPECT_EQ(1, dlg->ActiveReminderThreads());
    EXPECT_EQ(1, dlg->IsReminderBusy());
    EXPECT_EQ("1. ", ReminderText(popup).substr(0, 3));

    SendMessageA(Hwnd(), WM_TIMER, 1, 0);
    Command(ID_TRAY_SHOW_REMINDER);
    PumpMessages(50);
    EXPECT_EQ(1, dlg->ActiveReminderThreads()) << "no second scan while a pop-up is open";
    EXPECT_EQ(popup, dlg->ReminderWindow());

    ASSERT_TRUE(IsWindowVisible(Hwnd()));
    ASSERT_FALSE(dlg->IsTimerRunning(1));
    PostMessageA(popup, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
    ASSERT_TRUE(WaitForThreads());
    EXPECT_FALSE(IsWindow(popup));
    EXPECT_EQ(0, dlg->IsReminderBusy());
    EXPECT_TRUE(PumpUntil([this] { return dlg->IsTimerRunning(1); }))
        << "closing the pop-up starts the timer, though the window is shown";
    EXPECT_EQ(4u * 60000u, dlg->TimerPeriod(1));
    EXPECT_TRUE(IsWindowVisible(Hwnd()));

    // A later trigger opens a new pop-up.
    SendMessageA(Hwnd(), WM_TIMER, 1, 0);
    popup = WaitForPopup();
    ASSERT_NE(nullptr, popup);
    PostMessageA(popup, WM_CLOSE, 0, 0);
    ASSERT_TRUE(WaitForThreads());
    EXPECT_EQ(0, dlg->IsReminderBusy());
}

TEST_F(ReminderCycleWindowTest, UnloadWhileAPopupIsOpenClosesItAndEndsCleanly) {
    PutCurrent("Appointment 1", "Dentist");
    for (int round = 0; round < 20; ++round) {
        SCOPED_TRACE(round);
        OpenReal();
        Command(ID_TRAY_MINIMIZE);
        Command(ID_TRAY_SHOW_REMINDER);
        HWND popup = WaitForPopup();
        ASSERT_NE(nullptr, popup);
        // Sometimes during the slide, sometimes once it is in place.
        PumpMessages(static_cast<DWORD>(round * 60));
        Unload();
        EXPECT_EQ(nullptr, dlg->GetSafeHwnd());
        EXPECT_EQ(0, dlg->ActiveReminderThreads()) << "Unload waits for the reminder thread";
        EXPECT_FALSE(IsWindow(popup));
        EXPECT_FALSE(dlg->m_trayIcon.IsShown());
        dlg.reset();
        PumpMessages();
    }
}

TEST_F(ReminderCycleWindowTest, UnloadWhileAScanRunsEndsCleanly) {
    for (int day = 1; day <= 28; ++day)
        for (int i = 1; i <= 3; ++i)
            PutAppointment("2002-4-" + std::to_string(day), "Appointment " + std::to_string(i),
                           "2002-4-1", "2002-5-31", "note");
    for (int round = 0; round < 20; ++round) {
        SCOPED_TRACE(round);
        OpenReal();
        Command(ID_TRAY_SHOW_REMINDER);
        if (round % 2 == 1)
            PumpMessages(static_cast<DWORD>(round));
        Unload();
        EXPECT_EQ(nullptr, dlg->GetSafeHwnd());
        EXPECT_EQ(0, dlg->ActiveReminderThreads());
        EXPECT_EQ(nullptr, dlg->ReminderWindow()) << "no pop-up opens after Unload";
        dlg.reset();
        PumpMessages();
    }
}

TEST_F(ReminderCycleWindowTest, DestroyingTheWindowAnyOtherWayAlsoWaitsForTheReminder) {
    PutCurrent("Appointment 1", "Dentist");
    OpenReal();
    Command(ID_TRAY_SHOW_REMINDER);
    HWND popup = WaitForPopup();
    ASSERT_NE(nullptr, popup);
    dlg->DestroyWindow();
    EXPECT_EQ(0, dlg->ActiveReminderThreads());
    EXPECT_FALSE(IsWindow(popup));
}

} // namespace
} // namespace qmtest
