#include "calendar/date_text.h"
#include "editing/new_appointment_dlg.h"
#include "editing/repeat_choice.h"
#include "res/resource.h"
#include "store/system_time.h"
#include "tests/support/message_box_responder.h"
#include "tests/support/modal_watch.h"
#include "tests/support/new_dialog_answerer.h"
#include "tests/support/window_testing.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>

namespace qmtest {
namespace {

constexpr const char* kInvalidTo = "Invalid date specified for 'TO'";
constexpr const char* kNotesRequired = "Notes required to create new appointment.";
constexpr UINT kInfoBox = MB_OK | MB_ICONINFORMATION;

CalendarDate Date(int year, int month, int day) {
    return CalendarDate{year, month, day};
}

// The dialog with its tooltip, images and fonts in reach, counting the
// pickers' change reports and the colour requests it gets.
class TestNewAppointmentDlg : public CNewAppointmentDlg {
public:
    using CNewAppointmentDlg::CNewAppointmentDlg;
    const fw::ToolTip* ToolTip() const { return m_pToolTip.get(); }
    HIMAGELIST Images() const { return m_pImageList.get(); }
    HFONT NormalFont() const { return m_fontNormal.get(); }
    HFONT BoldFont() const { return m_fontBold.get(); }

    int pickerReports = 0;
    int colourRequests = 0;

protected:
    bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) override {
        if (msg == WM_NOTIFY && reinterpret_cast<NMHDR*>(lp)->code == DTN_DATETIMECHANGE)
            ++pickerReports;
        if (msg >= WM_CTLCOLORMSGBOX && msg <= WM_CTLCOLORSTATIC)
            ++colourRequests;
        return CNewAppointmentDlg::OnMessage(msg, wp, lp, result);
    }
};

// The dialog open modeless and shown, on 7 May 2002, with message boxes
// answered by the test.
class NewAppointmentDlgTest : public ::testing::Test {
protected:
    FixedClock clock{2002, 5, 7, 14, 30};
    MessageBoxResponder boxes;
    std::unique_ptr<TestNewAppointmentDlg> dlg;

    void SetUp() override { Open(); }
    // A fresh dialog, as the next New command makes.
    void Open() {
        dlg = std::make_unique<TestNewAppointmentDlg>();
        ASSERT_TRUE(dlg->Create(nullptr));
        dlg->ShowWindow(SW_SHOWNORMAL);
        UpdateWindow(Hwnd());
        PumpMessages();
    }
    void TearDown() override {
        dlg.reset();
        PumpMessages();
        EXPECT_EQ(0, boxes.Unexpected()) << "a message box came that the test did not expect";
    }
    HWND Hwnd() const { return dlg->GetSafeHwnd(); }
    HWND Item(int id) const { return GetDlgItem(Hwnd(), id); }
    void Click(int id) {
        SendMessageA(Item(id), BM_CLICK, 0, 0);
        PumpMessages();
    }
    void SetNotes(const std::string& text) {
        SetDlgItemTextA(Hwnd(), IDC_NOTES_EDIT, text.c_str());
    }
    void SelectEvent(int index) {
        SendDlgItemMessageA(Hwnd(), IDC_EVENTS, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    }
    // Puts dates into the pickers without a change report, as if typed in
    // before the dialog looked.
    void SetDates(const SYSTEMTIME& from, const SYSTEMTIME& to) {
        SendMessageA(Item(IDC_FROM_PICKER), DTM_SETSYSTEMTIME, GDT_VALID,
                     reinterpret_cast<LPARAM>(&from));
        SendMessageA(Item(IDC_TO_PICKER), DTM_SETSYSTEMTIME, GDT_VALID,
                     reinterpret_cast<LPARAM>(&to));
    }
    bool StillOpen() const { return dlg->ModalResult() == -1 && IsWindow(Hwnd()); }
    void ExpectBox(const ShownMessageBox& box, const char* text, const char* caption) {
        EXPECT_EQ(Hwnd(), box.owner);
        EXPECT_EQ(text, box.text);
        EXPECT_EQ(text, box.shownText);
        EXPECT_EQ(caption, box.shownCaption);
        EXPECT_EQ(kInfoBox, box.style);
    }
    // Steps a field of a picker down by one with the keyboard, as a user
    // would: the picker itself reports the change.
    void StepPickerDown(int id) {
        SetFocus(Item(id));
        SendMessageA(Item(id), WM_KEYDOWN, VK_RIGHT, 0);
        SendMessageA(Item(id), WM_KEYDOWN, VK_DOWN, 0);
        PumpMessages();
    }
};

TEST_F(NewAppointmentDlgTest, OpensOnEMailWithBothPickersOnTodayAndEmptyNotes) {
    boxes.Answer(IDOK);
    ASSERT_EQ(6, SendMessageA(Item(IDC_EVENTS), CB_GETCOUNT, 0, 0));
    const char* names[] = {"EMail", "Others", "Fishing", "Movie", "Music", "Holiday"};
    for (int i = 0; i < 6; ++i) {
        char text[32] = {};
        COMBOBOXEXITEMA item{};
        item.mask = CBEIF_TEXT | CBEIF_IMAGE | CBEIF_SELECTEDIMAGE;
        item.iItem = i;
        item.pszText = text;
        item.cchTextMax = sizeof text;
        ASSERT_TRUE(
            SendMessageA(Item(IDC_EVENTS), CBEM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item)));
        EXPECT_STREQ(names[i], text);
        EXPECT_EQ(i, item.iImage);
        EXPECT_EQ(i, item.iSelectedImage);
    }
    EXPECT_EQ(0, SendMessageA(Item(IDC_EVENTS), CB_GETCURSEL, 0, 0));

    // The six pictures of the 193-pixel strip, 32 by 32 each, given to the box.
    HIMAGELIST images = dlg->Images();
    ASSERT_NE(nullptr, images);
    EXPECT_EQ(images, reinterpret_cast<HIMAGELIST>(
                          SendMessageA(Item(IDC_EVENTS), CBEM_GETIMAGELIST, 0, 0)));
    EXPECT_EQ(6, ImageList_GetImageCount(images));
    int cx = 0;
    int cy = 0;
    ImageList_GetIconSize(images, &cx, &cy);
    EXPECT_EQ(32, cx);
    EXPECT_EQ(32, cy);

    EXPECT_EQ(Date(2002, 5, 7), DateOf(PickerDate(Item(IDC_FROM_PICKER))));
    EXPECT_EQ(Date(2002, 5, 7), DateOf(PickerDate(Item(IDC_TO_PICKER))));
    EXPECT_EQ(0, GetWindowTextLengthA(Item(IDC_NOTES_EDIT)));

    Click(IDOK);
    ASSERT_EQ(1u, boxes.Count());
    ExpectBox(boxes.Last(), kNotesRequired, "Quillmere");
    EXPECT_TRUE(StillOpen());
}

TEST_F(NewAppointmentDlgTest, TemplateKeepsTheTabOrderAndTheSystemPickers) {
    // The time and alert come after the first six, and the repeat after them.
    const int order[] = {IDOK,
                         IDCANCEL,
                         IDC_EVENTS,
                         IDC_NOTES_EDIT,
                         IDC_FROM_PICKER,
                         IDC_TO_PICKER,
                         IDC_ALL_DAY,
                         IDC_TIME_PICKER,
                         IDC_DURATION,
                         IDC_REMIND,
                         IDC_REPEAT,
                         IDC_REPEAT_MONTHDAY,
                         IDC_REPEAT_ORDINAL,
                         IDC_REPEAT_WEEKDAY,
                         IDC_REPEAT_INTERVAL,
                         IDC_REPEAT_UNIT,
                         IDC_REPEAT_DAY_FIRST,
                         IDC_REPEAT_DAY_FIRST + 1,
                         IDC_REPEAT_DAY_FIRST + 2,
                         IDC_REPEAT_DAY_FIRST + 3,
                         IDC_REPEAT_DAY_FIRST + 4,
                         IDC_REPEAT_DAY_FIRST + 5,
                         IDC_REPEAT_DAY_LAST,
                         IDC_REPEAT_END,
                         IDC_REPEAT_UNTIL,
                         IDC_REPEAT_COUNT};
    HWND control = Item(IDOK);
    for (int id : order) {
        ASSERT_NE(nullptr, control);
        EXPECT_EQ(id, GetDlgCtrlID(control));
        EXPECT_TRUE(GetWindowLongA(control, GWL_STYLE) & WS_TABSTOP) << id;
        do
            control = GetWindow(control, GW_HWNDNEXT);
        while (control != nullptr && !(GetWindowLongA(control, GWL_STYLE) & WS_TABSTOP));
    }
    EXPECT_EQ(nullptr, control) << "no other control takes the tab";
    char cls[64] = {};
    GetClassNameA(Item(IDC_TO_PICKER), cls, sizeof cls);
    EXPECT_STREQ(DATETIMEPICK_CLASSA, cls);
}

// The alert chosen in the dialog's list, in minutes; -1 for none.
int ChosenRemind(HWND dlg) {
    const LRESULT index = SendDlgItemMessageA(dlg, IDC_REMIND, CB_GETCURSEL, 0, 0);
    return static_cast<int>(
        SendDlgItemMessageA(dlg, IDC_REMIND, CB_GETITEMDATA, static_cast<WPARAM>(index), 0));
}

// New opens all day, with no alert; unticking All day makes it timed with the
// default alert, at the picker's time and the chosen duration; ticking it
// again gives an all-day appointment that keeps only the chosen alert.
TEST_F(NewAppointmentDlgTest, AllDayByDefaultATimeWithTheDefaultAlertOnceUnticked) {
    EXPECT_EQ(BST_CHECKED, IsDlgButtonChecked(Hwnd(), IDC_ALL_DAY));
    EXPECT_FALSE(IsWindowEnabled(Item(IDC_TIME_PICKER)));
    EXPECT_FALSE(IsWindowEnabled(Item(IDC_DURATION)));
    EXPECT_EQ(-1, ChosenRemind(Hwnd()));
    SetNotes("All day");
    Click(IDOK);
    ASSERT_FALSE(StillOpen());
    EXPECT_EQ(TimedValues{}, dlg->m_time);

    Open();
    Click(IDC_ALL_DAY);
    EXPECT_TRUE(IsWindowEnabled(Item(IDC_TIME_PICKER)));
    EXPECT_EQ(kDefaultRemindBeforeMinutes, ChosenRemind(Hwnd()));
    SYSTEMTIME at = PickerDate(Item(IDC_TIME_PICKER));
    at.wHour = 9;
    at.wMinute = 5;
    SendMessageA(Item(IDC_TIME_PICKER), DTM_SETSYSTEMTIME, GDT_VALID,
                 reinterpret_cast<LPARAM>(&at));
    SendDlgItemMessageA(Hwnd(), IDC_DURATION, CB_SETCURSEL, 4, 0); // the fifth: 1 hour
    SetNotes("Dentist");
    Click(IDOK);
    ASSERT_FALSE(StillOpen());
    EXPECT_EQ((TimedValues{9 * 60 + 5, 60, 15, ""}), dlg->m_time);

    Open();
    Click(IDC_ALL_DAY);
    Click(IDC_ALL_DAY);
    SetNotes("Back to all day");
    Click(IDOK);
    EXPECT_EQ((TimedValues{std::nullopt, std::nullopt, 15, ""}), dlg->m_time);
}

// Edit opens filled with the appointment, a stored duration that is none of
// the choices among them, and gives back what it was given when only OK is
// pressed; the zone it does not show is kept.
TEST_F(NewAppointmentDlgTest, EditOpensFilledAndGivesTheValuesBackWhole) {
    const ical::AppointmentValues values{
        "2002-5-3", "2002-5-12", "Dentist", "Movie", 3, "", {14 * 60 + 30, 25, 120, "Asia/Tokyo"},
        {}};
    dlg = std::make_unique<TestNewAppointmentDlg>();
    dlg->EditValues(values);
    ASSERT_TRUE(dlg->Create(nullptr));
    PumpMessages();
    EXPECT_EQ("Edit Appointment", TextOf(Hwnd()));
    EXPECT_NE(nullptr, FindWindowExA(Hwnd(), nullptr, "Button", "Edit Appointment"));
    EXPECT_EQ(3, SendMessageA(Item(IDC_EVENTS), CB_GETCURSEL, 0, 0));
    EXPECT_EQ(Date(2002, 5, 3), DateOf(PickerDate(Item(IDC_FROM_PICKER))));
    EXPECT_EQ(Date(2002, 5, 12), DateOf(PickerDate(Item(IDC_TO_PICKER))));
    EXPECT_EQ(BST_UNCHECKED, IsDlgButtonChecked(Hwnd(), IDC_ALL_DAY));
    EXPECT_EQ(120, ChosenRemind(Hwnd()));
    Click(IDOK);
    ASSERT_FALSE(StillOpen());
    EXPECT_EQ(Date(2002, 5, 3), dlg->m_fromDate);
    EXPECT_EQ(Date(2002, 5, 12), dlg->m_toDate);
    EXPECT_EQ("Dentist", dlg->m_strAppointmentNotes);
    EXPECT_EQ("Movie", dlg->m_strEvent);
    EXPECT_EQ(values.time, dlg->m_time);
}

// An edited series opens on the choice its rule stands for; a rule no choice
// says is shown and kept word for word, as are its skipped days, until the
// repeat is changed; a repeat that cannot be saved is refused with a reason.
TEST_F(NewAppointmentDlgTest, AnEditedSeriesKeepsItsRuleUntilTheRepeatIsChanged) {
    auto edit = [&](const SeriesValues& series) {
        ical::AppointmentValues values;
        values.from = values.to = "2002-5-31";
        values.notes = "Quiz";
        values.event = "Others";
        values.series = series;
        dlg = std::make_unique<TestNewAppointmentDlg>();
        dlg->EditValues(values);
        ASSERT_TRUE(dlg->Create(nullptr));
        PumpMessages();
    };
    auto shown = [&](int id) { return (GetWindowLongW(Item(id), GWL_STYLE) & WS_VISIBLE) != 0; };
    auto selected = [&](int id) {
        const LRESULT index = SendMessageW(Item(id), CB_GETCURSEL, 0, 0);
        return SendMessageW(Item(id), CB_GETITEMDATA, static_cast<WPARAM>(index), 0);
    };
    auto choose = [&](int id, LPARAM data) {
        const int count = static_cast<int>(SendMessageW(Item(id), CB_GETCOUNT, 0, 0));
        for (int i = 0; i < count; ++i)
            if (SendMessageW(Item(id), CB_GETITEMDATA, static_cast<WPARAM>(i), 0) == data)
                SendMessageW(Item(id), CB_SETCURSEL, static_cast<WPARAM>(i), 0);
        SendMessageW(Hwnd(), WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE),
                     reinterpret_cast<LPARAM>(Item(id)));
    };
    const std::vector<CalendarDate> skipped{{2002, 6, 28}};

    // The last Friday of each month, its skipped day kept through OK.
    const SeriesValues lastFriday{RepeatKind::Rule, "FREQ=MONTHLY;BYDAY=-1FR", skipped, "uid-1"};
    edit(lastFriday);
    EXPECT_EQ(static_cast<LPARAM>(RepeatPreset::MonthlyOnWeekday), selected(IDC_REPEAT));
    EXPECT_EQ(-1, selected(IDC_REPEAT_ORDINAL));
    EXPECT_EQ(4, selected(IDC_REPEAT_WEEKDAY));
    EXPECT_TRUE(shown(IDC_REPEAT_ORDINAL));
    EXPECT_FALSE(shown(IDC_REPEAT_DAY_FIRST));
    Click(IDOK);
    ASSERT_FALSE(StillOpen());
    EXPECT_EQ(lastFriday, dlg->m_series);

    // A rule the program does not follow: shown as it is, and kept.
    const SeriesValues hourly{RepeatKind::Unfollowed, "FREQ=HOURLY;INTERVAL=4", skipped, ""};
    edit(hourly);
    EXPECT_EQ(static_cast<LPARAM>(RepeatPreset::AsStored), selected(IDC_REPEAT));
    EXPECT_EQ("FREQ=HOURLY;INTERVAL=4", TextOf(Item(IDC_REPEAT_STORED)));
    Click(IDOK);
    ASSERT_FALSE(StillOpen());
    EXPECT_EQ(hourly, dlg->m_series);

    // Changed to Never: no rule, and no skipped days left over; the UID stays.
    edit(lastFriday);
    choose(IDC_REPEAT, static_cast<LPARAM>(RepeatPreset::Never));
    Click(IDOK);
    ASSERT_FALSE(StillOpen());
    EXPECT_EQ((SeriesValues{RepeatKind::None, "", {}, "uid-1"}), dlg->m_series);

    // Every 0 days, and an end before the first day: refused, with a reason.
    edit(lastFriday);
    choose(IDC_REPEAT, static_cast<LPARAM>(RepeatPreset::Custom));
    SetDlgItemTextA(Hwnd(), IDC_REPEAT_INTERVAL, "0");
    boxes.Answer(IDOK);
    Click(IDOK);
    ASSERT_EQ(1u, boxes.Count());
    ExpectBox(boxes.Last(), "Enter how often it repeats: from 1 to 999.", "Quillmere");
    SetDlgItemTextA(Hwnd(), IDC_REPEAT_INTERVAL, "2");
    choose(IDC_REPEAT_END, static_cast<LPARAM>(RepeatEnd::OnDate));
    const SYSTEMTIME early = MakeDate(2002, 5, 30);
    SendMessageW(Item(IDC_REPEAT_UNTIL), DTM_SETSYSTEMTIME, GDT_VALID,
                 reinterpret_cast<LPARAM>(&early));
    boxes.Answer(IDOK);
    Click(IDOK);
    ASSERT_EQ(2u, boxes.Count());
    ExpectBox(boxes.Last(), "The repeat cannot end before the appointment's first day.",
              "Quillmere");
    EXPECT_TRUE(StillOpen());
    const SYSTEMTIME later = MakeDate(2002, 12, 31);
    SendMessageW(Item(IDC_REPEAT_UNTIL), DTM_SETSYSTEMTIME, GDT_VALID,
                 reinterpret_cast<LPARAM>(&later));
    Click(IDOK);
    ASSERT_FALSE(StillOpen());
    EXPECT_EQ("FREQ=DAILY;INTERVAL=2;UNTIL=20021231", dlg->m_series.repeat);
}

TEST_F(NewAppointmentDlgTest, PickersCarryTipsOnAPaleYellowGround) {
    const fw::ToolTip* tip = dlg->ToolTip();
    ASSERT_NE(nullptr, tip);
    EXPECT_TRUE(GetWindowLongA(tip->GetSafeHwnd(), GWL_STYLE) & TTS_ALWAYSTIP);
    EXPECT_EQ(2, tip->GetToolCount());
    EXPECT_EQ("Appointment Starting Date", tip->GetToolText(Item(IDC_FROM_PICKER)));
    EXPECT_EQ("Appointment Ending Date", tip->GetToolText(Item(IDC_TO_PICKER)));
    EXPECT_EQ(RGB(255, 255, 200),
              static_cast<COLORREF>(SendMessageA(tip->GetSafeHwnd(), TTM_GETTIPBKCOLOR, 0, 0)));
}

TEST_F(NewAppointmentDlgTest, LabelsGetTheNormalFontButtonsAndFrameTheBoldOne) {
    PumpMessages(100);
    HWND frame = FindWindowExA(Hwnd(), nullptr, "Button", "New Appointment");
    ASSERT_NE(nullptr, frame);
    auto fontOf = [](HWND hwnd) {
        return reinterpret_cast<HFONT>(SendMessageA(hwnd, WM_GETFONT, 0, 0));
    };
    for (int id : {IDC_FROM_LABEL, IDC_TO_LABEL, IDC_NOTES_LABEL, IDC_EVENTS_LABEL})
        EXPECT_EQ(dlg->NormalFont(), fontOf(Item(id))) << id;
    EXPECT_EQ(dlg->BoldFont(), fontOf(Item(IDOK)));
    EXPECT_EQ(dlg->BoldFont(), fontOf(Item(IDCANCEL)));
    EXPECT_EQ(dlg->BoldFont(), fontOf(frame));
    const HFONT dialogFont = fontOf(Hwnd());
    for (int id : {IDC_NOTES_EDIT, IDC_EVENTS, IDC_FROM_PICKER, IDC_TO_PICKER})
        EXPECT_EQ(dialogFont, fontOf(Item(id))) << id;

    // Fault guarded against: a label given its font with a redraw on each of
    // its colour requests repaints, asks again, and never rests.
    // Other windows on the shared display may make it repaint now and then;
    // a dialog caught in that cycle asks many times every few milliseconds.
    PumpMessages(300);
    dlg->colourRequests = 0;
    PumpMessages(500);
    EXPECT_LT(dlg->colourRequests, 40);
}

TEST_F(NewAppointmentDlgTest, ToBeforeFromIsRefusedOnOKAndTheDialogStaysOpen) {
    for (int i = 0; i < 2; ++i)
        boxes.Answer(IDOK);
    SetDates(MakeDate(2002, 6, 10), MakeDate(2002, 5, 20));
    SetNotes("Dentist");
    Click(IDOK);
    ASSERT_EQ(1u, boxes.Count());
    ExpectBox(boxes.Last(), kInvalidTo, "Invalid Date");
    EXPECT_TRUE(StillOpen());
    EXPECT_EQ(CalendarDate{}, dlg->m_toDate) << "a refused To date is not taken";

    // With the notes missing as well, only the date is complained about.
    boxes.Clear();
    SetNotes("");
    Click(IDOK);
    ASSERT_EQ(1u, boxes.Count());
    EXPECT_EQ(kInvalidTo, boxes.Last().text);
    EXPECT_TRUE(StillOpen());
}

TEST_F(NewAppointmentDlgTest, EqualDatesAndARangeOverTheNewYearAreAccepted) {
    SetDates(MakeDate(2002, 6, 10), MakeDate(2002, 6, 10));
    SetNotes("Dentist");
    Click(IDOK);
    EXPECT_EQ(IDOK, dlg->ModalResult());
    EXPECT_EQ(Date(2002, 6, 10), dlg->m_fromDate);
    EXPECT_EQ(Date(2002, 6, 10), dlg->m_toDate);
    EXPECT_EQ("Dentist", dlg->m_strAppointmentNotes);
    EXPECT_EQ(0, dlg->m_nEventIndex);
    EXPECT_EQ("EMail", dlg->m_strEvent);

    Open();
    SetDates(MakeDate(2002, 12, 31), MakeDate(2003, 1, 1));
    SetNotes("Party");
    Click(IDOK);
    EXPECT_EQ(IDOK, dlg->ModalResult());
    EXPECT_EQ(Date(2002, 12, 31), dlg->m_fromDate);
    EXPECT_EQ(Date(2003, 1, 1), dlg->m_toDate);
    EXPECT_EQ(0u, boxes.Count());
}

TEST_F(NewAppointmentDlgTest, DatesAfter2038AreCarriedWhole) {
    SetDates(MakeDate(2040, 2, 29), MakeDate(2099, 12, 31));
    SetNotes("Far off");
    Click(IDOK);
    EXPECT_EQ(IDOK, dlg->ModalResult());
    EXPECT_EQ("2040-2-29", FormatDateText(dlg->m_fromDate));
    EXPECT_EQ("2099-12-31", FormatDateText(dlg->m_toDate));
}

TEST_F(NewAppointmentDlgTest, ChangingToBeforeFromTellsAtOnceAndOncePerChange) {
    for (int i = 0; i < 3; ++i)
        boxes.Answer(IDOK);
    // The keyboard step makes the picker report the change itself, and it
    // may report one change more than once.
    StepPickerDown(IDC_TO_PICKER);
    const CalendarDate firstTo = DateOf(PickerDate(Item(IDC_TO_PICKER)));
    ASSERT_LT(CompareDates(firstTo, Date(2002, 5, 7)), 0);
    EXPECT_GE(dlg->pickerReports, 1);
    ASSERT_EQ(1u, boxes.Count()) << "one change, one message";
    ExpectBox(boxes.Last(), kInvalidTo, "Invalid Date");
    EXPECT_EQ(CalendarDate{}, dlg->m_toDate);

    // A report of the same value again is not a new change.
    ChangePicker(Item(IDC_TO_PICKER), ToSystemTime(firstTo));
    EXPECT_EQ(1u, boxes.Count());

    // Another invalid date is a new change and is told again.
    ChangePicker(Item(IDC_TO_PICKER), MakeDate(2002, 4, 1));
    EXPECT_EQ(2u, boxes.Count());

    // A valid one is taken without a word.
    ChangePicker(Item(IDC_TO_PICKER), MakeDate(2002, 5, 9));
    EXPECT_EQ(2u, boxes.Count());
    EXPECT_EQ(Date(2002, 5, 9), dlg->m_toDate);

    // Back to the refused date after a valid one: told again.
    ChangePicker(Item(IDC_TO_PICKER), MakeDate(2002, 4, 1));
    EXPECT_EQ(3u, boxes.Count());
}

// Reports a further To change while the dialog's message box is opening, as
// a picker whose drop-down closes under the box would.
HWND g_reportingDialog = nullptr;
LRESULT CALLBACK ReportWhileBoxOpens(int code, WPARAM wp, LPARAM lp) {
    // The responder's answer comes first, so that the box is sure to close;
    // it is still open while the report is made.
    const LRESULT next = CallNextHookEx(nullptr, code, wp, lp);
    HWND box = reinterpret_cast<HWND>(wp);
    if (code == HCBT_ACTIVATE && g_reportingDialog != nullptr && box != g_reportingDialog &&
        GetWindow(box, GW_OWNER) == g_reportingDialog) {
        HWND dialog = std::exchange(g_reportingDialog, nullptr);
        ChangePicker(GetDlgItem(dialog, IDC_TO_PICKER), MakeDate(2002, 3, 3));
    }
    return next;
}

TEST_F(NewAppointmentDlgTest, NoSecondMessageWhileTheFirstIsOpen) {
    boxes.Answer(IDOK);
    g_reportingDialog = Hwnd();
    HHOOK hook = SetWindowsHookExA(WH_CBT, &ReportWhileBoxOpens, nullptr, GetCurrentThreadId());
    ChangePicker(Item(IDC_TO_PICKER), MakeDate(2002, 5, 1));
    UnhookWindowsHookEx(hook);
    EXPECT_EQ(nullptr, g_reportingDialog) << "the second report was made";
    EXPECT_EQ(2, dlg->pickerReports);
    EXPECT_EQ(1u, boxes.Count());
}

TEST_F(NewAppointmentDlgTest, FromChangeIsTakenAtOnce) {
    ChangePicker(Item(IDC_FROM_PICKER), MakeDate(2002, 5, 2));
    EXPECT_EQ(Date(2002, 5, 2), dlg->m_fromDate);
    EXPECT_EQ(0u, boxes.Count()) << "only the To picker's change is checked";
}

TEST_F(NewAppointmentDlgTest, OneBlankIsNotesEnough) {
    SetNotes(" ");
    Click(IDOK);
    EXPECT_EQ(0u, boxes.Count());
    EXPECT_EQ(IDOK, dlg->ModalResult());
    EXPECT_EQ(" ", dlg->m_strAppointmentNotes);
}

TEST_F(NewAppointmentDlgTest, HolidayGivesIndexFiveAndItsName) {
    SelectEvent(5);
    SetNotes("Lake");
    Click(IDOK);
    EXPECT_EQ(IDOK, dlg->ModalResult());
    EXPECT_EQ(5, dlg->m_nEventIndex);
    EXPECT_EQ("Holiday", dlg->m_strEvent);
    EXPECT_EQ(Date(2002, 5, 7), dlg->m_fromDate);
    EXPECT_EQ(Date(2002, 5, 7), dlg->m_toDate);
}

TEST_F(NewAppointmentDlgTest, TextTypedIntoTheEventBoxIsNeverTheEvent) {
    SelectEvent(-1);
    SetWindowTextA(Item(IDC_EVENTS), "Birthday");
    SetNotes("Cake");
    Click(IDOK);
    EXPECT_EQ(IDOK, dlg->ModalResult());
    EXPECT_EQ(0, dlg->m_nEventIndex);
    EXPECT_EQ("", dlg->m_strEvent);
}

TEST_F(NewAppointmentDlgTest, CancelSetsNothing) {
    SelectEvent(5);
    SetNotes("Lake");
    SetDates(MakeDate(2002, 6, 1), MakeDate(2002, 6, 2));
    Click(IDCANCEL);
    EXPECT_EQ(IDCANCEL, dlg->ModalResult());
    EXPECT_EQ(0u, boxes.Count());
    EXPECT_EQ("", dlg->m_strAppointmentNotes);
    EXPECT_EQ("", dlg->m_strEvent);
    EXPECT_EQ(0, dlg->m_nEventIndex);
    EXPECT_EQ(CalendarDate{}, dlg->m_fromDate);
    EXPECT_EQ(CalendarDate{}, dlg->m_toDate);
}

TEST_F(NewAppointmentDlgTest, NotesTheStoreCannotHoldAreRefusedAndKept) {
    boxes.Answer(IDOK);
    const std::string tooLong(500, 'n');
    SetNotes(tooLong);
    Click(IDOK);
    ASSERT_EQ(1u, boxes.Count());
    ExpectBox(boxes.Last(), "Notes can hold at most 499 characters. Please shorten them.",
              "Quillmere");
    EXPECT_TRUE(StillOpen());
    char text[1024] = {};
    GetDlgItemTextA(Hwnd(), IDC_NOTES_EDIT, text, sizeof text);
    EXPECT_EQ(tooLong, text) << "nothing typed is lost";

    SetNotes(std::string(499, 'n'));
    Click(IDOK);
    EXPECT_EQ(1u, boxes.Count());
    EXPECT_EQ(IDOK, dlg->ModalResult());
    EXPECT_EQ(499u, dlg->m_strAppointmentNotes.size());
}

TEST(NewAppointmentDlgModal, OpensWithTheFocusOnOKAndHandsBackWhatWasEntered) {
    FixedClock clock{2002, 5, 7, 9, 15};
    MessageBoxResponder boxes;
    NewAppointmentInput input;
    input.from = MakeDate(2002, 5, 20);
    input.to = MakeDate(2002, 5, 22);
    input.eventIndex = 2;
    input.notes = "Pike at the weir";
    NewAppointmentAnswerer answerer(input);

    CNewAppointmentDlg dlg;
    EXPECT_EQ(IDOK, dlg.DoModal());
    ASSERT_EQ(1, answerer.Opened());
    EXPECT_EQ(IDOK, answerer.Seen().focusId);
    EXPECT_EQ(0, answerer.Seen().eventSelection);
    EXPECT_EQ(Date(2002, 5, 7), DateOf(answerer.Seen().from));
    EXPECT_EQ(Date(2002, 5, 7), DateOf(answerer.Seen().to));
    EXPECT_EQ("", answerer.Seen().notes);
    EXPECT_FALSE(answerer.Seen().stayedOpen);

    EXPECT_EQ(Date(2002, 5, 20), dlg.m_fromDate);
    EXPECT_EQ(Date(2002, 5, 22), dlg.m_toDate);
    EXPECT_EQ(2, dlg.m_nEventIndex);
    EXPECT_EQ("Fishing", dlg.m_strEvent);
    EXPECT_EQ("Pike at the weir", dlg.m_strAppointmentNotes);
    EXPECT_EQ(0u, boxes.Count());
}

} // namespace
} // namespace qmtest
