#include "store/date_range_test.h"

#include "framework/clock.h"

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

int CDateRangeTest::IsTodayInRange(const char* from, const char* to) const {
    return ClassifyRange(from, to, DateOf(fw::LocalNow())) == RangeState::Current ? 1 : 0;
}
