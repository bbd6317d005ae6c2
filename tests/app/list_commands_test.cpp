#include "res/resource.h"
#include "store/calendar_registry.h"
#include "tests/support/new_dialog_answerer.h"
#include "tests/support/write_protect.h"
#include "tests/support/x_server_input.h"
#include "tests/app/calendar_test_window.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace qmtest {
namespace {

constexpr UINT kInfoBox = MB_OK | MB_ICONINFORMATION;
const std::string kDayPath = "SOFTWARE\\Calendar\\";

// Reads the list's context menu while it is open, then closes it, or chooses
// an item by its mnemonic as a user typing it would.
class ListMenuReader {
public:
    explicit ListMenuReader(char choose = 0) : m_choose(choose) {
        s_reader = this;
        m_hook = SetWindowsHookExA(WH_CALLWNDPROC, &ListMenuReader::CallWndProc, nullptr,
                                   GetCurrentThreadId());
    }
    ~ListMenuReader() {
        UnhookWindowsHookEx(m_hook);
        s_reader = nullptr;
    }
    ListMenuReader(const ListMenuReader&) = delete;
    ListMenuReader& operator=(const ListMenuReader&) = delete;

    int opened = 0;
    HWND owner = nullptr;
    UINT newState = 0xFFFFFFFF;
    UINT deleteState = 0xFFFFFFFF;
    std::string newText;
    std::string deleteText;
    POINT topLeft{};

    bool DeleteGreyed() const { return (deleteState & MF_GRAYED) != 0; }
    bool NewEnabled() const { return (newState & (MF_GRAYED | MF_DISABLED)) == 0; }

private:
    static std::string ItemText(HMENU menu, UINT id) {
        char text[64] = {};
        GetMenuStringA(menu, id, text, sizeof text, MF_BYCOMMAND);
        return text;
    }
    static LRESULT CALLBACK CallWndProc(int code, WPARAM wp, LPARAM lp) {
        ListMenuReader* self = s_reader;
        const auto* call = reinterpret_cast<const CWPSTRUCT*>(lp);
        if (code == HC_ACTION && self != nullptr) {
            if (call->message == WM_INITMENUPOPUP) {
                self->m_menu = reinterpret_cast<HMENU>(call->wParam);
                self->owner = call->hwnd;
                self->m_idle = false;
            } else if (call->message == WM_ENTERIDLE && call->wParam == MSGF_MENU &&
                       self->m_menu != nullptr && !self->m_idle) {
                self->m_idle = true;
                ++self->opened;
                self->newState = GetMenuState(self->m_menu, ID_LIST_NEW, MF_BYCOMMAND);
                self->deleteState = GetMenuState(self->m_menu, ID_LIST_DELETE, MF_BYCOMMAND);
                self->newText = ItemText(self->m_menu, ID_LIST_NEW);
                self->deleteText = ItemText(self->m_menu, ID_LIST_DELETE);
                HWND menuWindow = reinterpret_cast<HWND>(call->lParam);
                RECT rect{};
                GetWindowRect(menuWindow, &rect);
                self->topLeft = POINT{rect.left, rect.top};
                if (self->m_choose != 0)
                    PostMessageA(menuWindow, WM_CHAR, static_cast<WPARAM>(self->m_choose), 0);
                else
                    EndMenu();
            }
        }
        return CallNextHookEx(nullptr, code, wp, lp);
    }

    static inline ListMenuReader* s_reader = nullptr;
    char m_choose;
    HHOOK m_hook = nullptr;
    HMENU m_menu = nullptr;
    bool m_idle = false;
};

class ListCommandsTest : public CalendarWindowTest {
protected:
    HWND List() const { return Item(IDC_APPOINTMENT_LIST); }
    std::string RowText(int row, int column) const { return dlg->List().GetItemText(row, column); }
    int RowWithNotes(const std::string& notes) const {
        for (int row = 0; row < RowCount(); ++row)
            if (RowText(row, 1) == notes)
                return row;
        return -1;
    }
    // Selects only this row, as a click on it does.
    void SelectRow(int row) {
        ListView_SetItemState(List(), -1, 0, LVIS_SELECTED | LVIS_FOCUSED);
        ListView_SetItemState(List(), row, LVIS_SELECTED | LVIS_FOCUSED,
                              LVIS_SELECTED | LVIS_FOCUSED);
        PumpMessages();
    }
    // A right click on the list: the menu opens at the cursor and the reader
    // takes it from there.
    LRESULT RightClickList() {
        SetCursorPos(300, 250);
        const LRESULT result = SendNotify(Hwnd(), IDC_APPOINTMENT_LIST, NM_RCLICK);
        PumpMessages();
        return result;
    }
    std::string DetailBox() const {
        char text[2048] = {};
        GetDlgItemTextA(Hwnd(), IDC_DETAIL_NOTES, text, sizeof text);
        return text;
    }
    void TypeIntoDetailBox(const std::string& text) {
        SetDlgItemTextA(Hwnd(), IDC_DETAIL_NOTES, text.c_str());
    }
    // The appointment keys of a day that are not in `before`.
    static std::vector<std::string> AddedKeys(const std::string& day,
                                              const std::vector<std::string>& before) {
        std::vector<std::string> added;
        for (const std::string& name : Subkeys(kDayPath + day))
            if (std::find(before.begin(), before.end(), name) == before.end())
                added.push_back(name);
        return added;
    }
};

// A stored text as the store lays it out: the text, then zeros to the
// field's size.
std::string Field(const std::string& text, size_t bytes) {
    std::string field = text;
    field.resize(bytes, '\0');
    return field;
}

void ExpectText(const std::string& key, const char* name, const std::string& text, size_t bytes) {
    const RawValue raw = ReadRaw(key, name);
    ASSERT_TRUE(raw.exists) << name;
    EXPECT_EQ(static_cast<DWORD>(REG_EXPAND_SZ), raw.type) << name;
    EXPECT_EQ(Field(text, bytes), raw.bytes) << name;
}

void ExpectIndex(const std::string& key, DWORD index) {
    const RawValue raw = ReadRaw(key, "EVENT INDEX");
    ASSERT_TRUE(raw.exists);
    EXPECT_EQ(static_cast<DWORD>(REG_DWORD), raw.type);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&index), sizeof index), raw.bytes);
}

TEST_F(ListCommandsTest, WithNoRowSelectedNewIsOfferedAndDeleteGreyed) {
    PutAppointment("2002-5-7", "Appointment 1", "2002-5-7", "2002-5-7", "Lunch");
    Open();
    ASSERT_EQ(1, RowCount());
    ListMenuReader menu;
    EXPECT_EQ(0, RightClickList());
    ASSERT_EQ(1, menu.opened);
    EXPECT_EQ(Hwnd(), menu.owner);
    EXPECT_EQ("&New", menu.newText);
    EXPECT_EQ("&Delete", menu.deleteText);
    EXPECT_TRUE(menu.NewEnabled());
    EXPECT_TRUE(menu.DeleteGreyed());
    EXPECT_EQ(300, menu.topLeft.x);
    EXPECT_EQ(250, menu.topLeft.y);
    // Closing the menu without a choice does nothing.
    EXPECT_EQ(1, RowCount());
    EXPECT_EQ(0u, boxes.Count());
}

TEST_F(ListCommandsTest, DebrisLeftByAnotherProgramIsOfferedForDeleteAndGoes) {
    // Delete was greyed on a row without an event text, and such a key can
    // be read by no purge either: it stayed for ever.
    PutAppointment("2002-5-7", "Appointment 1", "2002-5-7", "2002-5-7", "Call back", "", 0);
    CreateKey(kDayPath + "2002-5-7\\Appointment 2");
    Open();
    ASSERT_EQ(2, RowCount());
    {
        SelectRow(RowWithNotes("Call back"));
        ListMenuReader menu;
        RightClickList();
        ASSERT_EQ(1, menu.opened);
        EXPECT_FALSE(menu.DeleteGreyed());
    }
    // The blank row: the question as ever, then the key and the row go.
    SelectRow(RowWithNotes(""));
    boxes.Answer(IDYES);
    ListMenuReader menu('d');
    RightClickList();
    ASSERT_EQ(1u, boxes.Count());
    EXPECT_EQ("Are you sure you want to delete appointment?", boxes.Last().text);
    EXPECT_EQ((std::vector<std::string>{"Appointment 1"}), Subkeys(kDayPath + "2002-5-7"));
    ASSERT_EQ(1, RowCount());
    EXPECT_EQ("Call back", RowText(0, 1));
}

TEST_F(ListCommandsTest, NewFilesUnderTheShownDayWithTheBoxTextAndAppendsWithoutRefill) {
    PutAppointment("2002-5-10", "Appointment 1", "2002-5-10", "2002-5-10", "Haircut");
    Open();
    for (int i = 0; i < 3; ++i)
        Command(IDC_NEXT_DAY);
    ASSERT_EQ(1, RowCount());
    // Stored behind the window's back: a refill would show it.
    PutAppointment("2002-5-10", "Appointment 2", "2002-5-10", "2002-5-10", "Unseen");
    TypeIntoDetailBox("Bring the tent");
    const std::vector<std::string> before = Subkeys(kDayPath + "2002-5-10");

    NewAppointmentInput input;
    input.from = MakeDate(2002, 6, 1);
    input.to = MakeDate(2002, 6, 3);
    input.eventIndex = 5;
    input.notes = "Camping";
    NewAppointmentAnswerer answerer(input);
    ListMenuReader menu('n');
    RightClickList();
    ASSERT_EQ(1, menu.opened);
    ASSERT_EQ(1, answerer.Opened());
    EXPECT_EQ(Hwnd(), answerer.Seen().owner) << "the main window owns the dialog";

    const std::vector<std::string> added = AddedKeys("2002-5-10", before);
    ASSERT_EQ(1u, added.size());
    const std::string key = kDayPath + "2002-5-10\\" + added[0];
    ExpectText(key, "FROM", "2002-6-1", 11);
    ExpectText(key, "TO", "2002-6-3", 11);
    ExpectText(key, "NOTES", "Camping", 500);
    ExpectText(key, "EVENT", "Holiday", 10);
    ExpectIndex(key, 5);
    ExpectText(key, "DETAIL NOTES", "Bring the tent", 500);
    EXPECT_FALSE(KeyExists(kDayPath + "2002-5-7"));
    EXPECT_FALSE(KeyExists(kDayPath + "2002-6-1"));

    ASSERT_EQ(2, RowCount());
    EXPECT_EQ("Haircut", RowText(0, 1));
    EXPECT_EQ("Holiday", RowText(1, 0));
    EXPECT_EQ("Camping", RowText(1, 1));
    EXPECT_EQ(5, dlg->List().GetItemImage(1));
    EXPECT_EQ(-1, dlg->List().GetFirstSelected());
    EXPECT_EQ(0u, boxes.Count());
}

TEST_F(ListCommandsTest, NewTakesTheShownDetailedNotesOrNoneAfterARefill) {
    PutAppointment("2002-5-7", "Appointment 1", "2002-5-7", "2002-5-7", "Checkup", "Others", 1,
                   "Room 4");
    Open();
    {
        // Right after the day was filled nothing is selected and the box is empty.
        NewAppointmentInput input;
        input.notes = "Follow-up";
        NewAppointmentAnswerer answerer(input);
        const std::vector<std::string> before = Subkeys(kDayPath + "2002-5-7");
        Command(ID_FILE_NEW_APPOINTMENT);
        ASSERT_EQ(1, answerer.Opened());
        const std::vector<std::string> added = AddedKeys("2002-5-7", before);
        ASSERT_EQ(1u, added.size());
        const std::string key = kDayPath + "2002-5-7\\" + added[0];
        ExpectText(key, "DETAIL NOTES", "", 500);
        ExpectText(key, "FROM", "2002-5-7", 11);
        ExpectText(key, "TO", "2002-5-7", 11);
        ExpectText(key, "EVENT", "EMail", 10);
        ExpectIndex(key, 0);
    }
    {
        SelectRow(RowWithNotes("Checkup"));
        ASSERT_EQ("Room 4", DetailBox());
        NewAppointmentInput input;
        input.notes = "Second opinion";
        NewAppointmentAnswerer answerer(input);
        const std::vector<std::string> before = Subkeys(kDayPath + "2002-5-7");
        Command(ID_LIST_NEW);
        ASSERT_EQ(1, answerer.Opened());
        const std::vector<std::string> added = AddedKeys("2002-5-7", before);
        ASSERT_EQ(1u, added.size());
        ExpectText(kDayPath + "2002-5-7\\" + added[0], "DETAIL NOTES", "Room 4", 500);
    }
    EXPECT_EQ(3, RowCount());
    EXPECT_EQ(0u, boxes.Count());
}

TEST_F(ListCommandsTest, CancelledNewFilesNothing) {
    Open();
    NewAppointmentInput input;
    input.notes = "Never mind";
    input.pressCancel = true;
    NewAppointmentAnswerer answerer(input);
    Command(ID_LIST_NEW);
    ASSERT_EQ(1, answerer.Opened());
    EXPECT_FALSE(KeyExists(kDayPath + "2002-5-7"));
    EXPECT_EQ(0, RowCount());
    EXPECT_EQ(0u, boxes.Count());
}

TEST_F(ListCommandsTest, DetailedNotesTooLongToStoreAreRefusedBeforeTheDialogOpens) {
    Open();
    const std::string tooLong(500, 'd');
    TypeIntoDetailBox(tooLong);
    boxes.Answer(IDOK);
    NewAppointmentAnswerer answerer(NewAppointmentInput{});
    Command(ID_FILE_NEW_APPOINTMENT);
    EXPECT_EQ(0, answerer.Opened());
    ASSERT_EQ(1u, boxes.Count());
    EXPECT_EQ(Hwnd(), boxes.Last().owner);
    EXPECT_EQ("Detailed notes can hold at most 499 characters. Please shorten them and save again.",
              boxes.Last().shownText);
    EXPECT_EQ("Quillmere", boxes.Last().shownCaption);
    EXPECT_EQ(kInfoBox, boxes.Last().style);
    EXPECT_EQ(tooLong, DetailBox()) << "nothing typed is lost";
    EXPECT_FALSE(KeyExists(kDayPath + "2002-5-7"));
}

TEST_F(ListCommandsTest, NewWhoseWriteFailsSaysSoAndAppendsNoRow) {
    // A volatile day key takes no lasting appointment key below it, so the
    // store's write fails in the registry itself.
    CreateKey("SOFTWARE\\Calendar");
    fw::unique_hkey day;
    ASSERT_EQ(ERROR_SUCCESS,
              RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Calendar\\2002-5-7", 0, nullptr,
                              REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr, day.put(), nullptr));
    Open();
    NewAppointmentInput input;
    input.notes = "Lost?";
    NewAppointmentAnswerer answerer(input);
    boxes.Answer(IDOK);
    Command(ID_LIST_NEW);
    ASSERT_EQ(1, answerer.Opened());
    ASSERT_EQ(1u, boxes.Count());
    EXPECT_EQ(Hwnd(), boxes.Last().owner);
    EXPECT_EQ("Unable to save appointment", boxes.Last().shownText);
    EXPECT_EQ("Quillmere", boxes.Last().shownCaption);
    EXPECT_EQ(kInfoBox, boxes.Last().style);
    EXPECT_EQ(0, RowCount());
    EXPECT_TRUE(Subkeys(kDayPath + "2002-5-7").empty());
}

// The rows of the list as the user reads them.
std::vector<std::string> Rows(const fw::ListView& list) {
    std::vector<std::string> rows;
    for (int row = 0; row < list.GetItemCount(); ++row)
        rows.push_back(list.GetItemText(row, 1));
    return rows;
}

// The user's story of a timed appointment: New with a time puts it among the
// day's rows by its time; a double-click on it (a real one, through the X
// server) opens it for editing, and Cancel changes nothing; Edit from the
// menu moves it to its new time under the same key; an edit the registry
// refuses says so and leaves the appointment as it was.
TEST_F(ListCommandsTest, ATimedAppointmentIsListedByTimeAndEditedInPlaceOrNotAtAll) {
    PutAppointment("2002-5-7", "Appointment 1", "2002-5-7", "2002-5-7", "Groceries");
    PutAppointment("2002-5-7", "Appointment 2", "2002-5-7", "2002-5-7", "Standup");
    SetText(kDayPath + "2002-5-7\\Appointment 2", "TIME", "09:00", REG_SZ);
    Open();
    ASSERT_EQ((std::vector<std::string>{"Groceries", "09:00 Standup"}), Rows(dlg->List()));
    {
        NewAppointmentInput input;
        input.notes = "Dentist";
        input.minuteOfDay = 14 * 60 + 30;
        NewAppointmentAnswerer answerer(input);
        ListMenuReader menu('n');
        RightClickList();
        ASSERT_EQ(1, answerer.Opened());
        EXPECT_EQ(kDefaultRemindBeforeMinutes, answerer.Seen().remindMinutes);
    }
    ASSERT_EQ((std::vector<std::string>{"Groceries", "09:00 Standup", "14:30 Dentist"}),
              Rows(dlg->List()));
    const std::vector<std::string> added =
        AddedKeys("2002-5-7", {"Appointment 1", "Appointment 2"});
    ASSERT_EQ(1u, added.size());
    const std::string dentist = kDayPath + "2002-5-7\\" + added[0];
    EXPECT_EQ(std::u16string(u"14:30", 6), ReadWide(dentist, "TIME")) << "with its NUL";
    EXPECT_EQ(std::string("\x0f\0\0\0", 4), ReadRaw(dentist, "REMIND BEFORE").bytes);
    const auto before = TreeSnapshot("SOFTWARE\\Calendar");

    // A double-click on the row, through the X server, then Cancel.
    if (XServerInput::Available()) {
        NewAppointmentInput input;
        input.notes = "Not kept";
        input.minuteOfDay = 7 * 60;
        input.pressCancel = true;
        NewAppointmentAnswerer answerer(input);
        RECT rect{};
        rect.left = LVIR_LABEL;
        ASSERT_TRUE(SendMessageW(List(), LVM_GETITEMRECT, 2, reinterpret_cast<LPARAM>(&rect)));
        POINT at{(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
        ClientToScreen(List(), &at);
        XServerInput x;
        ASSERT_TRUE(x.Run("mousemove " + std::to_string(at.x) + " " + std::to_string(at.y) +
                          " click --repeat 2 --delay 80 1"));
        EXPECT_TRUE(PumpUntil([&] { return answerer.Opened() == 1; }, 10000));
        EXPECT_EQ("Edit Appointment", answerer.Seen().caption);
        EXPECT_EQ("Dentist", answerer.Seen().notes);
        EXPECT_EQ(std::optional<int>(14 * 60 + 30), answerer.Seen().minuteOfDay);
        EXPECT_EQ(before, TreeSnapshot("SOFTWARE\\Calendar"));
        EXPECT_EQ("14:30 Dentist", RowText(2, 1));
    }

    // Edit from the menu: a new time and note, OK.
    SelectRow(2);
    {
        NewAppointmentInput input;
        input.notes = "Dentist, moved";
        input.minuteOfDay = 8 * 60 + 15;
        NewAppointmentAnswerer answerer(input);
        ListMenuReader menu('e');
        RightClickList();
        ASSERT_EQ(1, answerer.Opened());
        EXPECT_EQ("Edit Appointment", answerer.Seen().caption);
    }
    EXPECT_EQ((std::vector<std::string>{"Groceries", "08:15 Dentist, moved", "09:00 Standup"}),
              Rows(dlg->List()));
    EXPECT_EQ(1, dlg->DayView().SelectedRow()) << "the edited row stays selected";
    EXPECT_EQ(added, AddedKeys("2002-5-7", {"Appointment 1", "Appointment 2"}))
        << "the same key name";
    EXPECT_EQ(std::u16string(u"08:15", 6), ReadWide(dentist, "TIME"));
    ExpectText(dentist, "NOTES", "Dentist, moved", 500);

    // An edit the registry refuses: told, and nothing changed.
    const auto edited = TreeSnapshot("SOFTWARE\\Calendar");
    {
        WriteProtectedKey protectedDay("SOFTWARE\\Calendar\\2002-5-7");
        NewAppointmentInput input;
        input.notes = "Never stored";
        NewAppointmentAnswerer answerer(input);
        boxes.Answer(IDOK);
        Command(ID_LIST_EDIT);
        ASSERT_EQ(1, answerer.Opened());
        ASSERT_EQ(1u, boxes.Count());
        EXPECT_EQ("Unable to save appointment", boxes.Last().shownText);
    }
    EXPECT_EQ(edited, TreeSnapshot("SOFTWARE\\Calendar"));
    EXPECT_EQ("08:15 Dentist, moved", RowText(1, 1));
}

class DeleteEqualNotesTest : public ListCommandsTest, public ::testing::WithParamInterface<int> {};

TEST_P(DeleteEqualNotesTest, DeletesTheFirstStoredAndRemovesTheSelectedRow) {
    PutAppointment("2002-5-7", "Appointment 1", "2002-5-7", "2002-5-7", "Lunch", "EMail", 0,
                   "first");
    PutAppointment("2002-5-7", "Appointment 2", "2002-5-7", "2002-5-7", "Lunch", "Movie", 3,
                   "second");
    const std::vector<std::string> stored = Subkeys(kDayPath + "2002-5-7");
    ASSERT_EQ(2u, stored.size());
    Open();
    ASSERT_EQ(2, RowCount());
    const int selected = GetParam();
    const std::string otherEvent = RowText(1 - selected, 0);
    SelectRow(selected);

    boxes.Answer(IDYES);
    ListMenuReader menu('d');
    RightClickList();
    ASSERT_EQ(1, menu.opened);
    EXPECT_FALSE(menu.DeleteGreyed());
    ASSERT_EQ(1u, boxes.Count());
    EXPECT_EQ("Are you sure you want to delete appointment?", boxes.Last().shownText);
    EXPECT_EQ("Confirm Delete", boxes.Last().shownCaption);
    EXPECT_EQ(static_cast<UINT>(MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2), boxes.Last().style);

    EXPECT_EQ(std::vector<std::string>{stored[1]}, Subkeys(kDayPath + "2002-5-7"))
        << "the store deletes the first it finds, whichever row was chosen";
    ASSERT_EQ(1, RowCount());
    EXPECT_EQ(otherEvent, RowText(0, 0)) << "the selected row is the one that goes";

    // A refill shows what is left.
    Command(IDC_GO_TODAY);
    ASSERT_EQ(1, RowCount());
    SelectRow(0);
    EXPECT_EQ("second", DetailBox());
}

INSTANTIATE_TEST_SUITE_P(EitherRow, DeleteEqualNotesTest, ::testing::Values(0, 1));

// Every list command without a mouse: Delete on the selected row asks and
// deletes, the menu key or Shift+F10 opens the list's menu below that row (at
// the list's corner with none), and Ctrl+N opens New Appointment.
TEST_F(ListCommandsTest, TheKeyboardReachesDeleteTheMenuAndNew) {
    PutAppointment("2002-5-7", "Appointment 1", "2002-5-7", "2002-5-7", "Checkup");
    PutAppointment("2002-5-7", "Appointment 2", "2002-5-7", "2002-5-7", "Lunch");
    Open();
    ASSERT_EQ(2, RowCount());

    // The menu from the keyboard, at the list's corner while nothing is selected.
    {
        ListMenuReader menu;
        SendMessageW(List(), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(List()), -1);
        PumpMessages();
        ASSERT_EQ(1, menu.opened);
        EXPECT_TRUE(menu.DeleteGreyed());
        POINT corner{0, 0};
        ClientToScreen(List(), &corner);
        EXPECT_EQ(corner.x, menu.topLeft.x);
        EXPECT_EQ(corner.y, menu.topLeft.y);
    }
    SelectRow(1);
    {
        ListMenuReader menu;
        SendMessageW(List(), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(List()), -1);
        PumpMessages();
        ASSERT_EQ(1, menu.opened);
        EXPECT_FALSE(menu.DeleteGreyed());
        RECT row{};
        ListView_GetItemRect(List(), 1, &row, LVIR_BOUNDS);
        POINT below{row.left, row.bottom};
        ClientToScreen(List(), &below);
        EXPECT_EQ(below.x, menu.topLeft.x);
        EXPECT_EQ(below.y, menu.topLeft.y);
    }

    // Delete: the same question; No keeps the row, Yes deletes it.
    boxes.Answer(IDNO);
    SendMessageW(List(), WM_KEYDOWN, VK_DELETE, 0);
    PumpMessages();
    ASSERT_EQ(1u, boxes.Count());
    EXPECT_EQ("Are you sure you want to delete appointment?", boxes.Last().text);
    EXPECT_EQ("Confirm Delete", boxes.Last().caption);
    EXPECT_EQ(2, RowCount());
    boxes.Answer(IDYES);
    SendMessageW(List(), WM_KEYDOWN, VK_DELETE, 0);
    PumpMessages();
    ASSERT_EQ(2u, boxes.Count());
    ASSERT_EQ(1, RowCount());
    EXPECT_EQ("Checkup", RowText(0, 1));
    EXPECT_EQ((std::vector<std::string>{"Appointment 1"}), Subkeys(kDayPath + "2002-5-7"));
    // With no row selected the key asks nothing.
    SendMessageW(List(), WM_KEYDOWN, VK_DELETE, 0);
    PumpMessages();
    EXPECT_EQ(2u, boxes.Count());

    // Ctrl+N, as the message loop hands it to the window.
    NewAppointmentInput input;
    input.pressCancel = true;
    NewAppointmentAnswerer answerer(input);
    BYTE keys[256] = {};
    GetKeyboardState(keys);
    keys[VK_CONTROL] = 0x80;
    SetKeyboardState(keys);
    MSG ctrlN{List(), WM_KEYDOWN, 'N', 0, 0, {}};
    const BOOL taken = dlg->PreTranslateMessage(&ctrlN);
    keys[VK_CONTROL] = 0;
    SetKeyboardState(keys);
    PumpMessages();
    EXPECT_TRUE(taken);
    EXPECT_EQ(1, answerer.Opened());
    MSG plainN{List(), WM_KEYDOWN, 'N', 0, 0, {}};
    dlg->PreTranslateMessage(&plainN);
    PumpMessages();
    EXPECT_EQ(1, answerer.Opened()) << "N alone is no shortcut";
}

TEST_F(ListCommandsTest, DeleteAnsweredNoChangesNothing) {
    PutAppointment("2002-5-7", "Appointment 1", "2002-5-7", "2002-5-7", "Lunch");
    Open();
    SelectRow(0);
    boxes.Answer(IDNO);
    Command(ID_LIST_DELETE);
    EXPECT_EQ(1u, boxes.Count());
    EXPECT_EQ(1, RowCount());
    EXPECT_EQ(0, dlg->List().GetFirstSelected());
    EXPECT_TRUE(KeyExists(kDayPath + "2002-5-7\\Appointment 1"));
}

TEST_F(ListCommandsTest, DeleteThatFailsSaysSoAndKeepsTheRow) {
    // A key with a key below it cannot be deleted on its own.
    const std::string key =
        PutAppointment("2002-5-7", "Appointment 1", "2002-5-7", "2002-5-7", "Lunch");
    CreateKey(key + "\\Pinned");
    Open();
    SelectRow(0);
    boxes.Answer(IDYES);
    boxes.Answer(IDOK);
    Command(ID_LIST_DELETE);
    ASSERT_EQ(2u, boxes.Count());
    EXPECT_EQ(Hwnd(), boxes.Last().owner);
    EXPECT_EQ("Unable to delete appointment", boxes.Last().shownText);
    EXPECT_EQ("Quillmere", boxes.Last().shownCaption);
    EXPECT_EQ(kInfoBox, boxes.Last().style);
    EXPECT_EQ(1, RowCount());
    EXPECT_TRUE(KeyExists(key));
}

} // namespace
} // namespace qmtest
