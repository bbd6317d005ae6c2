#pragma once

#include "ical/calendar_file.h"
#include "ical/civil_time.h"
#include "ical/recurrence_rule.h"
#include "ical/work_budget.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace ical {

// The VTIMEZONEs of one file: for each TZID, the UTC offset in force at any
// instant, from its STANDARD and DAYLIGHT observances (DTSTART,
// TZOFFSETFROM, TZOFFSETTO, and a yearly RRULE or RDATEs).
class TimeZoneTable {
public:
    explicit TimeZoneTable(const std::vector<TimeZoneRecord>& zones);

    // Whether the file defines this TZID with observances that could be read.
    bool Knows(const std::string& tzid) const;

    // The zone's VTIMEZONE line when it is defined but could not be read, or 0.
    int BrokenLine(const std::string& tzid) const;

    // The instant of a wall-clock time in the zone. A time that a change
    // skips (02:30 on the night the clocks go forward) takes the offset
    // from before the change, as RFC 5545 says, so it comes out as the time
    // that far after the change (03:30); one that happens twice, the first.
    // False when the zone is unknown. The work of finding a year's changes
    // is spent from `budget` when one is given; when it runs out the answer
    // may be wrong, and the caller must not use it.
    bool ToUtc(const std::string& tzid, const LocalDateTime& wall, std::int64_t& utc,
               WorkBudget* budget = nullptr) const;

    // The zone's wall-clock time at an instant; false when the zone is unknown.
    bool ToWall(const std::string& tzid, std::int64_t utc, LocalDateTime& wall,
                WorkBudget* budget = nullptr) const;

private:
    struct Observance {
        LocalDateTime start;
        int offsetFrom = 0; // seconds east of UTC
        int offsetTo = 0;
        bool hasRule = false;
        RecurrenceRule rule;
        std::vector<LocalDateTime> extraStarts; // RDATE
    };
    struct Onset {
        std::int64_t utc;
        int offsetFrom;
        int offsetTo;
    };
    // A change that no rule repeats, by its wall-clock time.
    struct FixedOnset {
        std::int64_t wall;
        Onset onset;
    };
    struct Zone {
        int line = 0;
        bool broken = false;
        std::vector<Observance> rules; // the observances with an RRULE
        // The first changes of the observances without one, and every RDATE,
        // in wall-clock order: a year's are found by search, so that a zone
        // written with its whole history costs no more a year than a short one.
        std::vector<FixedOnset> starts;
        std::vector<FixedOnset> extras;
        Onset beforeAll{}; // the offset before the earliest change
        // Onsets of the years around each year asked for, sorted; those
        // that ran out of budget are not kept.
        mutable std::map<int, std::vector<Onset>> onsetsByYear;
        mutable std::vector<Onset> unfinished;
    };

    const Zone* Find(const std::string& tzid) const;
    static const std::vector<Onset>& OnsetsAround(const Zone& zone, int year, WorkBudget* budget);
    static int OffsetAt(const std::vector<Onset>& onsets, std::int64_t utc);

    std::map<std::string, Zone> m_zones;
};

// A UTC offset as TZOFFSETFROM and TZOFFSETTO write it: +HHMM or -HHMMSS.
bool ParseUtcOffset(const std::string& text, int& seconds);

} // namespace ical
