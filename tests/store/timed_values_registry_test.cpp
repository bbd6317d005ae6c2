// The values of timed appointments read from the registry as another program
// left them: the malformed-data fixture timed_values.reg, whose NOTES say
// what each appointment's four values must read as.
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

// A value's type and bytes as the wide functions hand them over.
std::optional<TimedValueBytes> ReadStored(const std::string& path, const char* name) {
    fw::unique_hkey key;
    if (OpenMachineKey(path, KEY_READ, key, false) != ERROR_SUCCESS)
        return std::nullopt;
    const std::wstring wide = fw::Widen(name);
    DWORD type = REG_NONE;
    DWORD size = 0;
    if (RegQueryValueExW(key.get(), wide.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
        return std::nullopt;
    TimedValueBytes value{type, std::vector<unsigned char>(size)};
    if (RegQueryValueExW(key.get(), wide.c_str(), nullptr, &type, value.bytes.data(), &size) !=
        ERROR_SUCCESS)
        return std::nullopt;
    value.bytes.resize(size);
    return value;
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
            const TimedValues values = DecodeTimedValues(
                {ReadStored(path, kTimeValueName), ReadStored(path, kDurationValueName),
                 ReadStored(path, kRemindBeforeValueName), ReadStored(path, kTimeZoneValueName)});
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

} // namespace
} // namespace qmtest
