#include "res/resource.h"
#include "tests/support/calendar_test_window.h"
#include "tests/support/modal_watch.h"
#include "tests/support/write_protect.h"

#include <gtest/gtest.h>

namespace qmtest {
namespace {

// Without write access to the store (a copy run without installing, by a
// standard user) every New, Save Notes and Settings OK used to end in
// "Unable to save ...". Start-up now says once what is wrong and what to do,
// and still shows what it can read.
class StoreNoticeTest : public CalendarWindowTest {
protected:
    // Runs the program's start-up modally until the window is up and every
    // box of the start-up is answered, then unloads; returns the rows listed.
    int RunStartUp() {
        dlg = std::make_unique<TestCalendarDlg>();
        TestApp app(dlg.get());
        static TestCalendarDlg* s_dlg;
        static int s_rows;
        s_dlg = dlg.get();
        s_rows = -1;
        UINT_PTR timer = SetTimer(nullptr, 0, 20, [](HWND, UINT, UINT_PTR id, DWORD) {
            HWND hwnd = s_dlg->GetSafeHwnd();
            // Enabled again: no box of the start-up is open on it.
            if (hwnd != nullptr && IsWindowVisible(hwnd) && IsWindowEnabled(hwnd)) {
                KillTimer(nullptr, id);
                s_rows = s_dlg->m_listAppointments.GetItemCount();
                PostMessageA(hwnd, WM_COMMAND, ID_FILE_UNLOAD, 0);
            }
        });
        dlg->DoModal();
        KillTimer(nullptr, timer);
        app.m_pMainWnd = nullptr;
        // The end of the main window posted the program's quit message.
        MSG quit{};
        PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
        return s_rows;
    }
};

TEST_F(StoreNoticeTest, AStoreThatCannotBeWrittenIsReportedOnceWhenTheWindowIsUp) {
    SetDword("SOFTWARE\\Calendar\\OPTIONS", "SPLASH", 0);
    PutAppointment("2002-5-7", "Appointment 1", "2002-5-7", "2002-5-7", "Lunch");
    WriteProtectedKey readOnly("SOFTWARE\\Calendar");
    boxes.Answer(IDOK);
    boxes.Answer(IDYES);
    EXPECT_EQ(1, RunStartUp()) << "what can be read is shown";

    ASSERT_EQ(2u, boxes.Count()) << "the notice, then the Unload question";
    const ShownMessageBox& notice = boxes.Shown()[0];
    EXPECT_EQ("Quillmere", notice.shownCaption);
    EXPECT_EQ(static_cast<UINT>(MB_OK | MB_ICONINFORMATION), notice.style);
    EXPECT_TRUE(notice.ownerVisible) << "over the main window, once it is up";
    EXPECT_NE(std::string::npos, notice.shownText.find("cannot save"));
    EXPECT_NE(std::string::npos, notice.shownText.find("Install Quillmere"));
    EXPECT_NE(std::string::npos, notice.shownText.find("administrator"));
    EXPECT_EQ("Unload Quillmere?", boxes.Last().shownText);
}

TEST_F(StoreNoticeTest, AWritableStoreOrOneStillToBeMadeSaysNothing) {
    SetDword("SOFTWARE\\Calendar\\OPTIONS", "SPLASH", 0);
    boxes.Answer(IDYES);
    RunStartUp();
    DeleteKey("SOFTWARE\\Calendar");
    boxes.Answer(IDYES);
    RunStartUp();
    ASSERT_EQ(2u, boxes.Count());
    EXPECT_EQ("Unload Quillmere?", boxes.Shown()[0].shownText);
    EXPECT_EQ("Unload Quillmere?", boxes.Shown()[1].shownText);
    EXPECT_FALSE(KeyExists("SOFTWARE\\Calendar")) << "the check creates nothing";
}

} // namespace
} // namespace qmtest
