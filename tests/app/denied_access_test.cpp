#include "editing/new_appointment_dlg.h"
#include "res/resource.h"
#include "store/calendar_registry.h"
#include "tests/support/new_dialog_answerer.h"
#include "tests/app/calendar_test_window.h"
#include "tests/support/write_protect.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

namespace qmtest {
namespace {

const std::string kRoot = "SOFTWARE\\Calendar";
const std::string kDay = kRoot + "\\2002-5-7";
const std::string kLunch = kDay + "\\Appointment 1";

std::map<std::string, std::string> Snapshot() {
    return TreeSnapshot(kRoot);
}

enum class Action { New, SaveNotes, Delete };

// One write of the main window, made while one key of the store may only be
// read, and what the user must see of it.
struct DeniedCase {
    const char* name;
    Action action;
    std::string readOnlyKey;
    bool stored;         // the write goes through all the same
    const char* message; // the notice shown, or none
};

std::ostream& operator<<(std::ostream& out, const DeniedCase& c) {
    return out << c.name;
}

// The write paths of the main window against a store that may be read but
// not written, in the part each path needs. A user without write access to
// the machine-wide tree gets exactly this.
class DeniedAccessTest : public CalendarWindowTest,
                         public ::testing::WithParamInterface<DeniedCase> {
protected:
    std::string NotesBox() const {
        char text[1024] = {};
        GetDlgItemTextA(Hwnd(), IDC_DETAIL_NOTES, text, sizeof text);
        return text;
    }
};

TEST_P(DeniedAccessTest, TheUserIsToldAndNothingIsLostOrHalfWritten) {
    const DeniedCase& c = GetParam();
    PutAppointment("2002-5-7", "Appointment 1", "2002-5-7", "2002-5-7", "Lunch", "EMail", 0,
                   "old notes");
    Open();
    dlg->List().SetItemState(0, LVIS_SELECTED, LVIS_SELECTED);
    PumpMessages();
    ASSERT_EQ("old notes", NotesBox());
    SetDlgItemTextA(Hwnd(), IDC_DETAIL_NOTES, "typed by the user");
    const auto before = Snapshot();

    NewAppointmentInput input;
    input.notes = "Dinner";
    NewAppointmentAnswerer answerer(input);
    if (c.action == Action::Delete)
        boxes.Answer(IDYES);
    if (c.message != nullptr)
        boxes.Answer(IDOK);
    {
        WriteProtectedKey readOnly(c.readOnlyKey);
        Command(c.action == Action::New         ? ID_LIST_NEW
                : c.action == Action::SaveNotes ? IDC_SAVE_NOTES
                                                : ID_LIST_DELETE);
    }

    const size_t confirmations = c.action == Action::Delete ? 1 : 0;
    if (c.message != nullptr) {
        ASSERT_EQ(confirmations + 1, boxes.Count());
        EXPECT_EQ(c.message, boxes.Last().shownText);
        EXPECT_EQ("Quillmere", boxes.Last().shownCaption);
        EXPECT_EQ(Hwnd(), boxes.Last().owner);
    } else {
        EXPECT_EQ(confirmations, boxes.Count());
    }
    if (c.action == Action::Delete && c.stored)
        EXPECT_EQ("", NotesBox()) << "no row is selected once it is gone";
    else
        EXPECT_EQ("typed by the user", NotesBox()) << "what the user typed stays in the box";

    const auto after = Snapshot();
    if (!c.stored) {
        EXPECT_EQ(before, after) << "nothing written, nothing removed";
        EXPECT_EQ(1, RowCount());
    }
    switch (c.action) {
    case Action::New:
        ASSERT_EQ(1, answerer.Opened());
        EXPECT_EQ("Dinner",
                  dlg->Controller<CListCommands>().NewAppointmentDlg()->m_strAppointmentNotes)
            << "the dialog's values are still at hand";
        EXPECT_EQ(c.stored ? 2 : 1, RowCount());
        EXPECT_EQ(c.stored ? 2u : 1u, Subkeys(kDay).size());
        break;
    case Action::SaveNotes:
        EXPECT_EQ(c.stored ? "typed by the user" : "old notes",
                  std::string(ReadRaw(kLunch, "DETAIL NOTES").bytes.c_str()));
        break;
    case Action::Delete:
        EXPECT_EQ(c.stored ? 0 : 1, RowCount());
        EXPECT_EQ(!c.stored, KeyExists(kLunch));
        EXPECT_TRUE(KeyExists(kDay)) << "the day key always stays";
        break;
    }
}

// A read-only appointment under Save Notes is the day view's own test. A
// failed deletion is the list commands' test: Wine lets a key be deleted
// whatever its access list says, so a key with a key below it stands in.
INSTANTIATE_TEST_SUITE_P(
    EveryWritePath, DeniedAccessTest,
    ::testing::Values(
        DeniedCase{"NewUnderAReadOnlyRoot", Action::New, kRoot, false,
                   "Unable to save appointment"},
        DeniedCase{"NewUnderAReadOnlyDay", Action::New, kDay, false, "Unable to save appointment"},
        DeniedCase{"NewBesideAReadOnlyAppointment", Action::New, kLunch, true, nullptr},
        DeniedCase{"SaveNotesUnderAReadOnlyDay", Action::SaveNotes, kDay, true, nullptr},
        DeniedCase{"SaveNotesUnderAReadOnlyRoot", Action::SaveNotes, kRoot, true, nullptr},
        // Deleting a key takes the right to delete that key, not a right
        // over the key it lies in.
        DeniedCase{"DeleteUnderAReadOnlyDay", Action::Delete, kDay, true, nullptr},
        DeniedCase{"DeleteUnderAReadOnlyRoot", Action::Delete, kRoot, true, nullptr}),
    [](const ::testing::TestParamInfo<DeniedCase>& info) { return std::string(info.param.name); });

} // namespace
} // namespace qmtest
