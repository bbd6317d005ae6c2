#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace ical {

enum class Frequency { Daily, Weekly, Monthly, Yearly };

// One BYDAY entry: a weekday (0 = Monday), and for MONTHLY and YEARLY rules
// an optional ordinal (2SU, -1FR); 0 means every such weekday.
struct WeekdayEntry {
    int ordinal = 0;
    int weekday = 0;
};

// The part of RFC 5545's RRULE that calendars use for dated events. Parts
// that would need guessing here (BYSETPOS, BYWEEKNO, BYYEARDAY, times of day,
// sub-daily frequencies) are refused by the parser.
struct RecurrenceRule {
    Frequency frequency = Frequency::Daily;
    int interval = 1;
    std::int64_t count = 0; // 0: no COUNT
    std::string until;      // the UNTIL text as written; empty: none
    std::vector<WeekdayEntry> byDay;
    std::vector<int> byMonthDay; // -31..-1, 1..31
    std::vector<int> byMonth;    // 1..12
    int weekStart = 0;           // WKST, 0 = Monday
};

// On failure `why` names the part that is refused or malformed.
bool ParseRecurrenceRule(std::string_view text, RecurrenceRule& rule, std::string& why);

} // namespace ical
