#include "framework/data_exchange.h"
#include "framework/dialog.h"
#include "res/resource.h"
#include "tests/support/message_box_responder.h"
#include "tests/support/window_testing.h"

#include <gtest/gtest.h>

#include <climits>
#include <thread>

namespace qmtest {
namespace {

TEST(ParseInt, AcceptsSignedDecimalIntegersOnly) {
    int value = 0;
    EXPECT_TRUE(fw::ParseInt("45", value));
    EXPECT_EQ(45, value);
    EXPECT_TRUE(fw::ParseInt(" -3 ", value));
    EXPECT_EQ(-3, value);
    EXPECT_TRUE(fw::ParseInt("+7", value));
    EXPECT_EQ(7, value);
    EXPECT_TRUE(fw::ParseInt("-2147483648", value));
    EXPECT_EQ(INT_MIN, value);
    EXPECT_TRUE(fw::ParseInt("2147483647", value));
    EXPECT_EQ(INT_MAX, value);
    value = 99;
    for (const char* bad : {"", " ", "abc", "1a", "a1", "1 2", "--1", "-", "2147483648",
                            "-2147483649", "99999999999999999999", "1.5"}) {
        EXPECT_FALSE(fw::ParseInt(bad, value)) << '"' << bad << '"';
        EXPECT_EQ(99, value) << bad;
    }
}

// A routing table over a plain object, to check how messages find handlers.
struct Target {
    std::vector<std::string> calls;
    void OnCommandA() { calls.push_back("A"); }
    void OnChange() { calls.push_back("change"); }
    LRESULT OnItem(NMHDR* header) {
        calls.push_back("notify " + std::to_string(header->code));
        return 7;
    }
    std::optional<LRESULT> OnUser(WPARAM wp, LPARAM) {
        if (wp != 128)
            return std::nullopt;
        calls.push_back("user");
        return 1;
    }
    HBRUSH OnColor(HDC, HWND, UINT kind) {
        calls.push_back("color " + std::to_string(kind));
        return reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(0x55));
    }

    bool Dispatch(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
        static constexpr fw::Route<Target> kRoutes[] = {
            fw::OnCommand<Target>(100, &Target::OnCommandA),
            fw::OnControl<Target>(200, EN_CHANGE, &Target::OnChange),
            fw::OnNotify<Target>(300, LVN_ITEMCHANGED, &Target::OnItem),
            fw::OnMessage<Target>(WM_USER, &Target::OnUser),
            fw::OnCtlColor<Target>(&Target::OnColor),
        };
        return fw::DispatchRoutes(this, kRoutes, msg, wp, lp, result);
    }
};

TEST(Routing, FindsCommandsNotificationsAndMessages) {
    Target t;
    LRESULT result = -1;
    // Menu item, accelerator and button click all reach a command route.
    EXPECT_TRUE(t.Dispatch(WM_COMMAND, MAKEWPARAM(100, 0), 0, result));
    EXPECT_TRUE(t.Dispatch(WM_COMMAND, MAKEWPARAM(100, 1), 0, result));
    EXPECT_TRUE(t.Dispatch(WM_COMMAND, MAKEWPARAM(100, BN_CLICKED), 1234, result));
    // A control notification reaches only its own code's route.
    EXPECT_FALSE(t.Dispatch(WM_COMMAND, MAKEWPARAM(100, EN_CHANGE), 1234, result));
    EXPECT_TRUE(t.Dispatch(WM_COMMAND, MAKEWPARAM(200, EN_CHANGE), 1234, result));
    EXPECT_FALSE(t.Dispatch(WM_COMMAND, MAKEWPARAM(200, EN_KILLFOCUS), 1234, result));

    NMHDR header{nullptr, 300, static_cast<UINT>(LVN_ITEMCHANGED)};
    EXPECT_TRUE(t.Dispatch(WM_NOTIFY, 300, reinterpret_cast<LPARAM>(&header), result));
    EXPECT_EQ(7, result);
    header.code = static_cast<UINT>(NM_RCLICK);
    EXPECT_FALSE(t.Dispatch(WM_NOTIFY, 300, reinterpret_cast<LPARAM>(&header), result));

    // A message handler may decline, and the message goes on to the default.
    EXPECT_FALSE(t.Dispatch(WM_USER, 0, 0, result));
    EXPECT_TRUE(t.Dispatch(WM_USER, 128, WM_LBUTTONDBLCLK, result));

    EXPECT_TRUE(t.Dispatch(WM_CTLCOLORSTATIC, 0, 0, result));
    EXPECT_EQ(0x55, result);
    EXPECT_TRUE(t.Dispatch(WM_CTLCOLORDLG, 0, 0, result));

    EXPECT_EQ(
        (std::vector<std::string>{"A", "A", "A", "change",
                                  "notify " + std::to_string(static_cast<UINT>(LVN_ITEMCHANGED)),
                                  "user", "color " + std::to_string(CTLCOLOR_STATIC),
                                  "color " + std::to_string(CTLCOLOR_DLG)}),
        t.calls);
}

// A dialog that ends itself from a timer once it has been shown.
class SelfEndingDialog : public fw::Dialog {
public:
    explicit SelfEndingDialog(HWND owner = nullptr) : fw::Dialog(IDD_ABOUTBOX, owner) {}
    bool visibleAtInit = true;
    bool ownerEnabledWhileShown = true;
    int initCalls = 0;
    int ticks = 0;

protected:
    BOOL OnInitDialog() override {
        ++initCalls;
        visibleAtInit = IsWindowVisible(m_hWnd) != FALSE;
        fw::Dialog::OnInitDialog();
        SetTimer(7, 20);
        return TRUE;
    }
    bool OnMessage(UINT msg, WPARAM wp, LPARAM, LRESULT& result) override {
        if (msg == WM_TIMER && wp == 7) {
            // The loop shows the window once its queue is idle; give up
            // after about five seconds.
            if (IsWindowVisible(m_hWnd)) {
                HWND owner = GetWindow(m_hWnd, GW_OWNER);
                ownerEnabledWhileShown = owner != nullptr && IsWindowEnabled(owner);
                EndDialog(42);
            } else if (++ticks > 250)
                EndDialog(-2);
            result = 0;
            return true;
        }
        return false;
    }
};

TEST(Dialog, ModalRunShowsTheWindowWhenIdleAndReturnsTheEndResult) {
    SelfEndingDialog dialog;
    EXPECT_EQ(42, dialog.DoModal());
    EXPECT_EQ(1, dialog.initCalls);
    EXPECT_FALSE(dialog.visibleAtInit) << "created hidden, shown only by the loop";
    EXPECT_EQ(nullptr, dialog.GetSafeHwnd()) << "the window is gone after the modal run";
}

TEST(Dialog, OwnerIsDisabledWhileModalAndEnabledAfter) {
    fw::Dialog owner(IDD_ABOUTBOX);
    ASSERT_TRUE(owner.Create(nullptr));
    owner.ShowWindow(SW_SHOWNORMAL);
    SelfEndingDialog dialog(owner.GetSafeHwnd());
    EXPECT_EQ(42, dialog.DoModal());
    EXPECT_FALSE(dialog.ownerEnabledWhileShown);
    EXPECT_TRUE(IsWindowEnabled(owner.GetSafeHwnd()));
    owner.DestroyWindow();
}

TEST(Dialog, TimersSetFromAnotherThreadAreSetByTheWindowsThread) {
    fw::Dialog dialog(IDD_ABOUTBOX);
    ASSERT_TRUE(dialog.Create(nullptr));
    std::thread([&] { dialog.SetTimer(1, 60000); }).join();
    EXPECT_TRUE(PumpUntil([&] { return dialog.IsTimerRunning(1); }, 2000));
    EXPECT_EQ(60000u, dialog.TimerPeriod(1));
    // The window's own thread really owns the timer: killing it here works.
    EXPECT_TRUE(KillTimer(dialog.GetSafeHwnd(), 1));
    dialog.SetTimer(1, 1000);
    std::thread([&] { dialog.KillTimer(1); }).join();
    EXPECT_TRUE(PumpUntil([&] { return !dialog.IsTimerRunning(1); }, 2000));
    EXPECT_FALSE(KillTimer(dialog.GetSafeHwnd(), 1)) << "the timer is gone";
    dialog.DestroyWindow();
}

// Exchanges an integer with an edit, as a settings field does.
class NumberDialog : public fw::Dialog {
public:
    NumberDialog() : fw::Dialog(IDD_SETTINGS) {}
    int number = 12;

protected:
    void DoDataExchange(fw::DataExchange& dx) override {
        fw::ExchangeInt(dx, IDC_INTERVAL_EDIT, number, "Type a whole number.");
    }
};

TEST(DataExchange, ABadIntegerIsReportedAndKeepsTheValue) {
    MessageBoxResponder boxes;
    NumberDialog dialog;
    ASSERT_TRUE(dialog.Create(nullptr));
    dialog.ShowWindow(SW_SHOWNORMAL);
    HWND edit = dialog.GetDlgItem(IDC_INTERVAL_EDIT);
    EXPECT_EQ("12", fw::Wnd(edit).GetText()) << "loaded by the initial exchange";

    SetWindowTextA(edit, "twelve");
    boxes.Answer(IDOK);
    EXPECT_FALSE(dialog.UpdateData(true));
    EXPECT_EQ(12, dialog.number);
    ASSERT_EQ(1u, boxes.Count());
    EXPECT_EQ("Type a whole number.", boxes.Last().text);
    EXPECT_EQ("Type a whole number.", boxes.Last().shownText);
    EXPECT_EQ(dialog.GetSafeHwnd(), boxes.Last().owner);
    EXPECT_EQ(edit, GetFocus());

    SetWindowTextA(edit, " -4 ");
    EXPECT_TRUE(dialog.UpdateData(true));
    EXPECT_EQ(-4, dialog.number);
    dialog.DestroyWindow();
    EXPECT_EQ(0, boxes.Unexpected());
}

} // namespace
} // namespace qmtest
