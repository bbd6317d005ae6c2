#include "framework/app.h"
#include "res/resource.h"
#include "store/calendar_registry.h"
#include "tests/app/calendar_test_window.h"
#include "tests/support/modal_watch.h"

#include <gtest/gtest.h>

namespace qmtest {
namespace {

// Visible or hidden, and the reminder timer, after each event of the window's
// lifecycle.
class LifecycleTest : public CalendarWindowTest {
protected:
    void SetUp() override {
        SetDword("SOFTWARE\\Calendar\\OPTIONS", "TIMEOUT VALUE", 7);
        Open();
    }
    bool Visible() const { return IsWindowVisible(Hwnd()) != FALSE; }
    bool TimerRunning() const { return dlg->IsTimerRunning(1); }
    // Puts a marker period on the timer, so a restart can be told from no change.
    void MarkTimer() { dlg->SetTimer(1, 1234); }
};

TEST_F(LifecycleTest, StartsVisibleWithNoTimer) {
    EXPECT_TRUE(Visible());
    EXPECT_FALSE(TimerRunning());
}

TEST_F(LifecycleTest, CloseBoxAltF4AndEscapeHideAndStartTheTimer) {
    // The close box and Alt+F4 send WM_CLOSE; Escape becomes IDCANCEL.
    SendMessageA(Hwnd(), WM_CLOSE, 0, 0);
    PumpMessages();
    EXPECT_FALSE(Visible());
    EXPECT_TRUE(TimerRunning());
    EXPECT_EQ(7u * 60000u, dlg->TimerPeriod(1));
    EXPECT_NE(nullptr, dlg->GetSafeHwnd()) << "closing never ends the program";

    Command(ID_TRAY_CALENDAR_NOTES);
    ASSERT_TRUE(Visible());
    SetFocus(Item(IDC_MONTHCAL));
    MSG escape{Item(IDC_MONTHCAL), WM_KEYDOWN, VK_ESCAPE, 0x00010001, 0, {}};
    EXPECT_TRUE(dlg->PreTranslateMessage(&escape));
    PumpMessages();
    EXPECT_FALSE(Visible());
    EXPECT_EQ(7u * 60000u, dlg->TimerPeriod(1));
}

TEST_F(LifecycleTest, MinimizeHidesAndRestartsEvenWhenAlreadyHidden) {
    for (int command : {ID_FILE_MINIMIZE, ID_TRAY_MINIMIZE}) {
        Command(ID_TRAY_CALENDAR_NOTES);
        Command(command);
        EXPECT_FALSE(Visible()) << command;
        EXPECT_EQ(7u * 60000u, dlg->TimerPeriod(1)) << command;
        MarkTimer();
        Command(command);
        EXPECT_FALSE(Visible()) << command;
        EXPECT_EQ(7u * 60000u, dlg->TimerPeriod(1)) << "a hidden window's countdown restarts";
    }
}

TEST_F(LifecycleTest, CalenderAndNotesShowsAndStopsTheTimer) {
    Command(ID_FILE_MINIMIZE);
    ASSERT_TRUE(TimerRunning());
    Command(ID_TRAY_CALENDAR_NOTES);
    EXPECT_TRUE(Visible());
    EXPECT_FALSE(TimerRunning());
    // On a visible window it stays visible and still stops the timer.
    MarkTimer();
    Command(ID_TRAY_CALENDAR_NOTES);
    EXPECT_TRUE(Visible());
    EXPECT_FALSE(TimerRunning());
}

TEST_F(LifecycleTest, TrayDoubleClickShowsTheWindowAndOtherWmUserIsTheDialogs) {
    Command(ID_TRAY_MINIMIZE);
    ASSERT_FALSE(Visible());
    // WM_USER with another WPARAM is DM_GETDEFID: answered by the dialog
    // manager with the default button, not taken for a tray click.
    LRESULT defId = SendMessageA(Hwnd(), WM_USER, 0, WM_LBUTTONDBLCLK);
    EXPECT_EQ(MAKELRESULT(IDC_GO_TODAY, DC_HASDEFID), defId);
    EXPECT_FALSE(Visible());

    EXPECT_EQ(0, SendMessageA(Hwnd(), WM_USER, 128, WM_MOUSEMOVE));
    EXPECT_EQ(0, SendMessageA(Hwnd(), WM_USER, 128, WM_LBUTTONDOWN));
    EXPECT_EQ(1, SendMessageA(Hwnd(), WM_USER, 128, WM_LBUTTONUP));
    EXPECT_FALSE(Visible()) << "a single click does nothing";
    EXPECT_EQ(1, SendMessageA(Hwnd(), WM_USER, 128, WM_LBUTTONDBLCLK));
    EXPECT_TRUE(Visible());
    EXPECT_FALSE(TimerRunning());
}

TEST_F(LifecycleTest, UnloadAnsweredNoChangesNothing) {
    for (bool hidden : {false, true}) {
        if (hidden)
            Command(ID_TRAY_MINIMIZE);
        MarkTimer();
        boxes.Answer(IDNO);
        Command(hidden ? ID_TRAY_UNLOAD : ID_FILE_UNLOAD);
        ASSERT_EQ(1u, boxes.Count());
        const ShownMessageBox& box = boxes.Last();
        EXPECT_EQ("Unload Quillmere?", box.text);
        EXPECT_EQ("Confirm", box.caption);
        EXPECT_EQ("Confirm", box.shownCaption);
        EXPECT_EQ(0x124u, box.style);
        EXPECT_EQ(Hwnd(), box.owner);
        EXPECT_NE(nullptr, dlg->GetSafeHwnd());
        EXPECT_EQ(!hidden, Visible());
        EXPECT_EQ(1234u, dlg->TimerPeriod(1));
        EXPECT_TRUE(dlg->TrayIcon().IsShown());
        boxes.Clear();
    }
}

TEST_F(LifecycleTest, UnloadAnsweredYesRemovesTheIconAndTheWindow) {
    ASSERT_TRUE(dlg->TrayIcon().IsShown());
    boxes.Answer(IDYES);
    Command(ID_TRAY_UNLOAD);
    EXPECT_FALSE(dlg->TrayIcon().IsShown());
    EXPECT_EQ(nullptr, dlg->GetSafeHwnd());
}

TEST_F(LifecycleTest, AboutComesFromTheSystemMenuAndBothCommands) {
    Command(ID_TRAY_MINIMIZE);
    MarkTimer();
    SendMessageA(Hwnd(), WM_SYSCOMMAND, IDM_ABOUTBOX, 0);
    // Only the high twelve bits name a system command.
    SendMessageA(Hwnd(), WM_SYSCOMMAND, IDM_ABOUTBOX | 0x3, 0);
    Command(ID_TRAY_ABOUT);
    Command(ID_ABOUT);
    EXPECT_EQ(4, dlg->CountOf("about"));
    EXPECT_FALSE(Visible());
    EXPECT_EQ(1234u, dlg->TimerPeriod(1));
}

TEST_F(LifecycleTest, EnterNeverEndsTheMainWindow) {
    // An IDOK reaching the window (there is no OK button) must not end the
    // program the way a dialog's OK would.
    Command(IDOK);
    EXPECT_NE(nullptr, dlg->GetSafeHwnd());
    EXPECT_TRUE(Visible());
}

TEST_F(LifecycleTest, HelpShowsHowToUseTheProgram) {
    TestApp app(dlg.get());
    boxes.Answer(IDOK);
    HELPINFO help{};
    help.cbSize = sizeof help;
    SendMessageA(Hwnd(), WM_HELP, 0, reinterpret_cast<LPARAM>(&help));
    ASSERT_EQ(1u, boxes.Count());
    EXPECT_EQ("Quillmere Help", boxes.Last().caption);
    EXPECT_NE(std::string::npos, boxes.Last().text.find("Unload"));
    boxes.Answer(IDOK);
    Command(ID_HELP);
    EXPECT_EQ(2u, boxes.Count());
}

TEST_F(LifecycleTest, TheIconComesBackWhenTheTaskbarRestarts) {
    UINT taskbarCreated = RegisterWindowMessageA("TaskbarCreated");
    SendMessageA(Hwnd(), taskbarCreated, 0, 0);
    EXPECT_TRUE(dlg->TrayIcon().IsShown());
    EXPECT_EQ(static_cast<UINT>(NIF_ICON | NIF_TIP | NIF_MESSAGE), dlg->TrayIcon().Data().uFlags);
    // After Unload nothing comes back.
    boxes.Answer(IDYES);
    Command(ID_FILE_UNLOAD);
    EXPECT_FALSE(dlg->TrayIcon().IsShown());
}

} // namespace
} // namespace qmtest
