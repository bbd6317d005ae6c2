#include "about/splash_dlg.h"
#include "res/resource.h"
#include "tests/support/modal_watch.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace qmtest {
namespace {

// The splash card: the one dialog without a caption that shows the maker's line.
bool IsSplash(HWND dialog) {
    return GetDlgItem(dialog, IDC_MAKER_NAME) != nullptr &&
           (GetWindowLongA(dialog, GWL_STYLE) & WS_CAPTION) != WS_CAPTION;
}

COLORREF BrushColour(HBRUSH brush) {
    LOGBRUSH colour{};
    if (brush == nullptr || GetObjectA(brush, sizeof colour, &colour) == 0 ||
        colour.lbStyle != BS_SOLID)
        return CLR_INVALID;
    return colour.lbColor;
}

HFONT FontOf(HWND control) {
    return reinterpret_cast<HFONT>(SendMessageA(control, WM_GETFONT, 0, 0));
}

TEST(SplashDlgTest, ClosesItselfAfterThreeSecondsOrAtOnceOnEnterOrEscape) {
    {
        CSplashDlg splash;
        bool visible = false;
        ModalWatch watch(IsSplash, [&](HWND) { visible = true; });
        const DWORD start = GetTickCount();
        EXPECT_EQ(IDOK, splash.DoModal());
        const DWORD elapsed = GetTickCount() - start;
        EXPECT_TRUE(visible);
        EXPECT_GE(elapsed, 2900u);
        EXPECT_LT(elapsed, 4500u);
    }
    const struct {
        WPARAM key;
        INT_PTR result;
    } keys[] = {{VK_ESCAPE, IDCANCEL}, {VK_RETURN, IDOK}};
    for (const auto& k : keys) {
        CSplashDlg splash;
        ModalWatch watch(IsSplash, [&](HWND card) { PostMessageA(card, WM_KEYDOWN, k.key, 0); });
        const DWORD start = GetTickCount();
        EXPECT_EQ(k.result, splash.DoModal());
        EXPECT_LT(GetTickCount() - start, 2000u);
        EXPECT_TRUE(watch.Acted());
    }
}

TEST(SplashDlgTest, RunsTimerOneForThreeSecondsAndEndsOnItsTick) {
    CSplashDlg splash;
    ASSERT_TRUE(splash.Create(nullptr));
    EXPECT_TRUE(splash.IsTimerRunning(1));
    EXPECT_EQ(3000u, splash.TimerPeriod(1));
    SendMessageA(splash.GetSafeHwnd(), WM_TIMER, 1, 0);
    EXPECT_EQ(IDOK, splash.ModalResult());
    EXPECT_FALSE(splash.IsTimerRunning(1));
}

TEST(SplashDlgTest, LavenderForEveryRequestAndBoldArialForTheThreeLines) {
    CSplashDlg splash;
    ASSERT_TRUE(splash.Create(nullptr));
    HWND card = splash.GetSafeHwnd();
    HFONT dialogFont = reinterpret_cast<HFONT>(SendMessageA(card, WM_GETFONT, 0, 0));
    HDC dc = GetDC(card);
    auto request = [&](UINT message, HWND control) {
        return reinterpret_cast<HBRUSH>(SendMessageA(card, message, reinterpret_cast<WPARAM>(dc),
                                                     reinterpret_cast<LPARAM>(control)));
    };

    SetBkMode(dc, OPAQUE);
    EXPECT_EQ(RGB(209, 211, 255), BrushColour(request(WM_CTLCOLORDLG, card)));
    EXPECT_EQ(OPAQUE, GetBkMode(dc)) << "only static texts get a transparent background";

    // Every control of the card: the three lines, "A Tool from", the town
    // line and the icon.
    int controls = 0;
    for (HWND child = GetWindow(card, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
        ++controls;
        SetBkMode(dc, OPAQUE);
        EXPECT_EQ(RGB(209, 211, 255), BrushColour(request(WM_CTLCOLORSTATIC, child)))
            << GetDlgCtrlID(child);
        EXPECT_EQ(TRANSPARENT, GetBkMode(dc));
    }
    EXPECT_EQ(6, controls);
    EXPECT_EQ(RGB(209, 211, 255), BrushColour(request(WM_CTLCOLORBTN, card)));
    ReleaseDC(card, dc);

    ASSERT_TRUE(splash.m_font);
    LOGFONTA font{};
    ASSERT_NE(0, GetObjectA(splash.m_font.get(), sizeof font, &font));
    EXPECT_STREQ("Arial", font.lfFaceName);
    EXPECT_EQ(14, font.lfHeight);
    EXPECT_EQ(FW_BOLD, font.lfWeight);
    for (int id : {IDC_PRODUCT_NAME, IDC_MAKER_NAME, IDC_MAKER_WEB})
        EXPECT_EQ(splash.m_font.get(), FontOf(GetDlgItem(card, id))) << id;
    int dialogFonts = 0;
    for (HWND child = GetWindow(card, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
        char text[64] = {};
        GetWindowTextA(child, text, sizeof text);
        if (std::string(text) == "A Tool from" || std::string(text) == "Worldwide") {
            EXPECT_EQ(dialogFont, FontOf(child)) << text;
            ++dialogFonts;
        }
    }
    EXPECT_EQ(2, dialogFonts);

    EXPECT_EQ("Quillmere", TextOf(GetDlgItem(card, IDC_PRODUCT_NAME)));
    EXPECT_EQ("The Quillmere Project", TextOf(GetDlgItem(card, IDC_MAKER_NAME)));
    EXPECT_EQ("quillmere.example.org", TextOf(GetDlgItem(card, IDC_MAKER_WEB)));
}

} // namespace
} // namespace qmtest
