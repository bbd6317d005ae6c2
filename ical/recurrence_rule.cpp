#include "ical/recurrence_rule.h"

#include "ical/ical_text.h"

#include <algorithm>

namespace ical {

namespace {

constexpr const char* kWeekdayCodes[7] = {"MO", "TU", "WE", "TH", "FR", "SA", "SU"};

// A signed decimal of at most `maxDigits` digits filling the whole text.
bool ReadInteger(std::string_view text, int maxDigits, std::int64_t& value, bool allowSign) {
    std::size_t i = 0;
    bool negative = false;
    if (allowSign && !text.empty() && (text[0] == '+' || text[0] == '-')) {
        negative = text[0] == '-';
        ++i;
    }
    if (i == text.size() || static_cast<int>(text.size() - i) > maxDigits)
        return false;
    value = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9')
            return false;
        value = value * 10 + (text[i] - '0');
    }
    if (negative)
        value = -value;
    return true;
}

int WeekdayOfCode(std::string_view code) {
    for (int i = 0; i < 7; ++i)
        if (code == kWeekdayCodes[i])
            return i;
    return -1;
}

std::vector<std::string_view> SplitOn(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    while (true) {
        const std::size_t at = text.find(separator);
        parts.push_back(text.substr(0, at));
        if (at == std::string_view::npos)
            return parts;
        text.remove_prefix(at + 1);
    }
}

bool ParseIntegerList(std::string_view value, int low, int high, bool allowNegative,
                      std::vector<int>& list) {
    for (std::string_view item : SplitOn(value, ',')) {
        std::int64_t number;
        if (!ReadInteger(item, 2, number, allowNegative))
            return false;
        const std::int64_t magnitude = number < 0 ? -number : number;
        if (magnitude < low || magnitude > high)
            return false;
        list.push_back(static_cast<int>(number));
    }
    return true;
}

} // namespace

bool ParseRecurrenceRule(std::string_view text, RecurrenceRule& rule, std::string& why) {
    rule = RecurrenceRule{};
    const std::string upper = UpperAscii(text);
    bool sawFrequency = false;
    for (std::string_view part : SplitOn(upper, ';')) {
        if (part.empty())
            continue; // a trailing ';' is common
        const std::size_t equals = part.find('=');
        if (equals == std::string_view::npos) {
            why = "RRULE part " + QuoteForMessage(part) + " has no '='";
            return false;
        }
        const std::string_view name = part.substr(0, equals);
        const std::string_view value = part.substr(equals + 1);
        const auto bad = [&] {
            why = "RRULE " + std::string(name) + "=" + QuoteForMessage(value) + " is malformed";
            return false;
        };
        if (name == "FREQ") {
            sawFrequency = true;
            if (value == "DAILY")
                rule.frequency = Frequency::Daily;
            else if (value == "WEEKLY")
                rule.frequency = Frequency::Weekly;
            else if (value == "MONTHLY")
                rule.frequency = Frequency::Monthly;
            else if (value == "YEARLY")
                rule.frequency = Frequency::Yearly;
            else {
                why = "RRULE FREQ=" + std::string(value) +
                      " is not taken: appointments repeat by whole days";
                return false;
            }
        } else if (name == "INTERVAL") {
            std::int64_t interval;
            if (!ReadInteger(value, 6, interval, false) || interval < 1)
                return bad();
            rule.interval = static_cast<int>(interval);
        } else if (name == "COUNT") {
            if (!ReadInteger(value, 9, rule.count, false) || rule.count < 1)
                return bad();
        } else if (name == "UNTIL") {
            if (value.empty())
                return bad();
            rule.until = std::string(value);
        } else if (name == "BYDAY") {
            for (std::string_view item : SplitOn(value, ',')) {
                if (item.size() < 2)
                    return bad();
                WeekdayEntry entry;
                entry.weekday = WeekdayOfCode(item.substr(item.size() - 2));
                if (entry.weekday < 0)
                    return bad();
                const std::string_view ordinal = item.substr(0, item.size() - 2);
                if (!ordinal.empty()) {
                    std::int64_t number;
                    if (!ReadInteger(ordinal, 2, number, true) || number == 0 || number > 53 ||
                        number < -53)
                        return bad();
                    entry.ordinal = static_cast<int>(number);
                }
                rule.byDay.push_back(entry);
            }
        } else if (name == "BYMONTHDAY") {
            if (!ParseIntegerList(value, 1, 31, true, rule.byMonthDay))
                return bad();
        } else if (name == "BYMONTH") {
            if (!ParseIntegerList(value, 1, 12, false, rule.byMonth))
                return bad();
        } else if (name == "WKST") {
            rule.weekStart = WeekdayOfCode(value);
            if (rule.weekStart < 0)
                return bad();
        } else {
            why =
                "RRULE " + std::string(name) + " is not taken; the event would have to be guessed";
            return false;
        }
    }
    if (!sawFrequency) {
        why = "RRULE has no FREQ";
        return false;
    }
    const bool ordinals = std::any_of(rule.byDay.begin(), rule.byDay.end(),
                                      [](const WeekdayEntry& e) { return e.ordinal != 0; });
    if (ordinals && (rule.frequency == Frequency::Daily || rule.frequency == Frequency::Weekly)) {
        why = "RRULE BYDAY with a number is for MONTHLY and YEARLY rules only";
        return false;
    }
    if (ordinals && rule.frequency == Frequency::Yearly && rule.byMonth.empty() &&
        !rule.byMonthDay.empty()) {
        why = "RRULE BYDAY with a number and BYMONTHDAY need a BYMONTH in a YEARLY rule";
        return false;
    }
    if (!rule.byMonthDay.empty() && rule.frequency == Frequency::Weekly) {
        why = "RRULE BYMONTHDAY is not taken in a WEEKLY rule";
        return false;
    }
    std::sort(rule.byMonth.begin(), rule.byMonth.end());
    return true;
}

} // namespace ical
