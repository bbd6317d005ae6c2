#include "calendar/appointment_time.h"

std::optional<int> ParseTimeOfDay(const std::string& text) {
    auto digit = [&text](std::size_t at) { return text[at] >= '0' && text[at] <= '9'; };
    if (text.size() != 5 || text[2] != ':' || !digit(0) || !digit(1) || !digit(3) || !digit(4))
        return std::nullopt;
    const int hour = (text[0] - '0') * 10 + (text[1] - '0');
    const int minute = (text[3] - '0') * 10 + (text[4] - '0');
    if (hour > 23 || minute > 59)
        return std::nullopt;
    return hour * 60 + minute;
}

std::string FormatTimeOfDay(int minuteOfDay) {
    if (minuteOfDay < 0 || minuteOfDay >= kMinutesPerDay)
        return {};
    const int hour = minuteOfDay / 60;
    const int minute = minuteOfDay % 60;
    return {static_cast<char>('0' + hour / 10), static_cast<char>('0' + hour % 10), ':',
            static_cast<char>('0' + minute / 10), static_cast<char>('0' + minute % 10)};
}
