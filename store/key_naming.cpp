#include "store/key_naming.h"

#include <cstdio>

std::string AppointmentKeyName(const SYSTEMTIME& created, int attempt) {
    char name[64];
    int length = std::snprintf(name, sizeof name, "Appointment %d%d%d%d", created.wHour,
                               created.wMinute, created.wSecond, created.wMilliseconds);
    if (attempt > 0 && length > 0 && static_cast<size_t>(length) < sizeof name)
        std::snprintf(name + length, sizeof name - static_cast<size_t>(length), "-%d", attempt + 1);
    return name;
}
