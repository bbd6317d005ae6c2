// The alert schedule on clocks of any rules Windows can state: a zone made
// of fuzzed TIME_ZONE_INFORMATION fields (offsets of real zones' size),
// appointments of any range, time and reminder, and the questions the
// program asks it. Checked against alerts worked out day by day, and the
// stored state against its decoders.

#include "fuzz/fuzz_check.h"
#include "ical/civil_time.h"
#include "ical/windows_zone_rules.h"
#include "tray/alert_schedule.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace {

// The computer's zone keeps `rules` every year; "UTC" is UTC.
class RulesClock final : public IWallClock {
public:
    explicit RulesClock(const ical::WindowsZoneRules& rules) : m_rules(rules) {}

    std::int64_t ToUtc(const CalendarDate& date, int minuteOfDay,
                       const std::string& zone) const override {
        const std::int64_t wall = ical::WallSeconds({date, minuteOfDay * 60});
        return zone == "UTC" ? wall : Timeline(date.year).ToUtc(wall);
    }
    CalendarDate LocalDate(std::int64_t utc) const override {
        return ical::WallTimeOf(Timeline(ical::WallTimeOf(utc).date.year).ToWall(utc)).date;
    }
    const ical::ZoneTimeline& Timeline(int year) const {
        auto found = m_timelines.find(year);
        if (found == m_timelines.end())
            found =
                m_timelines.emplace(year, ical::ZoneTimeline(year - 1, {m_rules, m_rules, m_rules}))
                    .first;
        return found->second;
    }

private:
    ical::WindowsZoneRules m_rules;
    mutable std::map<int, ical::ZoneTimeline> m_timelines;
};

ical::ZoneChangeDate ChangeDate(FuzzedDataProvider& input) {
    ical::ZoneChangeDate date;
    date.year = input.ConsumeBool() ? 0 : input.ConsumeIntegralInRange(2020, 2040);
    date.month = input.ConsumeIntegralInRange(0, 13);
    date.dayOfWeek = input.ConsumeIntegralInRange(0, 7);
    // Mostly a week of the month (1 to 5) in the yearly form, a day in the
    // dated one; now and then neither.
    date.day = input.ConsumeIntegralInRange(0, date.year == 0 ? 6 : 32);
    date.hour = input.ConsumeIntegralInRange(0, 24);
    date.minute = input.ConsumeIntegralInRange(0, 60);
    date.second = input.ConsumeIntegralInRange(0, 59);
    date.milliseconds = input.ConsumeBool() ? 999 : 0;
    return date;
}

// The wall clock only moves forward across the changes, and shows again
// what it skipped over nowhere.
void CheckTimeline(const RulesClock& clock, FuzzedDataProvider& input) {
    const ical::ZoneTimeline& timeline = clock.Timeline(input.ConsumeIntegralInRange(2021, 2039));
    for (const ical::ZoneChange& change : timeline.Changes()) {
        for (std::int64_t wall = change.utc - 4 * 3600; wall < change.utc + 4 * 3600; wall += 900) {
            const std::int64_t utc = timeline.ToUtc(wall);
            FUZZ_CHECK(timeline.ToUtc(wall + 900) >= utc);
            FUZZ_CHECK(timeline.ToWall(utc) >= wall);
            if (timeline.ToWall(utc) != wall)
                FUZZ_CHECK(std::any_of(timeline.Changes().begin(), timeline.Changes().end(),
                                       [&](const ical::ZoneChange& c) { return c.utc == utc; }));
        }
    }
}

// An entry's alert on each day, worked out from its definition.
std::optional<std::int64_t> AlertOnDay(const AlertEntry& entry, std::int64_t day,
                                       const IWallClock& clock) {
    const std::int64_t wall =
        day * 1440 + entry.minuteOfDay.value_or(0) - entry.remindBefore; // minutes
    const std::int64_t alertDay = wall >= 0 ? wall / 1440 : -((-wall + 1439) / 1440);
    if (alertDay < ical::DayNumber({1, 1, 1}))
        return std::nullopt;
    return clock.ToUtc(ical::DateOfDayNumber(alertDay), static_cast<int>(wall - alertDay * 1440),
                       entry.minuteOfDay ? entry.zone : "");
}

// The first alert after `after`, looking at days around it (alerts grow
// with the day, and lie at most a week and a day before their occurrence).
std::optional<std::int64_t> NextByHand(const std::vector<AlertEntry>& entries, std::int64_t after,
                                       const IWallClock& clock) {
    const std::int64_t around = ical::DayNumber(ical::WallTimeOf(after).date);
    std::optional<std::int64_t> best;
    for (const AlertEntry& entry : entries) {
        const std::int64_t first = ical::DayNumber(entry.from);
        const std::int64_t last = ical::DayNumber(entry.to);
        for (std::int64_t day = std::max(first, around - 3); day <= last && day <= around + 12;
             ++day) {
            const std::optional<std::int64_t> at = AlertOnDay(entry, day, clock);
            if (at && *at > after) {
                if (!best || *at < *best)
                    best = *at;
                break;
            }
        }
        if (first > around + 12) {
            const std::optional<std::int64_t> at = AlertOnDay(entry, first, clock);
            if (at && *at > after && (!best || *at < *best))
                best = *at;
        }
    }
    return best;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    ical::WindowsZoneRules rules;
    rules.bias = input.ConsumeIntegralInRange(-14 * 60, 12 * 60);
    rules.standardBias = input.ConsumeIntegralInRange(-60, 60);
    rules.daylightBias = input.ConsumeIntegralInRange(-120, 60);
    rules.standardDate = ChangeDate(input);
    rules.daylightDate = ChangeDate(input);
    const RulesClock clock(rules);
    CheckTimeline(clock, input);
    (void)ical::VTimeZoneLines("Fuzz/Zone", rules, 2020);

    const std::int64_t base = ical::WallSeconds({{2030, 1, 1}, 0});
    const std::int64_t now = base + input.ConsumeIntegralInRange<std::int64_t>(-400, 400) * 86400 +
                             input.ConsumeIntegralInRange(0, 86399);
    std::vector<AlertEntry> entries;
    const int count = input.ConsumeIntegralInRange(0, 8);
    for (int i = 0; i < count; ++i) {
        AlertEntry entry;
        entry.id = static_cast<std::uint64_t>(i) + 1;
        entry.from = ical::DateOfDayNumber(ical::DayNumber(ical::WallTimeOf(now).date) +
                                           input.ConsumeIntegralInRange(-20, 20));
        const int length = input.ConsumeIntegralInRange(0, 40);
        entry.to = length == 40 ? CalendarDate{9999, 12, 31} : ical::AddDays(entry.from, length);
        if (input.ConsumeBool())
            entry.from = {1, 1, 1};
        const int minute = input.ConsumeIntegralInRange(-1, 1440);
        if (minute >= 0 && minute < 1440)
            entry.minuteOfDay = minute;
        entry.remindBefore = input.ConsumeIntegralInRange(0, kMaxRemindBeforeMinutes);
        entry.zone = input.ConsumeBool() ? "UTC" : "";
        entries.push_back(entry);
    }
    CAlertSchedule schedule(clock);
    schedule.Rebuild(entries, now);

    for (int q = 0; q < 4; ++q) {
        const std::int64_t at = now + input.ConsumeIntegralInRange<std::int64_t>(-3, 5) * 86400 +
                                input.ConsumeIntegralInRange(-3600, 3600);
        const std::optional<std::int64_t> next = schedule.NextAlertAfter(at);
        FUZZ_CHECK(next == NextByHand(entries, at, clock));
        FUZZ_CHECK(!next || *next > at);
    }

    const std::int64_t since = now + input.ConsumeIntegralInRange(-3 * 86400, 86400);
    const std::int64_t until = since + input.ConsumeIntegralInRange(0, 3 * 86400);
    const std::int64_t awake = since + input.ConsumeIntegralInRange(-86400, 3 * 86400);
    const DueAlerts due = schedule.DueBetween(since, until, awake);
    const CalendarDate today = clock.LocalDate(until);
    for (std::size_t i = 0; i < due.alerts.size(); ++i) {
        const DueAlert& alert = due.alerts[i];
        FUZZ_CHECK(alert.alertAt > since && alert.alertAt <= until);
        FUZZ_CHECK(alert.missed == (alert.alertAt < awake));
        if (alert.missed)
            FUZZ_CHECK(clock.LocalDate(alert.startsAt) == today);
        if (i > 0)
            FUZZ_CHECK(alert.alertAt >= due.alerts[i - 1].alertAt);
        const std::optional<DueAlert> again = schedule.Occurrence(alert.id, alert.day);
        FUZZ_CHECK(again && again->alertAt == alert.alertAt && again->startsAt == alert.startsAt);
        FUZZ_CHECK(!AlertText(alert, "Notes", until, clock).empty());
    }
    // Nothing due is left out: every alert of the stretch, worked out day
    // by day (an occurrence alerts at most a week and a day before it).
    if (awake <= since && due.coversUpTo == until) {
        std::vector<std::pair<std::int64_t, std::uint64_t>> expected, found;
        const std::int64_t lastDay = ical::DayNumber(ical::WallTimeOf(until).date) + 10;
        for (const AlertEntry& entry : entries) {
            const std::int64_t first = std::max(ical::DayNumber(entry.from),
                                                ical::DayNumber(ical::WallTimeOf(since).date) - 2);
            for (std::int64_t day = first; day <= ical::DayNumber(entry.to) && day <= lastDay;
                 ++day) {
                const std::optional<std::int64_t> at = AlertOnDay(entry, day, clock);
                if (at && *at > since && *at <= until)
                    expected.emplace_back(*at, entry.id);
            }
        }
        for (const DueAlert& alert : due.alerts)
            found.emplace_back(alert.alertAt, alert.id);
        std::sort(expected.begin(), expected.end());
        std::sort(found.begin(), found.end());
        FUZZ_CHECK(expected == found);
    }

    // The answers, kept as bytes, read back as they were.
    AlertState state{since, {}};
    state = AfterSnooze(state, due, static_cast<SnoozeChoice>(input.ConsumeIntegralInRange(0, 3)),
                        until);
    const std::vector<unsigned char> handled = EncodeHandledUpTo(state.handledUpTo);
    const std::vector<unsigned char> snoozed = EncodeSnoozedAlerts(state.snoozed);
    FUZZ_CHECK(DecodeHandledUpTo(handled.data(), handled.size()) == state.handledUpTo);
    FUZZ_CHECK(DecodeSnoozedAlerts(snoozed.data(), snoozed.size()) == state.snoozed);
    const std::optional<std::int64_t> wake = schedule.NextWake(state, until);
    FUZZ_CHECK(!wake || *wake > until);
    state = AfterDismiss(state, schedule.Pending(state, until + 3600, awake), until + 3600);

    // Whatever bytes another program left.
    const std::vector<std::uint8_t> rest = input.ConsumeRemainingBytes<std::uint8_t>();
    const auto list = DecodeSnoozedAlerts(rest.data(), rest.size());
    if (list)
        FUZZ_CHECK(EncodeSnoozedAlerts(*list) == rest);
    const auto instant = DecodeHandledUpTo(rest.data(), rest.size());
    if (instant)
        FUZZ_CHECK(EncodeHandledUpTo(*instant) == rest);
    return 0;
}
