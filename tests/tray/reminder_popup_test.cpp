#include "framework/display.h"
#include "res/resource.h"
#include "tests/support/window_testing.h"
#include "tray/reminder_dlg.h"
#include "tray/reminder_lines.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace qmtest {
namespace {

// Stands in for the main window: counts what the pop-up tells it. The pop-up
// calls from its own thread, hence the atomics.
class FakeOwner : public IReminderOwner {
public:
    std::atomic<int> busyCleared{0};
    std::atomic<int> busySet{0};
    std::atomic<int> restarts{0};
    std::atomic<int> opened{0};
    std::atomic<int> closed{0};
    std::atomic<HWND> popup{nullptr};
    bool accept = true;

    std::atomic<int> freedWhileShown{0};

    void SetReminderBusy(int busy) override {
        ++(busy != 0 ? busySet : busyCleared);
        if (busy == 0 && IsWindowVisible(popup.load()))
            ++freedWhileShown;
    }
    void RestartReminderTimer() override { ++restarts; }
    bool ReminderOpened(HWND hwnd) override {
        ++opened;
        popup = hwnd;
        return accept;
    }
    void ReminderClosed(HWND hwnd) override {
        EXPECT_EQ(popup.load(), hwnd);
        ++closed;
    }
    void SnoozeReminders(int) override {}
    void DismissReminders() override {}
    // The close handling ran exactly once, in full.
    void ExpectClosedOnce() const {
        EXPECT_EQ(1, closed.load());
        EXPECT_EQ(1, busyCleared.load());
        EXPECT_EQ(1, restarts.load());
        EXPECT_EQ(0, busySet.load());
        EXPECT_EQ(0, freedWhileShown.load())
            << "a pop-up still on screen when the flag is freed can meet the next one";
    }
};

std::string TextOf(HWND dialog) {
    char text[512] = {};
    GetDlgItemTextA(dialog, IDC_REMINDER_TEXT, text, sizeof text);
    return text;
}

// A pop-up run as the reminder thread runs it: modally, on a thread of its own.
class ModalPopup {
public:
    explicit ModalPopup(const std::vector<std::string>& lines, bool ownerAccepts = true) {
        owner.accept = ownerAccepts;
        dlg.SetReminders(&owner, lines);
        m_thread = std::thread([this] {
            result = dlg.DoModal();
            done = true;
        });
    }
    ~ModalPopup() {
        if (m_thread.joinable()) {
            if (HWND hwnd = owner.popup.load())
                PostMessageA(hwnd, WM_CLOSE, 0, 0);
            m_thread.join();
        }
    }
    HWND WaitOpen() {
        PumpUntil([this] { return owner.popup.load() != nullptr; });
        return owner.popup.load();
    }
    bool WaitSlide() {
        return PumpUntil([this] { return dlg.IsSlideDone(); });
    }
    // True when DoModal returned in time; the thread is joined then.
    bool WaitEnd() {
        if (!PumpUntil([this] { return done.load(); }))
            return false;
        m_thread.join();
        return true;
    }

    FakeOwner owner;
    CReminderDlg dlg;
    std::atomic<bool> done{false};
    INT_PTR result = 0;

private:
    std::thread m_thread;
};

TEST(ReminderPopupTest, SlidesIntoTheLowerRightCornerThenShowsTheCloseButtonAndTicks) {
    ModalPopup run({"Dentist"});
    HWND popup = run.WaitOpen();
    ASSERT_NE(nullptr, popup);
    HWND closeButton = GetDlgItem(popup, IDC_REMINDER_CLOSE);
    EXPECT_FALSE(IsWindowVisible(closeButton)) << "no 'x' while sliding";
    EXPECT_FALSE(run.dlg.IsTimerRunning(kLineTimerId));

    ASSERT_TRUE(run.WaitSlide());
    EXPECT_TRUE(PumpUntil([&] { return run.dlg.IsTimerRunning(kLineTimerId); }));
    EXPECT_EQ(kLineTimerMs, run.dlg.TimerPeriod(kLineTimerId));
    EXPECT_TRUE(IsWindowVisible(popup));
    EXPECT_TRUE(IsWindowVisible(closeButton));
    EXPECT_NE(0, GetWindowLongA(popup, GWL_EXSTYLE) & WS_EX_TOPMOST);

    RECT screen{};
    GetWindowRect(GetDesktopWindow(), &screen);
    RECT placed{};
    GetWindowRect(popup, &placed);
    EXPECT_EQ(screen.right - 207, placed.left);
    EXPECT_EQ(screen.bottom - 115, placed.top);
    EXPECT_EQ(205, placed.right - placed.left);
    EXPECT_EQ(85, placed.bottom - placed.top);
    if (screen.right == 1024 && screen.bottom == 768) {
        EXPECT_EQ(817, placed.left);
        EXPECT_EQ(653, placed.top);
    }
    EXPECT_EQ("1. Dentist", TextOf(popup));
    EXPECT_EQ(0, run.owner.closed.load()) << "it never closes by itself";

    // The 'x' and the text lie inside the pop-up, whatever the dialog font's
    // size makes of the template's units, so the 'x' can be clicked.
    RECT client{};
    GetClientRect(popup, &client);
    for (int id : {IDC_REMINDER_CLOSE, IDC_REMINDER_TEXT}) {
        RECT item{};
        GetWindowRect(GetDlgItem(popup, id), &item);
        MapWindowPoints(nullptr, popup, reinterpret_cast<POINT*>(&item), 2);
        EXPECT_LE(item.right, client.right) << id;
        EXPECT_LE(item.bottom, client.bottom) << id;
    }
    RECT button{};
    GetWindowRect(closeButton, &button);
    EXPECT_EQ(closeButton, WindowFromPoint(POINT{(button.left + button.right) / 2,
                                                 (button.top + button.bottom) / 2}));
}

TEST(ReminderPopupTest, EveryWayOfClosingRunsTheCloseHandlingOnceAndEndsTheThread) {
    struct Way {
        const char* name;
        void (*close)(HWND popup);
        INT_PTR result;
    };
    const Way ways[] = {
        {"the x button",
         [](HWND popup) { SendMessageA(GetDlgItem(popup, IDC_REMINDER_CLOSE), BM_CLICK, 0, 0); },
         IDCANCEL},
        {"Esc", [](HWND popup) { PostMessageA(popup, WM_KEYDOWN, VK_ESCAPE, 0x00010001); },
         IDCANCEL},
        {"Enter", [](HWND popup) { PostMessageA(popup, WM_KEYDOWN, VK_RETURN, 0x001C0001); }, IDOK},
        {"WM_CLOSE (Alt+F4)", [](HWND popup) { PostMessageA(popup, WM_CLOSE, 0, 0); }, IDCANCEL},
    };
    for (const Way& way : ways) {
        SCOPED_TRACE(way.name);
        ModalPopup run({"one", "two"});
        HWND popup = run.WaitOpen();
        ASSERT_NE(nullptr, popup);
        ASSERT_TRUE(run.WaitSlide());
        way.close(popup);
        ASSERT_TRUE(run.WaitEnd());
        EXPECT_EQ(way.result, run.result);
        EXPECT_FALSE(IsWindow(popup));
        run.owner.ExpectClosedOnce();
    }
}

TEST(ReminderPopupTest, ClosingDuringTheSlideStopsItSafely) {
    for (int round = 0; round < 5; ++round) {
        ModalPopup run({"early"});
        HWND popup = run.WaitOpen();
        ASSERT_NE(nullptr, popup);
        ASSERT_TRUE(PumpUntil([&] { return run.dlg.SlideStep() >= kSlideFirstStep + round; }));
        if (round % 2 == 0)
            PostMessageA(popup, WM_CLOSE, 0, 0);
        else
            PostMessageA(popup, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
        ASSERT_TRUE(run.WaitEnd());
        EXPECT_TRUE(run.dlg.IsSlideDone());
        EXPECT_LT(run.dlg.SlideStep(), kSlideLastStep) << "the slide stopped with the pop-up";
        EXPECT_FALSE(IsWindow(popup));
        EXPECT_FALSE(run.dlg.IsTimerRunning(kLineTimerId));
        run.owner.ExpectClosedOnce();
    }
}

TEST(ReminderPopupTest, AnOwnerThatIsGoingAwayGetsNoPopup) {
    ModalPopup run({"late"}, false);
    ASSERT_TRUE(run.WaitEnd());
    EXPECT_EQ(1, run.owner.opened.load());
    EXPECT_EQ(1, run.owner.busyCleared.load());
    EXPECT_LT(run.dlg.SlideStep(), kSlideFirstStep) << "it never slid into view";
}

// The cycle, ticked by hand on a pop-up of this thread so no real tick comes
// between.
class ReminderCycleTest : public ::testing::Test {
protected:
    FakeOwner owner;
    CReminderDlg dlg;

    void Open(const std::vector<std::string>& lines) {
        dlg.SetReminders(&owner, lines);
        ASSERT_TRUE(dlg.Create(nullptr));
    }
    std::string Tick() {
        SendMessageA(dlg.GetSafeHwnd(), WM_TIMER, kLineTimerId, 0);
        return TextOf(dlg.GetSafeHwnd());
    }
    void TearDown() override {
        dlg.DestroyWindow();
        PumpMessages();
    }
};

TEST_F(ReminderCycleTest, ThreeLinesGoOneOneTwoThreeOne) {
    Open({"Dentist", "Call Anna", "Pay rent"});
    EXPECT_EQ("1. Dentist", TextOf(dlg.GetSafeHwnd()));
    std::vector<std::string> shown;
    for (int tick = 0; tick < 5; ++tick)
        shown.push_back(Tick());
    EXPECT_EQ((std::vector<std::string>{"1. Dentist", "2. Call Anna", "3. Pay rent", "1. Dentist",
                                        "2. Call Anna"}),
              shown);
}

TEST_F(ReminderCycleTest, OneLineIsAlwaysNumberedOne) {
    Open({"Only"});
    EXPECT_EQ("1. Only", TextOf(dlg.GetSafeHwnd()));
    for (int tick = 0; tick < 3; ++tick)
        EXPECT_EQ("1. Only", Tick());
}

TEST_F(ReminderCycleTest, AllOfManyLinesAreShownAndLongNotesAreCutForDisplay) {
    std::vector<std::string> lines;
    for (int i = 1; i <= 150; ++i)
        lines.push_back("Note " + std::to_string(i));
    lines.push_back(std::string(499, 'z'));
    Open(lines);
    ASSERT_EQ(151, dlg.LineCount());
    for (int i = 1; i <= 150; ++i)
        ASSERT_EQ(std::to_string(i) + ". Note " + std::to_string(i), Tick());
    EXPECT_EQ("151. " + std::string(299, 'z'), Tick());
    EXPECT_EQ("1. Note 1", Tick());
}

TEST_F(ReminderCycleTest, CloseHandlingRunsOnceWhateverComesAfter) {
    Open({"a"});
    HWND hwnd = dlg.GetSafeHwnd();
    SendMessageA(hwnd, WM_CLOSE, 0, 0);
    SendMessageA(hwnd, WM_COMMAND, IDCANCEL, 0);
    SendMessageA(hwnd, WM_COMMAND, IDOK, 0);
    SendMessageA(hwnd, WM_COMMAND, MAKEWPARAM(IDC_REMINDER_CLOSE, BN_CLICKED), 0);
    dlg.DestroyWindow();
    owner.ExpectClosedOnce();
    EXPECT_TRUE(dlg.IsSlideDone());
}

bool g_highContrast = false;
bool TestHighContrast() {
    return g_highContrast;
}

// Lavender behind transparent texts; under high contrast the system's window
// colour and window text, whatever they are.
TEST_F(ReminderCycleTest, BackgroundIsLavenderOrTheSystemsUnderHighContrast) {
    Open({"a"});
    HWND hwnd = dlg.GetSafeHwnd();
    struct Seen {
        COLORREF background;
        COLORREF text;
    };
    auto colours = [hwnd] {
        HDC dc = GetDC(hwnd);
        SetBkMode(dc, OPAQUE);
        SetTextColor(dc, RGB(1, 2, 3));
        auto staticBrush = reinterpret_cast<HBRUSH>(
            SendMessageA(hwnd, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                         reinterpret_cast<LPARAM>(GetDlgItem(hwnd, IDC_REMINDER_TEXT))));
        EXPECT_EQ(TRANSPARENT, GetBkMode(dc));
        auto dialogBrush = reinterpret_cast<HBRUSH>(SendMessageA(
            hwnd, WM_CTLCOLORDLG, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(hwnd)));
        const COLORREF text = GetTextColor(dc);
        ReleaseDC(hwnd, dc);
        EXPECT_EQ(staticBrush, dialogBrush);
        LOGBRUSH brush{};
        EXPECT_EQ(static_cast<int>(sizeof brush), GetObjectA(staticBrush, sizeof brush, &brush));
        return Seen{brush.lbColor, text};
    };
    const Seen normal = colours();
    EXPECT_EQ(RGB(209, 211, 255), normal.background);
    EXPECT_EQ(RGB(1, 2, 3), normal.text) << "the text colour stays the default";

    g_highContrast = true;
    fw::HighContrastProbe before = fw::SetHighContrastProbeForTesting(&TestHighContrast);
    const Seen contrast = colours();
    fw::SetHighContrastProbeForTesting(before);
    g_highContrast = false;
    EXPECT_EQ(GetSysColor(COLOR_WINDOW), contrast.background);
    EXPECT_EQ(GetSysColor(COLOR_WINDOWTEXT), contrast.text);
    EXPECT_NE(RGB(209, 211, 255), contrast.background);
}

// At 150% and 200% the pop-up ends in the same corner, every length scaled:
// on a 1024 x 768 screen 205 x 85 at 96 DPI, 308 x 128 at 144, 410 x 170 at
// 192. A move to a monitor of another DPI places it anew.
TEST(ReminderPopupTest, EndsInTheCornerScaledForTheMonitorsDpi) {
    ModalPopup run({"Dentist"});
    HWND popup = run.WaitOpen();
    ASSERT_NE(nullptr, popup);
    ASSERT_TRUE(run.WaitSlide());
    RECT screen{};
    GetWindowRect(GetDesktopWindow(), &screen);
    struct Case {
        UINT dpi;
        int width, height, right, bottom;
    };
    for (const Case& c :
         {Case{144, 308, 128, 3, 45}, Case{192, 410, 170, 4, 60}, Case{96, 205, 85, 2, 30}}) {
        RECT suggested{};
        GetWindowRect(popup, &suggested);
        SendMessageW(popup, fw::kDpiChangedMessage, MAKEWPARAM(c.dpi, c.dpi),
                     reinterpret_cast<LPARAM>(&suggested));
        EXPECT_EQ(c.dpi, run.dlg.Dpi());
        RECT placed{};
        GetWindowRect(popup, &placed);
        EXPECT_EQ(c.width, placed.right - placed.left) << c.dpi;
        EXPECT_EQ(c.height, placed.bottom - placed.top) << c.dpi;
        EXPECT_EQ(screen.right - c.right, placed.right) << c.dpi;
        EXPECT_EQ(screen.bottom - c.bottom, placed.bottom) << c.dpi;
    }
}

} // namespace
} // namespace qmtest
