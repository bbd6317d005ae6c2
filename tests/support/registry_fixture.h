#pragma once

#include "tests/support/registry_sandbox.h"

#include <cstddef>
#include <set>
#include <string>
#include <vector>

namespace qmtest {

// Every fixture is written for this day: the tests fix the clock on it.
inline constexpr int kFixtureYear = 2002;
inline constexpr int kFixtureMonth = 5;
inline constexpr int kFixtureDay = 7;

// A fixture file built into the test executable.
struct EmbeddedFixture {
    const char* name; // file name without its folder
    const char* text; // the whole file
};

// The malformed-data corpus (tests/fixtures/malformed/*.reg), in name order.
const std::vector<EmbeddedFixture>& MalformedFixtures();
const EmbeddedFixture* FindMalformedFixture(const std::string& name);

// What a fixture says of itself, besides the values it writes.
struct FixtureInfo {
    std::string name;
    // Keys below SOFTWARE\Calendar that the fixture names as days to show,
    // in file order: every key of a [section] two levels deep and a few of the
    // generated ones.
    std::vector<std::string> days;
    // Full key paths below HKEY_LOCAL_MACHINE that the purge deletes; every
    // other key must stay.
    std::set<std::string> purged;
    // How many reminder lines the scan finds today.
    int reminded = 0;
    // What start-up reads from the options (the defaults when not stated).
    int minutes = 5;
    int splash = 1;
    int purgeAtStartUp = 0;
    bool ok = true; // false when a line could not be parsed or written
};

// Writes a fixture in the Windows .reg format ("Windows Registry Editor
// Version 5.00" or "REGEDIT4") into HKEY_LOCAL_MACHINE, which the tests have
// redirected to a scratch key. Values go in through RegSetValueExA with
// exactly the bytes the file gives: "text" is REG_SZ with its NUL, dword: a
// 4-byte REG_DWORD, hex: REG_BINARY, hex(N): type N (hex(2) bytes are taken
// as 8-bit text, not UTF-16). Lines starting with ";!" are directives (see
// tests/fixtures/malformed/README.txt); a line that cannot be parsed or
// written fails the running test with the fixture's name and line number.
FixtureInfo ImportRegFixture(const std::string& name, const std::string& text);

// What a stored text value must read as into a buffer of `capacity` bytes,
// worked out from its raw bytes: a text type up to its first NUL, cut to
// capacity - 1 characters (the corpus is single-byte text); any other type,
// or no value, reads as nothing.
std::string ExpectedStoredText(const RawValue& raw, size_t capacity);

} // namespace qmtest
