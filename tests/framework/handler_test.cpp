// Handlers chained into a dialog's dispatch: the order they are asked in, a
// decline passing the message on, timers by owner, and the window's life
// (first idle, a change of DPI, destruction) reaching each of them.
#include "framework/dialog.h"
#include "framework/display.h"
#include "res/resource.h"
#include "tests/support/window_testing.h"

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace qmtest {
namespace {

using Log = std::vector<std::string>;

// Records what reaches it; handles the command `takes` and timer ticks,
// declines everything else.
class RecordingHandler : public fw::Handler {
public:
    RecordingHandler(Log& log, std::string name, UINT takes, fw::TimerIds timers = {})
        : fw::Handler(timers), m_log(log), m_name(std::move(name)), m_takes(takes) {}
    ~RecordingHandler() override {
        m_log.push_back(m_name + " freed" + (IsWindow(m_window) ? " (window alive)" : ""));
    }

    bool OnMessage(UINT msg, WPARAM wp, LPARAM, LRESULT& result) override {
        if (msg == WM_TIMER) {
            m_log.push_back(m_name + " timer " + std::to_string(wp));
            return true;
        }
        if (msg != WM_COMMAND)
            return false;
        m_log.push_back(m_name + " asked " + std::to_string(LOWORD(wp)));
        result = 0;
        return LOWORD(wp) == m_takes;
    }
    void OnFirstIdle() override {
        m_log.push_back(m_name + " first idle");
        if (endsModalRun)
            PostMessageW(Hwnd(), WM_COMMAND, IDCANCEL, 0);
    }
    void OnDpiChanged(UINT dpi) override {
        m_log.push_back(m_name + " dpi " + std::to_string(dpi));
    }
    void OnDestroy() override { m_log.push_back(m_name + " destroy"); }
    // The window's data exchange reaches the handler too.
    void DoDataExchange(fw::DataExchange& dx) override { m_window = dx.Dialog(); }
    // The handler's own timers, as a controller sets them.
    void Set(UINT_PTR id) { SetTimer(id, 60000); }
    // Cancels the modal run once it has heard of the first idle.
    bool endsModalRun = false;

private:
    Log& m_log;
    std::string m_name;
    UINT m_takes;
    HWND m_window = nullptr;
};

// A window whose own table records and declines, with three handlers: one
// before that table and two after it.
class ChainedDialog : public fw::Dialog {
public:
    explicit ChainedDialog(Log& log) : fw::Dialog(IDD_ABOUTBOX), m_log(log) {
        after = &AddHandler(
            std::make_unique<RecordingHandler>(log, "after1", 300u, fw::TimerIds{10, 12}),
            Chain::AfterOwn);
        AddHandler(std::make_unique<RecordingHandler>(log, "before", 100u));
        last = &AddHandler(std::make_unique<RecordingHandler>(log, "after2", 0u), Chain::AfterOwn);
    }
    RecordingHandler* after = nullptr;
    RecordingHandler* last = nullptr;

protected:
    bool OnMessage(UINT msg, WPARAM wp, LPARAM, LRESULT&) override {
        if (msg == WM_COMMAND)
            m_log.push_back("own asked " + std::to_string(LOWORD(wp)));
        if (msg == WM_TIMER)
            m_log.push_back("own timer " + std::to_string(wp));
        if (msg == WM_DESTROY)
            m_log.push_back("own destroy");
        return false;
    }
    void OnFirstIdle() override { m_log.push_back("own first idle"); }
    void OnDpiChanged(UINT dpi) override { m_log.push_back("own dpi " + std::to_string(dpi)); }

private:
    Log& m_log;
};

TEST(Handlers, AreAskedBeforeThenAfterTheWindowsOwnTableAndADeclinePassesOn) {
    Log log;
    ChainedDialog dialog(log);
    ASSERT_TRUE(dialog.Create(nullptr));
    log.clear();

    SendMessageW(dialog.GetSafeHwnd(), WM_COMMAND, 100, 0);
    EXPECT_EQ(Log{"before asked 100"}, log) << "the first that handles it ends the search";
    log.clear();
    SendMessageW(dialog.GetSafeHwnd(), WM_COMMAND, 300, 0);
    EXPECT_EQ((Log{"before asked 300", "own asked 300", "after1 asked 300"}), log);
    log.clear();
    SendMessageW(dialog.GetSafeHwnd(), WM_COMMAND, 400, 0);
    EXPECT_EQ((Log{"before asked 400", "own asked 400", "after1 asked 400", "after2 asked 400"}),
              log)
        << "declined by all, it goes on to the default handling";
    dialog.DestroyWindow();
}

TEST(Handlers, ATimerReachesOnlyTheHandlerThatOwnsItsIdAndIdsCannotBeShared) {
    Log log;
    ChainedDialog dialog(log);
    ASSERT_TRUE(dialog.Create(nullptr));
    log.clear();

    SendMessageW(dialog.GetSafeHwnd(), WM_TIMER, 11, 0);
    EXPECT_EQ(Log{"after1 timer 11"}, log);
    log.clear();
    SendMessageW(dialog.GetSafeHwnd(), WM_TIMER, 13, 0);
    EXPECT_EQ((Log{"before timer 13"}), log) << "an id nobody owns goes along the chain";

    // A handler sets its own timers only.
    dialog.after->Set(12);
    dialog.after->Set(13);
    EXPECT_TRUE(dialog.IsTimerRunning(12));
    EXPECT_FALSE(dialog.IsTimerRunning(13));

    EXPECT_THROW(dialog.AddHandler(
                     std::make_unique<RecordingHandler>(log, "clash", 0u, fw::TimerIds{12, 20})),
                 std::logic_error);
    dialog.DestroyWindow();
}

TEST(Handlers, FirstIdleAndADpiChangeReachTheWindowThenEachHandlerInTurn) {
    Log log;
    ChainedDialog dialog(log);
    dialog.last->endsModalRun = true;
    EXPECT_EQ(IDCANCEL, dialog.DoModal());
    EXPECT_EQ(
        (Log{"own first idle", "before first idle", "after1 first idle", "after2 first idle"}),
        Log(log.begin(), log.begin() + 4));

    ChainedDialog moved(log);
    ASSERT_TRUE(moved.Create(nullptr));
    log.clear();
    RECT suggested{};
    GetWindowRect(moved.GetSafeHwnd(), &suggested);
    SendMessageW(moved.GetSafeHwnd(), fw::kDpiChangedMessage, MAKEWPARAM(144, 144),
                 reinterpret_cast<LPARAM>(&suggested));
    EXPECT_EQ((Log{"own dpi 144", "before dpi 144", "after1 dpi 144", "after2 dpi 144"}), log);
    moved.DestroyWindow();
}

TEST(Handlers, DestructionReachesThemLastAddedFirstAndFreesThemAfterTheWindow) {
    Log log;
    {
        ChainedDialog dialog(log);
        ASSERT_TRUE(dialog.Create(nullptr));
        log.clear();
        dialog.DestroyWindow();
        EXPECT_EQ((Log{"after2 destroy", "after1 destroy", "before destroy", "own destroy"}), log);
        log.clear();
    }
    EXPECT_EQ((Log{"after2 freed", "after1 freed", "before freed"}), log)
        << "freed once the window is gone, the last added first";

    // A window still open when its object goes is destroyed first, unheard.
    log.clear();
    {
        ChainedDialog dialog(log);
        ASSERT_TRUE(dialog.Create(nullptr));
        log.clear();
    }
    EXPECT_EQ((Log{"after2 freed", "after1 freed", "before freed"}), log);
}

} // namespace
} // namespace qmtest
