#include "tray/reminder_lines.h"

#include <cstring>

std::string CutReminderLine(const char* notes, LeadBytePredicate isLeadByte) {
    if (notes == nullptr)
        return {};
    const size_t length = std::strlen(notes);
    if (length <= kReminderLineMaxLength)
        return notes;
    return std::string(notes, WholeCharacterPrefix(notes, kReminderLineMaxLength, isLeadByte));
}

std::string NumberedReminderLine(int index, const std::string& line) {
    return std::to_string(index + 1) + ". " + line;
}

int NextReminderLine(int current, int count) {
    const int next = current + 1;
    return next >= count ? 0 : next;
}
