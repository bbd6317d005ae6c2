#include "res/resource.h"
#include "tests/app/calendar_test_window.h"
#include "tests/support/modal_watch.h"
#include "tests/support/program_process.h"

#include <gtest/gtest.h>

namespace qmtest {
namespace {

// What the main window looked like at one moment of a hidden start.
struct Seen {
    bool reached = false;
    bool visible = true;
    bool appWindow = false;
    bool trayIcon = false;
    UINT timerPeriod = 0;
    bool shownNormally = false;
    int rows = -1;
};

// A start at sign-in runs from a shortcut set to run minimised. It used to
// show the window with the reminder timer stopped, so it stayed silent until
// someone hid it.
using HiddenStartTest = CalendarWindowTest;

TEST_F(HiddenStartTest, AMinimisedLaunchRunsTheStartUpAndEndsHiddenWithTheTimerRunning) {
    SetDword("SOFTWARE\\Calendar\\OPTIONS", "TIMEOUT VALUE", 7);
    PutAppointment("2002-5-7", "Appointment 1", "2002-5-7", "2002-5-7", "Lunch");
    dlg = std::make_unique<TestCalendarDlg>();
    dlg->StartHidden();
    TestApp app(dlg.get());

    // Once the start-up has set the timer: look, then bring the window up
    // from the tray, then Unload.
    static TestCalendarDlg* s_dlg;
    static Seen s_seen;
    s_dlg = dlg.get();
    s_seen = Seen{};
    UINT_PTR timer = SetTimer(nullptr, 0, 20, [](HWND, UINT, UINT_PTR id, DWORD) {
        HWND hwnd = s_dlg->GetSafeHwnd();
        if (hwnd == nullptr)
            return;
        if (!s_seen.reached) {
            if (!s_dlg->IsTimerRunning(1))
                return;
            s_seen.reached = true;
            s_seen.visible = IsWindowVisible(hwnd) != FALSE;
            s_seen.appWindow = (GetWindowLongA(hwnd, GWL_EXSTYLE) & WS_EX_APPWINDOW) != 0;
            s_seen.trayIcon = s_dlg->TrayIcon().IsShown();
            s_seen.timerPeriod = s_dlg->TimerPeriod(1);
            s_seen.rows = s_dlg->List().GetItemCount();
            PostMessageA(hwnd, WM_COMMAND, ID_TRAY_CALENDAR_NOTES, 0);
            return;
        }
        if (IsWindowVisible(hwnd)) {
            KillTimer(nullptr, id);
            s_seen.shownNormally = !IsIconic(hwnd) && !s_dlg->IsTimerRunning(1);
            PostMessageA(hwnd, WM_COMMAND, ID_FILE_UNLOAD, 0);
        }
    });
    boxes.Answer(IDYES);
    dlg->DoModal();
    KillTimer(nullptr, timer);
    app.m_pMainWnd = nullptr;

    ASSERT_TRUE(s_seen.reached);
    EXPECT_EQ((std::vector<std::string>{"tray", "splash", "shown"}), dlg->events)
        << "the whole start-up runs, and the window shows only when asked for";
    EXPECT_FALSE(s_seen.visible);
    // A window with WS_EX_APPWINDOW has a taskbar button only while visible.
    EXPECT_TRUE(s_seen.appWindow);
    EXPECT_TRUE(s_seen.trayIcon);
    EXPECT_EQ(7u * 60000u, s_seen.timerPeriod);
    EXPECT_EQ(1, s_seen.rows) << "today's list is filled as usual";
    EXPECT_TRUE(s_seen.shownNormally) << "\"&Calender && Notes\" shows it as usual";
    EXPECT_EQ(1u, boxes.Count()) << "only the Unload question";
}

// The same from a real shortcut's show command: hidden from the start, with
// its icon in the notification area and no window on screen.
TEST(HiddenStartProcessTest, AMinimisedLaunchShowsNoWindowAndAddsItsTrayIcon) {
    PrefixStore store;
    const int iconsBefore = TrayIconCount();
    ProgramProcess program(SW_SHOWMINIMIZED);
    int windowsSeen = 0;
    HWND main = nullptr;
    const DWORD start = GetTickCount();
    // Watched every few milliseconds until it has settled: its window made,
    // its icon added and its modal loop answering messages.
    while (GetTickCount() - start < 30000) {
        windowsSeen += program.VisibleWindows();
        main = program.MainWindow();
        DWORD_PTR answer = 0;
        if (main != nullptr && TrayIconCount() == iconsBefore + 1 &&
            SendMessageTimeoutA(main, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &answer))
            break;
        Sleep(5);
    }
    ASSERT_NE(nullptr, main);
    for (int i = 0; i < 40; ++i) {
        windowsSeen += program.VisibleWindows();
        Sleep(5);
    }
    EXPECT_EQ(0, windowsSeen) << "no window, so no taskbar button, ever";
    EXPECT_FALSE(IsWindowVisible(main));
    EXPECT_EQ(iconsBefore + 1, TrayIconCount());
    EXPECT_TRUE(program.Running());

    PostMessageA(main, WM_COMMAND, ID_TRAY_CALENDAR_NOTES, 0);
    EXPECT_TRUE(PumpUntil([&] { return IsWindowVisible(main) != FALSE; }));
    EXPECT_FALSE(IsIconic(main)) << "shown normally, not minimised";
}

} // namespace
} // namespace qmtest
