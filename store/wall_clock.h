#pragma once

#include "calendar/date_text.h"

#include <cstdint>
#include <string>

// The wall clocks of time zones, seen from UTC. Instants are seconds from
// 1970-1-1 00:00:00 UTC. A zone is named by its IANA name ("Europe/Berlin");
// "" is the computer's own zone, whatever it is at the time of the call. No
// system header, so what is built on it is checked natively with a clock of
// fixed rules; store/zone_clock.h answers from Windows' rules.
class IWallClock {
public:
    // The instant at which the wall clock of `zone` shows `minuteOfDay`
    // (0 to 1439) on `date` (years 1 to 9999). A time that a change of the
    // clocks skips (02:30 on the night they go from 02:00 to 03:00) gives the
    // first instant after the gap, the change itself (03:00); a time that
    // happens twice (01:30 on the night they go back) gives the first. A
    // zone the clock does not know counts as the computer's.
    virtual std::int64_t ToUtc(const CalendarDate& date, int minuteOfDay,
                               const std::string& zone) const = 0;

    // The date the computer's wall clock shows at an instant.
    virtual CalendarDate LocalDate(std::int64_t utc) const = 0;

protected:
    ~IWallClock() = default;
};
