// When timed appointments alert, on a clock of fixed rules: New York's, with
// 2027's changes on 14 March (02:00 -> 03:00) and 7 November (02:00 ->
// 01:00). Window-free: also built natively (fuzz/CMakeLists.txt).
#include "ical/civil_time.h"
#include "tray/alert_schedule.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <iostream>
#include <string>
#include <vector>

namespace {

constexpr std::int64_t kHour = 3600;

std::int64_t WallOf(const CalendarDate& date, int minuteOfDay) {
    return ical::DayNumber(date) * 86400 + minuteOfDay * 60;
}

CalendarDate NthSunday(int year, int month, int n) {
    CalendarDate date{year, month, 1};
    while (ical::Weekday(date) != 6)
        date = ical::AddDays(date, 1);
    return ical::AddDays(date, 7 * (n - 1));
}

// The computer and "America/New_York" keep US rules; "UTC" is UTC. Counts
// its conversions.
class NewYorkClock final : public IWallClock {
public:
    mutable int conversions = 0;

    std::int64_t ToUtc(const CalendarDate& date, int minuteOfDay,
                       const std::string& zone) const override {
        ++conversions;
        const std::int64_t wall = WallOf(date, minuteOfDay);
        if (zone == "UTC")
            return wall;
        const std::int64_t forward = WallOf(NthSunday(date.year, 3, 2), 120); // in EST
        const std::int64_t back = WallOf(NthSunday(date.year, 11, 1), 120);   // in EDT
        if (wall < forward)
            return wall + 5 * kHour;
        if (wall < forward + kHour)
            return forward + 5 * kHour; // skipped: 03:00 EDT
        if (wall < back)
            return wall + 4 * kHour; // 01:00 to 01:59 on the last day: the first
        return wall + 5 * kHour;
    }

    CalendarDate LocalDate(std::int64_t utc) const override {
        const int year = ical::WallTimeOf(utc).date.year;
        const std::int64_t forward = WallOf(NthSunday(year, 3, 2), 120) + 5 * kHour;
        const std::int64_t back = WallOf(NthSunday(year, 11, 1), 120) + 4 * kHour;
        const std::int64_t offset = utc >= forward && utc < back ? -4 * kHour : -5 * kHour;
        return ical::WallTimeOf(utc + offset).date;
    }
};

// A UTC instant.
std::int64_t Utc(int year, int month, int day, int hour, int minute) {
    return WallOf({year, month, day}, hour * 60 + minute);
}

AlertEntry Timed(std::uint64_t id, CalendarDate from, CalendarDate to, int hour, int minute,
                 int remindBefore, std::string zone = "") {
    return {id, from, to, hour * 60 + minute, remindBefore, std::move(zone)};
}

AlertEntry AllDay(std::uint64_t id, CalendarDate from, CalendarDate to, int remindBefore) {
    return {id, from, to, std::nullopt, remindBefore, ""};
}

std::vector<std::uint64_t> Ids(const DueAlerts& due) {
    std::vector<std::uint64_t> ids;
    for (const DueAlert& alert : due.alerts)
        ids.push_back(alert.id);
    return ids;
}

TEST(AlertSchedule, AWallClockTimeAlertsAtThatTimeOnBothSidesOfEitherChange) {
    NewYorkClock clock;
    CAlertSchedule schedule(clock);
    schedule.Rebuild({Timed(1, {2027, 3, 12}, {2027, 3, 16}, 9, 0, 15),
                      Timed(2, {2027, 11, 5}, {2027, 11, 9}, 9, 0, 15, "America/New_York")},
                     Utc(2027, 3, 11, 12, 0));
    // Alert after alert, as the one timer is set again each time: 08:45 in
    // New York every day, 13:45 UTC in winter and 12:45 in summer.
    const std::vector<std::int64_t> expected = {Utc(2027, 3, 12, 13, 45), Utc(2027, 3, 13, 13, 45),
                                                Utc(2027, 3, 14, 12, 45), Utc(2027, 3, 15, 12, 45),
                                                Utc(2027, 3, 16, 12, 45), Utc(2027, 11, 5, 12, 45),
                                                Utc(2027, 11, 6, 12, 45), Utc(2027, 11, 7, 13, 45),
                                                Utc(2027, 11, 8, 13, 45), Utc(2027, 11, 9, 13, 45)};
    std::vector<std::int64_t> walked;
    std::int64_t at = Utc(2027, 3, 11, 12, 0);
    for (std::optional<std::int64_t> next;
         walked.size() <= expected.size() && (next = schedule.NextAlertAfter(at)); at = *next)
        walked.push_back(*next);
    EXPECT_EQ(expected, walked);

    // A time the spring change skips comes at its end, 03:00 EDT, together
    // with an alert for 02:45 reminded at 02:30; one the autumn change
    // repeats comes the first time.
    schedule.Rebuild({Timed(3, {2027, 3, 14}, {2027, 3, 14}, 2, 30, 0),
                      Timed(4, {2027, 3, 14}, {2027, 3, 14}, 2, 45, 15),
                      Timed(5, {2027, 11, 7}, {2027, 11, 7}, 1, 30, 0)},
                     Utc(2027, 3, 14, 0, 0));
    const DueAlerts spring = schedule.DueBetween(Utc(2027, 3, 14, 6, 0), Utc(2027, 3, 14, 7, 0), 0);
    ASSERT_EQ((std::vector<std::uint64_t>{3, 4}), Ids(spring));
    EXPECT_EQ(Utc(2027, 3, 14, 7, 0), spring.alerts[1].alertAt);
    EXPECT_EQ(Utc(2027, 11, 7, 5, 30), schedule.NextAlertAfter(Utc(2027, 11, 7, 0, 0)));
}

// Appointments of 7 to 9 June 2027 (EDT, UTC-4).
std::vector<AlertEntry> June() {
    return {
        Timed(10, {2027, 6, 7}, {2027, 6, 9}, 14, 30, 15),      // each day at 14:15
        Timed(11, {2027, 6, 8}, {2027, 6, 8}, 14, 45, 30),      // also 14:15
        AllDay(12, {2027, 6, 9}, {2027, 6, 9}, 360),            // 18:00 the day before
        Timed(13, {2027, 6, 9}, {2027, 6, 9}, 9, 0, 1440),      // 09:00 the day before
        Timed(14, {2027, 6, 8}, {2027, 6, 8}, 10, 0, 0, "UTC"), // 06:00 in New York
    };
}

std::int64_t NewYork(int month, int day, int hour, int minute) {
    return Utc(2027, month, day, hour, minute) + 4 * kHour;
}

TEST(AlertSchedule, AlertsOfADayComeInTimeOrderTogetherWhenDueTogetherAndSayWhen) {
    NewYorkClock clock;
    CAlertSchedule schedule(clock);
    schedule.Rebuild(June(), NewYork(6, 8, 0, 0));
    const DueAlerts day = schedule.DueBetween(NewYork(6, 8, 0, 0), NewYork(6, 9, 0, 0), 0);
    ASSERT_EQ((std::vector<std::uint64_t>{14, 13, 10, 11, 12}), Ids(day));
    const DueAlert& flight = day.alerts[1];
    EXPECT_EQ(NewYork(6, 8, 9, 0), flight.alertAt);
    EXPECT_EQ(NewYork(6, 9, 9, 0), flight.startsAt);
    const DueAlert& holiday = day.alerts[4];
    EXPECT_EQ(NewYork(6, 8, 18, 0), holiday.alertAt);
    EXPECT_EQ((CalendarDate{2027, 6, 9}), holiday.day);

    // The two of 14:15 fall due together.
    const DueAlerts together = schedule.DueBetween(NewYork(6, 8, 14, 14), NewYork(6, 8, 14, 15), 0);
    ASSERT_EQ((std::vector<std::uint64_t>{10, 11}), Ids(together));
    EXPECT_EQ(NewYork(6, 8, 18, 0), schedule.NextAlertAfter(NewYork(6, 8, 14, 15)));

    const DueAlert& dentist = together.alerts[0];
    EXPECT_EQ("14:30 Dentist, in 15 minutes",
              AlertText(dentist, "Dentist", NewYork(6, 8, 14, 15) + 2, clock));
    EXPECT_EQ("14:30 Dentist, in 1 hour 30 minutes",
              AlertText(dentist, "Dentist", NewYork(6, 8, 13, 0), clock));
    EXPECT_EQ("14:30 Dentist, now",
              AlertText(dentist, "Dentist", NewYork(6, 8, 14, 30) + 2, clock));
    EXPECT_EQ("14:30 Dentist, 10 minutes ago",
              AlertText(dentist, "Dentist", NewYork(6, 8, 14, 40), clock));
    EXPECT_EQ("09:00 Flight, tomorrow", AlertText(flight, "Flight", flight.alertAt, clock));
    EXPECT_EQ("Holiday, tomorrow", AlertText(holiday, "Holiday", holiday.alertAt, clock));
    DueAlert missed = dentist;
    missed.missed = true;
    EXPECT_EQ("Missed: 14:30 Dentist", AlertText(missed, "Dentist", NewYork(6, 8, 16, 0), clock));
}

TEST(AlertSchedule, AlertsMissedWhileAwayComeWhenTheirAppointmentIsToday) {
    NewYorkClock clock;
    CAlertSchedule schedule(clock);
    schedule.Rebuild(June(), NewYork(6, 8, 15, 0));
    // Started at 15:00 after a night away: the alerts of today's
    // appointments that fell due meanwhile, but not the flight's, which is
    // tomorrow.
    const AlertState lastNight{NewYork(6, 7, 20, 0), {}};
    const DueAlerts atStart =
        schedule.Pending(lastNight, NewYork(6, 8, 15, 0), NewYork(6, 8, 15, 0));
    EXPECT_EQ((std::vector<std::uint64_t>{14, 10, 11}), Ids(atStart));
    for (const DueAlert& alert : atStart.alerts)
        EXPECT_TRUE(alert.missed);
    // The same after a month away, outside what the schedule prepared.
    const AlertState lastMonth{NewYork(5, 8, 20, 0), {}};
    EXPECT_EQ(Ids(atStart),
              Ids(schedule.Pending(lastMonth, NewYork(6, 8, 15, 0), NewYork(6, 8, 15, 0))));

    // Back from sleep at 14:10: what fell due before is missed, what falls
    // due after is not.
    const DueAlerts resumed =
        schedule.Pending({NewYork(6, 8, 5, 0), {}}, NewYork(6, 8, 14, 15), NewYork(6, 8, 14, 10));
    ASSERT_EQ((std::vector<std::uint64_t>{14, 10, 11}), Ids(resumed));
    EXPECT_TRUE(resumed.alerts[0].missed);
    EXPECT_FALSE(resumed.alerts[1].missed);
    EXPECT_FALSE(resumed.alerts[2].missed);

    // Dismissed: nothing is due until the next alert, which wakes the timer.
    const AlertState dismissed = AfterDismiss(lastNight, resumed, NewYork(6, 8, 14, 15));
    EXPECT_TRUE(
        schedule.Pending(dismissed, NewYork(6, 8, 17, 0), NewYork(6, 8, 14, 10)).alerts.empty());
    EXPECT_EQ(NewYork(6, 8, 18, 0), schedule.NextWake(dismissed, NewYork(6, 8, 17, 0)));
}

TEST(AlertSchedule, ASnoozedAlertComesBackAtItsEndAndADismissedOneStaysGone) {
    NewYorkClock clock;
    CAlertSchedule schedule(clock);
    schedule.Rebuild(June(), NewYork(6, 8, 12, 0));
    const std::int64_t now = NewYork(6, 8, 14, 15) + 1;
    const AlertState before{NewYork(6, 8, 12, 0), {}};
    const DueAlerts shown = schedule.Pending(before, now, NewYork(6, 8, 8, 0));
    ASSERT_EQ((std::vector<std::uint64_t>{10, 11}), Ids(shown));

    // Five minutes: gone until then, woken for then, back then.
    AlertState snoozed = AfterSnooze(before, shown, SnoozeChoice::FiveMinutes, now);
    EXPECT_EQ(now + 300, schedule.NextWake(snoozed, now));
    EXPECT_TRUE(schedule.Pending(snoozed, now + 299, NewYork(6, 8, 8, 0)).alerts.empty());
    // Kept as bytes and read back between the two.
    const std::vector<unsigned char> handled = EncodeHandledUpTo(snoozed.handledUpTo);
    const std::vector<unsigned char> list = EncodeSnoozedAlerts(snoozed.snoozed);
    const AlertState stored{*DecodeHandledUpTo(handled.data(), handled.size()),
                            *DecodeSnoozedAlerts(list.data(), list.size())};
    EXPECT_EQ(snoozed, stored);
    // Nothing but exactly that shape is read: a cut value, a filler that is
    // not 0, a day that does not exist, one alert twice.
    EXPECT_FALSE(DecodeHandledUpTo(handled.data(), 7));
    EXPECT_FALSE(DecodeSnoozedAlerts(list.data(), list.size() - 1));
    std::vector<unsigned char> damaged = list;
    damaged[12] = 1;
    EXPECT_FALSE(DecodeSnoozedAlerts(damaged.data(), damaged.size()));
    for (const SnoozedAlert& odd : {SnoozedAlert{7, {2027, 2, 30}, now}, snoozed.snoozed[0]}) {
        damaged = EncodeSnoozedAlerts({snoozed.snoozed[0], odd});
        EXPECT_FALSE(DecodeSnoozedAlerts(damaged.data(), damaged.size()));
    }
    const DueAlerts again = schedule.Pending(stored, now + 300, NewYork(6, 8, 8, 0));
    ASSERT_EQ((std::vector<std::uint64_t>{10, 11}), Ids(again));
    EXPECT_FALSE(again.alerts[0].missed);

    // Until the time itself: each at its own start.
    const AlertState untilStart = AfterSnooze(stored, again, SnoozeChoice::UntilStart, now + 300);
    EXPECT_EQ(NewYork(6, 8, 14, 30), schedule.NextWake(untilStart, now + 300));
    const DueAlerts atStart = schedule.Pending(untilStart, NewYork(6, 8, 14, 30), 0);
    EXPECT_EQ((std::vector<std::uint64_t>{10}), Ids(atStart));
    EXPECT_FALSE(SnoozeEnd(SnoozeChoice::UntilStart, NewYork(6, 8, 14, 30), NewYork(6, 8, 14, 30)));

    const AlertState dismissed = AfterDismiss(untilStart, atStart, NewYork(6, 8, 14, 31));
    ASSERT_EQ(1u, dismissed.snoozed.size()); // the review's, until 14:45
    const DueAlerts review = schedule.Pending(dismissed, NewYork(6, 8, 14, 45), 0);
    EXPECT_EQ((std::vector<std::uint64_t>{11}), Ids(review));
    const AlertState done = AfterDismiss(dismissed, review, NewYork(6, 8, 14, 46));
    EXPECT_TRUE(done.snoozed.empty());
    EXPECT_TRUE(schedule.Pending(done, NewYork(6, 8, 17, 59), 0).alerts.empty());
    EXPECT_EQ(NewYork(6, 8, 18, 0), schedule.NextWake(done, NewYork(6, 8, 14, 46)));
}

TEST(AlertSchedule, AnyRangeIsAnsweredInAFewConversionsPerAppointment) {
    NewYorkClock clock;
    CAlertSchedule schedule(clock);
    schedule.Rebuild({Timed(20, {1, 1, 1}, {9999, 12, 31}, 9, 0, 15),
                      AllDay(21, {1, 1, 1}, {9999, 12, 31}, 360)},
                     Utc(2027, 6, 8, 12, 0));
    clock.conversions = 0;
    // Far from the prepared days: each entry is looked at directly.
    EXPECT_EQ(WallOf({2500, 1, 1}, 8 * 60 + 45) + 5 * kHour,
              schedule.NextAlertAfter(Utc(2500, 1, 1, 6, 0)));
    const DueAlerts end = schedule.DueBetween(WallOf({9999, 12, 30}, 0) + 5 * kHour,
                                              WallOf({9999, 12, 31}, 1439) + 5 * kHour, 0);
    // 08:45 on the 30th, 18:00 for the 31st, 08:45 on the 31st.
    EXPECT_EQ((std::vector<std::uint64_t>{20, 21, 20}), Ids(end));
    EXPECT_LT(clock.conversions, 60);
    // The all-day one's first day would alert in year 0: its first alert is
    // the second day's, at 18:00 on the first.
    EXPECT_EQ(WallOf({1, 1, 1}, 8 * 60 + 45) + 5 * kHour, schedule.NextAlertAfter(-(1ll << 40)));
    EXPECT_EQ(WallOf({1, 1, 1}, 18 * 60) + 5 * kHour,
              schedule.NextAlertAfter(WallOf({1, 1, 1}, 8 * 60 + 45) + 5 * kHour));
}

// A fixed pseudo-random sequence, so every run sees the same appointments.
struct Sequence {
    std::uint64_t state = 0x9E3779B97F4A7C15ull;
    int Next(int bound) {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        return static_cast<int>((state >> 33) % static_cast<std::uint64_t>(bound));
    }
};

// What the next alert must be, from every day of every entry.
std::optional<std::int64_t> NextByHand(const std::vector<AlertEntry>& entries, std::int64_t after,
                                       const IWallClock& clock) {
    std::optional<std::int64_t> best;
    for (const AlertEntry& entry : entries) {
        for (CalendarDate day = entry.from; ical::DayNumber(day) <= ical::DayNumber(entry.to);
             day = ical::AddDays(day, 1)) {
            const std::int64_t wall =
                WallOf(day, entry.minuteOfDay.value_or(0)) - entry.remindBefore * 60;
            const ical::LocalDateTime alert = ical::WallTimeOf(wall);
            const std::int64_t at =
                clock.ToUtc(alert.date, alert.seconds / 60, entry.minuteOfDay ? entry.zone : "");
            if (at > after && (!best || at < *best))
                best = at;
        }
    }
    return best;
}

TEST(AlertSchedule, FiftyThousandAppointmentsGiveTheNextAlertFromThePreparedDays) {
    NewYorkClock clock;
    Sequence random;
    const int reminds[] = {0, 5, 10, 15, 30, 60, 120, 1440};
    std::vector<AlertEntry> entries;
    for (std::uint64_t id = 1; id <= 50000; ++id) {
        const CalendarDate from = ical::AddDays({2027, 6, 1}, random.Next(20));
        const CalendarDate to = ical::AddDays(from, random.Next(10) == 0 ? random.Next(30) : 0);
        if (random.Next(5) == 0)
            entries.push_back(AllDay(id, from, to, reminds[random.Next(8)]));
        else
            entries.push_back(Timed(id, from, to, random.Next(24), random.Next(60),
                                    reminds[random.Next(8)], random.Next(10) == 0 ? "UTC" : ""));
    }
    CAlertSchedule schedule(clock);
    const std::int64_t now = NewYork(6, 8, 12, 0);
    using Clock = std::chrono::steady_clock;
    const Clock::time_point built = Clock::now();
    schedule.Rebuild(entries, now);
    const double buildMs = std::chrono::duration<double, std::milli>(Clock::now() - built).count();

    std::int64_t at = now;
    int asked = 0;
    const Clock::time_point started = Clock::now();
    for (; asked < 100000 && at < now + 30 * kHour; ++asked)
        at = schedule.NextAlertAfter(at).value_or(now + 30 * kHour);
    const double perQueryUs =
        std::chrono::duration<double, std::micro>(Clock::now() - started).count() / asked;
    std::cout << "[ timing   ] 50,000 appointments: the walk's schedule in " << buildMs
              << " ms, the next alert in " << perQueryUs << " us (" << asked << " asked)\n";

    for (std::int64_t after : {now, now + 1234, now + 20 * kHour + 7, now + 5 * 86400})
        EXPECT_EQ(NextByHand(entries, after, clock), schedule.NextAlertAfter(after)) << after;
}

} // namespace
