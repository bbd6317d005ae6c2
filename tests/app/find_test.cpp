#include "app/day_view.h"
#include "app/find_commands.h"
#include "app/find_dlg.h"
#include "framework/utf_text.h"
#include "res/resource.h"
#include "store/system_time.h"
#include "store/word_catalog.h"
#include "tests/app/calendar_test_window.h"
#include "tests/support/x_server_input.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>

namespace qmtest {
namespace {

// The main window as its own modal loop runs it: each message is offered to
// the window's shortcut keys and keyboard navigation first, the Find box's
// included. The keys come from xdotool through the X server, as a user's do.
class FindTest : public CalendarWindowTest {
protected:
    void Pump(DWORD ms) {
        const DWORD start = GetTickCount();
        do {
            MSG msg;
            while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
                if (!dlg->PreTranslateMessage(&msg)) {
                    TranslateMessage(&msg);
                    DispatchMessageW(&msg);
                }
            }
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
        } while (GetTickCount() - start < ms);
    }
    bool PumpFor(const std::function<bool()>& done, DWORD timeoutMs = 5000) {
        const DWORD start = GetTickCount();
        while (!done()) {
            if (GetTickCount() - start > timeoutMs)
                return false;
            Pump(10);
        }
        return true;
    }
    // Keys through the X server, the window's messages handled meanwhile.
    bool Keys(const std::string& args) {
        std::atomic<bool> done{false}, ok{false};
        std::thread typist([&] {
            XServerInput x;
            ok = x.Run(args);
            done = true;
        });
        PumpFor([&] { return done.load(); }, 15000);
        typist.join();
        Pump(150);
        return ok;
    }
    CFindCommands& Find() { return dlg->Controller<CFindCommands>(); }
    HWND Box() { return Find().Box() ? Find().Box()->GetSafeHwnd() : nullptr; }
    HWND Results() { return GetDlgItem(Box(), IDC_FIND_RESULTS); }
    std::string ResultText(int row, int column) {
        wchar_t text[256] = {};
        LVITEMW item{};
        item.iSubItem = column;
        item.pszText = text;
        item.cchTextMax = 256;
        SendMessageW(Results(), LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
        return fw::Narrow(text);
    }
    int ResultCount() { return static_cast<int>(SendMessageW(Results(), LVM_GETITEMCOUNT, 0, 0)); }
    std::string ShownDay() {
        SYSTEMTIME day{};
        return dlg->DayView().GetShownDay(day) ? FormatDateText(day) : "";
    }
    std::string SelectedKey() { return dlg->DayView().RowKeyName(dlg->DayView().SelectedRow()); }
    // Ctrl+F in the main window, then the words; true once the box lists
    // `rows` rows from the store's whole walk.
    bool OpenAndType(const std::string& words, int rows) {
        SetForegroundWindow(Hwnd());
        Pump(100);
        if (!Keys("key ctrl+f") || !PumpFor([&] { return Box() && IsWindowVisible(Box()); }))
            return false;
        PumpFor([&] { return Find().Words().IsReady(); });
        return Keys("type " + words) && PumpFor([&] { return ResultCount() == rows; });
    }
};

// A user looks for when the dentist was: a word of its detailed notes finds
// the past appointment, marked as past, and Enter shows its day with it
// selected.
TEST_F(FindTest, FindsAPastAppointmentByItsDetailedNotesAndShowsIt) {
    if (!XServerInput::Available())
        GTEST_SKIP() << "needs the X server";
    PutAppointment("2001-3-2", "Appointment 1", "2001-3-2", "2001-3-2", "Dentist", "Others", 1,
                   "Root canal, upper left");
    PutAppointment("2001-3-2", "Appointment 2", "2001-3-2", "2001-3-2", "Haircut", "Others", 1);
    PutAppointment("2002-5-7", "Appointment 1", "2002-5-7", "2002-5-7", "Lunch", "Others", 1);
    Open();
    ASSERT_TRUE(OpenAndType("canal", 1));
    EXPECT_NE(std::string::npos, ResultText(0, 0).find("(past)")) << ResultText(0, 0);
    EXPECT_EQ("Dentist", ResultText(0, 2));
    ASSERT_TRUE(Keys("key Return"));
    EXPECT_EQ("2001-3-2", ShownDay());
    EXPECT_EQ("Appointment 1", SelectedKey());
    // Esc closes the box; the main window keeps the day.
    ASSERT_TRUE(Keys("key Escape"));
    EXPECT_FALSE(IsWindowVisible(Box()));
    EXPECT_EQ("2001-3-2", ShownDay());
}

// Accents and case are ignored: "cafe" finds "Café", and the results follow
// the typing.
TEST_F(FindTest, FindsWordsWhateverTheirAccents) {
    if (!XServerInput::Available())
        GTEST_SKIP() << "needs the X server";
    // Written through the code-page functions: \xE9 is é in the test's code page.
    PutAppointment("2002-5-20", "Appointment 1", "2002-5-20", "2002-5-20", "Caf\xE9 Central",
                   "Others", 1);
    PutAppointment("2002-5-21", "Appointment 1", "2002-5-21", "2002-5-21", "Cafeteria duty",
                   "Others", 1);
    Open();
    ASSERT_TRUE(OpenAndType("cafe", 2));
    EXPECT_EQ("Caf\xC3\xA9 Central", ResultText(0, 2));
    EXPECT_EQ("Cafeteria duty", ResultText(1, 2));
    // One more letter narrows it down while typing.
    ASSERT_TRUE(Keys("type t"));
    EXPECT_TRUE(PumpFor([&] { return ResultCount() == 1; }));
    EXPECT_EQ("Cafeteria duty", ResultText(0, 2));
}

// Three appointments found, one of them a repeating one found on its next
// date: with the box closed, F3 steps through them nearest first and round
// again, Shift+F3 back.
TEST_F(FindTest, F3StepsThroughTheResultsWithTheBoxClosed) {
    if (!XServerInput::Available())
        GTEST_SKIP() << "needs the X server";
    PutAppointment("2002-5-9", "Appointment 1", "2002-5-9", "2002-5-9", "Yoga at the park");
    PutAppointment("2002-4-1", "Appointment 1", "2002-4-1", "2002-4-1", "YOGA mat to buy");
    // Mondays from 7 January: next on 13 May.
    PutAppointment("2002-1-7", "Appointment 1", "2002-1-7", "2002-1-7", "Yoga class");
    SetText("SOFTWARE\\Calendar\\2002-1-7\\Appointment 1", "REPEAT", "FREQ=WEEKLY", REG_SZ);
    PutAppointment("2002-5-10", "Appointment 1", "2002-5-10", "2002-5-10", "Pilates");
    Open();
    ASSERT_TRUE(OpenAndType("yoga", 3));
    ASSERT_TRUE(Keys("key Escape"));
    ASSERT_FALSE(IsWindowVisible(Box()));
    SetForegroundWindow(Hwnd());
    Pump(100);
    const char* expected[] = {"2002-5-9", "2002-5-13", "2002-4-1", "2002-5-9"};
    for (const char* day : expected) {
        ASSERT_TRUE(Keys("key F3"));
        EXPECT_EQ(day, ShownDay());
        EXPECT_EQ("Appointment 1", SelectedKey()) << day;
    }
    ASSERT_TRUE(Keys("key shift+F3"));
    EXPECT_EQ("2002-4-1", ShownDay());
    EXPECT_FALSE(IsWindowVisible(Box()));
}

// A typed date offers "Go to <date>" first; Enter shows that day.
TEST_F(FindTest, GoesToATypedDate) {
    if (!XServerInput::Available())
        GTEST_SKIP() << "needs the X server";
    Open();
    ASSERT_TRUE(OpenAndType("2027-05-14", 1));
    EXPECT_EQ(0u, ResultText(0, 0).rfind("Go to ", 0)) << ResultText(0, 0);
    ASSERT_TRUE(Keys("key Return"));
    EXPECT_EQ("2027-5-14", ShownDay());
    // The box stays open beside the window, and goes when the window goes to
    // the notification area.
    EXPECT_TRUE(IsWindowVisible(Box()));
    Command(ID_FILE_MINIMIZE);
    EXPECT_FALSE(IsWindowVisible(Hwnd()));
    EXPECT_FALSE(IsWindowVisible(Box()));
}

} // namespace
} // namespace qmtest
