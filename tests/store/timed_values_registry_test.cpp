// The values of timed appointments read from the registry as another program
// left them: the malformed-data fixture timed_values.reg, whose NOTES say
// what each appointment's four values must read as.
#include "store/timed_registry.h"
#include "store/timed_values.h"
#include "tests/support/registry_fixture.h"
#include "tests/support/registry_sandbox.h"

#include <gtest/gtest.h>

#include "framework/utf_text.h"

#include <optional>
#include <string>

namespace qmtest {
namespace {

const std::string kRoot = "SOFTWARE\\Calendar";

TimedValues ReadAt(const std::string& path) {
    fw::unique_hkey key;
    EXPECT_EQ(ERROR_SUCCESS, OpenMachineKey(path, KEY_READ, key, false)) << path;
    return key ? ReadTimedValues(key.get()) : TimedValues{};
}

std::string Shown(const std::optional<int>& count) {
    return count ? std::to_string(*count) : "-";
}

TEST(TimedValuesStored, EachValueOfTheCorpusReadsAsItsNotesSay) {
    RegistrySandbox registry;
    const EmbeddedFixture* fixture = FindMalformedFixture("timed_values.reg");
    ASSERT_NE(nullptr, fixture);
    ASSERT_TRUE(ImportRegFixture(fixture->name, fixture->text).ok);
    int checked = 0;
    for (const std::string& day : Subkeys(kRoot)) {
        for (const std::string& name : Subkeys(kRoot + "\\" + day)) {
            const std::string path = kRoot + "\\" + day + "\\" + name;
            const RawValue notes = ReadRaw(path, "NOTES");
            const TimedValues values = ReadAt(path);
            const std::string read =
                "TIME=" + (values.minuteOfDay ? FormatTimeOfDay(*values.minuteOfDay) : "-") +
                " DURATION=" + Shown(values.duration) + " REMIND=" + Shown(values.remindBefore) +
                " ZONE=" + (values.zone.empty() ? "-" : values.zone);
            EXPECT_EQ(std::string(notes.bytes.c_str()), read) << path;
            ++checked;
        }
    }
    EXPECT_EQ(9, checked);
}

// A save leaves exactly the values it was given: a time made all-day again
// loses its duration and zone, and an alert taken away is gone.
TEST(TimedValuesStored, WritingLeavesExactlyTheGivenValues) {
    RegistrySandbox registry;
    const std::string path = kRoot + "\\2027-3-14\\Appointment 1";
    fw::unique_hkey key;
    ASSERT_EQ(ERROR_SUCCESS, OpenMachineKey(path, KEY_READ | KEY_WRITE, key, true));
    const TimedValues timed{14 * 60 + 30, 45, 15, "Europe/Berlin"};
    ASSERT_TRUE(WriteTimedValues(key.get(), timed));
    EXPECT_EQ(timed, ReadAt(path));
    EXPECT_EQ("14:30", std::string(ReadRaw(path, kTimeValueName).bytes.c_str()));

    const TimedValues allDay{std::nullopt, std::nullopt, 360, ""};
    ASSERT_TRUE(WriteTimedValues(key.get(), allDay));
    EXPECT_EQ(allDay, ReadAt(path));
    ASSERT_TRUE(WriteTimedValues(key.get(), TimedValues{}));
    EXPECT_EQ(TimedValues{}, ReadAt(path));
    for (const char* name :
         {kTimeValueName, kDurationValueName, kRemindBeforeValueName, kTimeZoneValueName})
        EXPECT_FALSE(ReadRaw(path, name).exists) << name;
}

} // namespace
} // namespace qmtest
