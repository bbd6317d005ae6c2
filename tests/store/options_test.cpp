#include "store/calendar_registry.h"
#include "store/key_naming.h"
#include "store/system_time.h"
#include "tests/support/registry_sandbox.h"
#include "tests/support/window_testing.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace qmtest {
namespace {

const std::string kOptions = "SOFTWARE\\Calendar\\OPTIONS";

TEST(Options, DefaultsWithoutAnOptionsKey) {
    RegistrySandbox sandbox;
    CCalendarRegistry registry;
    EXPECT_EQ(5, registry.GetTimeoutValue());
    EXPECT_EQ(1, registry.GetSplash());
    EXPECT_EQ(0, registry.GetTimeoutDelete());
    // Reading creates nothing.
    EXPECT_FALSE(KeyExists("SOFTWARE\\Calendar"));
}

TEST(Options, SettersWriteFourByteDwordsIntoTheOptionsKey) {
    RegistrySandbox sandbox;
    CCalendarRegistry registry;
    EXPECT_TRUE(registry.SetTimeoutValue(45));
    EXPECT_TRUE(registry.SetTimeoutDelete(1));
    EXPECT_TRUE(registry.SetSplash(0));
    for (const char* name : {"TIMEOUT VALUE", "TIMEOUT DELETE", "SPLASH"}) {
        RawValue raw = ReadRaw(kOptions, name);
        ASSERT_TRUE(raw.exists) << name;
        EXPECT_EQ(static_cast<DWORD>(REG_DWORD), raw.type) << name;
        EXPECT_EQ(4u, raw.bytes.size()) << name;
    }
    EXPECT_EQ(3u, ValueNames(kOptions).size());
    EXPECT_EQ(45, registry.GetTimeoutValue());
    EXPECT_EQ(1, registry.GetTimeoutDelete());
    EXPECT_EQ(0, registry.GetSplash());
}

TEST(Options, ValuesStoredFromOutsideAreReadAsTheyAre) {
    RegistrySandbox sandbox;
    CCalendarRegistry registry;
    SetDword(kOptions, "TIMEOUT VALUE", 0);
    SetDword(kOptions, "SPLASH", 2);
    SetDword(kOptions, "TIMEOUT DELETE", 7);
    EXPECT_EQ(0, registry.GetTimeoutValue()); // the callers raise it to 1
    EXPECT_EQ(2, registry.GetSplash());       // only 1 means on
    EXPECT_EQ(7, registry.GetTimeoutDelete());
    SetDword(kOptions, "TIMEOUT VALUE", static_cast<DWORD>(-3));
    EXPECT_EQ(-3, registry.GetTimeoutValue());
}

TEST(Options, AValueOfAnotherTypeOrSizeReadsAsTheDefault) {
    RegistrySandbox sandbox;
    CCalendarRegistry registry;
    // A text "1" would be the bytes 31 00: not the number 1.
    SetText(kOptions, "SPLASH", "0", REG_SZ);
    EXPECT_EQ(1, registry.GetSplash());
    const unsigned char eight[8] = {30, 0, 0, 0, 0, 0, 0, 0};
    SetBytes(kOptions, "TIMEOUT VALUE", REG_QWORD, eight, sizeof eight);
    EXPECT_EQ(5, registry.GetTimeoutValue());
    const unsigned char two[2] = {1, 0};
    SetBytes(kOptions, "TIMEOUT DELETE", REG_BINARY, two, sizeof two);
    EXPECT_EQ(0, registry.GetTimeoutDelete());
    const DWORD one = 1;
    SetBytes(kOptions, "TIMEOUT DELETE", REG_BINARY, &one, sizeof one);
    EXPECT_EQ(0, registry.GetTimeoutDelete()) << "REG_BINARY is not an option value";
}

SYSTEMTIME TimeOfDay(int hour, int minute, int second, int millisecond) {
    SYSTEMTIME st = MakeDate(2002, 5, 7);
    st.wHour = static_cast<WORD>(hour);
    st.wMinute = static_cast<WORD>(minute);
    st.wSecond = static_cast<WORD>(second);
    st.wMilliseconds = static_cast<WORD>(millisecond);
    return st;
}

TEST(KeyNaming, JoinsTheTimeWithoutSeparatorsOrLeadingZeros) {
    EXPECT_EQ("Appointment 95342", AppointmentKeyName(TimeOfDay(9, 5, 3, 42), 0));
    EXPECT_EQ("Appointment 0000", AppointmentKeyName(TimeOfDay(0, 0, 0, 0), 0));
    EXPECT_EQ("Appointment 235959999", AppointmentKeyName(TimeOfDay(23, 59, 59, 999), 0));
    // The known clash, and what the second name becomes.
    EXPECT_EQ(AppointmentKeyName(TimeOfDay(1, 23, 45, 6), 0),
              AppointmentKeyName(TimeOfDay(12, 3, 45, 6), 0));
    EXPECT_EQ("Appointment 123456-2", AppointmentKeyName(TimeOfDay(12, 3, 45, 6), 1));
    EXPECT_EQ("Appointment 123456-1000", AppointmentKeyName(TimeOfDay(12, 3, 45, 6), 999));
}

TEST(KeyNaming, ClashingNamesNeverOverwriteAnAppointment) {
    RegistrySandbox sandbox;
    CCalendarRegistry registry;
    FixedClock clock(2002, 5, 7, 1, 23, 45, 6);
    ASSERT_TRUE(
        registry.AddAppointment("2002-5-7", "2002-5-7", "2002-5-7", "first", "EMail", 0, ""));
    // The same millisecond again, then 12:03:45.006, which names the same key.
    ASSERT_TRUE(
        registry.AddAppointment("2002-5-7", "2002-5-7", "2002-5-7", "second", "Movie", 3, ""));
    FixedClock::Set(2002, 5, 7, 12, 3, 45, 6);
    ASSERT_TRUE(
        registry.AddAppointment("2002-5-7", "2002-5-7", "2002-5-7", "third", "Music", 4, ""));

    std::vector<std::string> keys = Subkeys("SOFTWARE\\Calendar\\2002-5-7");
    ASSERT_EQ(3u, keys.size());
    std::vector<std::string> notes;
    for (const std::string& key : keys) {
        EXPECT_EQ(0u, key.rfind("Appointment 123456", 0)) << key;
        RawValue raw = ReadRaw("SOFTWARE\\Calendar\\2002-5-7\\" + key, "NOTES");
        notes.push_back(raw.bytes.c_str());
    }
    std::sort(notes.begin(), notes.end());
    EXPECT_EQ((std::vector<std::string>{"first", "second", "third"}), notes);
}

} // namespace
} // namespace qmtest
