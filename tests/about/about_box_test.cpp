#include "about/about_dlg.h"
#include "res/resource.h"
#include "tests/support/modal_watch.h"
#include "tests/support/calendar_test_window.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace qmtest {
namespace {

HFONT FontOf(HWND control) {
    return reinterpret_cast<HFONT>(SendMessageA(control, WM_GETFONT, 0, 0));
}

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

TEST(AboutDlgTest, NamesTheProgramAndItsMakerInBoldArialOnTheStandardColours) {
    CAboutDlg about;
    ASSERT_TRUE(about.Create(nullptr));
    HWND box = about.GetSafeHwnd();
    EXPECT_EQ("About Quillmere", TextOf(box));
    EXPECT_EQ("OK", TextOf(GetDlgItem(box, IDOK)));
    EXPECT_EQ("Quillmere", TextOf(GetDlgItem(box, IDC_PRODUCT_NAME)));
    EXPECT_EQ("The Quillmere Project", TextOf(GetDlgItem(box, IDC_MAKER_NAME)));
    EXPECT_EQ("quillmere.example.org", TextOf(GetDlgItem(box, IDC_MAKER_WEB)));

    HFONT dialogFont = reinterpret_cast<HFONT>(SendMessageA(box, WM_GETFONT, 0, 0));
    HDC dc = GetDC(box);
    for (HWND child = GetWindow(box, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
        const UINT message = GetDlgCtrlID(child) == IDOK ? WM_CTLCOLORBTN : WM_CTLCOLORSTATIC;
        HBRUSH brush = reinterpret_cast<HBRUSH>(SendMessageA(
            box, message, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(child)));
        LOGBRUSH colour{};
        ASSERT_NE(0, GetObjectA(brush, sizeof colour, &colour)) << GetDlgCtrlID(child);
        EXPECT_EQ(GetSysColor(COLOR_3DFACE), colour.lbColor) << GetDlgCtrlID(child);
    }
    ReleaseDC(box, dc);

    ASSERT_TRUE(about.m_font);
    LOGFONTA font{};
    ASSERT_NE(0, GetObjectA(about.m_font.get(), sizeof font, &font));
    EXPECT_STREQ("Arial", font.lfFaceName);
    EXPECT_EQ(14, font.lfHeight);
    EXPECT_EQ(FW_BOLD, font.lfWeight);
    for (int id : {IDC_PRODUCT_NAME, IDC_MAKER_NAME, IDC_MAKER_WEB})
        EXPECT_EQ(about.m_font.get(), FontOf(GetDlgItem(box, id))) << id;
    int dialogFonts = 0;
    for (HWND child = GetWindow(box, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
        const std::string text = TextOf(child);
        if (text == "A Tool from" || text == "Worldwide" || text == "OK") {
            EXPECT_EQ(dialogFont, FontOf(child)) << text;
            ++dialogFonts;
        }
    }
    EXPECT_EQ(3, dialogFonts);

    SendMessageA(box, WM_COMMAND, IDOK, reinterpret_cast<LPARAM>(GetDlgItem(box, IDOK)));
    EXPECT_EQ(IDOK, about.ModalResult());
}

} // namespace
} // namespace qmtest
