#pragma once

#include "calendar/date_text.h"

// Where today lies against an appointment's FROM..TO range.
enum class RangeState {
    Unreadable, // FROM or TO is not a date
    Current,    // FROM <= today <= TO
    Ended,      // TO lies before today
    Upcoming,   // not current and not ended: starts later, or an empty range
};

// Where `today` lies against FROM..TO, both ends included, in calendar order.
RangeState ClassifyRange(const char* from, const char* to, const CalendarDate& today);
