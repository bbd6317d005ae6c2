// The store's reads over the malformed-data corpus, written through the
// code-page functions: every text reads, through the wide functions, as a
// code-page reader sees it, cut to its field at a whole character.
#include "calendar/date_text.h"
#include "store/calendar_registry.h"
#include "store/registry_value.h"
#include "tests/support/registry_fixture.h"
#include "tests/support/registry_sandbox.h"

#include <gtest/gtest.h>

#include "framework/utf_text.h"

#include <string>
#include <vector>

namespace qmtest {
namespace {

const std::string kRoot = "SOFTWARE\\Calendar";
// The generated days repeat one shape; a sample of them is enough here.
constexpr size_t kKeysPerLevel = 40;

struct TextField {
    const char* name;
    size_t capacity;
};
// Every capacity the program reads a stored text with, and the smallest one.
constexpr TextField kTextReads[] = {
    {"FROM", kDateTextBufferSize},
    {"TO", kDateTextBufferSize},
    {"FROM", kDateFieldBytes},
    {"EVENT", kEventFieldBytes},
    {"NOTES", kNotesFieldBytes},
    {"DETAIL NOTES", kNotesFieldBytes},
    {"NOTES", 1},
};

struct RecordingView : IAppointmentView {
    struct Row {
        std::string event, notes;
        int index;
    };
    std::vector<Row> rows;
    std::vector<std::string> details;
    void AppendAppointmentRow(const char* eventText, const char* notes, int eventIndex) override {
        rows.push_back({eventText, notes, eventIndex});
    }
    void ShowDetailNotes(const char* detailNotes) override { details.push_back(detailNotes); }
};

std::vector<std::string> Sample(std::vector<std::string> names) {
    if (names.size() > kKeysPerLevel)
        names.resize(kKeysPerLevel);
    return names;
}

void CheckGuardedReads(const std::string& fixture, const std::string& path) {
    fw::unique_hkey key;
    ASSERT_EQ(ERROR_SUCCESS, OpenMachineKey(path, KEY_READ, key, false)) << path;
    for (const TextField& field : kTextReads) {
        std::string text = "unread";
        ReadTextValue(key.get(), field.name, text, field.capacity);
        const std::string where = fixture + ": " + path + " " + field.name + " into " +
                                  std::to_string(field.capacity) + " characters";
        EXPECT_LT(fw::Utf16Length(text), field.capacity) << where;
        EXPECT_EQ(ExpectedStoredText(ReadRaw(path, field.name), field.capacity), text) << where;
    }
    const RawValue index = ReadRaw(path, "EVENT INDEX");
    const bool isNumber = index.exists && index.type == REG_DWORD && index.bytes.size() == 4;
    DWORD value = 0xABCD;
    EXPECT_EQ(isNumber, ReadDwordValue(key.get(), "EVENT INDEX", value)) << fixture << ": " << path;
    if (!isNumber) {
        EXPECT_EQ(0xABCDu, value) << "a failed read must leave the default, " << path;
    }
}

class MalformedReadsTest : public ::testing::TestWithParam<std::string> {
protected:
    RegistrySandbox registry;
};

TEST_P(MalformedReadsTest, ValueReadsStayInTheirBuffersAndListingAnyKeyIsSafe) {
    const EmbeddedFixture* fixture = FindMalformedFixture(GetParam());
    ASSERT_NE(nullptr, fixture);
    const FixtureInfo info = ImportRegFixture(fixture->name, fixture->text);
    ASSERT_TRUE(info.ok);

    CCalendarRegistry store;
    for (const std::string& day : Sample(Subkeys(kRoot))) {
        const std::string dayPath = kRoot + "\\" + day;
        const std::vector<std::string> appointments = Subkeys(dayPath);
        for (const std::string& name : Sample(appointments))
            CheckGuardedReads(GetParam(), dayPath + "\\" + name);

        // Listing takes any key name, date or not, and cuts every text.
        RecordingView view;
        store.ListAppointments(ListMode::Fill, "", day, view);
        EXPECT_EQ(appointments.size(), view.rows.size()) << GetParam() << ": " << day;
        for (const RecordingView::Row& row : view.rows) {
            EXPECT_LT(row.event.size(), kEventFieldBytes) << day;
            EXPECT_LT(row.notes.size(), kNotesFieldBytes) << day;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Corpus, MalformedReadsTest, ::testing::ValuesIn([] {
                             std::vector<std::string> names;
                             for (const EmbeddedFixture& fixture : MalformedFixtures())
                                 names.push_back(fixture.name);
                             return names;
                         }()),
                         [](const ::testing::TestParamInfo<std::string>& param) {
                             std::string name = param.param.substr(0, param.param.find('.'));
                             for (char& c : name)
                                 if (c == '-' || c == ' ')
                                     c = '_';
                             return name;
                         });

} // namespace
} // namespace qmtest
