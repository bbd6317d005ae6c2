// Stories of a Quillmere left running for days: the change of day, a resume
// from sleep, a reminder that comes while the user types elsewhere, a user
// too busy to be disturbed, and snoozing and dismissing. Each goes through
// the clock seam and the platform's own messages, with the real pop-up and
// the real timers.
#include "framework/clock.h"
#include "res/resource.h"
#include "store/system_time.h"
#include "tests/app/reminder_window_test.h"
#include "tests/support/fake_zone.h"
#include "tests/support/x_server_input.h"
#include "tray/notification_state.h"
#include "tray/reminder_lines.h"
#include "tray/reminder_schedule.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace qmtest {
namespace {

using Dlg = CReminderTiming;

// Every line a pop-up cycles through, read by ticking it by hand from line 1
// round to line 1 again. A tick of its own timer in between skips a number;
// the reading is then taken again.
std::vector<std::string> ShownLines(HWND popup) {
    for (int attempt = 0; attempt < 5; ++attempt) {
        std::vector<std::string> lines;
        for (int tick = 0; tick < 250; ++tick) {
            SendMessageA(popup, WM_TIMER, kLineTimerId, 0);
            const std::string text = ReminderText(popup);
            const int number = std::atoi(text.c_str());
            if (number == 1 && !lines.empty())
                return lines;
            if (number == static_cast<int>(lines.size()) + 1)
                lines.push_back(text.substr(text.find(". ") + 2));
            else if (!lines.empty())
                break;
        }
    }
    return {};
}

// Keys and clicks as the user's keyboard and mouse make them.
void PressKey(WORD key) {
    INPUT input[2] = {};
    input[0].type = input[1].type = INPUT_KEYBOARD;
    input[0].ki.wVk = input[1].ki.wVk = key;
    input[1].ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(2, input, static_cast<int>(sizeof(INPUT)));
}

// A click on the middle of the pop-up's shown line.
void ClickLine(HWND popup, bool right = false) {
    RECT text{};
    GetWindowRect(GetDlgItem(popup, IDC_REMINDER_TEXT), &text);
    SetCursorPos((text.left + text.right) / 2, (text.top + text.bottom) / 2);
    INPUT input[2] = {};
    input[0].type = input[1].type = INPUT_MOUSE;
    input[0].mi.dwFlags = right ? MOUSEEVENTF_RIGHTDOWN : MOUSEEVENTF_LEFTDOWN;
    input[1].mi.dwFlags = right ? MOUSEEVENTF_RIGHTUP : MOUSEEVENTF_LEFTUP;
    SendInput(2, input, static_cast<int>(sizeof(INPUT)));
}

// The pop-up's menu as its own thread sees it: the items' texts, and item
// g_choice (separators not counted) chosen with the arrow keys and Enter.
std::vector<std::string> g_menuTexts;
int g_choice = 0;
std::atomic<bool> g_chosen{false};
LRESULT CALLBACK ChooseFromMenu(int code, WPARAM wp, LPARAM lp) {
    const auto* call = reinterpret_cast<const CWPSTRUCT*>(lp);
    if (code == HC_ACTION && call->message == WM_INITMENUPOPUP) {
        auto menu = reinterpret_cast<HMENU>(call->wParam);
        g_menuTexts.assign(static_cast<size_t>(GetMenuItemCount(menu)), std::string(64, '\0'));
        for (size_t i = 0; i < g_menuTexts.size(); ++i) {
            GetMenuStringA(menu, static_cast<UINT>(i), g_menuTexts[i].data(), 64, MF_BYPOSITION);
            g_menuTexts[i].resize(std::strlen(g_menuTexts[i].c_str()));
        }
    } else if (code == HC_ACTION && call->message == WM_ENTERIDLE && call->wParam == MSGF_MENU &&
               !g_chosen.exchange(true)) {
        auto menuWindow = reinterpret_cast<HWND>(call->lParam);
        for (int i = 0; i <= g_choice; ++i)
            PostMessageA(menuWindow, WM_KEYDOWN, VK_DOWN, 0);
        PostMessageA(menuWindow, WM_KEYDOWN, VK_RETURN, 0);
    }
    return CallNextHookEx(nullptr, code, wp, lp);
}

enum MenuItem { kSnooze10, kSnooze60, kDismiss };

// What the shell answers about the user, for the notification-state seam.
std::atomic<int> g_userState{kStateAcceptsNotices};
int StandInState() {
    return g_userState.load();
}

// New York's rules of 2027, through the zone seam.
bool UsEasternTime(std::int64_t utcMs, SYSTEMTIME& local) {
    static const FakeZone zone = UsEastern2027();
    const LocalMoment moment = *zone(utcMs);
    local = ToSystemTime(moment.date);
    local.wHour = static_cast<WORD>(moment.msOfDay / 3600000);
    local.wMinute = static_cast<WORD>(moment.msOfDay / 60000 % 60);
    local.wSecond = static_cast<WORD>(moment.msOfDay / 1000 % 60);
    local.wMilliseconds = static_cast<WORD>(moment.msOfDay % 1000);
    return true;
}

// A clock that a reminder thread reads once before midnight of 7 May 2002,
// and then after it, as a long scan begun just before midnight would.
DWORD g_windowThread = 0;
std::atomic<int> g_reminderReads{0};
SYSTEMTIME MidnightDuringTheScan() {
    const bool after = GetCurrentThreadId() != g_windowThread && g_reminderReads++ > 0;
    SYSTEMTIME now = MakeDate(2002, 5, after ? 8 : 7);
    if (!after) {
        now.wHour = 23;
        now.wMinute = now.wSecond = 59;
    }
    return now;
}

class TimedReminderTest : public ReminderWindowTest {
protected:
    void TearDown() override {
        SetNotificationStateForTesting(nullptr);
        SetTimeZoneForTesting(nullptr);
        ReminderWindowTest::TearDown();
    }
    std::string DateFromCalendar(UINT message) const {
        SYSTEMTIME day{};
        SendMessageA(Item(IDC_MONTHCAL), message, 0, reinterpret_cast<LPARAM>(&day));
        return FormatDateText(day);
    }
    std::string CalendarToday() const { return DateFromCalendar(MCM_GETTODAY); }
    std::string Selected() const { return DateFromCalendar(MCM_GETCURSEL); }
    std::string NotesBox() const {
        char text[256] = {};
        GetDlgItemTextA(Hwnd(), IDC_DETAIL_NOTES, text, sizeof text);
        return text;
    }
    void Fire(UINT_PTR timer) {
        SendMessageA(Hwnd(), WM_TIMER, timer, 0);
        PumpMessages();
    }
    // The reminder threads have ended and what they posted to the window is
    // done; true when no pop-up is open and the flag is free.
    bool Settled() {
        const bool ended = WaitForThreads();
        PumpMessages();
        return ended && dlg->ReminderWindow() == nullptr && dlg->IsReminderBusy() == 0;
    }
    // The lines of the pop-up that `trigger` opens; it is closed again.
    std::vector<std::string> PopupLines(const std::function<void()>& trigger) {
        trigger();
        HWND popup = WaitForPopup();
        const std::vector<std::string> lines =
            popup ? ShownLines(popup) : std::vector<std::string>{};
        PostMessageA(popup, WM_CLOSE, 0, 0);
        EXPECT_TRUE(Settled());
        return lines;
    }
    std::vector<std::string> ReminderAfter(UINT_PTR timer) {
        return PopupLines([&] { Fire(timer); });
    }
    // Opens a pop-up with `timer` and, once it is in place (and `meanwhile`
    // has run), its menu with a right click (or a click and the menu key);
    // chooses `item`; returns the menu's texts.
    std::vector<std::string> ChooseFromPopup(UINT_PTR timer, MenuItem item, bool menuKey = false,
                                             const std::function<void()>& meanwhile = {}) {
        Fire(timer);
        HWND popup = WaitForPopup();
        EXPECT_TRUE(popup && PumpUntil([&] {
                        return IsWindowVisible(GetDlgItem(popup, IDC_REMINDER_CLOSE));
                    }));
        if (meanwhile)
            meanwhile();
        g_choice = item;
        g_chosen = false;
        HHOOK hook = SetWindowsHookExA(WH_CALLWNDPROC, &ChooseFromMenu, nullptr,
                                       GetWindowThreadProcessId(popup, nullptr));
        ClickLine(popup, !menuKey);
        if (menuKey && PumpUntil([popup] { return GetForegroundWindow() == popup; }))
            PressKey(VK_APPS);
        EXPECT_TRUE(PumpUntil([this] { return dlg->ReminderWindow() == nullptr; }))
            << "choosing from the menu closes the pop-up";
        UnhookWindowsHookEx(hook);
        EXPECT_TRUE(Settled());
        return g_menuTexts;
    }
};

TEST_F(TimedReminderTest, RunningAcrossMidnightBehavesAsStartedOnTheNewDay) {
    PutAppointment("2002-5-7", "Appointment 1", "2002-5-7", "2002-5-7", "Tuesday", "EMail", 0,
                   "tue details");
    PutAppointment("2002-5-8", "Appointment 1", "2002-5-8", "2002-5-8", "Wednesday");
    PutAppointment("2002-5-9", "Appointment 1", "2002-5-9", "2002-5-9", "Thursday");
    FixedClock::Set(2002, 5, 7, 23, 59, 59);
    OpenReal();
    EXPECT_EQ(1000u + kDayChangeMarginMs, dlg->TimerPeriod(Dlg::kDayTimerId));

    // Shown: the user is typing notes on Tuesday's appointment at midnight;
    // the real one-shot timer brings the new day.
    ListView_SetItemState(Item(IDC_APPOINTMENT_LIST), 0, LVIS_SELECTED, LVIS_SELECTED);
    PumpMessages();
    ASSERT_EQ("tue details", NotesBox());
    SetDlgItemTextA(Hwnd(), IDC_DETAIL_NOTES, "typed, not saved");
    FixedClock::Set(2002, 5, 8, 0, 0, 0, 200);
    ASSERT_TRUE(PumpUntil([this] { return CalendarToday() == "2002-5-8"; }))
        << "the today marker moves at midnight";
    EXPECT_EQ("2002-5-7", Selected()) << "the day the user looks at stays selected";
    EXPECT_EQ(1, RowCount());
    EXPECT_EQ("typed, not saved", NotesBox()) << "the change of day keeps unsaved typing";
    EXPECT_EQ(static_cast<UINT>(kMsPerDay - 200) + kDayChangeMarginMs,
              dlg->TimerPeriod(Dlg::kDayTimerId))
        << "and waits for the next midnight";
    Command(IDC_GO_TODAY);
    EXPECT_EQ("2002-5-8", Selected()) << "Go Today goes to the new day, not the start-up day";
    EXPECT_EQ("Wednesday", dlg->List().GetItemText(0, 1));

    // Hidden across the next midnight: the next reminder shows the new day.
    Command(ID_TRAY_MINIMIZE);
    FixedClock::Set(2002, 5, 9, 0, 0, 1);
    Fire(Dlg::kDayTimerId);
    EXPECT_EQ("2002-5-9", CalendarToday());
    EXPECT_EQ(std::vector<std::string>{"Thursday"}, ReminderAfter(Dlg::kReminderTimerId));

    // The clock or the time zone changes: today follows at once.
    FixedClock::Set(2002, 6, 1, 10, 0, 0);
    SendMessageA(Hwnd(), WM_TIMECHANGE, 0, 0);
    EXPECT_EQ("2002-6-1", CalendarToday());
    EXPECT_EQ(14u * 3600u * 1000u + kDayChangeMarginMs, dlg->TimerPeriod(Dlg::kDayTimerId));
}

TEST_F(TimedReminderTest, AfterSleepAHiddenWindowRemindsWithinSecondsAndAShownOneOnlyMovesToday) {
    PutAppointment("2002-5-7", "Appointment 1", "2002-5-7", "2002-5-7", "Tuesday");
    PutAppointment("2002-5-8", "Appointment 1", "2002-5-8", "2002-5-8", "Wednesday");
    FixedClock::Set(2002, 5, 7, 22, 0, 0);
    OpenReal();
    Command(ID_TRAY_MINIMIZE);

    // Asleep overnight, woken by the user in the morning.
    FixedClock::Set(2002, 5, 8, 7, 30, 0);
    SendMessageA(Hwnd(), WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC, 0);
    SendMessageA(Hwnd(), WM_POWERBROADCAST, PBT_APMRESUMESUSPEND, 0);
    EXPECT_EQ("2002-5-8", CalendarToday());
    EXPECT_EQ(kResumeDelayMs, dlg->TimerPeriod(Dlg::kResumeTimerId));
    const DWORD woken = GetTickCount();
    HWND popup = nullptr;
    ASSERT_TRUE(PumpUntil([&] { return (popup = dlg->ReminderWindow()) != nullptr; }, 8000))
        << "the real timer brings the reminder a few seconds after the resume";
    EXPECT_GE(GetTickCount() - woken, kResumeDelayMs - 100);
    EXPECT_EQ("1. Wednesday", ReminderText(popup));
    EXPECT_FALSE(dlg->IsTimerRunning(Dlg::kResumeTimerId)) << "one reminder per resume";
    PostMessageA(popup, WM_CLOSE, 0, 0);
    ASSERT_TRUE(Settled());

    // Shown, the timer is stopped and nothing comes, but the day moves on.
    Command(ID_TRAY_CALENDAR_NOTES);
    FixedClock::Set(2002, 5, 9, 8, 0, 0);
    SendMessageA(Hwnd(), WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC, 0);
    EXPECT_EQ("2002-5-9", CalendarToday());
    EXPECT_FALSE(dlg->IsTimerRunning(Dlg::kResumeTimerId));
    PumpMessages(kResumeDelayMs + 500);
    EXPECT_TRUE(Settled()) << "no reminder comes to a shown window";
    EXPECT_EQ("2002-5-7", Selected()) << "the shown day stays";
}

TEST_F(TimedReminderTest, ATimedPopupLeavesTheKeyboardWithTheProgramTheUserTypesIn) {
    PutAppointment("2002-5-7", "Appointment 1", "2002-5-7", "2002-5-7", "Dentist");
    OpenReal();
    Command(ID_TRAY_MINIMIZE);
    // Another program's window, in the foreground with the keyboard.
    fw::UniqueHandle<fw::NullHandleTraits<HWND, ::DestroyWindow>> editor(CreateWindowExA(
        0, "EDIT", "", WS_OVERLAPPEDWINDOW | WS_VISIBLE | ES_MULTILINE | ES_WANTRETURN, 40, 40, 300,
        200, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr));
    ASSERT_TRUE(editor);
    SetForegroundWindow(editor.get());
    SetFocus(editor.get());
    PumpMessages(100);
    ASSERT_EQ(editor.get(), GetForegroundWindow());
    auto typed = [&] {
        char text[64] = {};
        GetWindowTextA(editor.get(), text, sizeof text);
        return std::string(text);
    };

    Fire(Dlg::kReminderTimerId);
    HWND popup = WaitForPopup();
    ASSERT_NE(nullptr, popup);
    ASSERT_TRUE(PumpUntil([&] { return IsWindowVisible(popup) != FALSE; }));
    const bool duringSlide = !IsWindowVisible(GetDlgItem(popup, IDC_REMINDER_CLOSE));
    for (WORD key : {WORD{'A'}, WORD{'B'}, WORD{VK_RETURN}, WORD{VK_ESCAPE}, WORD{'C'}})
        PressKey(key);
    EXPECT_TRUE(PumpUntil([&] { return typed() == "ab\r\nc"; })) << typed();
    EXPECT_TRUE(duringSlide) << "the keys came once the slide was over";
    EXPECT_TRUE(PumpUntil([&] { return IsWindowVisible(GetDlgItem(popup, IDC_REMINDER_CLOSE)); }));
    PressKey(VK_RETURN);
    EXPECT_TRUE(PumpUntil([&] { return typed() == "ab\r\nc\r\n"; })) << typed();
    EXPECT_EQ(editor.get(), GetForegroundWindow()) << "the pop-up took the foreground";
    EXPECT_EQ(popup, dlg->ReminderWindow()) << "Enter and Esc meant elsewhere closed the pop-up";
    EXPECT_TRUE(IsWindowVisible(popup));

    // Clicked, it has the keyboard: Esc closes it.
    ClickLine(popup);
    EXPECT_TRUE(PumpUntil([&] { return GetForegroundWindow() == popup; }));
    PressKey(VK_ESCAPE);
    EXPECT_TRUE(Settled());
    EXPECT_EQ("ab\r\nc\r\n", typed());

    // "Show Reminder" while a timed pop-up is open brings it forward, so
    // that Enter then closes it.
    Fire(Dlg::kReminderTimerId);
    popup = WaitForPopup();
    ASSERT_NE(nullptr, popup);
    SetForegroundWindow(editor.get());
    PumpMessages(50);
    Command(ID_TRAY_SHOW_REMINDER);
    EXPECT_TRUE(PumpUntil([&] { return GetForegroundWindow() == popup; }));
    EXPECT_EQ(2, dlg->CountOf("reminder")) << "no second reminder is started";
    PressKey(VK_RETURN);
    EXPECT_TRUE(Settled());
}

// The same story through the X server, which is how a real keyboard and
// mouse reach a program under Wine: the X server gives keys to the window
// with the X input focus, whatever Windows holds the foreground window to be.
TEST_F(TimedReminderTest, KeysTypedOnTheRealKeyboardStayWithTheProgramInTheForeground) {
    if (!XServerInput::Available())
        GTEST_SKIP() << "keys through the X server need Wine";
    XServerInput x;
    auto xdotool = [&](const std::string& args) {
        ASSERT_TRUE(x.Run(args)) << "xdotool " << args << " (scripts/setup.sh installs it)";
    };
    // Whether the X server gives keys to `window`: the Windows foreground
    // moves at once, the X focus when Wine has told the X server.
    std::string xFocus;
    auto xFocusOn = [&](HWND window, int attempts = 50) {
        const std::string wanted = std::to_string(XServerInput::XWindowOf(window));
        for (int attempt = 0; attempt < attempts; ++attempt) {
            xFocus = x.Run("getwindowfocus") ? x.Output() : "none";
            if (xFocus == wanted)
                return true;
            PumpMessages(50);
        }
        xFocus += " (wanted " + wanted + ")";
        return false;
    };
    PutAppointment("2002-5-7", "Appointment 1", "2002-5-7", "2002-5-7", "Dentist");
    OpenReal();
    Command(ID_TRAY_MINIMIZE);
    fw::UniqueHandle<fw::NullHandleTraits<HWND, ::DestroyWindow>> editor(CreateWindowExA(
        0, "EDIT", "", WS_OVERLAPPEDWINDOW | WS_VISIBLE | ES_MULTILINE | ES_WANTRETURN, 40, 40, 300,
        200, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr));
    ASSERT_TRUE(editor);
    auto typed = [&] {
        char text[64] = {};
        GetWindowTextA(editor.get(), text, sizeof text);
        return std::string(text);
    };
    // The user clicks into the editor, which gives it the X focus as well
    // once Wine has handled the click. (Wine's tray, a window of its own
    // without a desktop, takes the X focus when it first shows the icon,
    // which may come after the click; then the user clicks again.)
    ClicksTaken clicks;
    ASSERT_TRUE(clicks.Hooked());
    auto clickEditor = [&] {
        for (int click = 0; click < 3; ++click) {
            const int taken = clicks.Count();
            xdotool("mousemove 190 140 click 1");
            if (PumpUntil([&] { return clicks.Count() > taken; }, 20000) &&
                xFocusOn(editor.get(), 10))
                return true;
        }
        return false;
    };
    ASSERT_TRUE(clickEditor()) << xFocus;
    ASSERT_EQ(editor.get(), GetForegroundWindow());

    // The pop-up that opens, once it has slid into place.
    auto slidIn = [&] {
        HWND popup = WaitForPopup();
        EXPECT_TRUE(
            popup &&
            PumpUntil(
                [&] { return IsWindowVisible(GetDlgItem(popup, IDC_REMINDER_CLOSE)) != FALSE; },
                20000))
            << "the slide ends";
        return popup;
    };
    // A timed pop-up slides in; the user goes on typing.
    Fire(Dlg::kReminderTimerId);
    HWND popup = slidIn();
    ASSERT_NE(nullptr, popup);
    // xdotool's "type" takes the rest of its arguments as text.
    for (const char* keys : {"type abc", "key Return", "type def"})
        xdotool(keys);
    EXPECT_TRUE(PumpUntil([&] { return typed() == "abc\r\ndef"; })) << typed();
    EXPECT_TRUE(xFocusOn(editor.get())) << "the pop-up took the X focus: " << xFocus;
    EXPECT_EQ(editor.get(), GetForegroundWindow());
    EXPECT_EQ(popup, dlg->ReminderWindow()) << "the Enter meant for the editor closed the pop-up";
    EXPECT_TRUE(IsWindowVisible(popup));

    // Clicked, the pop-up has the keyboard: Esc, Enter or its 'x' closes it.
    for (const std::string close : {"key Escape", "key Return", "x"}) {
        SCOPED_TRACE(close);
        if (dlg->ReminderWindow() == nullptr) {
            Fire(Dlg::kReminderTimerId);
            popup = slidIn();
        }
        ASSERT_NE(nullptr, popup);
        xdotool("mousemove " + XServerInput::MiddleOf(popup, IDC_REMINDER_TEXT) + " click 1");
        EXPECT_TRUE(PumpUntil([&] { return GetForegroundWindow() == popup; }));
        EXPECT_TRUE(xFocusOn(popup)) << xFocus;
        xdotool(close == "x"
                    ? "mousemove " + XServerInput::MiddleOf(popup, IDC_REMINDER_CLOSE) + " click 1"
                    : close);
        EXPECT_TRUE(Settled());
    }

    // Back in the editor, the user asks for the reminder: "Show Reminder"
    // activates its pop-up. (The X focus of a dialog shown active comes only
    // from Wine's handling of its map notification, which the X server now
    // and then ignores on the test display; the keys after "Show Reminder"
    // are the SendInput test's.)
    EXPECT_TRUE(clickEditor()) << xFocus;
    Command(ID_TRAY_SHOW_REMINDER);
    popup = slidIn();
    ASSERT_NE(nullptr, popup);
    EXPECT_EQ(popup, GetForegroundWindow());
    xdotool("mousemove " + XServerInput::MiddleOf(popup, IDC_REMINDER_CLOSE) + " click 1");
    EXPECT_TRUE(Settled());
    EXPECT_EQ("abc\r\ndef", typed());
}

TEST_F(TimedReminderTest, EachBusyStateHoldsTheReminderBackUntilItClears) {
    PutAppointment("2002-5-7", "Appointment 1", "2002-5-7", "2002-5-7", "Dentist");
    SetNotificationStateForTesting(&StandInState);
    OpenReal();
    Command(ID_TRAY_MINIMIZE);
    const int busyStates[] = {kStateNotPresent,   kStateBusy,      kStateD3DFullScreen,
                              kStatePresentation, kStateQuietTime, kStateStoreAppRunning};
    for (int state : busyStates) {
        SCOPED_TRACE(state);
        g_userState = state;
        Fire(Dlg::kReminderTimerId);
        EXPECT_TRUE(Settled()) << "the reminder waits";
        EXPECT_EQ(kQuietPollMs, dlg->TimerPeriod(Dlg::kQuietTimerId));
        Fire(Dlg::kQuietTimerId);
        Fire(Dlg::kReminderTimerId);
        EXPECT_TRUE(Settled()) << "still busy";
        EXPECT_TRUE(dlg->IsTimerRunning(Dlg::kQuietTimerId)) << "and is asked again";

        g_userState = kStateAcceptsNotices;
        EXPECT_EQ(std::vector<std::string>{"Dentist"}, ReminderAfter(Dlg::kQuietTimerId))
            << "once the state clears the reminder opens";
        EXPECT_FALSE(dlg->IsTimerRunning(Dlg::kQuietTimerId));
    }

    // "Show Reminder" always shows. Once the window is shown, the waiting
    // stops: no timed reminder comes to a shown window.
    g_userState = kStateBusy;
    EXPECT_EQ(std::vector<std::string>{"Dentist"},
              PopupLines([&] { Command(ID_TRAY_SHOW_REMINDER); }));
    Fire(Dlg::kReminderTimerId);
    ASSERT_TRUE(dlg->IsTimerRunning(Dlg::kQuietTimerId));
    Command(ID_TRAY_CALENDAR_NOTES);
    g_userState = kStateAcceptsNotices;
    Fire(Dlg::kQuietTimerId);
    EXPECT_TRUE(Settled());
    EXPECT_FALSE(dlg->IsTimerRunning(Dlg::kQuietTimerId));
}

TEST_F(TimedReminderTest, SnoozeAndDismissHoldAcrossTriggersARestartAndEndAtMidnight) {
    PutAppointment("2002-5-7", "Appointment 1", "2002-5-7", "2002-5-8", "Dentist");
    PutAppointment("2002-5-7", "Appointment 2", "2002-5-7", "2002-5-8", "Lunch");
    // Damaged and foreign values in the user's key are passed over. (With
    // HKEY_LOCAL_MACHINE redirected to the scratch key, the user's key
    // beside it reads as "User".)
    ASSERT_EQ(registry.Path() + "\\User", registry.UserValuesPath());
    SetText("User", "Snoozed Until", "2002-5-7 11:00", REG_SZ);
    const std::string garbage = "\x07\x8f\x30\x01garbage";
    SetBytes("User", "Dismissed Today", REG_BINARY, garbage.data(),
             static_cast<DWORD>(garbage.size()));
    const auto calendar = TreeSnapshot("SOFTWARE\\Calendar");
    FixedClock::Set(2002, 5, 7, 10, 0, 0);
    OpenReal();
    Command(ID_TRAY_MINIMIZE);

    // Snooze 10 minutes: triggers before then show nothing, "Show Reminder"
    // shows everything, and the reminder comes back when the snooze ends.
    EXPECT_EQ(
        (std::vector<std::string>{"Snooze 10 minutes", "Snooze 1 hour", "", "Dismiss for today"}),
        ChooseFromPopup(Dlg::kReminderTimerId, kSnooze10));
    EXPECT_EQ(10u * 60000u + kDayChangeMarginMs, dlg->TimerPeriod(Dlg::kSnoozeTimerId));
    EXPECT_EQ(static_cast<DWORD>(REG_BINARY), ReadRaw("User", "Snoozed Until").type);
    FixedClock::Set(2002, 5, 7, 10, 5, 0);
    Fire(Dlg::kReminderTimerId);
    EXPECT_TRUE(Settled()) << "snoozed";
    EXPECT_EQ((std::vector<std::string>{"Dentist", "Lunch"}),
              PopupLines([&] { Command(ID_TRAY_SHOW_REMINDER); }));
    FixedClock::Set(2002, 5, 7, 10, 10, 1);
    EXPECT_EQ((std::vector<std::string>{"Dentist", "Lunch"}), ReminderAfter(Dlg::kSnoozeTimerId))
        << "the reminder comes back when the snooze ends";

    // Dismiss for today (this time from the keyboard): those lines no longer
    // come; one added later does.
    EXPECT_EQ(4u, ChooseFromPopup(Dlg::kReminderTimerId, kDismiss, true).size());
    Fire(Dlg::kReminderTimerId);
    EXPECT_TRUE(Settled()) << "everything shown was dismissed";
    PutAppointment("2002-5-7", "Appointment 3", "2002-5-7", "2002-5-8", "Lunch");
    PutAppointment("2002-5-7", "Appointment 4", "2002-5-7", "2002-5-8", "Gym");
    EXPECT_EQ((std::vector<std::string>{"Lunch", "Gym"}), ReminderAfter(Dlg::kReminderTimerId))
        << "a second Lunch and a Gym were added after the dismissal";

    // Snooze an hour, then end the program and start it again.
    FixedClock::Set(2002, 5, 7, 10, 20, 0);
    ChooseFromPopup(Dlg::kReminderTimerId, kSnooze60);
    dlg->DestroyWindow();
    dlg.reset();
    FixedClock::Set(2002, 5, 7, 10, 30, 0);
    OpenReal(false);
    Command(ID_TRAY_MINIMIZE);
    EXPECT_EQ(50u * 60000u + kDayChangeMarginMs, dlg->TimerPeriod(Dlg::kSnoozeTimerId))
        << "the snooze outlives the program";
    Fire(Dlg::kReminderTimerId);
    EXPECT_TRUE(Settled()) << "still snoozed after the restart";
    FixedClock::Set(2002, 5, 7, 11, 20, 1);
    EXPECT_EQ((std::vector<std::string>{"Lunch", "Gym"}), ReminderAfter(Dlg::kSnoozeTimerId))
        << "the dismissal outlives the program too";
    ChooseFromPopup(Dlg::kReminderTimerId, kDismiss);
    Fire(Dlg::kReminderTimerId);
    EXPECT_TRUE(Settled()) << "all dismissed";

    // Tomorrow everything current reminds again, and the old day is gone.
    FixedClock::Set(2002, 5, 8, 0, 0, 1);
    Fire(Dlg::kDayTimerId);
    EXPECT_EQ((std::vector<std::string>{"Dentist", "Lunch", "Lunch", "Gym"}),
              ReminderAfter(Dlg::kReminderTimerId));
    EXPECT_FALSE(ReadRaw("User", "Dismissed Today").exists);
    EXPECT_FALSE(ReadRaw("User", "Snoozed Until").exists);

    // The state stayed the user's: the calendar holds only what was filed.
    auto now = TreeSnapshot("SOFTWARE\\Calendar");
    EXPECT_EQ(calendar.size() + 2 * 7, now.size());
    for (const auto& [path, value] : calendar)
        EXPECT_EQ(value, now[path]) << path;
}

TEST_F(TimedReminderTest, DismissingAfterMidnightLeavesTheNewDaysRemindersAlone) {
    PutAppointment("2002-5-7", "Appointment 1", "2002-5-7", "2002-5-8", "Night shift");
    PutAppointment("2002-5-7", "Appointment 2", "2002-5-7", "2002-5-7", "Tuesday only");
    PutAppointment("2002-5-8", "Appointment 1", "2002-5-8", "2002-5-8", "Gym");
    FixedClock::Set(2002, 5, 7, 18, 0, 0);
    OpenReal();
    Command(ID_TRAY_MINIMIZE);

    // Tuesday's pop-up is still there on Wednesday morning, where Gym has
    // been dismissed already; the user dismisses the pop-up.
    const std::vector<unsigned char> wednesday =
        EncodeDismissed({{2002, 5, 8}, {ReminderLineHash("Gym")}});
    ChooseFromPopup(Dlg::kReminderTimerId, kDismiss, false, [&] {
        FixedClock::Set(2002, 5, 8, 8, 0, 0);
        SetBytes("User", "Dismissed Today", REG_BINARY, wednesday.data(),
                 static_cast<DWORD>(wednesday.size()));
    });
    EXPECT_EQ(std::string(wednesday.begin(), wednesday.end()),
              ReadRaw("User", "Dismissed Today").bytes)
        << "a dismissal of a day that has ended leaves today's as they are";
    EXPECT_EQ(std::vector<std::string>{"Night shift"}, ReminderAfter(Dlg::kReminderTimerId))
        << "Tuesday's lines dismissed on Wednesday do not silence Wednesday";
}

TEST_F(TimedReminderTest, APopupOfADayThatHasEndedMakesWayForTheNewDaysLines) {
    PutAppointment("2002-5-7", "Appointment 1", "2002-5-7", "2002-5-8", "Night shift");
    PutAppointment("2002-5-7", "Appointment 2", "2002-5-7", "2002-5-7", "Tuesday only");
    PutAppointment("2002-5-8", "Appointment 1", "2002-5-8", "2002-5-8", "Wednesday");
    PutAppointment("2002-5-9", "Appointment 1", "2002-5-9", "2002-5-9", "Thursday");
    FixedClock::Set(2002, 5, 7, 23, 59, 0);
    OpenReal();
    Command(ID_TRAY_MINIMIZE);

    // Hidden: the timed pop-up open at midnight closes, and a timed one of
    // the new day follows at once.
    Fire(Dlg::kReminderTimerId);
    HWND tuesday = WaitForPopup();
    ASSERT_NE(nullptr, tuesday);
    FixedClock::Set(2002, 5, 8, 0, 0, 0, 500);
    Fire(Dlg::kDayTimerId);
    EXPECT_TRUE(PumpUntil([&] { return !IsWindow(tuesday); })) << "the old pop-up closes";
    ASSERT_TRUE(PumpUntil([&] { return dlg->CountOf("reminder") == 2; }));
    EXPECT_EQ((std::vector<std::string>{"Night shift", "Wednesday"}), PopupLines([] {}))
        << "the reminder that follows shows the new day";

    // A scan that began before midnight and ended after it shows the new day.
    g_windowThread = GetCurrentThreadId();
    g_reminderReads = 0;
    const fw::ClockFn fixed = fw::SetClockForTesting(&MidnightDuringTheScan);
    EXPECT_EQ((std::vector<std::string>{"Night shift", "Wednesday"}),
              ReminderAfter(Dlg::kReminderTimerId));
    fw::SetClockForTesting(fixed);

    // Shown: "Show Reminder" open at midnight closes too, and nothing
    // follows, since no timed reminder comes to a shown window.
    Command(ID_TRAY_CALENDAR_NOTES);
    Command(ID_TRAY_SHOW_REMINDER);
    HWND asked = WaitForPopup();
    ASSERT_NE(nullptr, asked);
    FixedClock::Set(2002, 5, 9, 0, 0, 0, 500);
    Fire(Dlg::kDayTimerId);
    EXPECT_TRUE(PumpUntil([&] { return !IsWindow(asked); }));
    PumpMessages(300);
    EXPECT_TRUE(Settled());
    EXPECT_EQ(4, dlg->CountOf("reminder"));
}

TEST_F(TimedReminderTest, TheDayTimerWaitsForLocalMidnightOnDaysTheClocksChange) {
    constexpr UINT kHour = 3600 * 1000;
    SetTimeZoneForTesting(&UsEasternTime);
    FixedClock::Set(2027, 3, 14, 0, 0, 30);
    OpenReal();
    EXPECT_EQ(23 * kHour - 30000 + kDayChangeMarginMs, dlg->TimerPeriod(Dlg::kDayTimerId))
        << "the day the clocks go forward has 23 hours";

    FixedClock::Set(2027, 11, 7, 0, 0, 30);
    Fire(Dlg::kDayTimerId);
    EXPECT_EQ("2027-11-7", CalendarToday());
    EXPECT_EQ(25 * kHour - 30000 + kDayChangeMarginMs, dlg->TimerPeriod(Dlg::kDayTimerId))
        << "the day they go back has 25";
    // 01:30 comes twice that day; counted from the second, the timer is at
    // worst an hour early, and then waits again.
    FixedClock::Set(2027, 11, 7, 1, 30, 0);
    SendMessageA(Hwnd(), WM_TIMECHANGE, 0, 0);
    EXPECT_EQ(22 * kHour + kHour / 2 + kDayChangeMarginMs, dlg->TimerPeriod(Dlg::kDayTimerId));
}

} // namespace
} // namespace qmtest
