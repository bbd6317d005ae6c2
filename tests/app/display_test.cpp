// The main window on screens of other kinds: a monitor of another DPI, and
// high contrast (through the seam, since no test machine has the themes).
#include "framework/display.h"
#include "tests/app/calendar_test_window.h"

#include <gtest/gtest.h>

namespace qmtest {
namespace {

bool g_highContrast = false;
bool TestHighContrast() {
    return g_highContrast;
}

class DisplayTest : public CalendarWindowTest {
protected:
    HWND List() const { return Item(IDC_APPOINTMENT_LIST); }
    LONG FontHeight(int id) const {
        LOGFONTW font{};
        auto handle = reinterpret_cast<HFONT>(SendMessageW(Item(id), WM_GETFONT, 0, 0));
        GetObjectW(handle, sizeof font, &font);
        return font.lfHeight;
    }
    int ImageSize() const {
        int cx = 0, cy = 0;
        ImageList_GetIconSize(ListView_GetImageList(List(), LVSIL_SMALL), &cx, &cy);
        return cy;
    }
    LONG ButtonPictureHeight(int id) const {
        BITMAP picture{};
        auto bitmap =
            reinterpret_cast<HBITMAP>(SendMessageW(Item(id), BM_GETIMAGE, IMAGE_BITMAP, 0));
        GetObjectW(bitmap, sizeof picture, &picture);
        return picture.bmHeight;
    }
    void MoveToDpi(UINT dpi) {
        RECT suggested{};
        GetWindowRect(Hwnd(), &suggested);
        SendMessageW(Hwnd(), fw::kDpiChangedMessage, MAKEWPARAM(dpi, dpi),
                     reinterpret_cast<LPARAM>(&suggested));
        PumpMessages();
    }
};

// What the window made in pixels is made again at the new DPI, and back.
TEST_F(DisplayTest, AMoveToAnotherDpiMakesFontsColumnsAndPicturesAgain) {
    PutAppointment("2002-5-7", "Appointment 1", "2002-5-7", "2002-5-7", "Checkup", "Music", 4);
    Open();
    struct Case {
        UINT dpi;
        LONG normal, bold;
        int eventColumn, notesColumn, image;
        LONG button;
    };
    for (const Case& c : {Case{144, 18, 21, 120, 263, 48, 24}, Case{192, 24, 28, 160, 350, 64, 32},
                          Case{120, 15, 18, 100, 219, 40, 20}, Case{96, 12, 14, 80, 175, 32, 16}}) {
        MoveToDpi(c.dpi);
        EXPECT_EQ(c.dpi, dlg->Dpi());
        EXPECT_EQ(c.normal, FontHeight(IDC_DETAIL_NOTES_LABEL)) << c.dpi;
        EXPECT_EQ(c.normal, FontHeight(IDC_SEARCH_EVENTS_LABEL)) << c.dpi;
        EXPECT_EQ(c.bold, FontHeight(IDC_GO_TODAY)) << c.dpi;
        EXPECT_EQ(c.eventColumn, ListView_GetColumnWidth(List(), 0)) << c.dpi;
        EXPECT_EQ(c.notesColumn, ListView_GetColumnWidth(List(), 1)) << c.dpi;
        EXPECT_EQ(c.image, ImageSize()) << c.dpi;
        for (int id : {IDC_SAVE_NOTES, IDC_OPTIONS, IDC_NEXT_DAY, IDC_PREV_DAY})
            EXPECT_EQ(c.button, ButtonPictureHeight(id)) << c.dpi << " " << id;
    }
    // The list keeps its rows and pictures through it all.
    ASSERT_EQ(1, RowCount());
    EXPECT_EQ(4, dlg->List().GetItemImage(0));
}

// The list's grey and lavender give way to the system's window colours while
// high contrast is on, and come back when it goes off.
TEST_F(DisplayTest, TheListTakesTheSystemsColoursUnderHighContrast) {
    g_highContrast = true;
    fw::HighContrastProbe before = fw::SetHighContrastProbeForTesting(&TestHighContrast);
    Open();
    EXPECT_EQ(GetSysColor(COLOR_WINDOW), ListView_GetBkColor(List()));
    EXPECT_EQ(GetSysColor(COLOR_WINDOW), ListView_GetTextBkColor(List()));
    EXPECT_EQ(GetSysColor(COLOR_WINDOWTEXT), ListView_GetTextColor(List()));

    g_highContrast = false;
    SendMessageW(Hwnd(), WM_SETTINGCHANGE, SPI_SETHIGHCONTRAST, 0);
    fw::SetHighContrastProbeForTesting(before);
    EXPECT_EQ(RGB(128, 128, 128), ListView_GetBkColor(List()));
    EXPECT_EQ(RGB(209, 211, 255), ListView_GetTextBkColor(List()));
    EXPECT_EQ(GetSysColor(COLOR_WINDOWTEXT), ListView_GetTextColor(List()));
}

} // namespace
} // namespace qmtest
