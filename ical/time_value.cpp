#include "ical/time_value.h"

#include "ical/ical_text.h"

#include <cstdio>

namespace ical {

namespace {

bool ReadDigits(std::string_view text, std::size_t at, std::size_t count, int& value) {
    if (at + count > text.size())
        return false;
    value = 0;
    for (std::size_t i = at; i < at + count; ++i) {
        if (text[i] < '0' || text[i] > '9')
            return false;
        value = value * 10 + (text[i] - '0');
    }
    return true;
}

} // namespace

bool ParseTimeText(std::string_view text, bool wantDate, TimeValue& value) {
    CalendarDate date;
    if (!ReadDigits(text, 0, 4, date.year) || !ReadDigits(text, 4, 2, date.month) ||
        !ReadDigits(text, 6, 2, date.day) || !IsValidDate(date))
        return false;
    if (text.size() == 8) {
        value.form = TimeForm::Date;
        value.wall = {date, 0};
        return true;
    }
    if (wantDate)
        return false;
    int hour, minute, second;
    if (text.size() < 15 || text[8] != 'T' || !ReadDigits(text, 9, 2, hour) ||
        !ReadDigits(text, 11, 2, minute) || !ReadDigits(text, 13, 2, second))
        return false;
    if (hour > 23 || minute > 59 || second > 60)
        return false;
    if (second == 60)
        second = 59;
    if (text.size() == 16 && text[15] == 'Z')
        value.form = TimeForm::Utc;
    else if (text.size() == 15)
        value.form = TimeForm::Floating;
    else
        return false;
    value.wall = {date, hour * 3600 + minute * 60 + second};
    return true;
}

namespace {

// VALUE=DATE asks for a date; VALUE=DATE-TIME (or none) takes either form.
bool ReadForm(const ContentLine& property, bool& wantDate, std::string& why) {
    wantDate = false;
    if (const std::string* type = property.Parameter("VALUE")) {
        const std::string upper = UpperAscii(*type);
        if (upper == "DATE")
            wantDate = true;
        else if (upper != "DATE-TIME") {
            why = property.name + " has VALUE=" + *type + ", which is neither DATE nor DATE-TIME";
            return false;
        }
    }
    return true;
}

bool ParseOne(const ContentLine& property, std::string_view text, bool wantDate, TimeValue& value,
              std::string& why) {
    if (!ParseTimeText(text, wantDate, value)) {
        why = property.name + " " + QuoteForMessage(text) + " is not a " +
              (wantDate ? "date" : "date or date-time") + " of years 1 to 9999";
        return false;
    }
    value.tzid.clear();
    if (value.form == TimeForm::Floating) {
        if (const std::string* tzid = property.Parameter("TZID")) {
            value.form = TimeForm::Zoned;
            value.tzid = *tzid;
        }
    }
    return true;
}

} // namespace

bool ParseTimeProperty(const ContentLine& property, TimeValue& value, std::string& why) {
    bool wantDate;
    return ReadForm(property, wantDate, why) &&
           ParseOne(property, property.value, wantDate, value, why);
}

bool ParseTimeListProperty(const ContentLine& property, std::vector<TimeValue>& values,
                           std::string& why) {
    bool wantDate;
    if (!ReadForm(property, wantDate, why))
        return false;
    std::string_view rest = property.value;
    while (true) {
        const std::size_t comma = rest.find(',');
        TimeValue value;
        if (!ParseOne(property, rest.substr(0, comma), wantDate, value, why))
            return false;
        values.push_back(value);
        if (comma == std::string_view::npos)
            return true;
        rest.remove_prefix(comma + 1);
    }
}

bool ParseDuration(std::string_view text, Duration& duration) {
    duration = Duration{};
    std::size_t i = 0;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        duration.negative = text[i++] == '-';
    if (i >= text.size() || text[i++] != 'P')
        return false;
    bool inTime = false, any = false, weeks = false;
    while (i < text.size()) {
        if (text[i] == 'T' && !inTime) {
            inTime = true;
            ++i;
            continue;
        }
        // Nine digits at most: 27 million years is far past any date.
        std::int64_t number = 0;
        int digits = 0;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
            if (++digits > 9)
                return false;
            number = number * 10 + (text[i++] - '0');
        }
        if (digits == 0 || i == text.size())
            return false;
        const char unit = text[i++];
        if (!inTime && unit == 'W' && !any) {
            duration.days = number * 7;
            weeks = true;
        } else if (!inTime && unit == 'D' && !weeks) {
            duration.days = number;
        } else if (inTime && (unit == 'H' || unit == 'M' || unit == 'S') && !weeks) {
            duration.seconds += number * (unit == 'H' ? 3600 : unit == 'M' ? 60 : 1);
        } else {
            return false;
        }
        any = true;
    }
    return any;
}

std::string FormatDate(const CalendarDate& date) {
    char text[16];
    std::snprintf(text, sizeof text, "%04d%02d%02d", date.year, date.month, date.day);
    return text;
}

std::string FormatUtcTime(std::int64_t utcSeconds) {
    const LocalDateTime time = WallTimeOf(utcSeconds);
    char text[32];
    std::snprintf(text, sizeof text, "%sT%02d%02d%02dZ", FormatDate(time.date).c_str(),
                  time.seconds / 3600, time.seconds / 60 % 60, time.seconds % 60);
    return text;
}

} // namespace ical
