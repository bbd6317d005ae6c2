#include "sync/retry_policy.h"

#include <cctype>
#include <string>
#include <vector>

namespace caldav {

namespace {

// Days since 1970-01-01 of a proleptic Gregorian date.
std::int64_t DaysFromCivil(std::int64_t y, int m, int d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const std::int64_t yoe = y - era * 400;
    const std::int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

bool ReadNumber(std::string_view text, std::int64_t& value) {
    if (text.empty() || text.size() > 12)
        return false;
    value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + (c - '0');
    }
    return true;
}

int MonthNumber(std::string_view name) {
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    for (int i = 0; i < 12; ++i)
        if (name == kMonths[i])
            return i + 1;
    return 0;
}

std::vector<std::string_view> Words(std::string_view text) {
    std::vector<std::string_view> words;
    std::size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && (text[i] == ' ' || text[i] == ','))
            ++i;
        const std::size_t start = i;
        while (i < text.size() && text[i] != ' ' && text[i] != ',')
            ++i;
        if (i > start)
            words.push_back(text.substr(start, i - start));
    }
    return words;
}

bool ReadTime(std::string_view text, std::int64_t& seconds) {
    std::int64_t h, m, s;
    if (text.size() != 8 || text[2] != ':' || text[5] != ':' || !ReadNumber(text.substr(0, 2), h) ||
        !ReadNumber(text.substr(3, 2), m) || !ReadNumber(text.substr(6, 2), s) || h > 23 ||
        m > 59 || s > 60)
        return false;
    seconds = h * 3600 + m * 60 + s;
    return true;
}

} // namespace

bool ParseHttpDate(std::string_view text, std::int64_t& unixSeconds) {
    const std::vector<std::string_view> w = Words(text);
    std::int64_t day, year, time;
    int month;
    if (w.size() == 6 && w[5] == "GMT") {
        // Sun, 06 Nov 1994 08:49:37 GMT
        month = MonthNumber(w[2]);
        if (!ReadNumber(w[1], day) || !ReadNumber(w[3], year) || !ReadTime(w[4], time))
            return false;
    } else if (w.size() == 4 && w[3] == "GMT") {
        // Sunday, 06-Nov-94 08:49:37 GMT
        const std::string_view date = w[1];
        if (date.size() != 9 || date[2] != '-' || date[6] != '-')
            return false;
        month = MonthNumber(date.substr(3, 3));
        if (!ReadNumber(date.substr(0, 2), day) || !ReadNumber(date.substr(7, 2), year) ||
            !ReadTime(w[2], time))
            return false;
        year += year < 70 ? 2000 : 1900;
    } else if (w.size() == 5) {
        // Sun Nov  6 08:49:37 1994
        month = MonthNumber(w[1]);
        if (!ReadNumber(w[2], day) || !ReadNumber(w[4], year) || !ReadTime(w[3], time))
            return false;
    } else {
        return false;
    }
    if (month == 0 || day < 1 || day > 31 || year < 1970 || year > 9999)
        return false;
    unixSeconds = DaysFromCivil(year, month, static_cast<int>(day)) * 86400 + time;
    return true;
}

bool ParseRetryAfter(std::string_view value, std::int64_t nowUnixSeconds, std::int64_t& seconds) {
    while (!value.empty() && value.front() == ' ')
        value.remove_prefix(1);
    while (!value.empty() && value.back() == ' ')
        value.remove_suffix(1);
    if (ReadNumber(value, seconds))
        return true;
    std::int64_t when;
    if (!ParseHttpDate(value, when))
        return false;
    seconds = when > nowUnixSeconds ? when - nowUnixSeconds : 0;
    return true;
}

} // namespace caldav
