#include "ical/time_zone_table.h"

#include "ical/rule_occurrences.h"
#include "ical/time_value.h"

#include <algorithm>

namespace ical {

bool ParseUtcOffset(const std::string& text, int& seconds) {
    if ((text.size() != 5 && text.size() != 7) || (text[0] != '+' && text[0] != '-'))
        return false;
    int fields[3] = {0, 0, 0};
    for (std::size_t i = 1; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9')
            return false;
        int& field = fields[(i - 1) / 2];
        field = field * 10 + (text[i] - '0');
    }
    if (fields[0] > 23 || fields[1] > 59 || fields[2] > 59)
        return false;
    seconds = fields[0] * 3600 + fields[1] * 60 + fields[2];
    if (text[0] == '-')
        seconds = -seconds;
    return true;
}

namespace {

bool ReadOffset(const ComponentRecord& record, const char* name, int& seconds) {
    const ContentLine* property = record.Find(name);
    return property != nullptr && ParseUtcOffset(property->value, seconds);
}

} // namespace

TimeZoneTable::TimeZoneTable(const std::vector<TimeZoneRecord>& zones) {
    for (const TimeZoneRecord& record : zones) {
        if (record.tzid.empty() || m_zones.count(record.tzid) != 0)
            continue; // the first definition of a TZID holds
        Zone zone;
        zone.line = record.line;
        std::vector<Observance> observances;
        for (const ComponentRecord& part : record.observances) {
            Observance observance;
            TimeValue start;
            std::string why;
            const ContentLine* dtstart = part.Find("DTSTART");
            if (dtstart == nullptr || !ParseTimeProperty(*dtstart, start, why) ||
                !ReadOffset(part, "TZOFFSETFROM", observance.offsetFrom) ||
                !ReadOffset(part, "TZOFFSETTO", observance.offsetTo)) {
                zone.broken = true;
                break;
            }
            observance.start = start.wall;
            if (const ContentLine* rrule = part.Find("RRULE")) {
                TimeValue until;
                if (!ParseRecurrenceRule(rrule->value, observance.rule, why) ||
                    (!observance.rule.until.empty() &&
                     !ParseTimeText(observance.rule.until, false, until))) {
                    zone.broken = true;
                    break;
                }
                observance.hasRule = true;
            }
            for (const ContentLine& property : part.properties) {
                if (property.name != "RDATE")
                    continue;
                std::vector<TimeValue> dates;
                if (!ParseTimeListProperty(property, dates, why)) {
                    zone.broken = true;
                    break;
                }
                for (const TimeValue& date : dates)
                    observance.extraStarts.push_back(date.wall);
            }
            if (zone.broken)
                break;
            observances.push_back(std::move(observance));
        }
        if (observances.empty())
            zone.broken = true;
        if (!zone.broken) {
            const Observance* first = &observances.front();
            for (Observance& observance : observances) {
                const auto onset = [&](const LocalDateTime& wall) {
                    return FixedOnset{WallSeconds(wall),
                                      {WallSeconds(wall) - observance.offsetFrom,
                                       observance.offsetFrom, observance.offsetTo}};
                };
                if (!observance.hasRule)
                    zone.starts.push_back(onset(observance.start));
                for (const LocalDateTime& extra : observance.extraStarts)
                    zone.extras.push_back(onset(extra));
                if (WallSeconds(observance.start) < WallSeconds(first->start))
                    first = &observance;
            }
            zone.beforeAll = {WallSeconds(first->start), first->offsetFrom, first->offsetFrom};
            for (Observance& observance : observances)
                if (observance.hasRule)
                    zone.rules.push_back(std::move(observance));
            const auto byWall = [](const FixedOnset& a, const FixedOnset& b) {
                return a.wall < b.wall;
            };
            std::sort(zone.starts.begin(), zone.starts.end(), byWall);
            std::sort(zone.extras.begin(), zone.extras.end(), byWall);
        }
        m_zones.emplace(record.tzid, std::move(zone));
    }
}

const TimeZoneTable::Zone* TimeZoneTable::Find(const std::string& tzid) const {
    const auto found = m_zones.find(tzid);
    return found == m_zones.end() || found->second.broken ? nullptr : &found->second;
}

bool TimeZoneTable::Knows(const std::string& tzid) const {
    return Find(tzid) != nullptr;
}

int TimeZoneTable::BrokenLine(const std::string& tzid) const {
    const auto found = m_zones.find(tzid);
    return found != m_zones.end() && found->second.broken ? found->second.line : 0;
}

// Every change of offset in the years year-1 to year+1, in UTC order. A
// change happens at its wall-clock time in the offset before it.
const std::vector<TimeZoneTable::Onset>& TimeZoneTable::OnsetsAround(const Zone& zone, int year,
                                                                     WorkBudget* budget) {
    const auto cached = zone.onsetsByYear.find(year);
    if (cached != zone.onsetsByYear.end())
        return cached->second;
    // Without a budget of the caller's, a zone's year is still bounded.
    WorkBudget own(200000);
    WorkBudget& work = budget != nullptr ? *budget : own;
    std::vector<Onset> onsets;
    const CalendarDate low{std::max(1, year - 1), 1, 1};
    const CalendarDate high{std::min(9999, year + 1), 12, 31};
    const std::int64_t lowWall = WallSeconds({low, 0});
    const std::int64_t highWall = WallSeconds({high, 86399});
    const auto within = [&](const std::vector<FixedOnset>& fixed) {
        const auto begin =
            std::lower_bound(fixed.begin(), fixed.end(), lowWall,
                             [](const FixedOnset& f, std::int64_t wall) { return f.wall < wall; });
        const auto end =
            std::upper_bound(begin, fixed.end(), highWall,
                             [](std::int64_t wall, const FixedOnset& f) { return wall < f.wall; });
        for (auto it = begin; it != end; ++it)
            onsets.push_back(it->onset);
        return begin;
    };
    // An observance's first change counts even when it is long ago, as the
    // offset in force since then; of those, the latest decides.
    const auto firstInRange = within(zone.starts);
    if (firstInRange != zone.starts.begin())
        onsets.push_back(std::prev(firstInRange)->onset);
    within(zone.extras);
    work.Spend(2 + static_cast<std::int64_t>(onsets.size()));
    for (const Observance& observance : zone.rules) {
        if (!work.Spend())
            break;
        const auto add = [&](const LocalDateTime& wall) {
            if (CompareDates(wall.date, low) >= 0 && CompareDates(wall.date, high) <= 0)
                onsets.push_back({WallSeconds(wall) - observance.offsetFrom, observance.offsetFrom,
                                  observance.offsetTo});
        };
        LocalDateTime start = observance.start;
        // A rule asked about years before its start (Apple writes
        // DTSTART:20070311T020000 for the rules in force since 2007) is
        // taken as having held then too, as other readers do.
        if (CompareDates(observance.start.date, high) > 0) {
            if (observance.rule.frequency != Frequency::Yearly)
                continue;
            start.date = {low.year, observance.start.date.month,
                          std::min(observance.start.date.day,
                                   DaysInMonth(low.year, observance.start.date.month))};
        }
        std::optional<LocalDateTime> until;
        TimeValue untilValue;
        if (!observance.rule.until.empty() &&
            ParseTimeText(observance.rule.until, false, untilValue)) {
            std::int64_t seconds = WallSeconds(untilValue.wall);
            if (untilValue.form == TimeForm::Utc)
                seconds += observance.offsetFrom;
            until = WallTimeOf(seconds);
        }
        RuleOccurrences(observance.rule, start, until).Between(low, high, work, add);
    }
    work.Spend(static_cast<std::int64_t>(onsets.size()));
    std::sort(onsets.begin(), onsets.end(),
              [](const Onset& a, const Onset& b) { return a.utc < b.utc; });
    if (onsets.empty())
        onsets.push_back(zone.beforeAll); // years before the zone's first change
    if (work.Exhausted()) {
        zone.unfinished = std::move(onsets);
        return zone.unfinished;
    }
    return zone.onsetsByYear.emplace(year, std::move(onsets)).first->second;
}

// The offset after the last change at or before `utc`; before the first, the
// offset that change left.
int TimeZoneTable::OffsetAt(const std::vector<Onset>& onsets, std::int64_t utc) {
    if (onsets.empty())
        return 0;
    const auto after = std::upper_bound(onsets.begin(), onsets.end(), utc,
                                        [](std::int64_t t, const Onset& o) { return t < o.utc; });
    if (after == onsets.begin())
        return onsets.front().offsetFrom;
    return std::prev(after)->offsetTo;
}

bool TimeZoneTable::ToUtc(const std::string& tzid, const LocalDateTime& wall, std::int64_t& utc,
                          WorkBudget* budget) const {
    const Zone* zone = Find(tzid);
    if (zone == nullptr)
        return false;
    const std::vector<Onset>& onsets = OnsetsAround(*zone, wall.date.year, budget);
    const std::int64_t seconds = WallSeconds(wall);
    // Skipped by a change that puts the clocks forward: read with the offset
    // in force just before it.
    for (const Onset& onset : onsets)
        if (onset.offsetTo > onset.offsetFrom && seconds >= onset.utc + onset.offsetFrom &&
            seconds < onset.utc + onset.offsetTo) {
            utc = seconds - onset.offsetFrom;
            return true;
        }
    // Otherwise the offsets the zone has are tried; the first that maps back
    // to itself wins, the larger offset first, so a repeated hour gives its
    // first instant.
    std::vector<int> offsets;
    for (const Onset& onset : onsets) {
        offsets.push_back(onset.offsetFrom);
        offsets.push_back(onset.offsetTo);
    }
    std::sort(offsets.begin(), offsets.end(), std::greater<int>());
    for (const int offset : offsets) {
        if (OffsetAt(onsets, seconds - offset) == offset) {
            utc = seconds - offset;
            return true;
        }
    }
    utc = seconds - (offsets.empty() ? 0 : offsets.back());
    return true;
}

bool TimeZoneTable::ToWall(const std::string& tzid, std::int64_t utc, LocalDateTime& wall,
                           WorkBudget* budget) const {
    const Zone* zone = Find(tzid);
    if (zone == nullptr)
        return false;
    const LocalDateTime guess = WallTimeOf(utc);
    wall = WallTimeOf(utc + OffsetAt(OnsetsAround(*zone, guess.date.year, budget), utc));
    return true;
}

} // namespace ical
