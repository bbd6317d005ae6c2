#include "tray/reminder_lines.h"

#include "framework/utf_text.h"

std::string CutReminderLine(std::string_view notes) {
    return std::string(notes.substr(0, fw::Utf8PrefixWithin(notes, kReminderLineMaxLength)));
}

std::string NumberedReminderLine(int index, const std::string& line) {
    return std::to_string(index + 1) + ". " + line;
}

int NextReminderLine(int current, int count) {
    const int next = current + 1;
    return next >= count ? 0 : next;
}
