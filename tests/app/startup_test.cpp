#include "res/resource.h"
#include "store/calendar_registry.h"
#include "tests/support/calendar_test_window.h"

#include <gtest/gtest.h>

namespace qmtest {
namespace {

using StartupTest = CalendarWindowTest;

TEST_F(StartupTest, AddsTheTrayIconBeforePurgeAndSplashAndIsShownLast) {
    CCalendarRegistry options;
    options.SetSplash(1);
    options.SetTimeoutDelete(1);
    // An appointment that ended yesterday: the purge removes it before the
    // splash would show.
    PutAppointment("2002-5-6", "Appointment 1", "2002-5-1", "2002-5-6", "old");
    Open(false);
    ASSERT_GE(dlg->events.size(), 2u);
    EXPECT_EQ("tray", dlg->events[0]);
    EXPECT_EQ("splash", dlg->events[1]);
    EXPECT_FALSE(KeyExists("SOFTWARE\\Calendar\\2002-5-6\\Appointment 1"))
        << "the purge runs before the splash";
    EXPECT_TRUE(dlg->m_trayIcon.Data().hWnd == Hwnd());
    EXPECT_FALSE(IsWindowVisible(Hwnd()));
}

} // namespace
} // namespace qmtest
