// Repeating appointments through the store's walks: the day list with the
// occurrences of series filed on other days, the reminder scan, the alerts
// and the purge, on series saved by this program, written by another one,
// and as the malformed-data fixture leaves them.
#include "ical/series.h"
#include "store/calendar_registry.h"
#include "store/calendar_scanner.h"
#include "store/series_catalog.h"
#include "store/series_registry.h"
#include "tests/support/outside_change.h"
#include "tests/support/registry_fixture.h"
#include "tests/support/registry_sandbox.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <string>
#include <vector>

namespace qmtest {
namespace {

const std::string kRoot = "SOFTWARE\\Calendar";

// A day's list as the main window gets it: notes, and where each row's
// series is filed ("" for the day's own rows).
struct ListedRow {
    std::string notes, keyName, seriesDay;
    bool operator==(const ListedRow&) const = default;
};
struct RowView : IAppointmentView {
    std::vector<ListedRow> rows;
    std::vector<std::string> details;
    void AppendAppointmentRow(const char*, const char*, int) override {}
    void AppendAppointment(const Row& row) override {
        rows.push_back({row.notes, row.keyName, row.seriesDay ? row.seriesDay : ""});
    }
    void ShowDetailNotes(const char* detail) override { details.push_back(detail); }
};

std::vector<ListedRow> List(const std::string& day) {
    CCalendarRegistry store;
    RowView view;
    store.ListAppointments(ListMode::Fill, "", day, view);
    return view.rows;
}

std::vector<std::string> Notes(const std::vector<ListedRow>& rows) {
    std::vector<std::string> notes;
    for (const ListedRow& row : rows)
        notes.push_back(row.notes);
    return notes;
}

// The same in sorted order, for rows from several keys in the registry's.
std::vector<std::string> SortedNotes(const std::vector<ListedRow>& rows) {
    std::vector<std::string> notes = Notes(rows);
    std::sort(notes.begin(), notes.end());
    return notes;
}

// An appointment as another program writes it, with a rule and skip dates.
std::string PutSeries(const std::string& day, const std::string& key, const std::string& from,
                      const std::string& to, const std::string& notes, const std::string& rule,
                      const std::string& skips = "") {
    const std::string path = PutAppointment(day, key, from, to, notes);
    SetText(path, "REPEAT", rule, REG_SZ);
    if (!skips.empty())
        SetText(path, "SKIP DATES", skips, REG_SZ);
    return path;
}

ical::AppointmentValues Weekly(const std::string& from, const std::string& notes,
                               const std::string& rule) {
    ical::AppointmentValues values{from, from, notes, "Others", 1, "Room 4", {}, {}};
    values.series.repeatKind = RepeatKind::Rule;
    values.series.repeat = rule;
    return values;
}

TEST(SeriesDayList, OccurrencesFollowTheDaysOwnRowsOnTheirWeeksButNotSkippedOrPastUntil) {
    RegistrySandbox registry;
    CCalendarRegistry store;
    PutAppointment("2027-3-8", "Appointment 1", "2027-3-8", "2027-3-8", "own all day");
    ical::AppointmentValues timed{"2027-3-8", "2027-3-8", "own at nine", "Others", 1, "", {}, {}};
    timed.time.minuteOfDay = 9 * 60;
    ASSERT_TRUE(store.AddAppointment("2027-3-8", timed));
    // The list is asked for before the series exists, so a stale memory of
    // the store would show.
    EXPECT_EQ((std::vector<std::string>{"own all day", "own at nine"}), Notes(List("2027-3-8")));

    ical::AppointmentValues weekly = Weekly("2027-3-1", "Class", "FREQ=WEEKLY;UNTIL=20270322");
    weekly.series.skipDates = {{2027, 3, 15}};
    std::string key;
    ASSERT_TRUE(store.AddAppointment("2027-3-1", weekly, &key));

    EXPECT_EQ((std::vector<ListedRow>{{"own all day", "Appointment 1", ""},
                                      {"own at nine", List("2027-3-8")[1].keyName, ""},
                                      {"Class", key, "2027-3-1"}}),
              List("2027-3-8"));
    EXPECT_EQ((std::vector<ListedRow>{{"Class", key, ""}}), List("2027-3-1"))
        << "on its own day once, as the day's own";
    EXPECT_TRUE(List("2027-3-15").empty()) << "skipped";
    EXPECT_EQ((std::vector<ListedRow>{{"Class", key, "2027-3-1"}}), List("2027-3-22"));
    EXPECT_TRUE(List("2027-3-29").empty()) << "after UNTIL";
    EXPECT_TRUE(List("2027-3-9").empty());

    RowView detail;
    store.ListAppointments(ListMode::ShowDetail, "Class", "2027-3-22", detail);
    EXPECT_EQ(std::vector<std::string>{"Room 4"}, detail.details);
    // A day's own appointment of the same notes shows its own detail only.
    ical::AppointmentValues same{"2027-3-8", "2027-3-8", "Class", "Others", 1, "Hall", {}, {}};
    ASSERT_TRUE(store.AddAppointment("2027-3-8", same));
    RowView ownDetail;
    store.ListAppointments(ListMode::ShowDetail, "Class", "2027-3-8", ownDetail);
    EXPECT_EQ(std::vector<std::string>{"Hall"}, ownDetail.details);
    std::string notes;
    EXPECT_TRUE(store.ReadDetailNotes("2027-3-1", key, notes));
    EXPECT_EQ("Room 4", notes);

    // An edit by this program ends the series sooner; another program makes
    // an appointment daily: each shows at the next list.
    weekly.series.repeat = "FREQ=WEEKLY;COUNT=2";
    ASSERT_TRUE(store.ReplaceAppointment("2027-3-1", key, weekly));
    EXPECT_TRUE(List("2027-3-22").empty());
    const std::string walk =
        PutAppointment("2027-3-20", "Appointment 1", "2027-3-20", "2027-3-20", "Walk");
    EXPECT_TRUE(List("2027-3-22").empty());
    ASSERT_TRUE(SetTextFromAnotherProcess(registry, walk, "REPEAT", "FREQ=DAILY"));
    EXPECT_EQ((std::vector<std::string>{"Walk"}), Notes(List("2027-3-22")));
    // Deleted by this program: gone from the other days at once.
    ASSERT_EQ(ModifyResult::Deleted,
              store.ModifyAppointment(ModifyMode::Delete, "2027-3-20", "Walk", ""));
    EXPECT_TRUE(List("2027-3-22").empty());
}

class SeriesWalkTest : public ::testing::Test {
protected:
    RegistrySandbox registry;
    std::atomic<bool> stop{false};
    CCalendarScanner scanner;
};

TEST_F(SeriesWalkTest, TheReminderFindsTodaysOccurrenceOfASeriesFiledLongAgoButNotASkippedOne) {
    PutSeries("2001-1-1", "Appointment 1", "2001-1-1", "2001-1-2", "Mondays and Tuesdays",
              "FREQ=WEEKLY", "20270315");
    PutSeries("2001-1-1", "Appointment 2", "2001-1-1", "2001-1-1", "Not followed", "FREQ=HOURLY");
    PutAppointment("2027-3-9", "Appointment 1", "2027-3-9", "2027-3-9", "Plain");

    const std::vector<std::string> both = {"Mondays and Tuesdays", "Plain"};
    EXPECT_EQ(both, scanner.CurrentNotes({2027, 3, 9}, stop));
    EXPECT_EQ(both, scanner.CurrentNotes({2027, 3, 9}, stop)) << "from the index";
    EXPECT_EQ(1, scanner.Walks());
    EXPECT_EQ(both, CCalendarScanner::WalkCurrentNotes({2027, 3, 9}, stop));
    EXPECT_EQ(std::vector<std::string>{"Mondays and Tuesdays"},
              scanner.CurrentNotes({2027, 3, 8}, stop));
    EXPECT_TRUE(scanner.CurrentNotes({2027, 3, 16}, stop).empty())
        << "the occurrence of 15 March is skipped, and with it its second day";
    EXPECT_TRUE(scanner.CurrentNotes({2027, 3, 10}, stop).empty());
}

TEST_F(SeriesWalkTest, EachOccurrenceNearTodayAlertsOnItsOwnDays) {
    const std::string path = PutSeries("2027-1-4", "Appointment 1", "2027-1-4", "2027-1-4", "Gym",
                                       "FREQ=WEEKLY;BYDAY=MO,TH", "20270311");
    SetText(path, "TIME", "18:30", REG_SZ);
    SetDword(path, "REMIND BEFORE", 30);
    const std::optional<std::vector<IndexedAlert>> alerts = scanner.Alerts({2027, 3, 8}, stop);
    ASSERT_TRUE(alerts.has_value());
    std::vector<std::string> days;
    for (const IndexedAlert& alert : *alerts) {
        EXPECT_EQ("2027-1-4", alert.dayKey);
        EXPECT_EQ(alert.from, alert.to);
        EXPECT_EQ(18 * 60 + 30, alert.minuteOfDay);
        EXPECT_EQ(30, alert.remindBefore);
        days.push_back(FormatDateText(alert.from));
    }
    // Today's, then those a week's REMIND BEFORE could reach, but the
    // skipped one.
    EXPECT_EQ((std::vector<std::string>{"2027-3-8", "2027-3-15"}), days);
}

TEST_F(SeriesWalkTest, ThePurgeKeepsASeriesWithOccurrencesAheadAndDeletesOneThatIsUsedUp) {
    PutSeries("2027-1-4", "Appointment 1", "2027-1-4", "2027-1-4", "three weeks",
              "FREQ=WEEKLY;COUNT=3");
    PutSeries("2027-1-4", "Appointment 2", "2027-1-4", "2027-1-4", "endless", "FREQ=WEEKLY");
    PutSeries("2027-1-4", "Appointment 3", "2027-1-4", "2027-1-4", "until April",
              "FREQ=WEEKLY;UNTIL=20270401");
    PutSeries("2027-1-4", "Appointment 4", "2027-1-4", "2027-1-4", "not followed",
              "FREQ=MONTHLY;BYSETPOS=-1;BYDAY=MO");
    PutSeries("2027-1-4", "Appointment 5", "2027-1-4", "2027-1-4", "all skipped",
              "FREQ=WEEKLY;COUNT=2", "20270111");
    PutAppointment("2027-1-4", "Appointment 6", "2027-1-4", "2027-1-4", "once");

    EXPECT_EQ(3, scanner.PurgeEnded({2027, 3, 8}, stop));
    EXPECT_EQ((std::vector<std::string>{"Appointment 2", "Appointment 3", "Appointment 4"}),
              Subkeys(kRoot + "\\2027-1-4"));
}

// Where a scanner runs, its walk after each change reads the series, and a
// list never walks the store: this program's own saves, edits and deletes
// show at the next list all the same, another program's once the scanner
// has walked.
TEST_F(SeriesWalkTest, TheDayListTakesTheScannersWalkAndRereadsOnlyTheDaysThisProgramWrote) {
    CSeriesCatalog& catalog = CSeriesCatalog::Shared();
    CCalendarRegistry store;
    PutSeries("2027-3-1", "Appointment 1", "2027-3-1", "2027-3-1", "Old class", "FREQ=WEEKLY");
    EXPECT_TRUE(List("2027-3-8").empty()) << "no walk on the listing thread";
    ASSERT_TRUE(scanner.Alerts({2027, 3, 8}, stop).has_value());
    EXPECT_EQ(std::vector<std::string>{"Old class"}, Notes(List("2027-3-8")));
    const int walks = catalog.Walks();
    const int installs = catalog.Installs();

    std::string key;
    ASSERT_TRUE(
        store.AddAppointment("2027-3-1", Weekly("2027-3-1", "New class", "FREQ=WEEKLY"), &key));
    EXPECT_EQ((std::vector<std::string>{"New class", "Old class"}), SortedNotes(List("2027-3-8")));
    ASSERT_TRUE(
        store.ReplaceAppointment("2027-3-1", key, Weekly("2027-3-1", "New class", "FREQ=DAILY")));
    EXPECT_EQ((std::vector<std::string>{"New class", "Old class"}), SortedNotes(List("2027-3-8")));
    EXPECT_EQ(std::vector<std::string>{"New class"}, Notes(List("2027-3-9")));
    ASSERT_EQ(ModifyResult::Deleted,
              store.ModifyAppointment(ModifyMode::Delete, "2027-3-1", "Old class", ""));
    EXPECT_EQ(std::vector<std::string>{"New class"}, Notes(List("2027-3-8")));
    EXPECT_EQ(walks, catalog.Walks());
    EXPECT_EQ(installs, catalog.Installs());

    const std::string walk =
        PutAppointment("2027-3-2", "Appointment 1", "2027-3-2", "2027-3-2", "Walk");
    ASSERT_TRUE(SetTextFromAnotherProcess(registry, walk, "REPEAT", "FREQ=DAILY"));
    ASSERT_TRUE(scanner.Alerts({2027, 3, 8}, stop).has_value());
    EXPECT_EQ((std::vector<std::string>{"New class", "Walk"}), SortedNotes(List("2027-3-8")));
    EXPECT_EQ(walks, catalog.Walks());
}

// A save made while the scanner walks, into a day the walk has passed, is
// not undone when that walk's series come in.
TEST_F(SeriesWalkTest, ASaveDuringTheScannersWalkOutlivesTheWalk) {
    PutAppointment("2027-3-1", "Appointment 1", "2027-3-1", "2027-3-1", "plain");
    CCalendarRegistry store;
    bool saved = false;
    scanner.SetWalkHookForTesting([&] {
        if (!saved)
            saved = store.AddAppointment("2027-3-1", Weekly("2027-3-1", "Class", "FREQ=WEEKLY"));
    });
    ASSERT_TRUE(scanner.Alerts({2027, 3, 8}, stop).has_value());
    ASSERT_TRUE(saved);
    EXPECT_EQ(std::vector<std::string>{"Class"}, Notes(List("2027-3-8")));
}

// The fixture's appointments, filed on 8 May 2002, listed, reminded and
// purged decades later: each answer comes quickly, only the series that
// cover the day show, and the purge deletes exactly those whose NOTES say
// their last occurrence has ended, never one whose rule is not followed.
TEST_F(SeriesWalkTest, TheMalformedSeriesAreListedRemindedAndPurgedSensiblyInBoundedTime) {
    const EmbeddedFixture* fixture = FindMalformedFixture("series_values.reg");
    ASSERT_NE(nullptr, fixture);
    ASSERT_TRUE(ImportRegFixture(fixture->name, fixture->text).ok);
    const std::string day = kRoot + "\\2002-5-8";
    const CalendarDate today{2030, 2, 28};
    std::vector<std::string> toDelete;
    for (const std::string& key : Subkeys(day)) {
        const std::string notes = ReadRaw(day + "\\" + key, "NOTES").bytes.c_str();
        const size_t last = notes.find("LAST=") + 5;
        CalendarDate end;
        if (notes.find("UNFOLLOWED") == std::string::npos &&
            ParseDateText(notes.substr(last, notes.find(' ', last) - last).c_str(), end) &&
            CompareDates(end, today) < 0)
            toDelete.push_back(key);
    }
    ASSERT_FALSE(toDelete.empty());

    using Clock = std::chrono::steady_clock;
    const auto timed = [](auto&& call) {
        const Clock::time_point start = Clock::now();
        call();
        return Clock::now() - start;
    };
    constexpr auto kBound = std::chrono::seconds(2);
    // The scan's walk reads the series for the list too.
    std::vector<std::string> current;
    EXPECT_LT(timed([&] { current = scanner.CurrentNotes(today, stop); }), kBound);
    std::vector<ListedRow> rows;
    EXPECT_LT(timed([&] { rows = List("2030-2-28"); }), kBound);
    // In the registry's order, which is not the fixture's.
    std::vector<std::string> listed = Notes(rows);
    std::sort(listed.begin(), listed.end());
    std::sort(current.begin(), current.end());
    const std::vector<std::string> daily = {
        "REPEAT=RULE SKIP=0 UID=- LAST=4740-4-3 NEXT=2002-5-9",
        "REPEAT=RULE SKIP=0 UID=- LAST=9999-12-31 NEXT=2002-5-9",
        "REPEAT=RULE SKIP=0 UID=- LAST=never NEXT=2005-2-28"};
    EXPECT_EQ(daily, listed) << "the two daily ones and the birthday on 28 February";
    EXPECT_EQ(daily, current);

    int deleted = 0;
    EXPECT_LT(timed([&] { deleted = scanner.PurgeEnded(today, stop); }), kBound);
    EXPECT_EQ(static_cast<int>(toDelete.size()), deleted);
    for (const std::string& key : toDelete)
        EXPECT_FALSE(KeyExists(day + "\\" + key)) << key;
    EXPECT_EQ(18u, Subkeys(day).size() + toDelete.size());
}

} // namespace
} // namespace qmtest
