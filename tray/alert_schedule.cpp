#include "tray/alert_schedule.h"

#include "ical/civil_time.h"

#include <algorithm>

namespace {

constexpr std::int64_t kSecondsPerDay = 86400;
constexpr std::int64_t kDayMinutes = 1440;
// How far a wall clock may stand from UTC, with a skipped hour or two on
// top: zones run from 12 hours behind to 14 ahead. Searching from this far
// back finds an entry's next alert within a few steps.
constexpr std::int64_t kSlackMinutes = 26 * 60;
constexpr int kForwardSteps = 6;
constexpr std::int64_t kShortestSnooze = 5 * 60;

const std::int64_t kFirstDay = ical::DayNumber({1, 1, 1});
const std::int64_t kLastDay = ical::DayNumber({9999, 12, 31});
const std::int64_t kEarliestInstant = kFirstDay * kSecondsPerDay;
const std::int64_t kLatestInstant = kLastDay * kSecondsPerDay + kSecondsPerDay - 1;

std::int64_t FloorDiv(std::int64_t a, std::int64_t b) {
    return a / b - (a % b != 0 && (a < 0) != (b < 0) ? 1 : 0);
}

// Instants far outside the calendar's years behave as its ends; so no
// arithmetic on them overflows.
std::int64_t Clamp(std::int64_t instant) {
    return std::clamp(instant, kEarliestInstant - 4 * kSecondsPerDay,
                      kLatestInstant + 4 * kSecondsPerDay);
}

bool Earlier(const DueAlert& a, const DueAlert& b) {
    if (a.alertAt != b.alertAt)
        return a.alertAt < b.alertAt;
    if (a.startsAt != b.startsAt)
        return a.startsAt < b.startsAt;
    if (a.id != b.id)
        return a.id < b.id;
    return ical::DayNumber(a.day) < ical::DayNumber(b.day);
}

bool SameOccurrence(const DueAlert& a, const DueAlert& b) {
    return a.id == b.id && a.day == b.day;
}

// Sorts and keeps the earliest alerts, at most kMaxDueAlerts unless the
// first instant alone has more; the alerts of one instant stay together.
// Gives the instant up to which every alert was kept.
std::int64_t KeepEarliest(std::vector<DueAlert>& alerts, std::int64_t askedUpTo) {
    std::sort(alerts.begin(), alerts.end(), Earlier);
    alerts.erase(std::unique(alerts.begin(), alerts.end(), SameOccurrence), alerts.end());
    if (alerts.size() <= kMaxDueAlerts)
        return askedUpTo;
    std::size_t keep = kMaxDueAlerts;
    const std::int64_t cutAt = alerts[keep].alertAt;
    while (keep > 0 && alerts[keep - 1].alertAt == cutAt)
        --keep;
    if (keep == 0)
        while (keep < alerts.size() && alerts[keep].alertAt == cutAt)
            ++keep;
    if (keep == alerts.size())
        return askedUpTo;
    const std::int64_t coversUpTo = alerts[keep].alertAt - 1;
    alerts.resize(keep);
    return coversUpTo;
}

// Sorts, keeps to kMaxDueAlerts, and leaves out what lies beyond the
// instant every alert up to which is there.
void Finish(DueAlerts& due, std::int64_t askedUpTo) {
    due.coversUpTo = std::min(due.coversUpTo, KeepEarliest(due.alerts, askedUpTo));
    while (!due.alerts.empty() && due.alerts.back().alertAt > due.coversUpTo)
        due.alerts.pop_back();
}

bool SnoozeHolds(const SnoozedAlert& snooze, std::int64_t now) {
    return snooze.until > now && snooze.until - now <= kMaxSnoozeAheadSeconds;
}

std::vector<SnoozedAlert> WithoutStale(const std::vector<SnoozedAlert>& snoozed, std::int64_t now) {
    std::vector<SnoozedAlert> kept;
    for (const SnoozedAlert& snooze : snoozed)
        if (snooze.until >= Clamp(now) - kSecondsPerDay)
            kept.push_back(snooze);
    return kept;
}

std::string Counted(std::int64_t count, const char* unit) {
    return std::to_string(count) + " " + unit + (count == 1 ? "" : "s");
}

// "15 minutes", "1 hour", "1 hour 30 minutes".
std::string Span(std::int64_t minutes) {
    if (minutes < 60)
        return Counted(minutes, "minute");
    std::string text = Counted(minutes / 60, "hour");
    if (minutes % 60 != 0) {
        text += ' ';
        text += Counted(minutes % 60, "minute");
    }
    return text;
}

std::string DaysAway(std::int64_t days) {
    if (days == 0)
        return "today";
    if (days == 1)
        return "tomorrow";
    if (days == -1)
        return "yesterday";
    return days > 1 ? "in " + Counted(days, "day") : Counted(-days, "day") + " ago";
}

std::uint32_t PackDate(const CalendarDate& date) {
    return static_cast<std::uint32_t>(date.year * 10000 + date.month * 100 + date.day);
}

CalendarDate UnpackDate(std::uint32_t packed) {
    return {static_cast<int>(packed / 10000), static_cast<int>(packed / 100 % 100),
            static_cast<int>(packed % 100)};
}

void Put(std::vector<unsigned char>& out, std::uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<unsigned char>(value >> (8 * i)));
}

std::uint64_t Get(const unsigned char* data, int bytes) {
    std::uint64_t value = 0;
    for (int i = bytes - 1; i >= 0; --i)
        value = (value << 8) | data[i];
    return value;
}

bool IsInstant(std::int64_t instant) {
    return instant >= kEarliestInstant && instant <= kLatestInstant;
}

} // namespace

std::uint64_t AlertId(const std::string& dayKey, const std::string& appointmentKey) {
    std::uint64_t hash = 0xcbf29ce484222325ull;
    const std::string text = dayKey + '\\' + appointmentKey;
    for (unsigned char c : text) {
        hash ^= c;
        hash *= 0x100000001b3ull;
    }
    return hash;
}

std::optional<std::int64_t> SnoozeEnd(SnoozeChoice choice, std::int64_t now,
                                      std::int64_t startsAt) {
    switch (choice) {
    case SnoozeChoice::FiveMinutes:
        return now + 5 * 60;
    case SnoozeChoice::TenMinutes:
        return now + 10 * 60;
    case SnoozeChoice::OneHour:
        return now + 60 * 60;
    case SnoozeChoice::UntilStart:
        if (startsAt > now)
            return startsAt;
        return std::nullopt;
    }
    return std::nullopt;
}

CAlertSchedule::CAlertSchedule(const IWallClock& clock) : m_clock(clock) {}

void CAlertSchedule::Rebuild(std::vector<AlertEntry> entries, std::int64_t now) {
    m_entries.clear();
    m_byId.clear();
    for (AlertEntry& alert : entries) {
        if (!ical::IsValidDate(alert.from) || !ical::IsValidDate(alert.to) ||
            alert.remindBefore < 0 || alert.remindBefore > kMaxRemindBeforeMinutes ||
            (alert.minuteOfDay && (*alert.minuteOfDay < 0 || *alert.minuteOfDay >= kDayMinutes)))
            continue;
        if (!alert.minuteOfDay)
            alert.zone.clear();
        Entry entry;
        // The first day whose alert still falls within the calendar's years.
        const std::int64_t early = alert.remindBefore - alert.minuteOfDay.value_or(0);
        entry.firstDay =
            std::max(ical::DayNumber(alert.from),
                     kFirstDay + (early > 0 ? (early + kDayMinutes - 1) / kDayMinutes : 0));
        entry.lastDay = ical::DayNumber(alert.to);
        if (entry.firstDay > entry.lastDay)
            continue;
        entry.alert = std::move(alert);
        m_byId.emplace_back(entry.alert.id, static_cast<std::uint32_t>(m_entries.size()));
        m_entries.push_back(std::move(entry));
    }
    std::sort(m_byId.begin(), m_byId.end());
    Recentre(now);
}

void CAlertSchedule::Recentre(std::int64_t now) {
    now = Clamp(now);
    m_windowStart = now - kSecondsPerDay;
    m_windowEnd = now + 2 * kSecondsPerDay;
    m_items.clear();
    m_firstBeyond.reset();
    for (std::size_t i = 0; i < m_entries.size(); ++i) {
        const Entry& entry = m_entries[i];
        std::optional<std::int64_t> day = FirstDayAlertingAfter(entry, m_windowStart - 1);
        for (; day && *day <= entry.lastDay; ++*day) {
            const DueAlert alert = Make(entry, *day);
            if (alert.alertAt >= m_windowEnd) {
                if (!m_firstBeyond || alert.alertAt < *m_firstBeyond)
                    m_firstBeyond = alert.alertAt;
                break;
            }
            m_items.push_back({alert.alertAt, alert.startsAt, static_cast<std::uint32_t>(i),
                               static_cast<std::int32_t>(*day)});
        }
    }
    std::sort(m_items.begin(), m_items.end(), [](const Item& a, const Item& b) {
        return a.alertAt != b.alertAt ? a.alertAt < b.alertAt : a.startsAt < b.startsAt;
    });
}

std::int64_t CAlertSchedule::AlertAt(const Entry& entry, std::int64_t dayNumber) const {
    const AlertEntry& alert = entry.alert;
    const std::int64_t wall =
        dayNumber * kDayMinutes + alert.minuteOfDay.value_or(0) - alert.remindBefore;
    const std::int64_t alertDay = FloorDiv(wall, kDayMinutes);
    return m_clock.ToUtc(ical::DateOfDayNumber(alertDay),
                         static_cast<int>(wall - alertDay * kDayMinutes), alert.zone);
}

DueAlert CAlertSchedule::Make(const Entry& entry, std::int64_t dayNumber) const {
    const AlertEntry& alert = entry.alert;
    DueAlert due;
    due.id = alert.id;
    due.day = ical::DateOfDayNumber(dayNumber);
    due.minuteOfDay = alert.minuteOfDay;
    due.startsAt = m_clock.ToUtc(due.day, alert.minuteOfDay.value_or(0), alert.zone);
    due.alertAt = alert.remindBefore == 0 ? due.startsAt : AlertAt(entry, dayNumber);
    return due;
}

DueAlert CAlertSchedule::FromItem(const Item& item) const {
    const AlertEntry& alert = m_entries[item.entry].alert;
    DueAlert due;
    due.id = alert.id;
    due.day = ical::DateOfDayNumber(item.dayNumber);
    due.minuteOfDay = alert.minuteOfDay;
    due.alertAt = item.alertAt;
    due.startsAt = item.startsAt;
    return due;
}

std::optional<std::int64_t> CAlertSchedule::FirstDayAlertingAfter(const Entry& entry,
                                                                  std::int64_t instant) const {
    // Alerts grow with the day (the wall clock only ever runs forward a day
    // at a time), so the answer is found from a day whose alert lies surely
    // before `instant`, a few steps on; a clock whose offsets reach further
    // than any real zone's is searched by halves.
    const std::int64_t lead = entry.alert.minuteOfDay.value_or(0) - entry.alert.remindBefore;
    std::int64_t day = FloorDiv(FloorDiv(instant, 60) - kSlackMinutes - lead, kDayMinutes);
    day = std::max(day, entry.firstDay);
    for (int step = 0; step < kForwardSteps && day <= entry.lastDay; ++step, ++day)
        if (AlertAt(entry, day) > instant)
            return day;
    if (day > entry.lastDay || AlertAt(entry, entry.lastDay) <= instant)
        return std::nullopt;
    std::int64_t low = day;
    std::int64_t high = entry.lastDay;
    while (low < high) {
        const std::int64_t middle = low + (high - low) / 2;
        if (AlertAt(entry, middle) > instant)
            high = middle;
        else
            low = middle + 1;
    }
    return low;
}

bool CAlertSchedule::InWindow(std::int64_t after, std::int64_t until) const {
    return after >= m_windowStart - 1 && until < m_windowEnd;
}

std::optional<std::int64_t> CAlertSchedule::NextAlertAfter(std::int64_t instant) const {
    instant = Clamp(instant);
    if (InWindow(instant, instant)) {
        auto next =
            std::upper_bound(m_items.begin(), m_items.end(), instant,
                             [](std::int64_t at, const Item& item) { return at < item.alertAt; });
        if (next != m_items.end())
            return next->alertAt;
        return m_firstBeyond;
    }
    std::optional<std::int64_t> best;
    for (const Entry& entry : m_entries) {
        const std::optional<std::int64_t> day = FirstDayAlertingAfter(entry, instant);
        if (!day)
            continue;
        const std::int64_t at = AlertAt(entry, *day);
        if (!best || at < *best)
            best = at;
    }
    return best;
}

void CAlertSchedule::CollectLive(std::int64_t after, std::int64_t until, std::vector<DueAlert>& out,
                                 std::int64_t& coversUpTo) const {
    if (InWindow(after, until)) {
        auto it =
            std::upper_bound(m_items.begin(), m_items.end(), after,
                             [](std::int64_t at, const Item& item) { return at < item.alertAt; });
        for (; it != m_items.end() && it->alertAt <= until; ++it)
            out.push_back(FromItem(*it));
        return;
    }
    // A long stretch over many entries: memory is kept to about the alerts
    // that can be shown, and what is left out is no longer covered.
    std::optional<std::int64_t> latestKept;
    for (const Entry& entry : m_entries) {
        std::optional<std::int64_t> day = FirstDayAlertingAfter(entry, after);
        for (; day && *day <= entry.lastDay; ++*day) {
            const DueAlert alert = Make(entry, *day);
            if (alert.alertAt > until)
                break;
            if (latestKept && alert.alertAt > *latestKept) {
                coversUpTo = std::min(coversUpTo, alert.alertAt - 1);
                break;
            }
            out.push_back(alert);
            if (out.size() >= 4 * kMaxDueAlerts) {
                coversUpTo = std::min(coversUpTo, KeepEarliest(out, until));
                latestKept = out.back().alertAt;
            }
        }
    }
}

void CAlertSchedule::CollectMissed(std::int64_t after, std::int64_t until,
                                   const CalendarDate& today, std::vector<DueAlert>& out) const {
    auto keep = [&](DueAlert alert) {
        if (alert.alertAt > after && alert.alertAt <= until &&
            m_clock.LocalDate(alert.startsAt) == today) {
            alert.missed = true;
            out.push_back(alert);
        }
    };
    if (InWindow(after, until)) {
        auto it =
            std::upper_bound(m_items.begin(), m_items.end(), after,
                             [](std::int64_t at, const Item& item) { return at < item.alertAt; });
        for (; it != m_items.end() && it->alertAt <= until; ++it)
            keep(FromItem(*it));
        return;
    }
    // However long the program was away, only appointments of today count:
    // the occurrences that can start today in any zone.
    const std::int64_t todayNumber = ical::DayNumber(today);
    for (const Entry& entry : m_entries) {
        const std::int64_t first = std::max(entry.firstDay, todayNumber - 2);
        const std::int64_t last = std::min(entry.lastDay, todayNumber + 2);
        for (std::int64_t day = first; day <= last; ++day)
            keep(Make(entry, day));
    }
}

DueAlerts CAlertSchedule::DueBetween(std::int64_t since, std::int64_t until,
                                     std::int64_t awakeSince) const {
    since = Clamp(since);
    until = Clamp(until);
    awakeSince = Clamp(awakeSince);
    DueAlerts due;
    due.coversUpTo = std::max(since, until);
    if (until <= since)
        return due;
    // Due before awakeSince: missed.
    const std::int64_t missedUpTo = std::min(until, awakeSince - 1);
    if (since < missedUpTo)
        CollectMissed(since, missedUpTo, m_clock.LocalDate(until), due.alerts);
    const std::int64_t liveAfter = std::max(since, awakeSince - 1);
    due.coversUpTo = until;
    if (liveAfter < until)
        CollectLive(liveAfter, until, due.alerts, due.coversUpTo);
    Finish(due, until);
    return due;
}

std::optional<DueAlert> CAlertSchedule::Occurrence(std::uint64_t id,
                                                   const CalendarDate& day) const {
    if (!ical::IsValidDate(day))
        return std::nullopt;
    const std::int64_t dayNumber = ical::DayNumber(day);
    auto it = std::lower_bound(m_byId.begin(), m_byId.end(), std::make_pair(id, std::uint32_t{0}));
    for (; it != m_byId.end() && it->first == id; ++it) {
        const Entry& entry = m_entries[it->second];
        if (dayNumber >= entry.firstDay && dayNumber <= entry.lastDay)
            return Make(entry, dayNumber);
    }
    return std::nullopt;
}

DueAlerts CAlertSchedule::Pending(const AlertState& state, std::int64_t now,
                                  std::int64_t awakeSince) const {
    now = Clamp(now);
    DueAlerts pending = DueBetween(state.handledUpTo, now, awakeSince);
    auto held = [&](const DueAlert& alert) {
        return std::any_of(state.snoozed.begin(), state.snoozed.end(), [&](const SnoozedAlert& s) {
            return s.id == alert.id && s.day == alert.day && SnoozeHolds(s, now);
        });
    };
    pending.alerts.erase(std::remove_if(pending.alerts.begin(), pending.alerts.end(), held),
                         pending.alerts.end());
    const CalendarDate today = m_clock.LocalDate(now);
    for (const SnoozedAlert& snooze : state.snoozed) {
        if (SnoozeHolds(snooze, now))
            continue;
        std::optional<DueAlert> alert = Occurrence(snooze.id, snooze.day);
        if (!alert)
            continue; // the appointment is gone, or no longer on that day
        alert->missed = snooze.until < awakeSince;
        if (alert->missed && m_clock.LocalDate(alert->startsAt) != today)
            continue;
        pending.alerts.push_back(*alert);
    }
    Finish(pending, now);
    return pending;
}

std::optional<std::int64_t> CAlertSchedule::NextWake(const AlertState& state,
                                                     std::int64_t now) const {
    now = Clamp(now);
    std::optional<std::int64_t> wake = NextAlertAfter(std::max(now, Clamp(state.handledUpTo)));
    for (const SnoozedAlert& snooze : state.snoozed)
        if (SnoozeHolds(snooze, now) && (!wake || snooze.until < *wake))
            wake = snooze.until;
    return wake;
}

AlertState AfterDismiss(const AlertState& state, const DueAlerts& shown, std::int64_t now) {
    AlertState next;
    next.handledUpTo = std::max(state.handledUpTo, shown.coversUpTo);
    for (const SnoozedAlert& snooze : WithoutStale(state.snoozed, now)) {
        const bool wasShown =
            std::any_of(shown.alerts.begin(), shown.alerts.end(), [&](const DueAlert& alert) {
                return alert.id == snooze.id && alert.day == snooze.day;
            });
        if (!wasShown)
            next.snoozed.push_back(snooze);
    }
    return next;
}

AlertState AfterSnooze(const AlertState& state, const DueAlerts& shown, SnoozeChoice choice,
                       std::int64_t now) {
    AlertState next;
    next.handledUpTo = state.handledUpTo;
    next.snoozed = WithoutStale(state.snoozed, now);
    std::int64_t handled = shown.coversUpTo;
    for (const DueAlert& alert : shown.alerts) {
        const std::int64_t until =
            SnoozeEnd(choice, now, alert.startsAt).value_or(now + kShortestSnooze);
        auto same =
            std::find_if(next.snoozed.begin(), next.snoozed.end(), [&](const SnoozedAlert& s) {
                return s.id == alert.id && s.day == alert.day;
            });
        if (same != next.snoozed.end()) {
            same->until = until;
        } else if (next.snoozed.size() < kMaxSnoozedAlerts) {
            next.snoozed.push_back({alert.id, alert.day, until});
        } else {
            // No room: the alert stays due rather than being lost.
            handled = std::min(handled, alert.alertAt - 1);
        }
    }
    next.handledUpTo = std::max(next.handledUpTo, handled);
    return next;
}

std::string AlertText(const DueAlert& alert, const std::string& notes, std::int64_t now,
                      const IWallClock& clock) {
    const std::string head =
        alert.minuteOfDay ? FormatTimeOfDay(*alert.minuteOfDay) + " " + notes : notes;
    if (alert.missed)
        return "Missed: " + head;
    now = Clamp(now);
    const std::int64_t startsAt = Clamp(alert.startsAt);
    const std::int64_t days =
        ical::DayNumber(clock.LocalDate(startsAt)) - ical::DayNumber(clock.LocalDate(now));
    if (!alert.minuteOfDay)
        return head + ", " + DaysAway(days);
    const std::int64_t left = startsAt - now;
    if (left > -60 && left < 60)
        return head + ", now";
    if (left < 0)
        return head + ", " + Span(-left / 60) + " ago";
    if (days <= 0 || left < 12 * 3600)
        return head + ", in " + Span((left + 59) / 60);
    return head + ", " + DaysAway(days);
}

std::vector<unsigned char> EncodeHandledUpTo(std::int64_t instant) {
    std::vector<unsigned char> out;
    Put(out, static_cast<std::uint64_t>(instant), 8);
    return out;
}

std::optional<std::int64_t> DecodeHandledUpTo(const unsigned char* data, std::size_t size) {
    if (data == nullptr || size != 8)
        return std::nullopt;
    const auto instant = static_cast<std::int64_t>(Get(data, 8));
    if (!IsInstant(instant))
        return std::nullopt;
    return instant;
}

std::vector<unsigned char> EncodeSnoozedAlerts(const std::vector<SnoozedAlert>& snoozed) {
    std::vector<unsigned char> out;
    const std::size_t count = std::min(snoozed.size(), kMaxSnoozedAlerts);
    for (std::size_t i = 0; i < count; ++i) {
        Put(out, snoozed[i].id, 8);
        Put(out, PackDate(snoozed[i].day), 4);
        Put(out, 0, 4);
        Put(out, static_cast<std::uint64_t>(snoozed[i].until), 8);
    }
    return out;
}

std::optional<std::vector<SnoozedAlert>> DecodeSnoozedAlerts(const unsigned char* data,
                                                             std::size_t size) {
    if ((data == nullptr && size != 0) || size % 24 != 0 || size > kMaxSnoozedAlertsBytes)
        return std::nullopt;
    std::vector<SnoozedAlert> snoozed;
    for (std::size_t at = 0; at < size; at += 24) {
        SnoozedAlert snooze;
        snooze.id = Get(data + at, 8);
        snooze.day = UnpackDate(static_cast<std::uint32_t>(Get(data + at + 8, 4)));
        snooze.until = static_cast<std::int64_t>(Get(data + at + 16, 8));
        if (Get(data + at + 12, 4) != 0 || !ical::IsValidDate(snooze.day) ||
            !IsInstant(snooze.until))
            return std::nullopt;
        for (const SnoozedAlert& other : snoozed)
            if (other.id == snooze.id && other.day == snooze.day)
                return std::nullopt;
        snoozed.push_back(snooze);
    }
    return snoozed;
}
