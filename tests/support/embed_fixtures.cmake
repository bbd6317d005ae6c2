# Writes the fixture files given in FIXTURES (paths joined by '|') into OUTPUT
# as a C++ table, so that the tests carry them wherever they run: under Wine
# the source tree's paths mean nothing.
string(REPLACE "|" ";" files "${FIXTURES}")
list(SORT files)
set(arrays "")
set(entries "")
set(n 0)
foreach(file IN LISTS files)
    get_filename_component(name "${file}" NAME)
    file(READ "${file}" hex HEX)
    # Byte arrays, not string literals: no compiler limit on literal length.
    string(LENGTH "${hex}" length)
    set(bytes "")
    foreach(at RANGE 0 ${length} 48)
        string(SUBSTRING "${hex}" ${at} 48 chunk)
        if(chunk)
            string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," chunk "${chunk}")
            string(APPEND bytes "${chunk}\n    ")
        endif()
    endforeach()
    string(APPEND arrays "const unsigned char kFixture${n}[] = {\n    ${bytes}0x00};\n")
    string(APPEND entries "        {\"${name}\", reinterpret_cast<const char*>(kFixture${n})},\n")
    math(EXPR n "${n} + 1")
endforeach()
set(content "// Made by tests/support/embed_fixtures.cmake from tests/fixtures/malformed.
#include \"tests/support/registry_fixture.h\"

namespace qmtest {
namespace {
${arrays}} // namespace

const std::vector<EmbeddedFixture>& MalformedFixtures() {
    static const std::vector<EmbeddedFixture> fixtures = {
${entries}    };
    return fixtures;
}

} // namespace qmtest
")
# Rewritten only when it changes, so an unchanged corpus rebuilds nothing.
file(CONFIGURE OUTPUT "${OUTPUT}" CONTENT "${content}" @ONLY)
