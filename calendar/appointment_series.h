#pragma once

#include "calendar/date_text.h"

#include <cstddef>
#include <string>
#include <vector>

// How an appointment repeats, beside its FROM..TO (its first occurrence):
// the values stored as REPEAT, SKIP DATES and UID (store/series_values.h),
// shared by the store, iCalendar and the windows. No system header.

// What the stored REPEAT says.
enum class RepeatKind {
    None,       // no rule: the appointment happens once, on FROM..TO
    Rule,       // a rule of the set appointments repeat by (ical/series.h)
    Unfollowed, // a rule outside that set, or a value that cannot be read:
                // the appointment happens once on FROM..TO, and the stored
                // value is kept as it is, never rewritten or deleted for it
};

// The most skipped occurrences an appointment keeps; more are not read.
inline constexpr std::size_t kMaxSkipDates = 1000;

struct SeriesValues {
    RepeatKind repeatKind = RepeatKind::None;
    // The RRULE value as stored ("FREQ=WEEKLY;BYDAY=TU,TH"); for an
    // unfollowed rule, its text when it could be read.
    std::string repeat;
    // Occurrences removed one by one, by their first day: ascending, each
    // date once.
    std::vector<CalendarDate> skipDates;
    // The UID of an imported or synced event; "": none.
    std::string uid;

    bool Repeats() const { return repeatKind == RepeatKind::Rule; }

    friend bool operator==(const SeriesValues&, const SeriesValues&) = default;
};
