#include "res/resource.h"
#include "tests/support/modal_watch.h"
#include "tests/support/write_protect.h"
#include "tests/app/calendar_test_window.h"

#include <gtest/gtest.h>

#include <memory>

namespace qmtest {

namespace {

constexpr const char* kOptions = "SOFTWARE\\Calendar\\OPTIONS";

// The main window's Settings commands, with the real Settings dialog where a
// test lets it run; the main window owns it, as in the program.
class SettingsCommandTest : public CalendarWindowTest {
protected:
    std::unique_ptr<TestApp> app;

    void OpenOwned(bool show = true) {
        Open(show);
        app = std::make_unique<TestApp>(dlg.get());
        dlg->runRealSettings = true;
    }
    // Runs command `id`; the watch types `typed` into the Settings dialog and
    // presses `button`. Returns whether the dialog was seen.
    bool RunSettings(int id, const char* typed, int button) {
        HWND seenOwner = nullptr;
        ModalWatch watch(HasControl(IDC_INTERVAL_SPIN), [&](HWND settings) {
            seenOwner = GetWindow(settings, GW_OWNER);
            SetDlgItemTextA(settings, IDC_INTERVAL_EDIT, typed);
            ClickButton(settings, button);
        });
        Command(id);
        EXPECT_EQ(Hwnd(), seenOwner);
        return watch.Acted();
    }
    void TearDown() override {
        app.reset();
        CalendarWindowTest::TearDown();
    }
};

TEST_F(SettingsCommandTest, OptionsButtonMenuBarAndTrayMenuOpenSettings) {
    Open();
    Command(IDC_OPTIONS);
    Command(ID_FILE_SETTINGS);
    Command(ID_TRAY_SETTINGS);
    EXPECT_EQ(3, dlg->CountOf("settings"));
}

TEST_F(SettingsCommandTest, OkSetsTheIntervalButLeavesTheRunningTimerAlone) {
    OpenOwned();
    Command(IDCANCEL); // hidden: the reminder timer runs with 5 minutes
    ASSERT_TRUE(dlg->IsTimerRunning(1));
    ASSERT_EQ(5u * 60000u, dlg->TimerPeriod(1));

    ASSERT_TRUE(RunSettings(IDC_OPTIONS, "45", IDOK));
    EXPECT_EQ(45, dlg->ReminderMinutes());
    EXPECT_EQ(5u * 60000u, dlg->TimerPeriod(1)) << "the new interval waits for the next restart";
    EXPECT_FALSE(IsWindowVisible(Hwnd()));

    ASSERT_TRUE(RunSettings(ID_TRAY_SETTINGS, "99", IDOK));
    EXPECT_EQ(60, dlg->ReminderMinutes()) << "the stored value, not the typed one";

    // The next hide takes the new interval.
    Command(ID_TRAY_MINIMIZE);
    EXPECT_EQ(60u * 60000u, dlg->TimerPeriod(1));
}

TEST_F(SettingsCommandTest, CancelChangesNothing) {
    OpenOwned();
    ASSERT_TRUE(RunSettings(ID_FILE_SETTINGS, "0", IDOK));
    EXPECT_EQ(1, dlg->ReminderMinutes());
    ASSERT_TRUE(RunSettings(ID_FILE_SETTINGS, "33", IDCANCEL));
    EXPECT_EQ(1, dlg->ReminderMinutes());
    RawValue stored = ReadRaw(kOptions, "TIMEOUT VALUE");
    ASSERT_TRUE(stored.exists);
    EXPECT_EQ(std::string("\x01\0\0\0", 4), stored.bytes);
    EXPECT_FALSE(dlg->IsTimerRunning(1));
    EXPECT_TRUE(IsWindowVisible(Hwnd()));
}

TEST_F(SettingsCommandTest, UnsavedSettingsAreReportedAndStillUsedForThisRun) {
    WriteProtectedKey readOnly(kOptions);
    OpenOwned();
    boxes.Answer(IDOK);
    ASSERT_TRUE(RunSettings(IDC_OPTIONS, "20", IDOK));
    ASSERT_EQ(1u, boxes.Count());
    EXPECT_EQ("Unable to save settings", boxes.Last().text);
    EXPECT_EQ(20, dlg->ReminderMinutes());
    EXPECT_TRUE(ValueNames(kOptions).empty());
}

} // namespace
} // namespace qmtest
