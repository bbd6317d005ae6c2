#pragma once

#include "calendar/date_text.h"
#include "store/timed_values.h"
#include "store/wall_clock.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// When appointments alert, which alerts are due, what they say, and the
// user's answers to them (dismiss, snooze) as the bytes they are kept in.
// No system header: checked natively with a clock of fixed rules and fuzzed
// (tests/tray/alert_schedule_test.cpp, fuzz/alert_schedule_fuzzer.cpp).
//
// Every day of an appointment's FROM..TO is an occurrence. A timed one
// starts at TIME on its day, in its zone; an all-day one at the day's first
// minute in the computer's zone. Its alert is at the wall-clock time REMIND
// BEFORE minutes earlier (which may be on an earlier day), in the same zone:
// a 09:00 appointment reminded 15 minutes before alerts at 08:45 on both
// sides of a change of the clocks, an alert that falls into the hour the
// clocks skip comes at the end of that hour, and an all-day appointment
// reminded 360 minutes before alerts at 18:00 the day before. Instants are
// seconds from 1970-1-1 00:00:00 UTC.

// An appointment that alerts, as the store's walk finds it.
struct AlertEntry {
    std::uint64_t id = 0; // AlertId of its day key and appointment key
    CalendarDate from;
    CalendarDate to;
    std::optional<int> minuteOfDay; // TIME; none: all day
    int remindBefore = 0;           // minutes, 0 to kMaxRemindBeforeMinutes
    std::string zone;               // TIME ZONE; "" the computer's; unused all day
};

// The alert id of an appointment: FNV-1a over "day key\appointment key", so
// it stays with the appointment's key across edits and restarts.
std::uint64_t AlertId(const std::string& dayKey, const std::string& appointmentKey);

// One occurrence's alert.
struct DueAlert {
    std::uint64_t id = 0;
    CalendarDate day; // the occurrence's day, in the appointment's zone
    std::optional<int> minuteOfDay;
    std::int64_t alertAt = 0;
    std::int64_t startsAt = 0; // TIME on that day; all day: the day's first instant
    bool missed = false;       // fell due while the program was not running or asleep

    friend bool operator==(const DueAlert&, const DueAlert&) = default;
};

// The most alerts one answer gives; the alerts of one instant are never
// split, so the rest come once these are handled.
inline constexpr std::size_t kMaxDueAlerts = 500;

// Alerts due up to an instant, earliest first. coversUpTo: every alert due
// at or before it is among them (the instant asked for, or just before the
// first alert left out to keep to kMaxDueAlerts).
struct DueAlerts {
    std::vector<DueAlert> alerts;
    std::int64_t coversUpTo = 0;
};

// The user's answers so far. handledUpTo: every alert at or before it was
// dismissed or snoozed. snoozed: alerts that come again at their `until`.
struct SnoozedAlert {
    std::uint64_t id = 0;
    CalendarDate day;
    std::int64_t until = 0;

    friend bool operator==(const SnoozedAlert&, const SnoozedAlert&) = default;
};
inline constexpr std::size_t kMaxSnoozedAlerts = 256;
struct AlertState {
    std::int64_t handledUpTo = 0;
    std::vector<SnoozedAlert> snoozed;

    friend bool operator==(const AlertState&, const AlertState&) = default;
};

enum class SnoozeChoice { FiveMinutes, TenMinutes, OneHour, UntilStart };

// When a snooze chosen at `now` ends for an alert of an appointment starting
// at `startsAt`. "Until the time itself" exists only while the start is
// ahead: none otherwise (the choice is not offered then).
std::optional<std::int64_t> SnoozeEnd(SnoozeChoice choice, std::int64_t now, std::int64_t startsAt);
// A snooze reaching further ahead than this from now (a clock set back, a
// value this program did not write) holds nothing back.
inline constexpr std::int64_t kMaxSnoozeAheadSeconds =
    std::int64_t{kMaxRemindBeforeMinutes} * 60 + 3600;

// The alerts of a set of appointments over time. Rebuild takes the walk's
// entries and prepares the alerts from a day before `now` to two days after
// it, sorted, so that the next alert and the alerts due around now are found
// by a binary search; questions outside that stretch are answered as well,
// by going through every entry (a constant number of conversions each,
// however long its range). Call Recentre when the day turns, and Rebuild
// when the store changes. The clock must outlive the schedule; after a
// change of the computer's zone or clock, Rebuild. Not for several threads.
class CAlertSchedule {
public:
    explicit CAlertSchedule(const IWallClock& clock);

    void Rebuild(std::vector<AlertEntry> entries, std::int64_t now);
    void Recentre(std::int64_t now);

    // The first alert instant strictly after `instant`.
    std::optional<std::int64_t> NextAlertAfter(std::int64_t instant) const;

    // The alerts due in (since, until], earliest first. Those due before
    // `awakeSince` (when the program started, or the machine resumed) are
    // missed, and given only when their appointment starts on the
    // computer's date at `until`. At most kMaxDueAlerts.
    DueAlerts DueBetween(std::int64_t since, std::int64_t until, std::int64_t awakeSince) const;

    // The alert of one occurrence, when the appointment alerts on that day.
    std::optional<DueAlert> Occurrence(std::uint64_t id, const CalendarDate& day) const;

    // What to show at `now`: the alerts due since state.handledUpTo, and the
    // snoozed ones whose snooze has ended, each once, earliest first; missed
    // as in DueBetween.
    DueAlerts Pending(const AlertState& state, std::int64_t now, std::int64_t awakeSince) const;
    // When to look again after `now`: the next alert after what was handled,
    // or the end of a snooze, whichever is first.
    std::optional<std::int64_t> NextWake(const AlertState& state, std::int64_t now) const;

private:
    struct Entry {
        AlertEntry alert;
        std::int64_t firstDay = 0; // day numbers (ical::DayNumber)
        std::int64_t lastDay = 0;
    };
    struct Item {
        std::int64_t alertAt;
        std::int64_t startsAt;
        std::uint32_t entry;
        std::int32_t dayNumber;
    };

    DueAlert Make(const Entry& entry, std::int64_t dayNumber) const;
    std::optional<std::int64_t> FirstDayAlertingAfter(const Entry& entry,
                                                      std::int64_t instant) const;
    std::int64_t AlertAt(const Entry& entry, std::int64_t dayNumber) const;
    DueAlert FromItem(const Item& item) const;
    void CollectLive(std::int64_t after, std::int64_t until, std::vector<DueAlert>& out,
                     std::int64_t& coversUpTo) const;
    void CollectMissed(std::int64_t after, std::int64_t until, const CalendarDate& today,
                       std::vector<DueAlert>& out) const;
    bool InWindow(std::int64_t after, std::int64_t until) const;

    const IWallClock& m_clock;
    std::vector<Entry> m_entries;
    std::vector<std::pair<std::uint64_t, std::uint32_t>> m_byId; // sorted
    std::int64_t m_windowStart = 0;                              // alerts at or after
    std::int64_t m_windowEnd = 0;                                // alerts before
    std::vector<Item> m_items;                                   // sorted by alertAt
    std::optional<std::int64_t> m_firstBeyond;                   // first alert at or after the end
};

// The user dismissed the alerts `shown` (as Pending gave them): none of them
// comes again, nor any alert due up to shown.coversUpTo that was not shown
// (missed ones of another day). Snoozes that ended more than a day before
// `now` without being shown are forgotten.
AlertState AfterDismiss(const AlertState& state, const DueAlerts& shown, std::int64_t now);
// The user snoozed the alerts `shown`: each comes again at its SnoozeEnd
// (five minutes when "until the time itself" has passed). Alerts beyond
// kMaxSnoozedAlerts are not snoozed but stay due.
AlertState AfterSnooze(const AlertState& state, const DueAlerts& shown, SnoozeChoice choice,
                       std::int64_t now);

// The pop-up's line for an alert, at `now`: "14:30 Dentist, in 15 minutes",
// "14:30 Dentist, now" (within a minute of the start), "14:30 Dentist, in
// 1 hour 30 minutes", "14:30 Dentist, tomorrow" (more than 12 hours ahead,
// on the next date), "14:30 Dentist, in 3 days", "14:30 Dentist, 10 minutes
// ago" (shown late, after a wait); all-day: "Dentist, today", "Dentist,
// tomorrow"; missed: "Missed: 14:30 Dentist". The time is TIME as stored.
std::string AlertText(const DueAlert& alert, const std::string& notes, std::int64_t now,
                      const IWallClock& clock);

// The per-user state: REG_BINARY values, little-endian, in the user's own
// key HKEY_CURRENT_USER\Software\Quillmere (store/user_values.h):
//   "Alerts Handled Until"  8 bytes: handledUpTo, signed 64-bit seconds.
//   "Snoozed Alerts"        24 bytes per alert, at most kMaxSnoozedAlerts:
//                           the 64-bit id, the occurrence's date as
//                           year * 10000 + month * 100 + day (32 bits), a
//                           32-bit 0, and `until` (signed 64 bits).
// Instants lie in years 1 to 9999. A decoder takes only exactly that: a
// wrong size, a date that does not exist, a nonzero filler, an instant out
// of range or one alert twice is no value.
inline constexpr char kAlertsHandledValueName[] = "Alerts Handled Until";
inline constexpr char kSnoozedAlertsValueName[] = "Snoozed Alerts";
inline constexpr std::size_t kMaxSnoozedAlertsBytes = 24 * kMaxSnoozedAlerts;
std::vector<unsigned char> EncodeHandledUpTo(std::int64_t instant);
std::optional<std::int64_t> DecodeHandledUpTo(const unsigned char* data, std::size_t size);
std::vector<unsigned char> EncodeSnoozedAlerts(const std::vector<SnoozedAlert>& snoozed);
std::optional<std::vector<SnoozedAlert>> DecodeSnoozedAlerts(const unsigned char* data,
                                                             std::size_t size);
