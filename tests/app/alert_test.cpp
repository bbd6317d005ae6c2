// Stories of timed appointments' alerts, with the real window, walker and
// pop-up, through the clock seam: the alert at its minute, snooze and
// dismiss kept across a restart, missed alerts, a store changed by another
// program, several alerts in one pop-up, a busy user, the real keyboard, and
// the changes of the clocks.
#include "app/alert_timing.h"
#include "calendar/appointment_time.h"
#include "res/resource.h"
#include "store/timed_registry.h"
#include "tests/app/calendar_test_window.h"
#include "tests/support/outside_change.h"
#include "tests/support/x_server_input.h"
#include "tray/notification_state.h"
#include "tray/reminder_schedule.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>

namespace qmtest {
namespace {

using Alerts = CAlertTiming;
constexpr UINT kLate = 100; // the timer's margin past the alert's second
constexpr UINT kMinute = 60 * 1000;

std::atomic<int> g_userState{kStateAcceptsNotices};
int StandInState() {
    return g_userState.load();
}

// An appointment with a time and an alert, as the store keeps it.
void PutTimed(const std::string& day, const std::string& key, const std::string& from,
              const std::string& to, const std::string& notes, const char* time, int remind) {
    const std::string path = PutAppointment(day, key, from, to, notes);
    fw::unique_hkey appointment;
    ASSERT_EQ(ERROR_SUCCESS, OpenMachineKey(path, KEY_ALL_ACCESS, appointment, false));
    TimedValues values;
    values.minuteOfDay = ParseTimeOfDay(time);
    values.remindBefore = remind;
    ASSERT_TRUE(WriteTimedValues(appointment.get(), values));
}

class AlertTest : public CalendarWindowTest {
protected:
    void TearDown() override {
        SetNotificationStateForTesting(nullptr);
        CalendarWindowTest::TearDown();
    }
    Alerts& Timing() const { return dlg->Controller<Alerts>(); }
    // The window, once the walker's first list of alerts is in.
    void OpenAndRead(bool show = true) {
        Open(show);
        ASSERT_TRUE(PumpUntil([this] { return Timing().ListsTaken() > 0; }));
    }
    UINT Period() const {
        return dlg->IsTimerRunning(Alerts::kAlertTimerId) ? dlg->TimerPeriod(Alerts::kAlertTimerId)
                                                          : 0;
    }
    void FireAlertTimer() {
        SendMessageA(Hwnd(), WM_TIMER, Alerts::kAlertTimerId, 0);
        PumpMessages();
    }
    // The pop-up's text once it is up with `lines` lines; "" when none comes.
    std::string PopupText(size_t lines = 1) {
        std::string text;
        PumpUntil([&] {
            HWND popup = Timing().PopupWindow();
            if (popup == nullptr || !IsWindowVisible(popup))
                return false;
            char buffer[1024] = {};
            GetDlgItemTextA(popup, IDC_ALERT_TEXT, buffer, sizeof buffer);
            text = buffer;
            size_t count = text.empty() ? 0 : 1;
            for (size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at + 1))
                ++count;
            return count == lines;
        });
        return text;
    }
    // The user answers the pop-up with a button or menu command.
    void Answer(int command) {
        HWND popup = Timing().PopupWindow();
        ASSERT_NE(nullptr, popup);
        PostMessageA(popup, WM_COMMAND, MAKEWPARAM(command, BN_CLICKED), 0);
        ASSERT_TRUE(PumpUntil([this] { return Timing().PopupWindow() == nullptr; }));
        PumpMessages(20);
    }
    bool NoPopup() {
        PumpMessages(200);
        return Timing().PopupWindow() == nullptr;
    }
};

TEST_F(AlertTest, AnAlertComesAtItsMinuteShownOrHiddenSnoozesAndStaysDismissedAfterARestart) {
    PutTimed("2002-5-7", "Appointment 1", "2002-5-7", "2002-5-7", "Dentist", "14:30", 15);
    PutTimed("2002-5-7", "Appointment 2", "2002-5-7", "2002-5-7", "Call Ann", "15:00", 10);
    FixedClock::Set(2002, 5, 7, 14, 0, 0);
    OpenAndRead();
    EXPECT_EQ(15 * kMinute + kLate, Period()) << "one timer, set for the first alert";
    EXPECT_EQ(nullptr, Timing().PopupWindow());

    // Shown window: the alert comes at 14:15, without taking the foreground.
    SetForegroundWindow(Hwnd());
    FixedClock::Set(2002, 5, 7, 14, 15, 0, 100);
    FireAlertTimer();
    EXPECT_EQ("14:30 Dentist, in 15 minutes", PopupText());
    EXPECT_EQ(Hwnd(), GetForegroundWindow());
    EXPECT_EQ(35 * kMinute, Period()) << "set again for the next alert";
    Answer(IDC_ALERT_DISMISS);

    // Hidden window: the next one comes all the same; snoozed, it returns.
    Command(ID_TRAY_MINIMIZE);
    FixedClock::Set(2002, 5, 7, 14, 50, 0, 100);
    FireAlertTimer();
    EXPECT_EQ("15:00 Call Ann, in 10 minutes", PopupText());
    Answer(ID_ALERT_SNOOZE_5);
    EXPECT_EQ(5 * kMinute, Period()) << "the snooze's end";
    FixedClock::Set(2002, 5, 7, 14, 55, 0, 100);
    FireAlertTimer();
    EXPECT_EQ("15:00 Call Ann, in 5 minutes", PopupText());
    Answer(IDC_ALERT_CLOSE); // 'x' dismisses
    EXPECT_EQ(0u, Period()) << "nothing more to wait for";

    // A restart finds both answered: nothing comes again.
    dlg->DestroyWindow();
    dlg.reset();
    FixedClock::Set(2002, 5, 7, 15, 5, 0);
    OpenAndRead(false);
    EXPECT_TRUE(NoPopup());
    EXPECT_EQ(0u, Period());
}

TEST_F(AlertTest, AlertsMissedWhileNotRunningOrAsleepComeMarkedAtStartUpAndOnResume) {
    PutTimed("2002-5-7", "Appointment 1", "2002-5-7", "2002-5-7", "Standup", "09:00", 15);
    PutTimed("2002-5-7", "Appointment 2", "2002-5-7", "2002-5-7", "Lunch", "12:30", 30);
    PutTimed("2002-5-6", "Appointment 1", "2002-5-6", "2002-5-6", "Yesterday", "10:00", 15);
    FixedClock::Set(2002, 5, 7, 10, 0, 0);
    OpenAndRead(false);
    EXPECT_EQ("Missed: 09:00 Standup", PopupText()) << "today's only";
    Answer(IDC_ALERT_DISMISS);
    EXPECT_EQ(60 * kMinute, Period()) << "the 12:00 alert, looked at again within the hour";

    // Asleep over lunch; the timer stood still.
    FixedClock::Set(2002, 5, 7, 13, 0, 0);
    SendMessageA(Hwnd(), WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC, 0);
    EXPECT_EQ("Missed: 12:30 Lunch", PopupText());
    Answer(IDC_ALERT_DISMISS);
    EXPECT_TRUE(NoPopup());
}

TEST_F(AlertTest, AStoreChangedByAnotherProgramSetsTheTimerAgain) {
    PutAppointment("2002-5-7", "Appointment 2", "2002-5-7", "2002-5-7", "All day");
    FixedClock::Set(2002, 5, 7, 14, 0, 0);
    OpenAndRead();
    EXPECT_EQ(0u, Period());
    const std::string path = "SOFTWARE\\Calendar\\2002-5-7\\Appointment 1";
    ASSERT_TRUE(SetTextFromAnotherProcess(registry, path, "FROM", "2002-5-7"));
    ASSERT_TRUE(SetTextFromAnotherProcess(registry, path, "TO", "2002-5-7"));
    ASSERT_TRUE(SetTextFromAnotherProcess(registry, path, "NOTES", "Dentist"));
    ASSERT_TRUE(SetTextFromAnotherProcess(registry, path, "TIME", "14:30"));
    fw::unique_handle remind(StartRegFromAnotherProcess(registry, "add", path,
                                                        "/v \"REMIND BEFORE\" /t REG_DWORD /d 10"));
    ASSERT_TRUE(remind && FinishOutsideDelete(std::move(remind)));
    EXPECT_TRUE(PumpUntil([this] { return Period() == 20 * kMinute + kLate; }, 10000)) << Period();

    fw::unique_handle sooner(StartRegFromAnotherProcess(registry, "add", path,
                                                        "/v \"REMIND BEFORE\" /t REG_DWORD /d 25"));
    ASSERT_TRUE(sooner && FinishOutsideDelete(std::move(sooner)));
    EXPECT_TRUE(PumpUntil([this] { return Period() == 5 * kMinute + kLate; }, 10000)) << Period();
}

TEST_F(AlertTest, AlertsDueTogetherShareOnePopupAndLaterOnesJoinIt) {
    PutTimed("2002-5-7", "Appointment 1", "2002-5-7", "2002-5-7", "Dentist", "14:30", 15);
    PutTimed("2002-5-7", "Appointment 2", "2002-5-7", "2002-5-7", "Review", "14:15", 0);
    PutTimed("2002-5-6", "Appointment 1", "2002-5-6", "2002-5-9", "Call Ann", "14:20", 0);
    FixedClock::Set(2002, 5, 7, 14, 15, 0, 100);
    OpenAndRead();
    EXPECT_EQ("14:15 Review, now\r\n14:30 Dentist, in 15 minutes", PopupText(2));
    EXPECT_EQ(5 * kMinute, Period());

    FixedClock::Set(2002, 5, 7, 14, 20, 0, 100);
    FireAlertTimer();
    EXPECT_EQ("14:15 Review, 5 minutes ago\r\n14:30 Dentist, in 10 minutes\r\n"
              "14:20 Call Ann, now",
              PopupText(3));
    Answer(IDC_ALERT_DISMISS);
    EXPECT_TRUE(NoPopup()) << "one answer for all three";
    EXPECT_EQ(60 * kMinute, Period()) << "tomorrow's, looked at again within the hour";
}

TEST_F(AlertTest, AnAppointmentBeyondTheWalksReachAlertsOnceTheDaysTurnNearIt) {
    // A week's notice of the 17th, 09:00: due on the 10th, out of the first
    // walk's reach.
    PutTimed("2002-5-7", "Appointment 1", "2002-5-17", "2002-5-17", "Far ahead", "09:00",
             7 * 24 * 60);
    FixedClock::Set(2002, 5, 7, 8, 0, 0);
    OpenAndRead(false);
    EXPECT_EQ(0u, Period()) << "nothing known to alert";

    // The day timer brings the 10th (the days between slept through).
    const int listsBefore = Timing().ListsTaken();
    FixedClock::Set(2002, 5, 10, 8, 0, 0);
    SendMessageA(Hwnd(), WM_TIMER, CReminderTiming::kDayTimerId, 0);
    ASSERT_TRUE(PumpUntil([&] { return Timing().ListsTaken() > listsBefore; }));
    EXPECT_EQ(60 * kMinute, Period()) << "due in an hour";
    FixedClock::Set(2002, 5, 10, 9, 0, 0, 100);
    FireAlertTimer();
    EXPECT_EQ("09:00 Far ahead, in 7 days", PopupText());
    Answer(IDC_ALERT_DISMISS);
}

TEST_F(AlertTest, ARepeatingAppointmentAlertsOnEachOccurrenceButASkippedOne) {
    PutTimed("2002-4-2", "Appointment 1", "2002-4-2", "2002-4-2", "Class", "14:30", 15);
    SetText("SOFTWARE\\Calendar\\2002-4-2\\Appointment 1", "REPEAT", "FREQ=WEEKLY", REG_SZ);
    SetText("SOFTWARE\\Calendar\\2002-4-2\\Appointment 1", "SKIP DATES", "20020514", REG_SZ);
    FixedClock::Set(2002, 5, 7, 14, 0, 0);
    OpenAndRead(false);
    EXPECT_EQ(15 * kMinute + kLate, Period());
    FixedClock::Set(2002, 5, 7, 14, 15, 0, 100);
    FireAlertTimer();
    EXPECT_EQ("14:30 Class, in 15 minutes", PopupText());
    Answer(IDC_ALERT_DISMISS);

    // A week on the occurrence is skipped; a week after that it alerts.
    for (const int day : {14, 21}) {
        const int listsBefore = Timing().ListsTaken();
        FixedClock::Set(2002, 5, day, 14, 0, 0);
        SendMessageA(Hwnd(), WM_TIMER, CReminderTiming::kDayTimerId, 0);
        ASSERT_TRUE(PumpUntil([&] { return Timing().ListsTaken() > listsBefore; }));
        FixedClock::Set(2002, 5, day, 14, 15, 0, 100);
        FireAlertTimer();
        if (day == 14) {
            EXPECT_TRUE(NoPopup());
        } else {
            EXPECT_EQ("14:30 Class, in 15 minutes", PopupText());
            Answer(IDC_ALERT_DISMISS);
        }
    }
}

TEST_F(AlertTest, ABusyUserHoldsTheAlertBackAndItIsNeverDropped) {
    PutTimed("2002-5-7", "Appointment 1", "2002-5-7", "2002-5-7", "Dentist", "14:30", 15);
    SetNotificationStateForTesting(&StandInState);
    g_userState = kStatePresentation;
    FixedClock::Set(2002, 5, 7, 14, 0, 0);
    OpenAndRead(false);
    FixedClock::Set(2002, 5, 7, 14, 15, 0, 100);
    FireAlertTimer();
    EXPECT_TRUE(NoPopup());
    EXPECT_EQ(kQuietPollMs, dlg->TimerPeriod(Alerts::kQuietTimerId));
    FixedClock::Set(2002, 5, 7, 14, 25, 0);
    SendMessageA(Hwnd(), WM_TIMER, Alerts::kQuietTimerId, 0);
    EXPECT_TRUE(NoPopup()) << "still presenting";

    g_userState = kStateAcceptsNotices;
    SendMessageA(Hwnd(), WM_TIMER, Alerts::kQuietTimerId, 0);
    EXPECT_EQ("14:30 Dentist, in 5 minutes", PopupText());
    EXPECT_FALSE(dlg->IsTimerRunning(Alerts::kQuietTimerId));
    Answer(IDC_ALERT_DISMISS);
}

TEST_F(AlertTest, TheTrayTipNamesTheNextAlertOfTodayUnderItsOwnFirstLine) {
    PutTimed("2002-5-7", "Appointment 1", "2002-5-7", "2002-5-7", "Dentist", "14:30", 15);
    PutTimed("2002-5-7", "Appointment 2", "2002-5-7", "2002-5-7", "Call Ann", "16:00", 0);
    PutTimed("2002-5-8", "Appointment 1", "2002-5-8", "2002-5-8", "Tomorrow", "08:00", 0);
    FixedClock::Set(2002, 5, 7, 14, 0, 0);
    OpenAndRead(false);
    const std::wstring first = L"Calender and Notes";
    EXPECT_EQ(first + L"\nNext alert 14:15: 14:30 Dentist", dlg->TrayIcon().Tip());

    // Shown and answered, the one after it is named.
    FixedClock::Set(2002, 5, 7, 14, 15, 0, 100);
    FireAlertTimer();
    EXPECT_EQ("14:30 Dentist, in 15 minutes", PopupText());
    EXPECT_EQ(first + L"\nNext alert 16:00: 16:00 Call Ann", dlg->TrayIcon().Tip());
    Answer(IDC_ALERT_DISMISS);
    EXPECT_EQ(first + L"\nNext alert 16:00: 16:00 Call Ann", dlg->TrayIcon().Tip());

    // The last of today answered: tomorrow's is not today's, the tip is bare.
    FixedClock::Set(2002, 5, 7, 16, 0, 0, 100);
    FireAlertTimer();
    EXPECT_EQ("16:00 Call Ann, now", PopupText());
    Answer(IDC_ALERT_DISMISS);
    EXPECT_EQ(first, dlg->TrayIcon().Tip());
}

// The whole story on the real keyboard and mouse, through the X server: the
// user types in another program while alerts come on their real timer, with
// the window shown and hidden; the keys stay with that program; the mouse
// snoozes one, which comes back, and dismisses it for good; a sleep over an
// alert brings it as missed.
TEST_F(AlertTest, TheUserTypesElsewhereWhileAlertsComeAndAnswersThemWithTheMouse) {
    if (!XServerInput::Available())
        GTEST_SKIP() << "keys through the X server need Wine";
    XServerInput x;
    auto xdotool = [&](const std::string& args) {
        ASSERT_TRUE(x.Run(args)) << "xdotool " << args << " (scripts/setup.sh installs it)";
    };
    PutTimed("2002-5-7", "Appointment 1", "2002-5-7", "2002-5-7", "Dentist", "14:30", 15);
    PutTimed("2002-5-7", "Appointment 2", "2002-5-7", "2002-5-7", "Call Ann", "15:00", 10);
    PutTimed("2002-5-7", "Appointment 3", "2002-5-7", "2002-5-7", "Lunch", "17:00", 30);
    FixedClock::Set(2002, 5, 7, 14, 14, 59, 700);
    OpenAndRead();
    EXPECT_EQ(300 + kLate, Period());

    fw::UniqueHandle<fw::NullHandleTraits<HWND, ::DestroyWindow>> editor(CreateWindowExA(
        0, "EDIT", "", WS_OVERLAPPEDWINDOW | WS_VISIBLE | ES_MULTILINE | ES_WANTRETURN, 40, 40, 300,
        200, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr));
    ASSERT_TRUE(editor);
    auto typed = [&] {
        char text[64] = {};
        GetWindowTextA(editor.get(), text, sizeof text);
        return std::string(text);
    };
    ClicksTaken clicks;
    ASSERT_TRUE(clicks.Hooked());
    // A click the thread has handled; the editor's takes the X focus too
    // (Wine's tray may take it first when it shows the icon: click again).
    auto click = [&](const std::string& at, HWND into) {
        for (int attempt = 0; attempt < 3; ++attempt) {
            const int taken = clicks.Count();
            xdotool("mousemove " + at + " click 1");
            if (PumpUntil([&] { return clicks.Count() > taken; }, 20000) &&
                PumpUntil([&] { return GetForegroundWindow() == into; }, 2000))
                return true;
        }
        return false;
    };
    // Keys typed now reach the editor, and nothing else.
    auto typeInEditor = [&](const std::string& expected) {
        for (const char* keys : {"type ab", "key Return", "type c"})
            xdotool(keys);
        EXPECT_TRUE(PumpUntil([&] { return typed() == expected; })) << typed();
        EXPECT_EQ(editor.get(), GetForegroundWindow());
    };
    ASSERT_TRUE(click("190 140", editor.get()));
    // A click on the pop-up, whose own thread takes it.
    auto clickOn = [&](HWND popup, int control) {
        ASSERT_NE(nullptr, popup);
        xdotool("mousemove " + XServerInput::MiddleOf(popup, control) + " click 1");
    };

    // Shown window: the real timer brings the alert at its minute; the user
    // goes on typing, and Enter does not dismiss it.
    FixedClock::Set(2002, 5, 7, 14, 15, 0, 50);
    EXPECT_EQ("14:30 Dentist, in 15 minutes", PopupText());
    HWND popup = Timing().PopupWindow();
    typeInEditor("ab\r\nc");
    EXPECT_EQ(popup, Timing().PopupWindow()) << "a key meant for the editor answered the alert";
    clickOn(popup, IDC_ALERT_DISMISS);
    ASSERT_TRUE(PumpUntil([this] { return Timing().PopupWindow() == nullptr; }));

    // Hidden window: the next one comes all the same, over the editor.
    Command(ID_TRAY_MINIMIZE);
    ASSERT_TRUE(click("190 140", editor.get()));
    FixedClock::Set(2002, 5, 7, 14, 49, 59, 800);
    SendMessageA(Hwnd(), WM_TIMECHANGE, 0, 0);
    EXPECT_EQ(200 + kLate, Period());
    FixedClock::Set(2002, 5, 7, 14, 50, 0, 50);
    EXPECT_EQ("15:00 Call Ann, in 10 minutes", PopupText());
    typeInEditor("ab\r\ncab\r\nc");

    // Snooze, 5 minutes, from the button's menu: it comes back then.
    popup = Timing().PopupWindow();
    clickOn(popup, IDC_ALERT_SNOOZE);
    ASSERT_TRUE(PumpUntil([] {
        GUITHREADINFO info{};
        info.cbSize = sizeof info;
        return GetGUIThreadInfo(0, &info) && (info.flags & GUI_INMENUMODE) != 0;
    })) << "the Snooze menu opens";
    xdotool("key 5");
    ASSERT_TRUE(PumpUntil([this] { return Timing().PopupWindow() == nullptr; }));
    PumpMessages(50);
    EXPECT_EQ(5 * kMinute + kLate - 50, Period()) << "five minutes from the snooze";
    FixedClock::Set(2002, 5, 7, 14, 55, 0, 100);
    FireAlertTimer();
    EXPECT_EQ("15:00 Call Ann, in 5 minutes", PopupText());
    popup = Timing().PopupWindow();
    clickOn(popup, IDC_ALERT_DISMISS);
    ASSERT_TRUE(PumpUntil([this] { return Timing().PopupWindow() == nullptr; }));
    FixedClock::Set(2002, 5, 7, 15, 0, 0, 100);
    FireAlertTimer();
    EXPECT_TRUE(NoPopup()) << "dismissed stays gone";

    // Asleep over the lunch alert: on waking it comes, marked as missed.
    FixedClock::Set(2002, 5, 7, 17, 10, 0);
    SendMessageA(Hwnd(), WM_POWERBROADCAST, PBT_APMRESUMESUSPEND, 0);
    EXPECT_EQ("Missed: 17:00 Lunch", PopupText());
    Answer(IDC_ALERT_DISMISS);
}

// Wall-clock times on the days the clocks change (Central Europe, 2002:
// 31 March 02:00 -> 03:00, 27 October 03:00 -> 02:00).
TEST_F(AlertTest, AlertsKeepTheirWallClockTimeAcrossChangesOfTheClocks) {
    PutTimed("2002-3-30", "Appointment 1", "2002-3-30", "2002-3-31", "Nine", "09:00", 0);
    PutTimed("2002-3-31", "Appointment 1", "2002-3-31", "2002-3-31", "In the gap", "02:30", 0);
    PutTimed("2002-10-27", "Appointment 1", "2002-10-27", "2002-10-27", "Autumn", "09:00", 0);
    FixedClock::Set(2002, 3, 30, 8, 30, 0);
    OpenAndRead(false);
    Timing().Clock().SetComputerZoneForTesting(L"W. Europe Standard Time");
    SendMessageA(Hwnd(), WM_TIMECHANGE, 0, 0);
    EXPECT_EQ(30 * kMinute + kLate, Period()) << "09:00 before the change";
    FixedClock::Set(2002, 3, 30, 9, 0, 0, 100);
    FireAlertTimer();
    EXPECT_EQ("09:00 Nine, now", PopupText());
    Answer(IDC_ALERT_DISMISS);

    // 01:50 winter time: the gap's 02:30 comes at 03:00 summer time, ten
    // minutes on.
    FixedClock::Set(2002, 3, 31, 1, 50, 0);
    SendMessageA(Hwnd(), WM_TIMECHANGE, 0, 0);
    EXPECT_EQ(10 * kMinute + kLate, Period());
    FixedClock::Set(2002, 3, 31, 3, 0, 0, 100);
    FireAlertTimer();
    EXPECT_EQ("02:30 In the gap, now", PopupText());
    Answer(IDC_ALERT_DISMISS);
    FixedClock::Set(2002, 3, 31, 8, 30, 0);
    SendMessageA(Hwnd(), WM_TIMECHANGE, 0, 0);
    EXPECT_EQ(30 * kMinute + kLate, Period()) << "09:00 after the change";
    FixedClock::Set(2002, 3, 31, 9, 0, 0, 100);
    FireAlertTimer();
    EXPECT_EQ("09:00 Nine, now", PopupText());
    Answer(IDC_ALERT_DISMISS);

    // The autumn day: 09:00 is half an hour after 08:30 there too. (Months
    // on, the walker hands over that day's alerts first.)
    const int listsBefore = Timing().ListsTaken();
    FixedClock::Set(2002, 10, 27, 8, 30, 0);
    SendMessageA(Hwnd(), WM_TIMECHANGE, 0, 0);
    ASSERT_TRUE(PumpUntil([&] { return Timing().ListsTaken() > listsBefore; }));
    EXPECT_EQ(30 * kMinute + kLate, Period());
    FixedClock::Set(2002, 10, 27, 9, 0, 0, 100);
    FireAlertTimer();
    EXPECT_EQ("09:00 Autumn, now", PopupText());
    Answer(IDC_ALERT_DISMISS);
}

} // namespace
} // namespace qmtest
