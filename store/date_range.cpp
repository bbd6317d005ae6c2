#include "store/date_range.h"

RangeState ClassifyRange(const char* from, const char* to, const CalendarDate& today) {
    CalendarDate first, last;
    if (!ParseDateText(from, first) || !ParseDateText(to, last))
        return RangeState::Unreadable;
    if (CompareDates(last, today) < 0)
        return RangeState::Ended;
    if (CompareDates(first, today) <= 0)
        return RangeState::Current;
    return RangeState::Upcoming;
}
