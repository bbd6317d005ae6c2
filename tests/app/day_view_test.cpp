#include "res/resource.h"
#include "store/calendar_registry.h"
#include "store/system_time.h"
#include "tests/app/calendar_test_window.h"
#include "tests/support/write_protect.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace qmtest {
namespace {

const std::string kMay7 = "SOFTWARE\\Calendar\\2002-5-7";

std::string Field500(const std::string& text) {
    std::string field = text;
    field.resize(500, '\0');
    return field;
}

class DayViewTest : public CalendarWindowTest {
protected:
    // Three appointments of 7 May 2002, in the store's order (the names sort
    // as they enumerate).
    void PutThreeAppointments() {
        PutAppointment("2002-5-7", "Appointment 1", "2002-5-7", "2002-5-7", "Dentist", "Others", 1,
                       "Bring the card");
        PutAppointment("2002-5-7", "Appointment 2", "2002-5-7", "2002-5-7", "Trout", "Fishing", 2,
                       "Lake at six");
        PutAppointment("2002-5-7", "Appointment 3", "2002-5-7", "2002-5-7", "Concert", "Music", 4,
                       "Row F");
    }

    // What a click on a day of the calendar does: select it, and notify.
    void PickDate(int year, int month, int day) {
        const SYSTEMTIME date = MakeDate(year, month, day);
        SendMessageA(Item(IDC_MONTHCAL), MCM_SETCURSEL, 0, reinterpret_cast<LPARAM>(&date));
        SendNotify(Hwnd(), IDC_MONTHCAL, MCN_SELCHANGE);
        PumpMessages();
    }
    std::string Selected() const {
        SYSTEMTIME date{};
        SendMessageA(Item(IDC_MONTHCAL), MCM_GETCURSEL, 0, reinterpret_cast<LPARAM>(&date));
        return FormatDateText(date);
    }
    std::string CalendarToday() const {
        SYSTEMTIME date{};
        SendMessageA(Item(IDC_MONTHCAL), MCM_GETTODAY, 0, reinterpret_cast<LPARAM>(&date));
        return FormatDateText(date);
    }

    std::vector<std::string> NotesColumn() const {
        std::vector<std::string> notes;
        for (int row = 0; row < RowCount(); ++row)
            notes.push_back(dlg->List().GetItemText(row, 1));
        return notes;
    }
    int FirstSelectedRow() const { return dlg->List().GetFirstSelected(); }
    // Selects exactly the given rows, as clicks in the list would.
    void SelectRows(std::initializer_list<int> rows) {
        dlg->List().SetItemState(-1, 0, LVIS_SELECTED);
        for (int row : rows)
            dlg->List().SetItemState(row, LVIS_SELECTED, LVIS_SELECTED);
        PumpMessages();
    }
    std::string NotesBox() const {
        char text[4096] = {};
        GetDlgItemTextA(Hwnd(), IDC_DETAIL_NOTES, text, sizeof text);
        return text;
    }
    void TypeNotes(const std::string& text) {
        SetDlgItemTextA(Hwnd(), IDC_DETAIL_NOTES, text.c_str());
    }
    std::string StoredDetail(const std::string& key) const {
        return ReadRaw(kMay7 + "\\" + key, "DETAIL NOTES").bytes;
    }

    // Hands the queued messages to the window the way its modal loop does.
    void PumpThroughDialog() {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (!dlg->PreTranslateMessage(&msg)) {
                TranslateMessage(&msg);
                DispatchMessageA(&msg);
            }
        }
    }
    // Moves the focus as Tab does, so the dialog manager also moves the
    // default-button marking.
    void FocusControl(int id) {
        SendMessageA(Hwnd(), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(Item(id)), TRUE);
        PumpThroughDialog();
        ASSERT_EQ(Item(id), GetFocus());
    }
    // A real Enter key press on the control that has the focus.
    void PressEnter() {
        HWND focus = GetFocus();
        ASSERT_NE(nullptr, focus);
        const UINT scan = MapVirtualKeyA(VK_RETURN, MAPVK_VK_TO_VSC);
        PostMessageA(focus, WM_KEYDOWN, VK_RETURN, 1 | (scan << 16));
        PostMessageA(focus, WM_KEYUP, VK_RETURN, 1 | (scan << 16) | 0xC0000000u);
        PumpThroughDialog();
        PumpThroughDialog();
    }
};

TEST_F(DayViewTest, StartUpListsTodayWithPicturesAndNothingSelected) {
    PutThreeAppointments();
    // An index stored from outside that names no picture shows none.
    PutAppointment("2002-5-7", "Appointment 4", "2002-5-7", "2002-5-7", "Odd", "Holiday", 9);
    Open();

    HWND list = Item(IDC_APPOINTMENT_LIST);
    ASSERT_EQ(4, RowCount());
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"Others", "Dentist"}, {"Fishing", "Trout"}, {"Music", "Concert"}, {"Holiday", "Odd"}};
    for (int row = 0; row < 4; ++row) {
        EXPECT_EQ(expected[row].first, dlg->List().GetItemText(row, 0)) << row;
        EXPECT_EQ(expected[row].second, dlg->List().GetItemText(row, 1)) << row;
    }
    EXPECT_EQ(1, dlg->List().GetItemImage(0));
    EXPECT_EQ(2, dlg->List().GetItemImage(1));
    EXPECT_EQ(4, dlg->List().GetItemImage(2));
    EXPECT_EQ(I_IMAGENONE, dlg->List().GetItemImage(3));
    EXPECT_EQ(-1, FirstSelectedRow());
    EXPECT_EQ("", NotesBox());

    // The list's one-time setup.
    auto images =
        reinterpret_cast<HIMAGELIST>(SendMessageA(list, LVM_GETIMAGELIST, LVSIL_SMALL, 0));
    ASSERT_NE(nullptr, images);
    EXPECT_EQ(7, ImageList_GetImageCount(images)) << "the six events and the repeat mark";
    int cx = 0, cy = 0;
    ImageList_GetIconSize(images, &cx, &cy);
    EXPECT_EQ(32, cx);
    EXPECT_EQ(32, cy);
    EXPECT_EQ(RGB(128, 128, 128), static_cast<COLORREF>(SendMessageA(list, LVM_GETBKCOLOR, 0, 0)));
    EXPECT_EQ(RGB(209, 211, 255),
              static_cast<COLORREF>(SendMessageA(list, LVM_GETTEXTBKCOLOR, 0, 0)));
    EXPECT_EQ(0x0C30u, dlg->List().GetExtendedStyle() & 0x0C30u);
    const char* headings[] = {"Event", "Notes"};
    const int widths[] = {80, 175};
    for (int column = 0; column < 2; ++column) {
        char heading[32] = {};
        LVCOLUMNA info{};
        info.mask = LVCF_TEXT | LVCF_WIDTH;
        info.pszText = heading;
        info.cchTextMax = sizeof heading;
        ASSERT_TRUE(SendMessageA(list, LVM_GETCOLUMNA, column, reinterpret_cast<LPARAM>(&info)));
        EXPECT_STREQ(headings[column], heading);
        EXPECT_EQ(widths[column], info.cx);
    }
}

TEST_F(DayViewTest, PickingADayRefillsTheListAndEmptiesTheBox) {
    PutThreeAppointments();
    PutAppointment("2002-5-8", "Appointment 1", "2002-5-8", "2002-5-8", "Gym", "Others", 1, "Legs");
    Open();
    PickDate(2002, 5, 7);
    SelectRows({1});
    ASSERT_EQ("Lake at six", NotesBox());

    PickDate(2002, 5, 8);
    EXPECT_EQ(std::vector<std::string>{"Gym"}, NotesColumn());
    EXPECT_EQ(-1, FirstSelectedRow());
    EXPECT_EQ("", NotesBox());

    // A day that never had an appointment: nothing, and no message.
    PickDate(2002, 5, 9);
    EXPECT_EQ(0, RowCount());
    EXPECT_EQ("", NotesBox());
    EXPECT_EQ(0u, boxes.Count());

    // Refilling the same day with a row selected: the item changes raised
    // while the rows go in leave the box empty and nothing selected.
    PickDate(2002, 5, 7);
    SelectRows({2});
    ASSERT_EQ("Row F", NotesBox());
    PickDate(2002, 5, 7);
    EXPECT_EQ((std::vector<std::string>{"Dentist", "Trout", "Concert"}), NotesColumn());
    EXPECT_EQ(-1, FirstSelectedRow());
    EXPECT_EQ("", NotesBox());
}

TEST_F(DayViewTest, TheNotesBoxFollowsTheFirstSelectedRow) {
    PutThreeAppointments();
    // Stored from outside without NOTES: an empty notes text must not match
    // when no row is selected.
    const std::string bare = kMay7 + "\\Appointment 4";
    SetText(bare, "DETAIL NOTES", "not selected", REG_EXPAND_SZ, 500);
    Open();
    PickDate(2002, 5, 7);
    ASSERT_EQ(4, RowCount());

    SelectRows({1});
    EXPECT_EQ("Lake at six", NotesBox());
    SelectRows({2, 1});
    EXPECT_EQ("Lake at six", NotesBox()) << "the lowest selected index counts";
    SelectRows({0, 2});
    EXPECT_EQ("Bring the card", NotesBox());
    SelectRows({});
    EXPECT_EQ("", NotesBox()) << "no selection, no notes";
    SelectRows({3});
    EXPECT_EQ("not selected", NotesBox()) << "selected, the row without notes shows its own";
    SelectRows({});
    EXPECT_EQ("", NotesBox());
}

TEST_F(DayViewTest, SaveNotesStoresTheBoxIntoTheFirstSelectedRowOnly) {
    PutThreeAppointments();
    Open();
    PickDate(2002, 5, 7);

    // No selection: nothing stored, nothing said.
    TypeNotes("orphan");
    Command(IDC_SAVE_NOTES);
    EXPECT_EQ(Field500("Bring the card"), StoredDetail("Appointment 1"));
    EXPECT_EQ(Field500("Lake at six"), StoredDetail("Appointment 2"));
    EXPECT_EQ(Field500("Row F"), StoredDetail("Appointment 3"));
    EXPECT_EQ(0u, boxes.Count());

    SelectRows({2, 1});
    TypeNotes("Lake at seven\r\nbring worms");
    Command(IDC_SAVE_NOTES);
    const RawValue saved = ReadRaw(kMay7 + "\\Appointment 2", "DETAIL NOTES");
    EXPECT_EQ(static_cast<DWORD>(REG_EXPAND_SZ), saved.type);
    EXPECT_EQ(Field500("Lake at seven\r\nbring worms"), saved.bytes);
    EXPECT_EQ(Field500("Row F"), StoredDetail("Appointment 3")) << "only the first selected row";
    EXPECT_EQ(0u, boxes.Count()) << "a good save is silent";
    EXPECT_EQ((std::vector<std::string>{"Dentist", "Trout", "Concert"}), NotesColumn());
    EXPECT_EQ(1, FirstSelectedRow());
    EXPECT_EQ("Lake at seven\r\nbring worms", NotesBox());

    // 499 characters fit the field whole.
    const std::string fits(499, 'w');
    TypeNotes(fits);
    Command(IDC_SAVE_NOTES);
    EXPECT_EQ(fits + '\0', StoredDetail("Appointment 2"));
    EXPECT_EQ(0u, boxes.Count());
}

TEST_F(DayViewTest, NotesTooLongAreRefusedAndStayInTheBox) {
    PutThreeAppointments();
    Open();
    PickDate(2002, 5, 7);
    SelectRows({0});
    const std::string tooLong = std::string(499, 'x') + "y";
    TypeNotes(tooLong);
    boxes.Answer(IDOK);
    Command(IDC_SAVE_NOTES);

    ASSERT_EQ(1u, boxes.Count());
    EXPECT_EQ(Hwnd(), boxes.Last().owner);
    EXPECT_EQ("Quillmere", boxes.Last().caption);
    EXPECT_EQ(static_cast<UINT>(MB_OK | MB_ICONINFORMATION), boxes.Last().style);
    EXPECT_NE(std::string::npos, boxes.Last().text.find("499 characters")) << boxes.Last().text;
    EXPECT_EQ(Field500("Bring the card"), StoredDetail("Appointment 1")) << "nothing is cut";
    EXPECT_EQ(tooLong, NotesBox()) << "what the user typed is kept";
    EXPECT_EQ(0, FirstSelectedRow());
}

TEST_F(DayViewTest, AFailedSaveIsReported) {
    PutThreeAppointments();
    Open();
    PickDate(2002, 5, 7);
    SelectRows({0});
    TypeNotes("new");
    // Everyone may read the appointment, nobody may write it: a save that
    // stored nothing must not pass for success.
    const std::string key = kMay7 + "\\Appointment 1";
    {
        WriteProtectedKey readOnly(key);
        boxes.Answer(IDOK);
        Command(IDC_SAVE_NOTES);
    }

    ASSERT_EQ(1u, boxes.Count());
    EXPECT_EQ("Unable to save notes", boxes.Last().text);
    EXPECT_EQ("Quillmere", boxes.Last().caption);
    EXPECT_EQ(static_cast<UINT>(MB_OK | MB_ICONINFORMATION), boxes.Last().style);
    EXPECT_EQ(Field500("Bring the card"), StoredDetail("Appointment 1"));
    EXPECT_EQ("new", NotesBox());
}

TEST_F(DayViewTest, DeletingTheSelectedAppointmentActsOnTheStoresAnswer) {
    PutThreeAppointments();
    Open();
    PickDate(2002, 5, 7);
    SelectRows({1});

    boxes.Answer(IDNO);
    dlg->DayView().ModifySelectedAppointment(MODIFY_DELETE);
    // Asked once the appointment is found, before it is deleted: no owner
    // window, Yes and No with No the default.
    ASSERT_EQ(1u, boxes.Count());
    EXPECT_EQ(nullptr, boxes.Last().owner);
    EXPECT_EQ("Are you sure you want to delete appointment?", boxes.Last().text);
    EXPECT_EQ("Confirm Delete", boxes.Last().caption);
    EXPECT_EQ(static_cast<UINT>(MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2), boxes.Last().style);
    EXPECT_EQ(3, RowCount());
    EXPECT_TRUE(KeyExists(kMay7 + "\\Appointment 2"));

    boxes.Answer(IDYES);
    dlg->DayView().ModifySelectedAppointment(MODIFY_DELETE);
    EXPECT_EQ((std::vector<std::string>{"Dentist", "Concert"}), NotesColumn());
    EXPECT_FALSE(KeyExists(kMay7 + "\\Appointment 2"));

    // A key that cannot go (it has a subkey of its own) is reported.
    CreateKey(kMay7 + "\\Appointment 3\\extra");
    SelectRows({1});
    boxes.Answer(IDYES);
    boxes.Answer(IDOK);
    dlg->DayView().ModifySelectedAppointment(MODIFY_DELETE);
    ASSERT_EQ(4u, boxes.Count());
    EXPECT_EQ("Unable to delete appointment", boxes.Last().text);
    EXPECT_EQ("Quillmere", boxes.Last().caption);
    EXPECT_EQ(Hwnd(), boxes.Last().owner);
    EXPECT_EQ(static_cast<UINT>(MB_OK | MB_ICONINFORMATION), boxes.Last().style);
    EXPECT_EQ((std::vector<std::string>{"Dentist", "Concert"}), NotesColumn());

    // Without a selection nothing is asked.
    SelectRows({});
    dlg->DayView().ModifySelectedAppointment(MODIFY_DELETE);
    EXPECT_EQ(4u, boxes.Count());
}

TEST_F(DayViewTest, EqualNotesShowTheLaterAndSaveIntoBoth) {
    PutAppointment("2002-5-7", "Appointment 1", "2002-5-7", "2002-5-7", "Lunch", "EMail", 0, "A");
    PutAppointment("2002-5-7", "Appointment 2", "2002-5-7", "2002-5-7", "Lunch", "EMail", 0, "B");
    Open();
    PickDate(2002, 5, 7);
    ASSERT_EQ((std::vector<std::string>{"Lunch", "Lunch"}), NotesColumn());
    SelectRows({0});
    EXPECT_EQ("B", NotesBox());
    SelectRows({1});
    EXPECT_EQ("B", NotesBox());
    TypeNotes("both");
    Command(IDC_SAVE_NOTES);
    EXPECT_EQ(Field500("both"), StoredDetail("Appointment 1"));
    EXPECT_EQ(Field500("both"), StoredDetail("Appointment 2"));
}

TEST_F(DayViewTest, TextTypedAndNotSavedIsLostWhenTheSelectionChanges) {
    PutThreeAppointments();
    Open();
    PickDate(2002, 5, 7);
    SelectRows({0});
    TypeNotes("draft that was never saved");
    SelectRows({1});
    EXPECT_EQ("Lake at six", NotesBox());
    SelectRows({0});
    EXPECT_EQ("Bring the card", NotesBox());
    EXPECT_EQ(Field500("Bring the card"), StoredDetail("Appointment 1"));
}

TEST_F(DayViewTest, GoTodaySelectsTheCalendarsTodayAfterMidnightToo) {
    PutThreeAppointments();
    PutAppointment("2002-5-8", "Appointment 1", "2002-5-8", "2002-5-8", "Gym", "Others", 1);
    Open();
    // Picking a date tells the calendar what today is.
    PickDate(2002, 8, 20);
    SendNotify(Hwnd(), IDC_MONTHCAL, MCN_SELECT);
    ASSERT_EQ("2002-5-7", CalendarToday());
    EXPECT_EQ("2002-8-20", Selected()) << "picking a date changes nothing else";
    EXPECT_EQ(0, RowCount());

    Command(IDC_GO_TODAY);
    EXPECT_EQ("2002-5-7", Selected());
    EXPECT_EQ((std::vector<std::string>{"Dentist", "Trout", "Concert"}), NotesColumn());

    // Midnight passes; the next pick moves the calendar's today along.
    FixedClock::Set(2002, 5, 8, 0, 0, 5);
    PickDate(2002, 6, 1);
    SendNotify(Hwnd(), IDC_MONTHCAL, MCN_SELECT);
    Command(IDC_GO_TODAY);
    EXPECT_EQ("2002-5-8", Selected());
    EXPECT_EQ(std::vector<std::string>{"Gym"}, NotesColumn());
}

TEST_F(DayViewTest, DayStepsCarryIntoTheNeighbouringMonthAndYear) {
    PutAppointment("2002-3-15", "Appointment 1", "2002-3-15", "2002-3-15", "Ides", "Others", 1);
    PutAppointment("2003-1-1", "Appointment 1", "2003-1-1", "2003-1-1", "New year", "Holiday", 5);
    PutAppointment("2004-2-29", "Appointment 1", "2004-2-29", "2004-2-29", "Leap", "Music", 4);
    PutAppointment("2002-4-30", "Appointment 1", "2002-4-30", "2002-4-30", "April", "EMail", 0);
    Open();

    struct Step {
        int year, month, day;
        int command;
        const char* expected;
        std::vector<std::string> rows;
    };
    const Step steps[] = {
        {2002, 3, 14, IDC_NEXT_DAY, "2002-3-15", {"Ides"}},
        {2002, 3, 16, IDC_PREV_DAY, "2002-3-15", {"Ides"}},
        {2002, 12, 31, IDC_NEXT_DAY, "2003-1-1", {"New year"}},
        {2003, 1, 1, IDC_PREV_DAY, "2002-12-31", {}},
        {2004, 2, 28, IDC_NEXT_DAY, "2004-2-29", {"Leap"}},
        {2004, 3, 1, IDC_PREV_DAY, "2004-2-29", {"Leap"}},
        {2003, 3, 1, IDC_PREV_DAY, "2003-2-28", {}},
        {2002, 4, 30, IDC_NEXT_DAY, "2002-5-1", {}},
        {2002, 5, 1, IDC_PREV_DAY, "2002-4-30", {"April"}},
    };
    for (const Step& step : steps) {
        PickDate(step.year, step.month, step.day);
        Command(step.command);
        EXPECT_EQ(step.expected, Selected()) << step.year << "-" << step.month << "-" << step.day;
        EXPECT_EQ(step.rows, NotesColumn()) << step.expected;
    }

    // A day past the calendar's range is refused: selection and list stay.
    PutAppointment("2002-12-31", "Appointment 1", "2002-12-31", "2002-12-31", "Eve", "Movie", 3);
    SYSTEMTIME range[2] = {MakeDate(2002, 1, 1), MakeDate(2002, 12, 31)};
    SendMessageA(Item(IDC_MONTHCAL), MCM_SETRANGE, GDTR_MIN | GDTR_MAX,
                 reinterpret_cast<LPARAM>(range));
    PickDate(2002, 12, 31);
    Command(IDC_NEXT_DAY);
    EXPECT_EQ("2002-12-31", Selected());
    EXPECT_EQ(std::vector<std::string>{"Eve"}, NotesColumn());
    SendMessageA(Item(IDC_MONTHCAL), MCM_SETRANGE, 0, reinterpret_cast<LPARAM>(range));

    // Stepping again goes on from there.
    PickDate(2002, 12, 30);
    Command(IDC_NEXT_DAY);
    Command(IDC_NEXT_DAY);
    EXPECT_EQ("2003-1-1", Selected());
    Command(IDC_PREV_DAY);
    Command(IDC_PREV_DAY);
    EXPECT_EQ("2002-12-30", Selected());
}

TEST_F(DayViewTest, EnterPressesGoTodayExceptInTheNotesBoxOrOnAnotherButton) {
    PutThreeAppointments();
    Open();
    SetForegroundWindow(Hwnd());
    PumpMessages();
    SendNotify(Hwnd(), IDC_MONTHCAL, MCN_SELECT); // the calendar's today is 7 May 2002

    PickDate(2002, 8, 20);
    FocusControl(IDC_APPOINTMENT_LIST);
    PressEnter();
    EXPECT_EQ("2002-5-7", Selected()) << "Enter in the list goes to today";
    EXPECT_EQ(3, RowCount());

    PickDate(2002, 8, 20);
    FocusControl(IDC_DETAIL_NOTES);
    TypeNotes("line one");
    SendDlgItemMessageA(Hwnd(), IDC_DETAIL_NOTES, EM_SETSEL, 8, 8);
    PressEnter();
    EXPECT_EQ("2002-8-20", Selected()) << "Enter in the notes box stays there";
    EXPECT_EQ("line one\r\n", NotesBox());

    FocusControl(IDC_NEXT_DAY);
    PressEnter();
    EXPECT_EQ("2002-8-21", Selected()) << "Enter on >> presses >>";

    FocusControl(IDC_APPOINTMENT_LIST);
    PressEnter();
    EXPECT_EQ("2002-5-7", Selected()) << "away from >>, Enter goes to today again";
}

} // namespace
} // namespace qmtest
