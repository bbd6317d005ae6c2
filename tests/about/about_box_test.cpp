#include "about/about_dlg.h"
#include "res/resource.h"
#include "tests/support/modal_watch.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace qmtest {
namespace {

HFONT FontOf(HWND control) {
    return reinterpret_cast<HFONT>(SendMessageA(control, WM_GETFONT, 0, 0));
}

TEST(AboutDlgTest, NamesTheProgramAndItsMakerInBoldArialOnTheStandardColours) {
    CAboutDlg about;
    ASSERT_TRUE(about.Create(nullptr));
    HWND box = about.GetSafeHwnd();
    EXPECT_EQ("About Quillmere", TextOf(box));
    EXPECT_EQ("OK", TextOf(GetDlgItem(box, IDOK)));
    EXPECT_EQ("Quillmere", TextOf(GetDlgItem(box, IDC_PRODUCT_NAME)));
    EXPECT_EQ("The Quillmere Project", TextOf(GetDlgItem(box, IDC_MAKER_NAME)));
    EXPECT_EQ("quillmere.example.org", TextOf(GetDlgItem(box, IDC_MAKER_WEB)));

    HFONT dialogFont = reinterpret_cast<HFONT>(SendMessageA(box, WM_GETFONT, 0, 0));
    HDC dc = GetDC(box);
    for (HWND child = GetWindow(box, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
        const UINT message = GetDlgCtrlID(child) == IDOK ? WM_CTLCOLORBTN : WM_CTLCOLORSTATIC;
        HBRUSH brush = reinterpret_cast<HBRUSH>(SendMessageA(
            box, message, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(child)));
        LOGBRUSH colour{};
        ASSERT_NE(0, GetObjectA(brush, sizeof colour, &colour)) << GetDlgCtrlID(child);
        EXPECT_EQ(GetSysColor(COLOR_3DFACE), colour.lbColor) << GetDlgCtrlID(child);
    }
    ReleaseDC(box, dc);

    ASSERT_TRUE(about.m_font);
    LOGFONTA font{};
    ASSERT_NE(0, GetObjectA(about.m_font.get(), sizeof font, &font));
    EXPECT_STREQ("Arial", font.lfFaceName);
    EXPECT_EQ(14, font.lfHeight);
    EXPECT_EQ(FW_BOLD, font.lfWeight);
    for (int id : {IDC_PRODUCT_NAME, IDC_MAKER_NAME, IDC_MAKER_WEB})
        EXPECT_EQ(about.m_font.get(), FontOf(GetDlgItem(box, id))) << id;
    int dialogFonts = 0;
    for (HWND child = GetWindow(box, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
        const std::string text = TextOf(child);
        if (text == "A Tool from" || text == "Worldwide" || text == "OK") {
            EXPECT_EQ(dialogFont, FontOf(child)) << text;
            ++dialogFonts;
        }
    }
    EXPECT_EQ(3, dialogFonts);

    SendMessageA(box, WM_COMMAND, IDOK, reinterpret_cast<LPARAM>(GetDlgItem(box, IDOK)));
    EXPECT_EQ(IDOK, about.ModalResult());
}

} // namespace
} // namespace qmtest
