#include "store/registry_value.h"
#include "tests/support/registry_sandbox.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace qmtest {
namespace {

const std::string kKey = "SOFTWARE\\Calendar\\2002-5-7\\Appointment 1";
constexpr size_t kGuard = 64;
constexpr char kGuardByte = '\x5A';

// A read buffer of `capacity` bytes between two guard regions, so that a
// read that runs past either end shows.
class GuardedBuffer {
public:
    explicit GuardedBuffer(size_t capacity)
        : m_capacity(capacity), m_bytes(kGuard + capacity + kGuard, kGuardByte) {}
    char* Data() { return m_bytes.data() + kGuard; }
    size_t Capacity() const { return m_capacity; }
    bool GuardsIntact() const {
        for (size_t i = 0; i < kGuard; ++i)
            if (m_bytes[i] != kGuardByte || m_bytes[kGuard + m_capacity + i] != kGuardByte)
                return false;
        return true;
    }
    // The text up to its NUL, or "<no NUL>" when the buffer has none.
    std::string Text() const {
        const char* data = m_bytes.data() + kGuard;
        const void* nul = std::memchr(data, '\0', m_capacity);
        if (nul == nullptr)
            return "<no NUL>";
        return std::string(data, static_cast<const char*>(nul));
    }

private:
    size_t m_capacity;
    std::vector<char> m_bytes;
};

class RegistryValueTest : public ::testing::Test {
protected:
    RegistrySandbox sandbox;
    fw::unique_hkey key;

    void SetUp() override {
        CreateKey(kKey);
        ASSERT_EQ(ERROR_SUCCESS,
                  RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKey.c_str(), 0, KEY_ALL_ACCESS, key.put()));
    }
    // Reads `name` into a guarded buffer of `capacity` bytes.
    std::string Read(const char* name, size_t capacity, bool* ok = nullptr) {
        GuardedBuffer buffer(capacity);
        const bool result = ReadTextValue(key.get(), name, buffer.Data(), capacity);
        if (ok != nullptr)
            *ok = result;
        EXPECT_TRUE(buffer.GuardsIntact()) << name << " wrote outside its buffer";
        return buffer.Text();
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

    // A text too long for the field still leaves a NUL in its last byte.
    ASSERT_TRUE(WriteFixedText(key.get(), "EVENT", "Photography", 10));
    EXPECT_EQ(std::string("Photograp") + '\0', ReadRaw(kKey, "EVENT").bytes);

    EXPECT_FALSE(WriteFixedText(key.get(), "nothing", "x", 0));
    EXPECT_FALSE(ReadRaw(kKey, "nothing").exists);
}

} // namespace
} // namespace qmtest
