#include "framework/message_box.h"
#include "res/resource.h"
#include "app/series_refresh.h"
#include "store/calendar_registry.h"
#include "store/series_catalog.h"
#include "store/series_registry.h"
#include "tests/support/new_dialog_answerer.h"
#include "tests/app/calendar_test_window.h"
#include "tests/support/outside_change.h"
#include "tests/support/window_testing.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <vector>
#include <string>

namespace qmtest {
namespace {

const std::string kRoot = "SOFTWARE\\Calendar";
const std::string kDay = kRoot + "\\2002-5-7";

std::map<std::string, std::string> Snapshot() {
    return TreeSnapshot(kRoot);
}

// What another program removes while the window shows 7 May 2002, and how
// many of the day's two appointments are left then.
struct Vanished {
    const char* name;
    std::string path;
    int left;
};

std::ostream& operator<<(std::ostream& out, const Vanished& v) {
    return out << v.name;
}

// The main window of 7 May 2002 while other programs change the store.
class WindowUnderChangeTest : public CalendarWindowTest {
protected:
    std::string NotesBox() const {
        char text[1024] = {};
        GetDlgItemTextA(Hwnd(), IDC_DETAIL_NOTES, text, sizeof text);
        return text;
    }
    void SelectRow(int row) {
        dlg->List().SetItemState(-1, 0, LVIS_SELECTED);
        dlg->List().SetItemState(row, LVIS_SELECTED, LVIS_SELECTED);
        PumpMessages();
    }
};

class OutsideChangeTest : public WindowUnderChangeTest,
                          public ::testing::WithParamInterface<Vanished> {};

TEST_P(OutsideChangeTest, EveryNextActionCopesAndNothingComesBackHalfMade) {
    const Vanished& v = GetParam();
    const std::string lunch = PutAppointment("2002-5-7", "Appointment 1", "2002-5-7", "2002-5-7",
                                             "Lunch", "EMail", 0, "at noon");
    PutAppointment("2002-5-7", "Appointment 2", "2002-5-7", "2002-5-7", "Tea", "Others", 1,
                   "at four");
    Open();
    ASSERT_EQ(2, RowCount());
    SelectRow(0);
    ASSERT_EQ("at noon", NotesBox());
    SetDlgItemTextA(Hwnd(), IDC_DETAIL_NOTES, "typed");

    ASSERT_TRUE(DeleteKeyFromAnotherProcess(registry, v.path));
    ASSERT_FALSE(KeyExists(lunch));
    const auto gone = Snapshot();

    // Saving into an appointment that is gone finds no appointment with its
    // notes, and must not make a key holding nothing but detailed notes. The
    // user is told the notes were not saved, rather than left believing so.
    boxes.Answer(IDOK);
    Command(IDC_SAVE_NOTES);
    EXPECT_EQ(gone, Snapshot());
    EXPECT_EQ("typed", NotesBox()) << "the text is still there to save elsewhere";
    ASSERT_EQ(1u, boxes.Count());
    EXPECT_EQ("Unable to save notes", boxes.Last().text);
    boxes.Clear();
    // Nothing to delete: nothing is asked.
    Command(ID_LIST_DELETE);
    EXPECT_EQ(0u, boxes.Count());
    EXPECT_EQ(gone, Snapshot());
    EXPECT_EQ(2, RowCount()) << "the list is not refilled behind the user's back";

    // The other row shows what is left of it.
    SelectRow(1);
    EXPECT_EQ(v.left == 1 ? "at four" : "", NotesBox());

    // Moving away and back, and Go Today, show the day as it is now.
    Command(IDC_NEXT_DAY);
    EXPECT_EQ(0, RowCount());
    Command(IDC_PREV_DAY);
    EXPECT_EQ(v.left, RowCount());
    Command(IDC_GO_TODAY);
    EXPECT_EQ(v.left, RowCount());
    EXPECT_EQ(gone, Snapshot()) << "reading makes no keys";

    // New files a whole appointment, making the day and root keys again.
    NewAppointmentInput input;
    input.notes = "Dinner";
    NewAppointmentAnswerer answerer(input);
    Command(ID_LIST_NEW);
    ASSERT_EQ(1, answerer.Opened());
    EXPECT_EQ(v.left + 1, RowCount());
    const std::vector<std::string> keys = Subkeys(kDay);
    ASSERT_EQ(static_cast<size_t>(v.left + 1), keys.size());
    for (const std::string& key : keys)
        EXPECT_EQ(6u, ValueNames(kDay + "\\" + key).size()) << key;
    EXPECT_EQ(0u, boxes.Count());
}

INSTANTIATE_TEST_SUITE_P(
    AnotherProgramDeletes, OutsideChangeTest,
    ::testing::Values(Vanished{"OneShownAppointment", kDay + "\\Appointment 1", 1},
                      Vanished{"TheShownDay", kDay, 0}, Vanished{"TheWholeCalendar", kRoot, 0}),
    [](const ::testing::TestParamInfo<Vanished>& info) { return std::string(info.param.name); });

// While the confirmation is up, another program deletes the appointment.
struct DeleteWhileAsked {
    static inline const RegistrySandbox* sandbox = nullptr;
    static inline fw::MessageBoxObserver next = nullptr;
    static inline bool deleted = false;
    static void Observe(HWND owner, const char* text, const char* caption, UINT style) {
        if (!deleted)
            deleted = DeleteKeyFromAnotherProcess(*sandbox, kDay + "\\Appointment 1");
        next(owner, text, caption, style);
    }
};

TEST_F(WindowUnderChangeTest, AnAppointmentDeletedWhileTheUserIsAskedIsGoneNotFailed) {
    PutAppointment("2002-5-7", "Appointment 1", "2002-5-7", "2002-5-7", "Lunch");
    PutAppointment("2002-5-7", "Appointment 2", "2002-5-7", "2002-5-7", "Tea");
    Open();
    SelectRow(0);
    DeleteWhileAsked::sandbox = &registry;
    DeleteWhileAsked::deleted = false;
    DeleteWhileAsked::next = fw::SetMessageBoxObserver(&DeleteWhileAsked::Observe);
    boxes.Answer(IDYES);
    Command(ID_LIST_DELETE);
    fw::SetMessageBoxObserver(DeleteWhileAsked::next);

    ASSERT_TRUE(DeleteWhileAsked::deleted);
    ASSERT_EQ(1u, boxes.Count()) << "no \"Unable to delete appointment\" for what is gone";
    EXPECT_EQ("Are you sure you want to delete appointment?", boxes.Last().shownText);
    ASSERT_EQ(1, RowCount());
    EXPECT_EQ("Tea", dlg->List().GetItemText(0, 1));
    EXPECT_EQ(std::vector<std::string>{"Appointment 2"}, Subkeys(kDay));
}

// The day is listed at once with its own rows; the occurrences of series
// filed on other days follow once the walk on the alert thread has read
// them, and again when another program makes a series that falls on the
// day. A change that moves no occurrence of the day leaves the list alone.
TEST_F(WindowUnderChangeTest, OccurrencesFollowTheFirstWalkAndAnotherProgramsNewSeries) {
    PutAppointment("2002-5-7", "Appointment 1", "2002-5-7", "2002-5-7", "Lunch");
    const std::string classPath =
        PutAppointment("2002-4-30", "Appointment 1", "2002-4-30", "2002-4-30", "Class");
    SetText(classPath, "REPEAT", "FREQ=WEEKLY", REG_SZ);
    const std::string walk =
        PutAppointment("2002-5-1", "Appointment 1", "2002-5-1", "2002-5-1", "Walk");
    const std::string june =
        PutAppointment("2002-6-1", "Appointment 1", "2002-6-1", "2002-6-1", "June");
    CSeriesCatalog& catalog = CSeriesCatalog::Shared();
    const int walks = catalog.Walks();
    const auto notes = [this] {
        std::vector<std::string> shown;
        for (int row = 0; row < RowCount(); ++row)
            shown.push_back(dlg->List().GetItemText(row, 1));
        return shown;
    };
    Open();
    const CSeriesRefresh& refresh = dlg->Controller<CSeriesRefresh>();
    EXPECT_TRUE(PumpUntil([&] { return RowCount() == 2; }, 20000)) << RowCount();
    EXPECT_EQ((std::vector<std::string>{"Lunch", "Class"}), notes());
    EXPECT_EQ(1, refresh.Refreshes());

    ASSERT_TRUE(SetTextFromAnotherProcess(registry, walk, "REPEAT", "FREQ=DAILY"));
    EXPECT_TRUE(PumpUntil([&] { return RowCount() == 3; }, 20000)) << RowCount();
    EXPECT_EQ((std::vector<std::string>{"Lunch", "Class", "Walk"}), notes());
    EXPECT_EQ(2, refresh.Refreshes());

    // A series that never falls on the shown day.
    const int installs = catalog.Installs();
    ASSERT_TRUE(SetTextFromAnotherProcess(registry, june, "REPEAT", "FREQ=YEARLY"));
    ASSERT_TRUE(PumpUntil([&] { return catalog.Installs() > installs; }, 20000));
    PumpMessages();
    EXPECT_EQ(3, RowCount());
    EXPECT_EQ(2, refresh.Refreshes()) << "listed again though its occurrences did not change";

    // A series this program saves shows at the list its save makes; the walk
    // that the save brings lists nothing again.
    ical::AppointmentValues choir{"2002-4-30", "2002-4-30", "Choir", "Others", 1, "", {}, {}};
    choir.series.repeatKind = RepeatKind::Rule;
    choir.series.repeat = "FREQ=WEEKLY";
    const int beforeSave = catalog.Installs();
    ASSERT_TRUE(CCalendarRegistry().AddAppointment("2002-4-30", choir));
    dlg->DayView().RefreshShownDay();
    std::vector<std::string> shown = notes();
    ASSERT_EQ(4u, shown.size());
    std::sort(shown.begin() + 1, shown.begin() + 3);
    EXPECT_EQ((std::vector<std::string>{"Lunch", "Choir", "Class", "Walk"}), shown)
        << "filed on 30 April, in the registry's order, then 1 May";
    ASSERT_TRUE(PumpUntil([&] { return catalog.Installs() > beforeSave; }, 20000));
    PumpMessages();
    EXPECT_EQ(2, refresh.Refreshes());
    EXPECT_EQ(walks, catalog.Walks()) << "the window's thread walked the store";
}

} // namespace
} // namespace qmtest
