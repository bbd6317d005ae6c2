// Repeating appointments as a user makes and meets them in the main window:
// made in New, listed on the days they occur, one occurrence deleted, the
// series edited and deleted whole; and a birthday on 29 February.
#include "app/day_view.h"
#include "app/window_modes.h"
#include "ical/series.h"
#include "res/resource.h"
#include "store/calendar_registry.h"
#include "tests/app/calendar_test_window.h"
#include "tests/support/modal_watch.h"
#include "tests/support/new_dialog_answerer.h"
#include "tests/support/x_server_input.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qmtest {
namespace {

const std::string kDayPath = "SOFTWARE\\Calendar\\";

class SeriesStoryTest : public CalendarWindowTest {
protected:
    HWND List() const { return Item(IDC_APPOINTMENT_LIST); }
    void ShowDay(int year, int month, int day) {
        const SYSTEMTIME date = MakeDate(year, month, day);
        dlg->Calendar().SetCurSel(date);
        dlg->DayView().RefreshShownDay();
        PumpMessages();
    }
    void SelectRow(int row) {
        ListView_SetItemState(List(), row, LVIS_SELECTED | LVIS_FOCUSED,
                              LVIS_SELECTED | LVIS_FOCUSED);
        PumpMessages();
    }
    // The rows of the shown day that are occurrences of the series filed
    // under `day` as `key`, by their notes.
    std::vector<std::string> Occurrences(const std::string& day, const std::string& key) const {
        std::vector<std::string> notes;
        for (int row = 0; row < RowCount(); ++row)
            if (dlg->DayView().RowSeriesDay(row) == day && dlg->DayView().RowKeyName(row) == key)
                notes.push_back(dlg->List().GetItemText(row, 1));
        return notes;
    }
    // The notes column of every row.
    std::vector<std::string> Rows() const {
        std::vector<std::string> rows;
        for (int row = 0; row < RowCount(); ++row)
            rows.push_back(dlg->List().GetItemText(row, 1));
        return rows;
    }
    // Whether the list marks the row with a picture other than the events'.
    bool ShowsRepeatPicture(int row) const {
        LVITEMW item{};
        item.mask = LVIF_IMAGE;
        item.iItem = row;
        ListView_GetItem(List(), &item);
        return item.iImage >= 6 &&
               item.iImage < ImageList_GetImageCount(ListView_GetImageList(List(), LVSIL_SMALL));
    }
    static ical::AppointmentValues Stored(const std::string& day, const std::string& key) {
        ical::AppointmentValues values;
        EXPECT_TRUE(CCalendarRegistry().ReadAppointment(day, key, values));
        return values;
    }
    // Answers the question Delete asks on an occurrence with `button`.
    static ModalWatch AnswerDeleteQuestion(int button) {
        return ModalWatch(
            [](HWND dialog) { return GetDlgItem(dialog, IDC_DELETE_ONE) != nullptr; },
            [button](HWND dialog) { SendMessageA(GetDlgItem(dialog, button), BM_CLICK, 0, 0); });
    }
};

// The day box of `weekday` (0 = Monday), wherever the user's week puts it.
HWND DayBox(HWND dialog, int weekday) {
    wchar_t name[80] = {};
    GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_SABBREVDAYNAME1 + weekday, name, 80);
    for (int id = IDC_REPEAT_DAY_FIRST; id <= IDC_REPEAT_DAY_LAST; ++id) {
        wchar_t text[80] = {};
        GetDlgItemTextW(dialog, id, text, 80);
        if (lstrcmpW(text, name) == 0)
            return GetDlgItem(dialog, id);
    }
    return nullptr;
}

TEST_F(SeriesStoryTest, AWeeklySeriesIsListedSkippedOnceEditedAndDeletedWhole) {
    if (!XServerInput::Available())
        GTEST_SKIP() << "keys through the X server need Wine";
    Open();
    SetDlgItemTextA(Hwnd(), IDC_DETAIL_NOTES, "Mat and towel");

    // New on Tuesday 7 May 2002: "Every week on", chosen and Thursday ticked
    // on the keyboard and mouse.
    XServerInput x;
    {
        NewAppointmentInput input;
        input.notes = "Yoga";
        input.beforeAnswer = [&](HWND dialog) {
            // The keys only once the click has opened the list: sent in the
            // same breath they may reach the X server's focus before Wine has
            // moved it to the dialog.
            const HWND repeat = GetDlgItem(dialog, IDC_REPEAT);
            bool dropped = false;
            for (int attempt = 0; attempt < 3 && !dropped; ++attempt) {
                ASSERT_TRUE(
                    x.Run("mousemove " + XServerInput::MiddleOf(dialog, IDC_REPEAT) + " click 1"));
                dropped = PumpUntil(
                    [&] { return SendMessageA(repeat, CB_GETDROPPEDSTATE, 0, 0) != FALSE; });
            }
            ASSERT_TRUE(dropped);
            ASSERT_TRUE(x.Run("key Down Down Return"));
            HWND thursday = DayBox(dialog, 3);
            ASSERT_TRUE(PumpUntil([&] { return IsWindowVisible(thursday) != FALSE; }));
            ASSERT_TRUE(x.Run("mousemove " +
                              XServerInput::MiddleOf(dialog, GetDlgCtrlID(thursday)) + " click 1"));
            EXPECT_TRUE(
                PumpUntil([&] { return IsDlgButtonChecked(dialog, GetDlgCtrlID(thursday)); }));
        };
        NewAppointmentAnswerer answerer(input);
        Command(ID_LIST_NEW);
        ASSERT_EQ(1, answerer.Opened());
    }
    const std::vector<std::string> keys = Subkeys(kDayPath + "2002-5-7");
    ASSERT_EQ(1u, keys.size());
    const std::string key = keys[0];
    EXPECT_EQ("FREQ=WEEKLY;BYDAY=TU,TH", Stored("2002-5-7", key).series.repeat);

    // Listed on each Tuesday and Thursday of the next three weeks, and on no
    // other day, marked as an occurrence.
    std::vector<std::string> shownOn;
    for (int day = 8; day <= 28; ++day) {
        ShowDay(2002, 5, day);
        const std::vector<std::string> rows = Occurrences("2002-5-7", key);
        if (!rows.empty()) {
            EXPECT_EQ(std::vector<std::string>{"Yoga"}, rows);
            EXPECT_TRUE(ShowsRepeatPicture(0));
            shownOn.push_back(std::to_string(day));
        }
    }
    EXPECT_EQ((std::vector<std::string>{"9", "14", "16", "21", "23", "28"}), shownOn);

    // An occurrence shows the series' detailed notes and saves them into it.
    ShowDay(2002, 5, 16);
    SelectRow(0);
    char box[256] = {};
    GetDlgItemTextA(Hwnd(), IDC_DETAIL_NOTES, box, sizeof box);
    EXPECT_STREQ("Mat and towel", box);
    SetDlgItemTextA(Hwnd(), IDC_DETAIL_NOTES, "Bring water");
    Command(IDC_SAVE_NOTES);
    EXPECT_EQ("Bring water", Stored("2002-5-7", key).detailNotes);

    // Delete on it: only this occurrence.
    {
        ModalWatch watch = AnswerDeleteQuestion(IDC_DELETE_ONE);
        Command(ID_LIST_DELETE);
        EXPECT_TRUE(watch.Acted());
    }
    EXPECT_EQ((std::vector<CalendarDate>{{2002, 5, 16}}), Stored("2002-5-7", key).series.skipDates);
    EXPECT_EQ(0, RowCount());
    ShowDay(2002, 5, 14);
    EXPECT_EQ(std::vector<std::string>{"Yoga"}, Occurrences("2002-5-7", key));

    // Cancel changes nothing.
    SelectRow(0);
    const auto before = TreeSnapshot("SOFTWARE\\Calendar");
    {
        ModalWatch watch = AnswerDeleteQuestion(IDCANCEL);
        Command(ID_LIST_DELETE);
        EXPECT_TRUE(watch.Acted());
    }
    EXPECT_EQ(before, TreeSnapshot("SOFTWARE\\Calendar"));

    // Edit on an occurrence opens the series from its first occurrence; a
    // Friday added changes the rule, and the skipped day stays skipped.
    {
        NewAppointmentInput input;
        input.beforeAnswer = [](HWND dialog) { SendMessageA(DayBox(dialog, 4), BM_CLICK, 0, 0); };
        NewAppointmentAnswerer answerer(input);
        Command(ID_LIST_EDIT);
        ASSERT_EQ(1, answerer.Opened());
        EXPECT_EQ("Edit Appointment", answerer.Seen().caption);
        EXPECT_EQ(7, answerer.Seen().from.wDay);
        EXPECT_EQ("Yoga", answerer.Seen().notes);
    }
    const ical::AppointmentValues edited = Stored("2002-5-7", key);
    EXPECT_EQ("FREQ=WEEKLY;BYDAY=TU,TH,FR", edited.series.repeat);
    EXPECT_EQ((std::vector<CalendarDate>{{2002, 5, 16}}), edited.series.skipDates);
    ShowDay(2002, 5, 24);
    ASSERT_EQ(std::vector<std::string>{"Yoga"}, Occurrences("2002-5-7", key));

    // The Delete key on it: the whole series.
    SelectRow(0);
    {
        ModalWatch watch = AnswerDeleteQuestion(IDC_DELETE_SERIES);
        SendMessageW(List(), WM_KEYDOWN, VK_DELETE, 0);
        PumpMessages();
        EXPECT_TRUE(watch.Acted());
    }
    EXPECT_TRUE(Subkeys(kDayPath + "2002-5-7").empty());
    EXPECT_EQ(0, RowCount());
    EXPECT_EQ(0u, boxes.Count()) << "the day's own question is not asked";
}

// A day's own appointments come before the occurrences of other days' series,
// also one just made in New.
TEST_F(SeriesStoryTest, ANewAppointmentIsListedBeforeTheOccurrencesOfOtherDays) {
    PutAppointment("2002-5-6", "Appointment 1", "2002-5-6", "2002-5-6", "Choir");
    SetText(kDayPath + "2002-5-6\\Appointment 1", "REPEAT", "FREQ=DAILY", REG_SZ);
    Open();
    ASSERT_EQ(std::vector<std::string>{"Choir"}, Occurrences("2002-5-6", "Appointment 1"));
    {
        NewAppointmentInput input;
        input.notes = "Lunch";
        NewAppointmentAnswerer answerer(input);
        Command(ID_LIST_NEW);
        ASSERT_EQ(1, answerer.Opened());
    }
    EXPECT_EQ((std::vector<std::string>{"Lunch", "Choir"}), Rows());
}

TEST_F(SeriesStoryTest, ABirthdayOnTheTwentyNinthOfFebruaryFallsOnTheTwentyEighthInCommonYears) {
    Open();
    {
        NewAppointmentInput input;
        input.notes = "Leap birthday";
        input.from = MakeDate(2004, 2, 29);
        input.to = MakeDate(2004, 2, 29);
        input.beforeAnswer = [](HWND dialog) {
            HWND repeat = GetDlgItem(dialog, IDC_REPEAT);
            const int count = static_cast<int>(SendMessageW(repeat, CB_GETCOUNT, 0, 0));
            for (int i = 0; i < count; ++i) {
                wchar_t text[80] = {};
                SendMessageW(repeat, CB_GETLBTEXT, static_cast<WPARAM>(i),
                             reinterpret_cast<LPARAM>(text));
                if (std::wstring(text).starts_with(L"Every year on"))
                    SendMessageW(repeat, CB_SETCURSEL, static_cast<WPARAM>(i), 0);
            }
            SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDC_REPEAT, CBN_SELCHANGE),
                         reinterpret_cast<LPARAM>(repeat));
        };
        NewAppointmentAnswerer answerer(input);
        Command(ID_LIST_NEW);
        ASSERT_EQ(1, answerer.Opened());
    }
    const std::vector<std::string> keys = Subkeys(kDayPath + "2002-5-7");
    ASSERT_EQ(1u, keys.size());
    EXPECT_EQ(ical::YearlyRuleOn({2004, 2, 29}), Stored("2002-5-7", keys[0]).series.repeat);
    ShowDay(2005, 2, 28);
    EXPECT_EQ(std::vector<std::string>{"Leap birthday"}, Occurrences("2002-5-7", keys[0]));
    ShowDay(2005, 3, 1);
    EXPECT_TRUE(Occurrences("2002-5-7", keys[0]).empty());
    ShowDay(2008, 2, 29);
    EXPECT_EQ(std::vector<std::string>{"Leap birthday"}, Occurrences("2002-5-7", keys[0]));
}

} // namespace
} // namespace qmtest
