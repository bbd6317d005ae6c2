#include "settings/interval.h"

int ClampIntervalMinutes(int minutes) {
    if (minutes < kMinIntervalMinutes)
        return kMinIntervalMinutes;
    if (minutes > kMaxIntervalMinutes)
        return kMaxIntervalMinutes;
    return minutes;
}
