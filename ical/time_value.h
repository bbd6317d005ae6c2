#pragma once

#include "ical/civil_time.h"
#include "ical/content_line.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace ical {

// The four forms of a DATE or DATE-TIME value (RFC 5545 section 3.3.5).
enum class TimeForm {
    Date,     // 20020507: a whole day
    Floating, // 20020507T090000: that wall-clock time wherever the reader is
    Utc,      // 20020507T090000Z
    Zoned,    // TZID=...:20020507T090000: wall-clock time in a named zone
};

struct TimeValue {
    TimeForm form = TimeForm::Date;
    LocalDateTime wall; // as written; midnight for a DATE
    std::string tzid;   // for Zoned

    bool IsDate() const { return form == TimeForm::Date; }
};

// One DATE or DATE-TIME text. A DATE needs exactly eight digits; a
// DATE-TIME eight digits, "T", six digits and an optional "Z". The fields
// must name a real date of years 1 to 9999 and a real time of day (a leap
// second reads as :59). `wantDate` is VALUE=DATE: only a DATE is then taken.
// Without it either form is taken, as most writers leave VALUE out.
bool ParseTimeText(std::string_view text, bool wantDate, TimeValue& value);

// A DTSTART-like property: its VALUE and TZID parameters and its text. On
// failure `why` says what is wrong.
bool ParseTimeProperty(const ContentLine& property, TimeValue& value, std::string& why);

// EXDATE and RDATE: a comma-separated list of one form.
bool ParseTimeListProperty(const ContentLine& property, std::vector<TimeValue>& values,
                           std::string& why);

// A DURATION (RFC 5545 section 3.3.6): [+|-]P, then weeks, or days and a
// time part. Kept apart, because a day is a calendar day, not 86400 s.
struct Duration {
    bool negative = false;
    std::int64_t days = 0;
    std::int64_t seconds = 0;
};
bool ParseDuration(std::string_view text, Duration& duration);

// DATE or DATE-TIME text as written, e.g. "20020507" or "20020507T090000Z".
std::string FormatDate(const CalendarDate& date);
std::string FormatUtcTime(std::int64_t utcSeconds);

} // namespace ical
