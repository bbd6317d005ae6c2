// The main window's commands that open the About box.
#include "res/resource.h"
#include "tests/app/calendar_test_window.h"
#include "tests/support/modal_watch.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace qmtest {
namespace {

// The main window's ways into the About box; the main window owns the box,
// as in the program.
class AboutCommandTest : public CalendarWindowTest {
protected:
    std::unique_ptr<TestApp> app;

    void OpenOwned(bool show = true) {
        Open(show);
        app = std::make_unique<TestApp>(dlg.get());
        dlg->runRealAbout = true;
    }
    void SysCommand(WPARAM id) {
        SendMessageA(Hwnd(), WM_SYSCOMMAND, id, 0);
        PumpMessages();
    }
    void TearDown() override {
        app.reset();
        CalendarWindowTest::TearDown();
    }
};

TEST_F(AboutCommandTest, SystemMenuTrayMenuAndCommand32792OpenIt) {
    Open();
    SysCommand(IDM_ABOUTBOX);
    EXPECT_EQ(1, dlg->CountOf("about"));
    SysCommand(IDM_ABOUTBOX | 0x7);
    EXPECT_EQ(2, dlg->CountOf("about")) << "the low four bits are not part of the id";
    Command(ID_TRAY_ABOUT);
    EXPECT_EQ(3, dlg->CountOf("about"));
    Command(ID_ABOUT);
    EXPECT_EQ(4, dlg->CountOf("about"));
    SysCommand(0x0020);
    EXPECT_EQ(4, dlg->CountOf("about"));
    EXPECT_TRUE(IsWindowVisible(Hwnd()));
}

TEST_F(AboutCommandTest, OpeningItWhileHiddenLeavesTheWindowHiddenAndTheTimerAsItWas) {
    OpenOwned();
    Command(IDCANCEL);
    ASSERT_FALSE(IsWindowVisible(Hwnd()));
    ASSERT_TRUE(dlg->IsTimerRunning(1));
    const UINT period = dlg->TimerPeriod(1);

    auto openAndClose = [&](const std::function<void()>& open) {
        bool ownerHidden = false;
        bool ownerDisabled = false;
        HWND owner = nullptr;
        ModalWatch watch(HasCaption("About Quillmere"), [&](HWND about) {
            owner = GetWindow(about, GW_OWNER);
            ownerHidden = !IsWindowVisible(Hwnd());
            ownerDisabled = !IsWindowEnabled(Hwnd());
            ClickButton(about, IDOK);
        });
        open();
        EXPECT_TRUE(watch.Acted()) << "the About box did not show";
        EXPECT_EQ(Hwnd(), owner);
        EXPECT_TRUE(ownerHidden);
        EXPECT_TRUE(ownerDisabled);
        EXPECT_FALSE(IsWindowVisible(Hwnd()));
        EXPECT_TRUE(IsWindowEnabled(Hwnd()));
        EXPECT_TRUE(dlg->IsTimerRunning(1));
        EXPECT_EQ(period, dlg->TimerPeriod(1));
    };
    openAndClose([&] { Command(ID_TRAY_ABOUT); });
    openAndClose([&] { Command(ID_ABOUT); });
    openAndClose([&] { SysCommand(IDM_ABOUTBOX); });
    EXPECT_EQ(3, dlg->CountOf("about"));
}

TEST_F(AboutCommandTest, OpeningItWhileVisibleLeavesTheTimerStopped) {
    OpenOwned();
    ModalWatch watch(HasCaption("About Quillmere"),
                     [&](HWND about) { PostMessageA(about, WM_KEYDOWN, VK_ESCAPE, 0); });
    SysCommand(IDM_ABOUTBOX);
    EXPECT_TRUE(watch.Acted());
    EXPECT_TRUE(IsWindowVisible(Hwnd()));
    EXPECT_FALSE(dlg->IsTimerRunning(1));
    EXPECT_FALSE(FindShownDialog(HasCaption("About Quillmere")));
}

} // namespace
} // namespace qmtest
