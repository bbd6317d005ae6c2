#include "store/registry_value.h"
#include "tests/support/registry_sandbox.h"

#include <gtest/gtest.h>

#include "framework/utf_text.h"

#include <cstring>
#include <string>
#include <vector>

namespace qmtest {
namespace {

const std::string kKey = "SOFTWARE\\Calendar\\2002-5-7\\Appointment 1";

class RegistryValueTest : public ::testing::Test {
protected:
    RegistrySandbox sandbox;
    fw::unique_hkey key;

    void SetUp() override {
        CreateKey(kKey);
        ASSERT_EQ(ERROR_SUCCESS,
                  RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKey.c_str(), 0, KEY_ALL_ACCESS, key.put()));
    }
    // Reads `name` for a field of `capacity` characters.
    std::string Read(const char* name, size_t capacity, bool* ok = nullptr) {
        std::string text = "unread";
        const bool result = ReadTextValue(key.get(), name, text, capacity);
        if (ok != nullptr)
            *ok = result;
        return text;
    }
    // A value's UTF-16 units as the wide functions read them.
    std::u16string ReadWide(const char* name) {
        DWORD type = 0;
        DWORD size = 0;
        const std::wstring wide = fw::Widen(name);
        RegQueryValueExW(key.get(), wide.c_str(), nullptr, &type, nullptr, &size);
        std::u16string units(size / 2, u'\0');
        RegQueryValueExW(key.get(), wide.c_str(), nullptr, &type,
                         reinterpret_cast<BYTE*>(units.data()), &size);
        EXPECT_EQ(static_cast<DWORD>(REG_EXPAND_SZ), type) << name;
        return units;
    }
};

TEST_F(RegistryValueTest, TextsAreCutToTheBufferAndAlwaysEndInANul) {
    bool ok = false;
    SetText(kKey, "exact", "2002-12-31", REG_EXPAND_SZ, 11);
    EXPECT_EQ("2002-12-31", Read("exact", 11, &ok));
    EXPECT_TRUE(ok);

    // Exactly as long as the buffer, without a NUL: the last byte gives way.
    SetText(kKey, "full", std::string(10, 'f'), REG_EXPAND_SZ, 10);
    EXPECT_EQ(std::string(9, 'f'), Read("full", 10, &ok));
    EXPECT_TRUE(ok);

    // Far longer than the buffer, with and without a NUL at its end.
    SetText(kKey, "long", std::string(64 * 1024, 'L'), REG_EXPAND_SZ);
    EXPECT_EQ(std::string(499, 'L'), Read("long", 500, &ok));
    EXPECT_TRUE(ok);
    SetText(kKey, "longNoNul", std::string(64 * 1024, 'M'), REG_SZ, 64 * 1024);
    EXPECT_EQ(std::string(9, 'M'), Read("longNoNul", 10, &ok));
    EXPECT_TRUE(ok);

    // The text ends at its first NUL; what follows carries nothing.
    const char padded[] = {'a', 'b', '\0', 'z', 'z', 'z'};
    SetBytes(kKey, "padded", REG_EXPAND_SZ, padded, sizeof padded);
    EXPECT_EQ("ab", Read("padded", 500));

    SetBytes(kKey, "empty", REG_EXPAND_SZ, "", 0);
    EXPECT_EQ("", Read("empty", 500, &ok));
    EXPECT_TRUE(ok);

    // A one-byte buffer holds only the NUL.
    EXPECT_EQ("", Read("long", 1));
}

TEST_F(RegistryValueTest, ValuesOfOtherTypesOrMissingReadAsEmpty) {
    bool ok = true;
    SetDword(kKey, "dword", 0x00414243);
    EXPECT_EQ("", Read("dword", 10, &ok));
    EXPECT_FALSE(ok);

    SetBytes(kKey, "binary", REG_BINARY, "abc", 3);
    EXPECT_EQ("", Read("binary", 10, &ok));
    EXPECT_FALSE(ok);

    const std::vector<char> bigBinary(64 * 1024, 'B');
    SetBytes(kKey, "bigBinary", REG_BINARY, bigBinary.data(), static_cast<DWORD>(bigBinary.size()));
    EXPECT_EQ("", Read("bigBinary", 500, &ok));
    EXPECT_FALSE(ok);

    SetBytes(kKey, "zeroBinary", REG_BINARY, "", 0);
    EXPECT_EQ("", Read("zeroBinary", 10, &ok));
    EXPECT_FALSE(ok);

    EXPECT_EQ("", Read("missing", 10, &ok));
    EXPECT_FALSE(ok);
}

TEST_F(RegistryValueTest, AMultiStringReadsAsItsFirstString) {
    const char multi[] = "first\0second\0";
    SetBytes(kKey, "multi", REG_MULTI_SZ, multi, sizeof multi);
    EXPECT_EQ("first", Read("multi", 500));
    EXPECT_EQ("fir", Read("multi", 4));

    std::vector<char> bigMulti(64 * 1024, 'q');
    bigMulti[bigMulti.size() - 2] = '\0';
    bigMulti.back() = '\0';
    SetBytes(kKey, "bigMulti", REG_MULTI_SZ, bigMulti.data(), static_cast<DWORD>(bigMulti.size()));
    EXPECT_EQ(std::string(9, 'q'), Read("bigMulti", 10));
}

TEST_F(RegistryValueTest, OnlyAFourByteDwordIsANumber) {
    DWORD value = 0;
    SetDword(kKey, "good", 5);
    EXPECT_TRUE(ReadDwordValue(key.get(), "good", value));
    EXPECT_EQ(5u, value);

    const char two[2] = {3, 0};
    const char eight[8] = {3, 0, 0, 0, 1, 0, 0, 0};
    SetBytes(kKey, "short", REG_DWORD, two, sizeof two);
    SetBytes(kKey, "long", REG_DWORD, eight, sizeof eight);
    SetBytes(kKey, "empty", REG_DWORD, "", 0);
    SetBytes(kKey, "binary", REG_BINARY, "\x03\0\0\0", 4);
    SetText(kKey, "text", "3", REG_SZ);
    for (const char* name : {"short", "long", "empty", "binary", "text", "missing"}) {
        value = 0xDEADBEEF;
        EXPECT_FALSE(ReadDwordValue(key.get(), name, value)) << name;
        EXPECT_EQ(0xDEADBEEFu, value) << name << " must leave the value untouched";
    }
}

TEST_F(RegistryValueTest, FixedTextsAreWrittenWithTheirExactByteCount) {
    ASSERT_TRUE(WriteFixedText(key.get(), "NOTES", "Lunch", 500));
    RawValue raw = ReadRaw(kKey, "NOTES");
    EXPECT_EQ(static_cast<DWORD>(REG_EXPAND_SZ), raw.type);
    std::string expected = "Lunch";
    expected.resize(500, '\0');
    EXPECT_EQ(expected, raw.bytes);

    // A text too long for its field is refused, never cut.
    EXPECT_FALSE(WriteFixedText(key.get(), "EVENT", "Photography", 10));
    EXPECT_FALSE(ReadRaw(kKey, "EVENT").exists);
    EXPECT_FALSE(WriteFixedText(key.get(), "nothing", "x", 0));
    EXPECT_FALSE(ReadRaw(kKey, "nothing").exists);
}

// Cyrillic, CJK and an emoji (a surrogate pair) through the store's writer:
// the wide functions read every character back with the old layout in
// characters, and the code-page functions read the old 500 bytes, the text
// in the code page (what it lacks as '?'), its NUL and zeros.
TEST_F(RegistryValueTest, UnicodeTextsKeepEveryCharacterInTheSameLayout) {
    const std::string text = "\xD0\x94\xD0\xB0\xD1\x80\xD1\x8C\xD1\x8F, \xC5\x81ukasz, "
                             "\xE6\x9D\xB1\xE4\xBA\xAC \xF0\x9F\x98\x80";
    ASSERT_TRUE(WriteFixedText(key.get(), "NOTES", text, 500));
    EXPECT_EQ(text, Read("NOTES", 500));

    const std::u16string units = fw::Utf8ToUtf16(text);
    std::u16string field = units;
    field.resize(500, u'\0');
    EXPECT_EQ(field, ReadWide("NOTES"));

    char codePage[600] = {};
    const int length = WideCharToMultiByte(CP_ACP, 0, fw::Widen(text).c_str(), -1, codePage,
                                           sizeof codePage, nullptr, nullptr);
    ASSERT_EQ(static_cast<int>(units.size()) + 1, length) << "a single-byte code page";
    std::string expected(codePage, static_cast<size_t>(length - 1));
    expected.resize(500, '\0');
    EXPECT_EQ(expected, ReadRaw(kKey, "NOTES").bytes);

    // An emoji that would straddle the last unit of a field goes whole or not
    // at all: here it does not fit, and the text is refused.
    const std::string emoji = "\xF0\x9F\x98\x80";
    EXPECT_TRUE(WriteFixedText(key.get(), "DETAIL NOTES", std::string(497, 'a') + emoji, 500));
    EXPECT_FALSE(WriteFixedText(key.get(), "DETAIL NOTES", std::string(498, 'a') + emoji, 500));
    EXPECT_EQ(std::string(497, 'a') + emoji, Read("DETAIL NOTES", 500));
    // Read into a smaller field, the pair is dropped whole, never halved.
    EXPECT_EQ(std::string(497, 'a'), Read("DETAIL NOTES", 499));
}

} // namespace
} // namespace qmtest
