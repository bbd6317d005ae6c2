#include "res/resource.h"
#include "tests/app/calendar_test_window.h"
#include "tests/support/modal_watch.h"
#include "tests/support/write_protect.h"

#include <gtest/gtest.h>

namespace qmtest {
namespace {

using StoreNoticeTest = CalendarWindowTest;

// Runs the start-up modally until the window is up with no box of the
// start-up open on it, then unloads (answered Yes); returns the rows listed.
int RunStartUp(TestCalendarDlg& dlg) {
    TestApp app(&dlg);
    static TestCalendarDlg* s_dlg;
    static int s_rows;
    s_dlg = &dlg;
    s_rows = -1;
    UINT_PTR timer = SetTimer(nullptr, 0, 20, [](HWND, UINT, UINT_PTR id, DWORD) {
        HWND hwnd = s_dlg->GetSafeHwnd();
        if (hwnd != nullptr && IsWindowVisible(hwnd) && IsWindowEnabled(hwnd)) {
            KillTimer(nullptr, id);
            s_rows = s_dlg->List().GetItemCount();
            PostMessageA(hwnd, WM_COMMAND, ID_FILE_UNLOAD, 0);
        }
    });
    dlg.DoModal();
    KillTimer(nullptr, timer);
    app.m_pMainWnd = nullptr;
    // The end of the main window posted the program's quit message.
    MSG quit{};
    PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
    return s_rows;
}

// Without write access to the store (a copy run without installing, by a
// standard user) every New, Save Notes and Settings OK used to end in
// "Unable to save ...". Start-up now says once what is wrong and what to do,
// and still shows what it can read; a writable store gets no word.
TEST_F(StoreNoticeTest, AStoreThatCannotBeWrittenIsReportedOnceWhenTheWindowIsUp) {
    SetDword("SOFTWARE\\Calendar\\OPTIONS", "SPLASH", 0);
    PutAppointment("2002-5-7", "Appointment 1", "2002-5-7", "2002-5-7", "Lunch");
    boxes.Answer(IDYES);
    TestCalendarDlg writable;
    EXPECT_EQ(1, RunStartUp(writable));
    ASSERT_EQ(1u, boxes.Count()) << "only the Unload question";

    boxes.Clear();
    WriteProtectedKey readOnly("SOFTWARE\\Calendar");
    boxes.Answer(IDOK);
    boxes.Answer(IDYES);
    TestCalendarDlg readOnlyRun;
    EXPECT_EQ(1, RunStartUp(readOnlyRun)) << "what can be read is shown";
    ASSERT_EQ(2u, boxes.Count()) << "the notice, then the Unload question";
    const ShownMessageBox& notice = boxes.Shown()[0];
    EXPECT_EQ("Quillmere", notice.shownCaption);
    EXPECT_EQ(static_cast<UINT>(MB_OK | MB_ICONINFORMATION), notice.style);
    EXPECT_TRUE(notice.ownerVisible) << "over the main window, once it is up";
    for (const char* says : {"cannot save", "Install Quillmere", "administrator"})
        EXPECT_NE(std::string::npos, notice.shownText.find(says)) << says;
}

} // namespace
} // namespace qmtest
