#include "app/single_instance.h"
#include "res/resource.h"
#include "tests/app/calendar_test_window.h"
#include "tests/support/program_process.h"

#include <gtest/gtest.h>

#include <string>

namespace qmtest {
namespace {

// A name of this test's own, so that no running copy of the program is asked.
std::string TestMutexName() {
    return "Local\\QuillmereTest.OneCopy." + std::to_string(GetCurrentProcessId());
}

// A second launch used to make a second copy: two tray icons, two timers and
// every reminder twice. Now it shows the running copy's window as "&Calender
// && Notes" does and ends; a later start at sign-in leaves it hidden.
using OneCopyTest = CalendarWindowTest;

TEST_F(OneCopyTest, ALaterLaunchShowsTheRunningCopysWindowAndEnds) {
    Open();
    Command(ID_TRAY_MINIMIZE);
    ASSERT_FALSE(IsWindowVisible(Hwnd()));
    ASSERT_TRUE(dlg->IsTimerRunning(1));

    auto first = std::make_unique<CSingleInstance>(TestMutexName());
    ASSERT_TRUE(first->Claim(true)) << "the first copy runs";
    {
        CSingleInstance signIn(TestMutexName());
        EXPECT_FALSE(signIn.Claim(false));
        PumpMessages(50);
        EXPECT_FALSE(IsWindowVisible(Hwnd())) << "a later minimised launch shows nothing";
        EXPECT_TRUE(dlg->IsTimerRunning(1));
    }
    {
        CSingleInstance later(TestMutexName());
        EXPECT_FALSE(later.Claim(true));
        PumpMessages(50);
        EXPECT_TRUE(IsWindowVisible(Hwnd()));
        EXPECT_FALSE(dlg->IsTimerRunning(1)) << "shown as by \"&Calender && Notes\"";
    }
    first.reset();
    CSingleInstance next(TestMutexName());
    EXPECT_TRUE(next.Claim(true)) << "once the running copy has ended, a launch runs";
}

// The same with real processes: the second one leaves one process, one tray
// icon and the first copy's window shown.
TEST(OneCopyProcessTest, ASecondProcessLeavesOneCopyWithItsWindowShown) {
    PrefixStore store;
    const int iconsBefore = TrayIconCount();
    ProgramProcess first;
    HWND main = nullptr;
    ASSERT_TRUE(PumpUntil(
        [&] {
            main = first.MainWindow();
            return main != nullptr && IsWindowVisible(main);
        },
        30000));
    PostMessageA(main, WM_COMMAND, ID_TRAY_MINIMIZE, 0);
    ASSERT_TRUE(PumpUntil([&] { return !IsWindowVisible(main); }));

    ProgramProcess second;
    // Watched while it lives: no splash, no window of its own.
    int secondWindows = 0;
    for (DWORD waited = 0; second.Running() && waited < 10000; waited += 5) {
        secondWindows += second.VisibleWindows();
        Sleep(5);
    }
    DWORD exitCode = 1;
    ASSERT_TRUE(second.WaitForExit(10000, &exitCode)) << "the second copy ends at once";
    EXPECT_EQ(0u, exitCode);
    EXPECT_EQ(0, secondWindows);

    EXPECT_TRUE(PumpUntil([&] { return IsWindowVisible(main) != FALSE; }))
        << "the first copy's window comes forward";
    EXPECT_EQ(1, RunningCopies());
    EXPECT_EQ(iconsBefore + 1, TrayIconCount());
    EXPECT_TRUE(first.Running());
}

} // namespace
} // namespace qmtest
