#pragma once

#include "store/date_text.h"

// Where today lies against an appointment's FROM..TO range.
enum class RangeState {
    Unreadable, // FROM or TO is not a date
    Current,    // FROM <= today <= TO
    Ended,      // TO lies before today
    Upcoming,   // not current and not ended: starts later, or an empty range
};

RangeState ClassifyRange(const char* from, const char* to, const CalendarDate& today);

// The range test the reminder scan asks: is today within FROM..TO, both ends
// included, in calendar order.
class CDateRangeTest {
public:
    virtual ~CDateRangeTest() = default;

    // 1 when today's local date lies within the range, else 0 (also when a
    // date text cannot be read).
    int IsTodayInRange(const char* from, const char* to) const;
};
