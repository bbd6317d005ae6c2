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
}

std::string UnfinishedKeyName(unsigned long processId, unsigned long long stamp) {
    char name[80];
    std::snprintf(name, sizeof name, "%s%lu-%llu", kUnfinishedPrefix, processId, stamp);
    return name;
}

bool IsUnfinishedKeyName(const char* name) {
    return name != nullptr &&
           std::strncmp(name, kUnfinishedPrefix, sizeof kUnfinishedPrefix - 1) == 0;
}
