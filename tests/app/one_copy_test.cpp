#include "app/single_instance.h"
#include "res/resource.h"
#include "tests/app/calendar_test_window.h"
#include "tests/support/program_process.h"

#include <gtest/gtest.h>

#include <sddl.h>
#include <aclapi.h>

#include <memory>
#include <string>

namespace qmtest {
namespace {

// A name of this test's own, so that no running copy of the program is asked.
std::string TestMutexName() {
    return "Local\\QuillmereTest.OneCopy." + std::to_string(GetCurrentProcessId());
}

// The installer and the uninstaller saw only copies in their own session, and
// with the start at sign-in for every user, copies in other users' sessions
// are common. Every running copy now also holds a marker in the machine's
// namespace that anyone may open to wait on, until the last copy anywhere
// ends. Wine has one session: a copy in another session is played by one
// with a session mutex of its own.
TEST(OneCopyMarkerTest, EveryRunningCopyHoldsAMarkerThatAnyUserMayOpenUntilTheLastOneEnds) {
    const std::string marker =
        "Global\\QuillmereTest.Running." + std::to_string(GetCurrentProcessId());
    const auto markerOpens = [&] {
        fw::unique_handle opened(OpenMutexA(SYNCHRONIZE, FALSE, marker.c_str()));
        return static_cast<bool>(opened);
    };
    auto first = std::make_unique<CSingleInstance>(TestMutexName(), marker);
    EXPECT_FALSE(markerOpens());
    ASSERT_TRUE(first->Claim(false));
    EXPECT_TRUE(markerOpens()) << "a running copy is seen from every session";

    // What it lets others do, read back: wait on it, nothing more.
    fw::unique_handle readable(OpenMutexA(READ_CONTROL, FALSE, marker.c_str()));
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    char* sddl = nullptr;
    ASSERT_EQ(static_cast<DWORD>(ERROR_SUCCESS),
              GetSecurityInfo(readable.get(), SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                              nullptr, nullptr, nullptr, &descriptor));
    ASSERT_TRUE(ConvertSecurityDescriptorToStringSecurityDescriptorA(
        descriptor, SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &sddl, nullptr));
    EXPECT_STREQ("D:(A;;0x100000;;;WD)", sddl);
    LocalFree(sddl);
    LocalFree(descriptor);
    readable.reset();

    auto otherSession = std::make_unique<CSingleInstance>(TestMutexName() + ".other", marker);
    ASSERT_TRUE(otherSession->Claim(false)) << "one copy per session, as before";
    first.reset();
    EXPECT_TRUE(markerOpens()) << "the copy in the other session still runs";
    otherSession.reset();
    EXPECT_FALSE(markerOpens());
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
