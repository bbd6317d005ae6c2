#include "store/key_naming.h"

#include <cstdio>
#include <cstring>

std::string AppointmentKeyName(int hour, int minute, int second, int milliseconds, int attempt) {
    char name[64];
    int length = std::snprintf(name, sizeof name, "Appointment %d%d%d%d", hour, minute, second,
                               milliseconds);
    if (attempt > 0 && length > 0 && static_cast<size_t>(length) < sizeof name)
        std::snprintf(name + length, sizeof name - static_cast<size_t>(length), "-%d", attempt + 1);
    return name;
}

namespace {
constexpr char kUnfinishedPrefix[] = "~Quillmere unfinished ";
constexpr char kReplacedSuffix[] = " replaced";
} // namespace

std::string ReplacedKeyName(const std::string& unfinishedName) {
    return unfinishedName + kReplacedSuffix;
}

std::string UnfinishedKeyNameOfWriterText(const std::string& writerText) {
    return kUnfinishedPrefix + writerText;
}

bool IsReplacedKeyName(const char* name) {
    if (!IsUnfinishedKeyName(name))
        return false;
    const size_t length = std::strlen(name);
    const size_t suffix = sizeof kReplacedSuffix - 1;
    return length > suffix && std::strcmp(name + length - suffix, kReplacedSuffix) == 0;
}

std::string UnfinishedKeyName(const UnfinishedWriter& writer) {
    char name[96];
    std::snprintf(name, sizeof name, "%s%lu-%llu-%llu", kUnfinishedPrefix, writer.processId,
                  writer.processCreated, writer.batch);
    return name;
}

bool IsUnfinishedKeyName(const char* name) {
    return name != nullptr &&
           std::strncmp(name, kUnfinishedPrefix, sizeof kUnfinishedPrefix - 1) == 0;
}

namespace {

// Reads the decimal digits at `text` into `value` and moves past them; false
// when there are none, or too many for 64 bits.
bool ReadNumber(const char*& text, unsigned long long& value) {
    value = 0;
    const char* start = text;
    while (*text >= '0' && *text <= '9') {
        const unsigned digit = static_cast<unsigned>(*text - '0');
        if (value > (~0ull - digit) / 10)
            return false;
        value = value * 10 + digit;
        ++text;
    }
    return text != start;
}

} // namespace

bool ParseUnfinishedKeyName(const char* name, UnfinishedWriter& writer) {
    if (!IsUnfinishedKeyName(name))
        return false;
    const char* text = name + sizeof kUnfinishedPrefix - 1;
    unsigned long long numbers[3] = {};
    int count = 0;
    for (;;) {
        if (!ReadNumber(text, numbers[count]))
            return false;
        ++count;
        if (*text == '\0')
            break;
        if (*text != '-' || count == 3)
            return false;
        ++text;
    }
    if (count < 2 || numbers[0] == 0 || numbers[0] > 0xFFFFFFFFull)
        return false;
    writer.processId = static_cast<unsigned long>(numbers[0]);
    writer.processCreated = count == 3 ? numbers[1] : 0;
    writer.batch = numbers[count - 1];
    return count == 2 || writer.processCreated != 0;
}
