#include "framework/app.h"
#include "res/resource.h"
#include "store/calendar_registry.h"
#include "store/user_values.h"
#include "tests/app/calendar_test_window.h"
#include "tests/support/modal_watch.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace qmtest {
namespace {

using StartupTest = CalendarWindowTest;

const std::string kOptions = "SOFTWARE\\Calendar\\OPTIONS";

TEST_F(StartupTest, AddsTheTrayIconBeforePurgeAndSplashAndIsShownLast) {
    SetDword(kOptions, "SPLASH", 1);
    SetDword(kOptions, "TIMEOUT DELETE", 1);
    // An appointment that ended yesterday: the purge removes it before the
    // splash would show.
    PutAppointment("2002-5-6", "Appointment 1", "2002-5-1", "2002-5-6", "old");
    Open(false);
    ASSERT_EQ((std::vector<std::string>{"tray", "splash"}), dlg->events);
    EXPECT_FALSE(KeyExists("SOFTWARE\\Calendar\\2002-5-6\\Appointment 1"))
        << "the purge runs before the splash";
    EXPECT_TRUE(KeyExists("SOFTWARE\\Calendar\\2002-5-6")) << "date keys are never deleted";
    EXPECT_EQ(Hwnd(), dlg->TrayIcon().Data().hWnd);
    EXPECT_EQ(static_cast<UINT>(WM_USER), dlg->TrayIcon().Data().uCallbackMessage);
    EXPECT_FALSE(IsWindowVisible(Hwnd())) << "start-up runs on the hidden window";
}

// A New that was killed right after its first change once left a key with no
// values, or with FROM alone: a blank row that could not be deleted and a key
// that no purge could read. Each step of the save is cut short here as a kill
// would, then the program starts again; a timed save (in June) has a step
// more for each of its four values.
TEST_F(StartupTest, ANewCutShortAtAnyStepLeavesTheWholeAppointmentOrNothing) {
    static int s_lastStep = 0;
    for (const bool timed : {false, true}) {
        const int month = timed ? 6 : 5;
        const size_t valueCount = timed ? 10 : 6;
        ical::AppointmentValues values{"2002-" + std::to_string(month) + "-1",
                                       "2002-" + std::to_string(month) + "-30",
                                       "Cinema",
                                       "Movie",
                                       3,
                                       "Bring glasses",
                                       {},
                                       {}};
        if (timed)
            values.time = {14 * 60 + 30, 90, 15, "Europe/Berlin"};
        const int steps = kNewSaveSteps + (timed ? 4 : 0);
        for (int step = 1; step <= steps; ++step) {
            const std::string day = "2002-" + std::to_string(month) + "-" + std::to_string(step);
            s_lastStep = step;
            const SaveStepObserver previous =
                SetSaveStepObserverForTesting([](int done) { return done < s_lastStep; });
            CCalendarRegistry().AddAppointment(day, values);
            SetSaveStepObserverForTesting(previous);

            FixedClock::Set(2002, month, step);
            Open();
            const std::vector<std::string> keys = Subkeys("SOFTWARE\\Calendar\\" + day);
            // The values are all in once the key has its final name.
            const int renamed = steps - 1;
            const bool whole = step >= renamed;
            ASSERT_EQ(whole ? 1u : 0u, keys.size()) << "after step " << step << " timed " << timed;
            EXPECT_EQ(whole ? 1 : 0, dlg->List().GetItemCount()) << step;
            if (whole) {
                EXPECT_EQ(0u, keys[0].rfind("Appointment ", 0)) << keys[0];
                EXPECT_EQ(valueCount,
                          ValueNames("SOFTWARE\\Calendar\\" + day + "\\" + keys[0]).size());
                ical::AppointmentValues read;
                ASSERT_TRUE(CCalendarRegistry().ReadAppointment(day, keys[0], read));
                EXPECT_EQ(values, read);
                EXPECT_EQ(timed ? "14:30 Cinema" : "Cinema", dlg->List().GetItemText(0, 1));
            }
            // The reminder shows every whole appointment so far, and nothing else.
            const std::vector<std::string> lines = dlg->Reminders().CurrentNotes();
            EXPECT_EQ(static_cast<size_t>(std::max(0, step - renamed + 1)), lines.size()) << step;
            EXPECT_EQ(lines.size(),
                      static_cast<size_t>(std::count(lines.begin(), lines.end(), "Cinema")));
            EXPECT_TRUE(UserValueNames(kValueUnfinishedNew).empty())
                << "the note of the unfinished save is gone after step " << step;
            dlg->DestroyWindow();
        }
    }
}

TEST_F(StartupTest, PurgeAndSplashOnlyWhenTheirOptionIsExactlyOne) {
    SetDword(kOptions, "SPLASH", 2);
    SetDword(kOptions, "TIMEOUT DELETE", 2);
    PutAppointment("2002-5-6", "Appointment 1", "2002-5-1", "2002-5-6", "old");
    Open(false);
    EXPECT_EQ((std::vector<std::string>{"tray"}), dlg->events);
    EXPECT_TRUE(KeyExists("SOFTWARE\\Calendar\\2002-5-6\\Appointment 1"));
}

TEST_F(StartupTest, WithNoOptionsTheSplashShowsAndTheIntervalIsFiveMinutes) {
    Open(false);
    EXPECT_EQ((std::vector<std::string>{"tray", "splash"}), dlg->events);
    EXPECT_EQ(5, dlg->ReminderMinutes());
    EXPECT_FALSE(dlg->IsTimerRunning(1)) << "no reminder timer until the window is hidden";
}

TEST_F(StartupTest, AnIntervalBelowOneBecomesOneMinute) {
    for (int stored : {0, -3}) {
        SetDword(kOptions, "TIMEOUT VALUE", static_cast<DWORD>(stored));
        Open();
        EXPECT_EQ(1, dlg->ReminderMinutes()) << stored;
        Command(IDCANCEL);
        EXPECT_EQ(60000u, dlg->TimerPeriod(1)) << stored;
        dlg->DestroyWindow();
    }
}

TEST_F(StartupTest, AHugeIntervalDoesNotWrapTheTimerPeriod) {
    // 100000 minutes is 6,000,000,000 ms: more than 32 bits hold.
    SetDword(kOptions, "TIMEOUT VALUE", 100000);
    Open();
    EXPECT_EQ(100000, dlg->ReminderMinutes());
    Command(IDCANCEL);
    EXPECT_EQ(35791u * 60000u, dlg->TimerPeriod(1));
    EXPECT_EQ(60u * 60000u, ReminderPeriodMs(60));
    EXPECT_EQ(60000u, ReminderPeriodMs(0));
    EXPECT_LE(ReminderPeriodMs(INT_MAX), 0x7FFFFFFFu);
}

TEST_F(StartupTest, WindowHasItsControlsTipsIconsAndMenus) {
    Open();
    char text[64];
    GetWindowTextA(Hwnd(), text, sizeof text);
    EXPECT_STREQ("Quillmere", text);
    EXPECT_TRUE(GetWindowLongA(Hwnd(), GWL_EXSTYLE) & WS_EX_APPWINDOW);

    // The default button is Go Today, so Enter presses it.
    LRESULT defId = SendMessageA(Hwnd(), DM_GETDEFID, 0, 0);
    EXPECT_EQ(DC_HASDEFID, HIWORD(defId));
    EXPECT_EQ(IDC_GO_TODAY, LOWORD(defId));

    EXPECT_TRUE(GetWindowLongA(Item(IDC_DETAIL_NOTES), GWL_STYLE) & ES_WANTRETURN);
    EXPECT_EQ(LVS_REPORT, GetWindowLongA(Item(IDC_APPOINTMENT_LIST), GWL_STYLE) & LVS_TYPEMASK);
    EXPECT_FALSE(GetWindowLongA(Item(IDC_APPOINTMENT_LIST), GWL_STYLE) & LVS_SINGLESEL);
    for (int id : {IDC_OPTIONS, IDC_SAVE_NOTES, IDC_NEXT_DAY, IDC_PREV_DAY})
        EXPECT_NE(0, SendMessageA(Item(id), BM_GETIMAGE, IMAGE_BITMAP, 0)) << id;

    ASSERT_TRUE(dlg->Look().ToolTip());
    EXPECT_EQ(6, dlg->Look().ToolTip()->GetToolCount());
    EXPECT_EQ("Settings", dlg->Look().ToolTip()->GetToolText(Item(IDC_OPTIONS)));
    EXPECT_EQ("Save Notes to selected Appointment",
              dlg->Look().ToolTip()->GetToolText(Item(IDC_SAVE_NOTES)));
    EXPECT_EQ("Previous Day", dlg->Look().ToolTip()->GetToolText(Item(IDC_PREV_DAY)));
    EXPECT_EQ("Next Day", dlg->Look().ToolTip()->GetToolText(Item(IDC_NEXT_DAY)));
    EXPECT_EQ("Select Today", dlg->Look().ToolTip()->GetToolText(Item(IDC_GO_TODAY)));
    EXPECT_EQ("Right Click for add/delete",
              dlg->Look().ToolTip()->GetToolText(Item(IDC_APPOINTMENT_LIST)));
    EXPECT_EQ(RGB(255, 255, 225),
              static_cast<COLORREF>(dlg->Look().ToolTip()->Send(TTM_GETTIPBKCOLOR)));

    EXPECT_NE(nullptr, reinterpret_cast<HICON>(SendMessageA(Hwnd(), WM_GETICON, ICON_BIG, 0)));
    EXPECT_NE(nullptr, reinterpret_cast<HICON>(SendMessageA(Hwnd(), WM_GETICON, ICON_SMALL, 0)));

    HMENU systemMenu = GetSystemMenu(Hwnd(), FALSE);
    ASSERT_NE(nullptr, systemMenu);
    char item[64] = {};
    ASSERT_GT(GetMenuStringA(systemMenu, IDM_ABOUTBOX, item, sizeof item, MF_BYCOMMAND), 0);
    EXPECT_STREQ("&About Quillmere...", item);

    HMENU file = GetSubMenu(GetMenu(Hwnd()), 0);
    ASSERT_NE(nullptr, file);
    const std::pair<UINT, const char*> kFileItems[] = {{ID_FILE_NEW_APPOINTMENT, "New Appointment"},
                                                       {ID_FILE_SETTINGS, "Settings"},
                                                       {0, ""},
                                                       {ID_FILE_EXPORT, "Export..."},
                                                       {ID_FILE_IMPORT, "Import..."},
                                                       {ID_FILE_SYNC, "Sync..."},
                                                       {ID_FILE_FIND, "Find..."},
                                                       {0, ""},
                                                       {ID_FILE_MINIMIZE, "Minimize"},
                                                       {ID_FILE_UNLOAD, "Unload"}};
    ASSERT_EQ(10, GetMenuItemCount(file));
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(kFileItems[i].first, GetMenuItemID(file, i)) << i;
        char label[64] = {};
        GetMenuStringA(file, i, label, sizeof label, MF_BYPOSITION);
        EXPECT_STREQ(kFileItems[i].second, label) << i;
    }
}

TEST_F(StartupTest, LabelsAndGoTodayGetTheirFontsFromTheColourRequests) {
    Open();
    UpdateWindow(Hwnd());
    PumpMessages(50);
    auto font = [&](int id) {
        return reinterpret_cast<HFONT>(SendMessageA(Item(id), WM_GETFONT, 0, 0));
    };
    // A colour request from each control, as painting sends them.
    for (int id : {IDC_DETAIL_NOTES_LABEL, IDC_SEARCH_EVENTS_LABEL})
        SendMessageA(Hwnd(), WM_CTLCOLORSTATIC, 0, reinterpret_cast<LPARAM>(Item(id)));
    SendMessageA(Hwnd(), WM_CTLCOLORBTN, 0, reinterpret_cast<LPARAM>(Item(IDC_GO_TODAY)));
    EXPECT_EQ(dlg->Look().NormalFont(), font(IDC_DETAIL_NOTES_LABEL));
    EXPECT_EQ(dlg->Look().NormalFont(), font(IDC_SEARCH_EVENTS_LABEL));
    EXPECT_EQ(dlg->Look().BoldFont(), font(IDC_GO_TODAY));
    LOGFONTA bold{};
    ASSERT_TRUE(GetObjectA(dlg->Look().BoldFont(), sizeof bold, &bold));
    EXPECT_EQ(14, bold.lfHeight);
    EXPECT_EQ(FW_BOLD, bold.lfWeight);
    EXPECT_STREQ("Arial", bold.lfFaceName);
    LOGFONTA normal{};
    ASSERT_TRUE(GetObjectA(dlg->Look().NormalFont(), sizeof normal, &normal));
    EXPECT_EQ(12, normal.lfHeight);
    EXPECT_EQ(FW_NORMAL, normal.lfWeight);
    EXPECT_EQ(FF_SWISS, normal.lfPitchAndFamily & 0xF0);
}

TEST_F(StartupTest, ModalRunShowsTheWindowAfterStartUpAndUnloadEndsTheProgram) {
    SetDword(kOptions, "SPLASH", 1);
    dlg = std::make_unique<TestCalendarDlg>();
    TestApp app(dlg.get());

    // Once the loop has shown the window, ask for Unload and answer Yes.
    static TestCalendarDlg* s_dlg;
    s_dlg = dlg.get();
    UINT_PTR timer = SetTimer(nullptr, 0, 20, [](HWND, UINT, UINT_PTR id, DWORD) {
        HWND hwnd = s_dlg->GetSafeHwnd();
        if (hwnd != nullptr && IsWindowVisible(hwnd)) {
            KillTimer(nullptr, id);
            PostMessageA(hwnd, WM_COMMAND, ID_FILE_UNLOAD, 0);
        }
    });
    boxes.Answer(IDYES);
    dlg->DoModal();
    KillTimer(nullptr, timer);

    EXPECT_EQ((std::vector<std::string>{"tray", "splash", "shown"}), dlg->events);
    EXPECT_EQ(nullptr, dlg->GetSafeHwnd());
    EXPECT_FALSE(dlg->TrayIcon().IsShown());
    ASSERT_EQ(1u, boxes.Count());
    EXPECT_EQ("Unload Quillmere?", boxes.Last().shownText);
    MSG quit{};
    EXPECT_TRUE(PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE))
        << "the end of the main window ends the program";
    app.m_pMainWnd = nullptr;
}

} // namespace
} // namespace qmtest
