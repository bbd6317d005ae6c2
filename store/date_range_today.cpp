#include "store/date_range_test.h"

#include "framework/clock.h"
#include "store/system_time.h"

// Apart from the classification, so that stays free of the system clock.
int CDateRangeTest::IsTodayInRange(const char* from, const char* to) const {
    return ClassifyRange(from, to, DateOf(fw::LocalNow())) == RangeState::Current ? 1 : 0;
}
