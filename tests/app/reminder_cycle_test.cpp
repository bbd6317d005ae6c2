#include "res/resource.h"
#include "store/calendar_registry.h"
#include "tests/support/outside_change.h"
#include "tests/app/reminder_window_test.h"
#include "tests/support/write_protect.h"
#include "tray/reminder_lines.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <string>
#include <thread>

namespace qmtest {
namespace {

// The reminder pop-ups of this process on screen now, whichever thread runs
// them.
int VisiblePopups() {
    int count = 0;
    EnumWindows(
        [](HWND hwnd, LPARAM lp) -> BOOL {
            DWORD process = 0;
            GetWindowThreadProcessId(hwnd, &process);
            if (process == GetCurrentProcessId() && IsWindowVisible(hwnd) &&
                GetDlgItem(hwnd, IDC_REMINDER_CLOSE) != nullptr &&
                GetDlgItem(hwnd, IDC_REMINDER_TEXT) != nullptr)
                ++*reinterpret_cast<int*>(lp);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&count));
    return count;
}

// Watches, on a thread of its own, how many pop-ups are ever on screen at once.
class PopupWatcher {
public:
    PopupWatcher()
        : m_thread([this] {
              while (!m_stop.load()) {
                  const int shown = VisiblePopups();
                  if (shown > m_most.load())
                      m_most = shown;
                  Sleep(1);
              }
          }) {}
    ~PopupWatcher() { Stop(); }
    PopupWatcher(const PopupWatcher&) = delete;
    PopupWatcher& operator=(const PopupWatcher&) = delete;
    // Stops watching; the most pop-ups seen at once.
    int Stop() {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
        return m_most.load();
    }

private:
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_most{0};
    std::thread m_thread;
};

// The reminder timer, the triggers and the real reminder thread with its
// pop-up, on the main window of 7 May 2002.
class ReminderCycleWindowTest : public ReminderWindowTest {
protected:
    void SetUp() override { SetDword("SOFTWARE\\Calendar\\OPTIONS", "TIMEOUT VALUE", 4); }
    void PutCurrent(const std::string& key, const std::string& notes) {
        PutAppointment("2002-5-7", key, "2002-5-7", "2002-5-7", notes);
    }
    // Many current appointments, so that a scan takes a while.
    static void PutManyCurrent(int days, int perDay) {
        for (int day = 1; day <= days; ++day)
            for (int i = 1; i <= perDay; ++i)
                PutAppointment("2002-4-" + std::to_string(day), "Appointment " + std::to_string(i),
                               "2002-4-1", "2002-5-31", "note");
    }
    // Closes an open pop-up and waits until no reminder thread is left.
    bool CloseAllAndWait() {
        return PumpUntil(
            [this] {
                if (HWND popup = dlg->ReminderWindow())
                    PostMessageA(popup, WM_CLOSE, 0, 0);
                return dlg->ActiveReminderThreads() == 0;
            },
            20000);
    }
};

TEST_F(ReminderCycleWindowTest, TriggersStartAScanOnlyWhileNoReminderIsBusy) {
    Open();
    Command(ID_TRAY_MINIMIZE);
    SendMessageA(Hwnd(), WM_TIMER, 1, 0);
    Command(ID_TRAY_SHOW_REMINDER);
    EXPECT_EQ(2, dlg->CountOf("reminder"));

    dlg->Reminders().SetReminderBusy(1);
    SendMessageA(Hwnd(), WM_TIMER, 1, 0);
    Command(ID_TRAY_SHOW_REMINDER);
    EXPECT_EQ(2, dlg->CountOf("reminder")) << "nothing happens while a reminder is busy";
    EXPECT_EQ(4u * 60000u, dlg->TimerPeriod(1)) << "and the timer is left alone";
}

TEST_F(ReminderCycleWindowTest, ShowReminderWithNothingCurrentShowsNothingAndFreesTheFlag) {
    PutAppointment("2002-5-7", "Appointment 1", "2002-5-8", "2002-5-9", "tomorrow");
    OpenReal();
    for (int round = 1; round <= 2; ++round) {
        Command(ID_TRAY_SHOW_REMINDER);
        ASSERT_TRUE(WaitForThreads());
        EXPECT_EQ(0, dlg->IsReminderBusy());
        EXPECT_EQ(nullptr, dlg->ReminderWindow());
        EXPECT_FALSE(dlg->IsTimerRunning(1)) << "no pop-up closed, so no restart";
    }
    EXPECT_EQ(2, dlg->CountOf("reminder")) << "the next trigger scans again";
}

TEST_F(ReminderCycleWindowTest, APopupBlocksFurtherTriggersAndItsCloseRestartsTheTimer) {
    PutCurrent("Appointment 1", "Dentist");
    PutCurrent("Appointment 2", "Call Anna");
    OpenReal();
    // Two triggers in a row, the second before the first scan is done.
    Command(ID_TRAY_SHOW_REMINDER);
    Command(ID_TRAY_SHOW_REMINDER);
    HWND popup = WaitForPopup();
    ASSERT_NE(nullptr, popup);
    EXPECT_EQ(1, dlg->ActiveReminderThreads());
    EXPECT_EQ(1, dlg->IsReminderBusy());
    EXPECT_EQ("1. ", ReminderText(popup).substr(0, 3));

    SendMessageA(Hwnd(), WM_TIMER, 1, 0);
    Command(ID_TRAY_SHOW_REMINDER);
    PumpMessages(50);
    EXPECT_EQ(1, dlg->ActiveReminderThreads()) << "no second scan while a pop-up is open";
    EXPECT_EQ(popup, dlg->ReminderWindow());

    ASSERT_TRUE(IsWindowVisible(Hwnd()));
    ASSERT_FALSE(dlg->IsTimerRunning(1));
    PostMessageA(popup, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
    ASSERT_TRUE(WaitForThreads());
    EXPECT_FALSE(IsWindow(popup));
    EXPECT_EQ(0, dlg->IsReminderBusy());
    EXPECT_TRUE(PumpUntil([this] { return dlg->IsTimerRunning(1); }))
        << "closing the pop-up starts the timer, though the window is shown";
    EXPECT_EQ(4u * 60000u, dlg->TimerPeriod(1));
    EXPECT_TRUE(IsWindowVisible(Hwnd()));

    // A later trigger opens a new pop-up.
    SendMessageA(Hwnd(), WM_TIMER, 1, 0);
    popup = WaitForPopup();
    ASSERT_NE(nullptr, popup);
    PostMessageA(popup, WM_CLOSE, 0, 0);
    ASSERT_TRUE(WaitForThreads());
    EXPECT_EQ(0, dlg->IsReminderBusy());
}

TEST_F(ReminderCycleWindowTest, APurgeThatMayNotDeleteGoesOnAndRemindersStillCome) {
    const std::string day = "SOFTWARE\\Calendar\\2002-5-1";
    // A key with a key below it cannot be deleted (Wine deletes a key
    // whatever its access list says, so this stands in for a denied delete).
    const std::string pinned =
        PutAppointment("2002-5-1", "Appointment 1", "2002-5-1", "2002-5-2", "ended, pinned");
    CreateKey(pinned + "\\Pinned");
    PutAppointment("2002-5-1", "Appointment 2", "2002-5-1", "2002-5-2", "ended");
    PutAppointment("2002-5-1", "Appointment 3", "2002-5-1", "2002-5-9", "Still on");
    PutAppointment("2002-5-2", "Appointment 1", "2002-5-1", "2002-5-2", "ended, day read-only");
    SetDword("SOFTWARE\\Calendar\\OPTIONS", "TIMEOUT DELETE", 1);
    {
        WriteProtectedKey readOnlyAppointment(pinned);
        WriteProtectedKey readOnlyDay("SOFTWARE\\Calendar\\2002-5-2");
        WriteProtectedKey readOnlyRoot("SOFTWARE\\Calendar");
        OpenReal(); // the purge runs in the start-up
        ASSERT_NE(nullptr, Hwnd());
        EXPECT_EQ((std::vector<std::string>{"Appointment 1", "Appointment 3"}), Subkeys(day))
            << "the one it may not delete stays, whole, and the walk goes on past it";
        EXPECT_EQ(6u, ValueNames(pinned).size());
        EXPECT_TRUE(Subkeys("SOFTWARE\\Calendar\\2002-5-2").empty())
            << "deleting a key needs no right over its day";
        EXPECT_EQ(0, dlg->IsReminderBusy());

        // Reminders read the same read-only store.
        Command(ID_TRAY_SHOW_REMINDER);
        HWND popup = WaitForPopup();
        ASSERT_NE(nullptr, popup);
        EXPECT_EQ("1. Still on", ReminderText(popup));
        PostMessageA(popup, WM_CLOSE, 0, 0);
        ASSERT_TRUE(WaitForThreads());
    }
    EXPECT_EQ(0, dlg->IsReminderBusy());
    EXPECT_EQ(0u, boxes.Count()) << "the cycle reports nothing";
}

TEST_F(ReminderCycleWindowTest, UnloadWhileAPopupIsOpenClosesItAndEndsCleanly) {
    PutCurrent("Appointment 1", "Dentist");
    int duringSlide = 0;
    for (int round = 0; round < 50; ++round) {
        SCOPED_TRACE(round);
        OpenReal();
        Command(ID_TRAY_MINIMIZE);
        Command(ID_TRAY_SHOW_REMINDER);
        HWND popup = WaitForPopup();
        ASSERT_NE(nullptr, popup);
        // Mostly during the slide, at different steps; now and then once it
        // is in place.
        PumpMessages(static_cast<DWORD>((round % 10) * 40 + (round % 10 == 9 ? 1500 : 0)));
        // The 'x' shows once the slide is over.
        if (!IsWindowVisible(GetDlgItem(popup, IDC_REMINDER_CLOSE)))
            ++duringSlide;
        Unload();
        EXPECT_EQ(nullptr, dlg->GetSafeHwnd());
        EXPECT_EQ(0, dlg->ActiveReminderThreads()) << "Unload waits for the reminder thread";
        EXPECT_FALSE(IsWindow(popup));
        EXPECT_FALSE(dlg->TrayIcon().IsShown());
        EXPECT_EQ(0, VisiblePopups());
        dlg.reset();
        PumpMessages();
    }
    EXPECT_GE(duringSlide, 25) << "Unload came during the slide too seldom to count";
}

TEST_F(ReminderCycleWindowTest, UnloadWhileAScanRunsEndsCleanly) {
    PutManyCurrent(28, 20);
    int duringScan = 0;
    for (int round = 0; round < 50; ++round) {
        SCOPED_TRACE(round);
        OpenReal();
        Command(ID_TRAY_SHOW_REMINDER);
        if (round % 2 == 1)
            PumpMessages(static_cast<DWORD>(round));
        if (dlg->ActiveReminderThreads() == 1 && dlg->ReminderWindow() == nullptr)
            ++duringScan;
        Unload();
        EXPECT_EQ(nullptr, dlg->GetSafeHwnd());
        EXPECT_EQ(0, dlg->ActiveReminderThreads());
        EXPECT_EQ(nullptr, dlg->ReminderWindow()) << "no pop-up opens after Unload";
        EXPECT_EQ(0, VisiblePopups());
        dlg.reset();
        PumpMessages();
    }
    EXPECT_GE(duringScan, 25) << "Unload came during the scan too seldom to count";
}

TEST_F(ReminderCycleWindowTest, HundredsOfTriggersWhileTheStoreChangesNeverShowTwoPopups) {
    PutCurrent("Appointment 1", "Dentist");
    OpenReal();
    Command(ID_TRAY_MINIMIZE);
    PopupWatcher watcher;
    // Meanwhile another thread files and removes current appointments of
    // another day through the store.
    std::atomic<bool> stop{false};
    std::atomic<int> changes{0};
    std::thread churn([&] {
        CCalendarRegistry store;
        const std::string day = "SOFTWARE\\Calendar\\2002-5-6";
        while (!stop.load()) {
            store.AddAppointment("2002-5-6", "2002-5-1", "2002-5-31", "passing", "EMail", 0, "");
            for (const std::string& name : Subkeys(day))
                DeleteKey(day + "\\" + name);
            ++changes;
        }
    });

    int triggers = 0;
    int opened = 0;
    auto fire = [&] {
        if (++triggers % 2 == 0)
            SendMessageA(Hwnd(), WM_TIMER, 1, 0);
        else
            Command(ID_TRAY_SHOW_REMINDER);
    };
    while (triggers < 300) {
        fire();
        fire();
        // Once a pop-up is open, it is closed and the next triggers come
        // while its close is still under way.
        const bool shown = PumpUntil(
            [&] {
                if (dlg->ReminderWindow() != nullptr)
                    return true;
                if (dlg->IsReminderBusy() == 0)
                    fire();
                return false;
            },
            10000);
        ASSERT_TRUE(shown) << "after " << triggers << " triggers";
        ++opened;
        // Closed at once, or some way into its slide.
        PumpMessages(static_cast<DWORD>(opened % 4) * 10);
        PostMessageA(dlg->ReminderWindow(), WM_CLOSE, 0, 0);
    }
    stop = true;
    churn.join();
    ASSERT_TRUE(CloseAllAndWait());
    EXPECT_EQ(1, watcher.Stop()) << "never two pop-ups on screen at once";
    EXPECT_EQ(0, dlg->IsReminderBusy()) << "the busy flag is released";
    EXPECT_GT(changes.load(), 0);
    EXPECT_GE(opened, 100);
    Unload();
    EXPECT_EQ(nullptr, dlg->GetSafeHwnd());
    EXPECT_EQ(0, dlg->ActiveReminderThreads());
    std::printf("%d triggers, %d pop-ups, %d store changes\n", triggers, opened, changes.load());
}

TEST_F(ReminderCycleWindowTest, ScansWhileAnotherProgramDeletesTheCalendarSkipWhatIsGone) {
    PutManyCurrent(20, 10);
    OpenReal();
    Command(ID_TRAY_MINIMIZE);
    fw::unique_handle outside = StartDeleteFromAnotherProcess(registry, "SOFTWARE\\Calendar");
    ASSERT_TRUE(outside);
    int triggers = 0;
    HWND closing = nullptr;
    while (WaitForSingleObject(outside.get(), 0) == WAIT_TIMEOUT) {
        Command(ID_TRAY_SHOW_REMINDER);
        ++triggers;
        HWND popup = dlg->ReminderWindow();
        if (popup != nullptr && popup != closing) {
            EXPECT_EQ("1. note", ReminderText(popup));
            PostMessageA(popup, WM_CLOSE, 0, 0);
            closing = popup;
        }
        PumpMessages(5);
    }
    EXPECT_TRUE(FinishOutsideDelete(std::move(outside)));
    ASSERT_TRUE(CloseAllAndWait());
    EXPECT_EQ(0, dlg->IsReminderBusy());

    // With the calendar gone a scan finds nothing and frees the flag.
    ASSERT_FALSE(KeyExists("SOFTWARE\\Calendar"));
    Command(ID_TRAY_SHOW_REMINDER);
    ASSERT_TRUE(WaitForThreads());
    EXPECT_EQ(nullptr, dlg->ReminderWindow());
    EXPECT_EQ(0, dlg->IsReminderBusy());
    EXPECT_GT(triggers, 0);
}

TEST_F(ReminderCycleWindowTest, DestroyingTheWindowAnyOtherWayAlsoWaitsForTheReminder) {
    PutCurrent("Appointment 1", "Dentist");
    OpenReal();
    Command(ID_TRAY_SHOW_REMINDER);
    HWND popup = WaitForPopup();
    ASSERT_NE(nullptr, popup);
    dlg->DestroyWindow();
    EXPECT_EQ(0, dlg->ActiveReminderThreads());
    EXPECT_FALSE(IsWindow(popup));
}

} // namespace
} // namespace qmtest
