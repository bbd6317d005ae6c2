#include "res/resource.h"
#include "settings/settings_dlg.h"
#include "store/calendar_registry.h"
#include "tests/support/message_box_responder.h"
#include "tests/support/registry_sandbox.h"
#include "tests/support/window_testing.h"
#include "tests/support/write_protect.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace qmtest {
namespace {

constexpr const char* kOptions = "SOFTWARE\\Calendar\\OPTIONS";
constexpr const char* kNotAnInterval =
    "Please enter the interval as a whole number of minutes from 1 to 60.";

// The stored option as the dialog wrote it: a 4-byte REG_DWORD, or -999 when
// it is missing or has another shape.
int StoredOption(const char* name) {
    RawValue raw = ReadRaw(kOptions, name);
    if (!raw.exists || raw.type != REG_DWORD || raw.bytes.size() != 4)
        return -999;
    int value = 0;
    std::memcpy(&value, raw.bytes.data(), 4);
    return value;
}

// The Settings dialog made modeless over a scratch registry, so the test can
// act on it as a user would and read it back.
class SettingsDlgTest : public ::testing::Test {
protected:
    RegistrySandbox registry;
    MessageBoxResponder boxes;
    std::unique_ptr<CSettingsDlg> dlg;

    void Open() {
        dlg = std::make_unique<CSettingsDlg>();
        ASSERT_TRUE(dlg->Create(nullptr));
        dlg->ShowWindow(SW_SHOWNORMAL);
        PumpMessages();
    }
    HWND Item(int id) const { return dlg->GetDlgItem(id); }
    std::string EditText() const {
        char text[64] = {};
        GetWindowTextA(Item(IDC_INTERVAL_EDIT), text, sizeof text);
        return text;
    }
    void Type(const char* text) { SetWindowTextA(Item(IDC_INTERVAL_EDIT), text); }
    bool Checked(int id) const { return SendMessageA(Item(id), BM_GETCHECK, 0, 0) == BST_CHECKED; }
    int SpinPos() const {
        return static_cast<int>(SendMessageA(Item(IDC_INTERVAL_SPIN), UDM_GETPOS32, 0, 0));
    }
    // A mouse click on one of the up-down control's arrows.
    void ClickArrow(bool up) {
        HWND spin = Item(IDC_INTERVAL_SPIN);
        RECT rc{};
        GetClientRect(spin, &rc);
        const int y = up ? rc.bottom / 4 : rc.bottom * 3 / 4;
        const LPARAM at = MAKELPARAM(rc.right / 2, y);
        SendMessageA(spin, WM_LBUTTONDOWN, MK_LBUTTON, at);
        SendMessageA(spin, WM_LBUTTONUP, 0, at);
        PumpMessages();
    }
    void Press(int id) {
        SendMessageA(Item(id), BM_CLICK, 0, 0);
        PumpMessages();
    }
    // What the up-down control would send for a change, and the result.
    LRESULT SendDeltaPos(int pos, int delta) {
        NMUPDOWN change{};
        change.hdr.hwndFrom = Item(IDC_INTERVAL_SPIN);
        change.hdr.idFrom = IDC_INTERVAL_SPIN;
        change.hdr.code = UDN_DELTAPOS;
        change.iPos = pos;
        change.iDelta = delta;
        return SendMessageA(dlg->GetSafeHwnd(), WM_NOTIFY, IDC_INTERVAL_SPIN,
                            reinterpret_cast<LPARAM>(&change));
    }
    HFONT FontOf(int id) const {
        return reinterpret_cast<HFONT>(SendMessageA(Item(id), WM_GETFONT, 0, 0));
    }
    void TearDown() override {
        dlg.reset();
        PumpMessages();
        EXPECT_EQ(0, boxes.Unexpected()) << "a message box came that the test did not expect";
    }
};

TEST_F(SettingsDlgTest, OpensWithTheDefaultsWhenNothingIsStored) {
    Open();
    EXPECT_EQ("5", EditText());
    EXPECT_EQ(5, dlg->m_nInterval);
    EXPECT_FALSE(Checked(IDC_DELETE_OUTDATED));
    EXPECT_TRUE(Checked(IDC_SHOW_SPLASH));
    EXPECT_EQ(5, SpinPos());
    int lower = 0, upper = 0;
    SendMessageA(Item(IDC_INTERVAL_SPIN), UDM_GETRANGE32, reinterpret_cast<WPARAM>(&lower),
                 reinterpret_cast<LPARAM>(&upper));
    EXPECT_EQ(1, lower);
    EXPECT_EQ(60, upper);
    // The arrows' buddy is the hidden static made just before them, not the edit.
    EXPECT_EQ(Item(IDC_SPIN_BUDDY),
              reinterpret_cast<HWND>(SendMessageA(Item(IDC_INTERVAL_SPIN), UDM_GETBUDDY, 0, 0)));
    EXPECT_FALSE(IsWindowVisible(Item(IDC_SPIN_BUDDY)));
    EXPECT_FALSE(KeyExists(kOptions)) << "opening stores nothing";
}

TEST_F(SettingsDlgTest, ShowsStoredValuesAsTheyAreWithOnlyOneMeaningOn) {
    SetDword(kOptions, "TIMEOUT VALUE", 0);
    SetDword(kOptions, "SPLASH", 2);
    SetDword(kOptions, "TIMEOUT DELETE", 1);
    Open();
    EXPECT_EQ("0", EditText()) << "the interval is shown unclamped";
    EXPECT_FALSE(Checked(IDC_SHOW_SPLASH)) << "only 1 switches the splash on";
    EXPECT_TRUE(Checked(IDC_DELETE_OUTDATED));

    SetDword(kOptions, "TIMEOUT VALUE", 75);
    SetDword(kOptions, "SPLASH", 1);
    SetDword(kOptions, "TIMEOUT DELETE", 2);
    Open();
    EXPECT_EQ("75", EditText());
    EXPECT_TRUE(Checked(IDC_SHOW_SPLASH));
    EXPECT_FALSE(Checked(IDC_DELETE_OUTDATED));
}

TEST_F(SettingsDlgTest, ArrowsCountFromTheirOwnPositionNotFromTypedText) {
    Open();
    ClickArrow(true);
    EXPECT_EQ("6", EditText());
    ClickArrow(false);
    ClickArrow(false);
    EXPECT_EQ("4", EditText());

    Open();
    Type("30");
    ClickArrow(true);
    EXPECT_EQ("6", EditText()) << "one more than the arrows' position 5, not 31";
    EXPECT_EQ(6, SpinPos());
}

TEST_F(SettingsDlgTest, ArrowsStopAtOneAndSixty) {
    SetDword(kOptions, "TIMEOUT VALUE", 1);
    Open();
    ClickArrow(false);
    EXPECT_EQ("1", EditText());
    EXPECT_EQ(1, SpinPos());

    SetDword(kOptions, "TIMEOUT VALUE", 60);
    Open();
    ClickArrow(true);
    EXPECT_EQ("60", EditText());
    EXPECT_EQ(60, SpinPos());

    // Whatever position and step the control reports, the edit gets 1..60,
    // and the control is let take the change.
    EXPECT_EQ(0, SendDeltaPos(0, -1));
    EXPECT_EQ("1", EditText());
    EXPECT_EQ(0, SendDeltaPos(75, 1));
    EXPECT_EQ("60", EditText());
    EXPECT_EQ(0, SendDeltaPos(41, 1));
    EXPECT_EQ("42", EditText());
}

TEST_F(SettingsDlgTest, OkStoresTheTypedIntervalClampedToOneToSixty) {
    const struct {
        const char* typed;
        int stored;
    } cases[] = {{"0", 1}, {"-3", 1}, {"99", 60}, {"45", 45}, {" 7 ", 7}};
    for (const auto& c : cases) {
        Open();
        Type(c.typed);
        Press(IDOK);
        EXPECT_EQ(IDOK, dlg->ModalResult()) << c.typed;
        EXPECT_EQ(c.stored, StoredOption("TIMEOUT VALUE")) << c.typed;
        // The caller takes the interval that was stored, not the typed text.
        EXPECT_EQ(c.stored, dlg->m_nInterval) << c.typed;
    }
    EXPECT_EQ(0, boxes.Count());
}

TEST_F(SettingsDlgTest, OkStoresExactlyTheThreeOptionsAsDwords) {
    Open();
    Press(IDC_DELETE_OUTDATED);
    Press(IDC_SHOW_SPLASH);
    Press(IDOK);
    ASSERT_EQ(IDOK, dlg->ModalResult());
    EXPECT_EQ(5, StoredOption("TIMEOUT VALUE"));
    EXPECT_EQ(1, StoredOption("TIMEOUT DELETE"));
    EXPECT_EQ(0, StoredOption("SPLASH"));
    std::vector<std::string> names = ValueNames(kOptions);
    std::sort(names.begin(), names.end());
    EXPECT_EQ((std::vector<std::string>{"SPLASH", "TIMEOUT DELETE", "TIMEOUT VALUE"}), names);
    EXPECT_TRUE(Subkeys(kOptions).empty());

    // Reopened, the dialog shows what was stored.
    Open();
    EXPECT_TRUE(Checked(IDC_DELETE_OUTDATED));
    EXPECT_FALSE(Checked(IDC_SHOW_SPLASH));
}

TEST_F(SettingsDlgTest, LettersAreReportedOnceAndTheDialogStaysOpen) {
    SetDword(kOptions, "TIMEOUT VALUE", 75);
    SetDword(kOptions, "SPLASH", 1);
    Open();
    Press(IDC_DELETE_OUTDATED);
    Type("ten");
    boxes.Answer(IDOK);
    Press(IDOK);

    ASSERT_EQ(1u, boxes.Count()) << "one report for one OK";
    EXPECT_EQ(kNotAnInterval, boxes.Last().text);
    EXPECT_EQ(kNotAnInterval, boxes.Last().shownText);
    EXPECT_EQ("Quillmere", boxes.Last().caption);
    EXPECT_EQ(dlg->GetSafeHwnd(), boxes.Last().owner);
    EXPECT_EQ(-1, dlg->ModalResult()) << "the dialog stays open";
    EXPECT_EQ(Item(IDC_INTERVAL_EDIT), GetFocus());
    // The options are stored all the same, with the opening interval clamped.
    EXPECT_EQ(60, StoredOption("TIMEOUT VALUE"));
    EXPECT_EQ(1, StoredOption("TIMEOUT DELETE"));
    EXPECT_EQ(1, StoredOption("SPLASH"));

    Type("12");
    Press(IDOK);
    EXPECT_EQ(IDOK, dlg->ModalResult());
    EXPECT_EQ(12, StoredOption("TIMEOUT VALUE"));
    EXPECT_EQ(1u, boxes.Count());
}

TEST_F(SettingsDlgTest, CancelStoresNothing) {
    Open();
    Type("45");
    Press(IDC_SHOW_SPLASH);
    Press(IDCANCEL);
    EXPECT_EQ(IDCANCEL, dlg->ModalResult());
    EXPECT_FALSE(KeyExists(kOptions));

    SetDword(kOptions, "TIMEOUT VALUE", 9);
    SetDword(kOptions, "SPLASH", 0);
    SetDword(kOptions, "TIMEOUT DELETE", 1);
    Open();
    Type("45");
    Press(IDC_SHOW_SPLASH);
    Press(IDC_DELETE_OUTDATED);
    Press(IDCANCEL);
    EXPECT_EQ(9, StoredOption("TIMEOUT VALUE"));
    EXPECT_EQ(0, StoredOption("SPLASH"));
    EXPECT_EQ(1, StoredOption("TIMEOUT DELETE"));
}

TEST_F(SettingsDlgTest, OkThatCannotStoreSaysSoOnceAndStillCloses) {
    SetDword(kOptions, "TIMEOUT VALUE", 9);
    SetDword(kOptions, "SPLASH", 1);
    SetDword(kOptions, "TIMEOUT DELETE", 0);
    WriteProtectedKey readOnly(kOptions);
    Open();
    EXPECT_EQ("9", EditText()) << "the options still read";
    Type("45");
    Press(IDC_DELETE_OUTDATED);
    boxes.Answer(IDOK);
    Press(IDOK);
    ASSERT_EQ(1u, boxes.Count());
    EXPECT_EQ("Unable to save settings", boxes.Last().text);
    EXPECT_EQ("Quillmere", boxes.Last().caption);
    EXPECT_EQ(static_cast<UINT>(MB_OK | MB_ICONINFORMATION), boxes.Last().style);
    EXPECT_EQ(dlg->GetSafeHwnd(), boxes.Last().owner);
    EXPECT_EQ(IDOK, dlg->ModalResult());
    EXPECT_EQ(45, dlg->m_nInterval);
    EXPECT_EQ(9, StoredOption("TIMEOUT VALUE"));
    EXPECT_EQ(0, StoredOption("TIMEOUT DELETE"));
}

TEST_F(SettingsDlgTest, GroupTitleAndButtonsGetTheBoldFontOtherTextsKeepTheDialogFont) {
    Open();
    ASSERT_TRUE(dlg->m_font);
    HFONT dialogFont = reinterpret_cast<HFONT>(SendMessageA(dlg->GetSafeHwnd(), WM_GETFONT, 0, 0));
    HDC dc = GetDC(dlg->GetSafeHwnd());
    auto request = [&](UINT message, int id) {
        return reinterpret_cast<HBRUSH>(SendMessageA(dlg->GetSafeHwnd(), message,
                                                     reinterpret_cast<WPARAM>(dc),
                                                     reinterpret_cast<LPARAM>(Item(id))));
    };
    request(WM_CTLCOLORSTATIC, IDC_EVENT_OPTIONS_GROUP);
    request(WM_CTLCOLORBTN, IDOK);
    request(WM_CTLCOLORBTN, IDCANCEL);
    request(WM_CTLCOLORSTATIC, IDC_DELETE_OUTDATED);
    request(WM_CTLCOLORSTATIC, IDC_INTERVAL_LABEL);
    HBRUSH brush = request(WM_CTLCOLORDLG, 0);
    ReleaseDC(dlg->GetSafeHwnd(), dc);

    EXPECT_EQ(dlg->m_font.get(), FontOf(IDC_EVENT_OPTIONS_GROUP));
    EXPECT_EQ(dlg->m_font.get(), FontOf(IDOK));
    EXPECT_EQ(dlg->m_font.get(), FontOf(IDCANCEL));
    EXPECT_EQ(dialogFont, FontOf(IDC_DELETE_OUTDATED));
    EXPECT_EQ(dialogFont, FontOf(IDC_INTERVAL_LABEL));
    EXPECT_EQ(dialogFont, FontOf(IDC_INTERVAL_EDIT));

    LOGFONTA font{};
    ASSERT_NE(0, GetObjectA(dlg->m_font.get(), sizeof font, &font));
    EXPECT_STREQ("Arial", font.lfFaceName);
    EXPECT_EQ(14, font.lfHeight);
    EXPECT_EQ(FW_BOLD, font.lfWeight);

    // The standard dialog colours.
    LOGBRUSH colour{};
    ASSERT_NE(0, GetObjectA(brush, sizeof colour, &colour));
    EXPECT_EQ(GetSysColor(COLOR_3DFACE), colour.lbColor);
}

} // namespace
} // namespace qmtest
