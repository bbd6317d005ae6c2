#include "tray/reminder_lines.h"

#include "store/registry_value.h"

#include <cstring>

std::string CutReminderLine(const char* notes) {
    if (notes == nullptr)
        return {};
    const size_t length = std::strlen(notes);
    if (length <= kReminderLineMaxLength)
        return notes;
    return std::string(notes, WholeCharacterPrefix(notes, kReminderLineMaxLength));
}

std::string NumberedReminderLine(int index, const std::string& line) {
    return std::to_string(index + 1) + ". " + line;
}

int NextReminderLine(int current, int count) {
    const int next = current + 1;
    return next >= count ? 0 : next;
}

RECT SlideRect(const RECT& screen, int k) {
    RECT place{};
    place.left = screen.right - k - 200;
    place.top = screen.bottom - 115;
    place.right = place.left + k + 198;
    place.bottom = place.top + 85;
    return place;
}
