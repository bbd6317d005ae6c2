#include "res/resource.h"
#include "tests/app/calendar_test_window.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qmtest {
namespace {

// What the tray menu showed while it was open, read from a hook on the
// messages its owner gets, and what the hook then did to close it.
struct OpenMenu {
    int opened = 0;
    UINT defaultId = 0;
    std::vector<UINT> ids;
    std::vector<std::string> texts;
    POINT topLeft{-1, -1};
    // What to send to the menu once it is idle: 0 closes it with EndMenu.
    WPARAM key = 0;
};

OpenMenu* g_menu = nullptr;
bool g_closing = false;

LRESULT CALLBACK WatchMenu(int code, WPARAM wp, LPARAM lp) {
    const auto* call = reinterpret_cast<const CWPSTRUCT*>(lp);
    if (code == HC_ACTION && g_menu != nullptr) {
        if (call->message == WM_INITMENUPOPUP) {
            auto menu = reinterpret_cast<HMENU>(call->wParam);
            ++g_menu->opened;
            g_closing = false;
            g_menu->defaultId = GetMenuDefaultItem(menu, FALSE, 0);
            g_menu->ids.clear();
            g_menu->texts.clear();
            for (int i = 0; i < GetMenuItemCount(menu); ++i) {
                char text[64] = {};
                GetMenuStringA(menu, static_cast<UINT>(i), text, sizeof text, MF_BYPOSITION);
                g_menu->ids.push_back(GetMenuItemID(menu, i));
                g_menu->texts.push_back(text);
            }
        } else if (call->message == WM_ENTERIDLE && call->wParam == MSGF_MENU && !g_closing) {
            g_closing = true;
            auto window = reinterpret_cast<HWND>(call->lParam);
            RECT place{};
            if (window != nullptr && GetWindowRect(window, &place))
                g_menu->topLeft = POINT{place.left, place.top};
            if (g_menu->key == 0)
                EndMenu();
            else
                PostMessageA(window, WM_CHAR, g_menu->key, 0);
        }
    }
    return CallNextHookEx(nullptr, code, wp, lp);
}

class TrayIconTest : public CalendarWindowTest {
protected:
    OpenMenu menu;
    HHOOK hook = nullptr;

    void SetUp() override {
        SetDword("SOFTWARE\\Calendar\\OPTIONS", "TIMEOUT VALUE", 3);
        Open();
        g_menu = &menu;
        hook = SetWindowsHookExA(WH_CALLWNDPROC, &WatchMenu, nullptr, GetCurrentThreadId());
        ASSERT_NE(nullptr, hook);
    }
    void TearDown() override {
        UnhookWindowsHookEx(hook);
        g_menu = nullptr;
        CalendarWindowTest::TearDown();
    }
    LRESULT Notify(UINT mouseMessage) {
        LRESULT result = SendMessageA(Hwnd(), WM_USER, kTrayIconId, mouseMessage);
        PumpMessages();
        return result;
    }
    bool Visible() const { return IsWindowVisible(Hwnd()) != FALSE; }
};

TEST_F(TrayIconTest, IsAddedWithItsTipAndCallbackAndARemovalSurvivesAShellRestart) {
    const NOTIFYICONDATAW& data = dlg->TrayIcon().Data();
    EXPECT_EQ(Hwnd(), data.hWnd);
    EXPECT_EQ(128u, data.uID);
    EXPECT_EQ(static_cast<UINT>(WM_USER), data.uCallbackMessage);
    EXPECT_STREQ(L"Calender and Notes", data.szTip);
    EXPECT_EQ(static_cast<UINT>(NIF_ICON | NIF_TIP | NIF_MESSAGE), data.uFlags);
    EXPECT_NE(nullptr, data.hIcon);
    EXPECT_TRUE(dlg->TrayIcon().IsShown());

    // Removed on purpose, a shell restart does not bring it back.
    dlg->TrayIcon().SetIcon(0u);
    EXPECT_EQ(nullptr, data.hIcon);
    SendMessageA(Hwnd(), RegisterWindowMessageA("TaskbarCreated"), 0, 0);
    EXPECT_FALSE(dlg->TrayIcon().IsShown());
    EXPECT_EQ(nullptr, data.hIcon);
}

TEST_F(TrayIconTest, RightButtonPressOpensTheMenuAtTheCursorWithItsDefault) {
    ASSERT_TRUE(SetCursorPos(300, 200));
    POINT cursor{};
    GetCursorPos(&cursor);
    EXPECT_EQ(1, Notify(WM_RBUTTONDOWN));
    ASSERT_EQ(1, menu.opened);
    EXPECT_EQ(static_cast<UINT>(ID_TRAY_CALENDAR_NOTES), menu.defaultId);
    EXPECT_EQ((std::vector<std::string>{"&Calender && Notes", "", "Settings", "", "Show Reminder",
                                        "Mi&nimize", "&Unload", "", "&About Quillmere"}),
              menu.texts);
    EXPECT_EQ(cursor.x, menu.topLeft.x);
    EXPECT_EQ(cursor.y, menu.topLeft.y);
    EXPECT_TRUE(Visible()) << "closing the menu chooses nothing";
    EXPECT_FALSE(dlg->IsTimerRunning(1));
}

TEST_F(TrayIconTest, OtherMouseMessagesOpenNoMenu) {
    struct Case {
        UINT message;
        LRESULT result;
    };
    for (const Case& c :
         {Case{WM_RBUTTONUP, 1}, Case{WM_RBUTTONDBLCLK, 1}, Case{WM_MOUSEMOVE, 0},
          Case{WM_LBUTTONDOWN, 0}, Case{WM_LBUTTONUP, 1}, Case{WM_MBUTTONDOWN, 1}}) {
        Command(ID_TRAY_MINIMIZE);
        EXPECT_EQ(c.result, Notify(c.message)) << c.message;
        EXPECT_EQ(0, menu.opened) << c.message;
        EXPECT_FALSE(Visible()) << c.message;
    }
    // The left double-click is the menu's first command.
    EXPECT_EQ(1, Notify(WM_LBUTTONDBLCLK));
    EXPECT_EQ(0, menu.opened);
    EXPECT_TRUE(Visible());
    EXPECT_FALSE(dlg->IsTimerRunning(1));
}

// The shell's keyboard focus on the icon: Enter or Space (NIN_KEYSELECT) and
// the menu key or Shift+F10 (WM_CONTEXTMENU) open the menu, from which every
// command is chosen; the WM_CONTEXTMENU that follows a right click does not
// open it twice.
TEST_F(TrayIconTest, TheKeyboardOpensTheMenuOnceForEachRequest) {
    EXPECT_EQ(1, Notify(kKeySelect));
    EXPECT_EQ(1, menu.opened);
    EXPECT_EQ(static_cast<UINT>(ID_TRAY_CALENDAR_NOTES), menu.defaultId);
    EXPECT_EQ(1, Notify(WM_CONTEXTMENU));
    EXPECT_EQ(2, menu.opened);

    EXPECT_EQ(1, Notify(WM_RBUTTONDOWN));
    EXPECT_EQ(3, menu.opened);
    EXPECT_EQ(1, Notify(WM_RBUTTONUP));
    EXPECT_EQ(1, Notify(WM_CONTEXTMENU));
    EXPECT_EQ(3, menu.opened) << "the right click's own WM_CONTEXTMENU";
    EXPECT_EQ(1, Notify(WM_CONTEXTMENU));
    EXPECT_EQ(4, menu.opened);
}

TEST_F(TrayIconTest, AnItemChosenFromTheMenuReachesTheWindow) {
    menu.key = 'n'; // "Mi&nimize"
    EXPECT_EQ(1, Notify(WM_RBUTTONDOWN));
    ASSERT_EQ(1, menu.opened);
    PumpUntil([this] { return !Visible(); }, 2000);
    EXPECT_FALSE(Visible());
    EXPECT_EQ(3u * 60000u, dlg->TimerPeriod(1));
}

TEST_F(TrayIconTest, EveryMenuCommandReachesItsHandler) {
    Notify(WM_RBUTTONDOWN);
    ASSERT_EQ(9u, menu.ids.size());
    auto send = [this](UINT id) {
        SendMessageA(Hwnd(), WM_COMMAND, MAKEWPARAM(id, 0), 0);
        PumpMessages();
    };
    // Positions as the menu lists them; separators have no command.
    send(menu.ids[5]);
    EXPECT_FALSE(Visible()) << menu.texts[5];
    EXPECT_TRUE(dlg->IsTimerRunning(1));
    send(menu.ids[0]);
    EXPECT_TRUE(Visible()) << menu.texts[0];
    EXPECT_FALSE(dlg->IsTimerRunning(1));
    send(menu.ids[2]);
    EXPECT_EQ(1, dlg->CountOf("settings")) << menu.texts[2];
    send(menu.ids[4]);
    EXPECT_EQ(1, dlg->CountOf("reminder")) << menu.texts[4];
    send(menu.ids[8]);
    EXPECT_EQ(1, dlg->CountOf("about")) << menu.texts[8];
    boxes.Answer(IDNO);
    send(menu.ids[6]);
    ASSERT_EQ(1u, boxes.Count()) << menu.texts[6];
    EXPECT_EQ("Unload Quillmere?", boxes.Last().text);
}

TEST_F(TrayIconTest, EnterStillPressesGoTodayThoughItsQuestionIsWmUser) {
    // The dialog manager asks for the default button with DM_GETDEFID, which
    // is WM_USER; the tray icon must not take it.
    EXPECT_EQ(MAKELRESULT(IDC_GO_TODAY, DC_HASDEFID), SendMessageA(Hwnd(), DM_GETDEFID, 0, 0));
    SYSTEMTIME today{};
    ASSERT_TRUE(dlg->Calendar().GetToday(today));
    Command(IDC_NEXT_DAY);
    Command(IDC_NEXT_DAY);
    SetFocus(Item(IDC_MONTHCAL));
    MSG enter{Item(IDC_MONTHCAL), WM_KEYDOWN, VK_RETURN, 0x001C0001, 0, {}};
    EXPECT_TRUE(dlg->PreTranslateMessage(&enter));
    PumpMessages();
    SYSTEMTIME shown{};
    ASSERT_TRUE(dlg->Calendar().GetCurSel(shown));
    EXPECT_EQ(today.wYear, shown.wYear);
    EXPECT_EQ(today.wMonth, shown.wMonth);
    EXPECT_EQ(today.wDay, shown.wDay);
    EXPECT_EQ(0, menu.opened);
    EXPECT_NE(nullptr, dlg->GetSafeHwnd());
}

} // namespace
} // namespace qmtest
