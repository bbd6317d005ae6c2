// The splash card in the main window's start-up.
#include "res/resource.h"
#include "tests/app/calendar_test_window.h"
#include "tests/support/modal_watch.h"

#include <gtest/gtest.h>

#include <memory>

namespace qmtest {
namespace {

constexpr const char* kOptions = "SOFTWARE\\Calendar\\OPTIONS";

// The splash card: the one dialog without a caption that shows the maker's line.
bool IsSplash(HWND dialog) {
    return GetDlgItem(dialog, IDC_MAKER_NAME) != nullptr &&
           (GetWindowLongA(dialog, GWL_STYLE) & WS_CAPTION) != WS_CAPTION;
}

using SplashStartupTest = CalendarWindowTest;

TEST_F(SplashStartupTest, ShownOnlyWhenSplashIsExactlyOne) {
    Open(false);
    EXPECT_EQ(1, dlg->CountOf("splash")) << "no options stored: the splash is on";
    const struct {
        DWORD value;
        int splashes;
    } cases[] = {{1, 1}, {0, 0}, {2, 0}, {0xFFFFFFFF, 0}, {0x101, 0}};
    for (const auto& c : cases) {
        SetDword(kOptions, "SPLASH", c.value);
        Open(false);
        EXPECT_EQ(c.splashes, dlg->CountOf("splash")) << "SPLASH " << c.value;
    }
}

TEST_F(SplashStartupTest, RealSplashShowsBeforeTheWindowAndStartupGoesOnAfterEscape) {
    PutAppointment("2002-5-7", "Appointment 1", "2002-5-7", "2002-5-7", "dentist");
    dlg = std::make_unique<TestCalendarDlg>();
    dlg->runRealSplash = true;
    TestApp app(dlg.get());
    bool mainVisible = true;
    bool mainEnabled = true;
    HWND owner = nullptr;
    ModalWatch watch(IsSplash, [&](HWND splash) {
        HWND main = dlg->GetSafeHwnd();
        mainVisible = IsWindowVisible(main) != FALSE;
        mainEnabled = IsWindowEnabled(main) != FALSE;
        owner = GetWindow(splash, GW_OWNER);
        PostMessageA(splash, WM_KEYDOWN, VK_ESCAPE, 0);
    });
    const DWORD start = GetTickCount();
    ASSERT_TRUE(dlg->Create(nullptr));
    const DWORD elapsed = GetTickCount() - start;
    app.m_pMainWnd = nullptr;

    ASSERT_TRUE(watch.Acted()) << "the splash was never shown";
    EXPECT_EQ(dlg->GetSafeHwnd(), owner);
    EXPECT_FALSE(mainVisible);
    EXPECT_FALSE(mainEnabled) << "the main window waits while the splash shows";
    EXPECT_LT(elapsed, 2500u) << "Escape ends the splash early";
    EXPECT_TRUE(IsWindowEnabled(dlg->GetSafeHwnd()));
    // Start-up went on: today's appointment is listed and the fonts exist.
    EXPECT_EQ(1, dlg->List().GetItemCount());
    EXPECT_NE(nullptr, dlg->Look().BoldFont());
    EXPECT_FALSE(FindShownDialog(IsSplash));
}

} // namespace
} // namespace qmtest
