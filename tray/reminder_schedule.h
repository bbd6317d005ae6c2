#pragma once

#include "calendar/date_text.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

// The window-free rules of timed reminders: when the next day begins, how
// long a snooze still holds, which states of the user hold a reminder back,
// which lines a dismissal takes away, and the per-user state as the bytes it
// is stored as. No system header, so they are also checked and fuzzed
// natively.

// A moment of the local wall clock: a date and the milliseconds since its
// midnight.
struct LocalMoment {
    CalendarDate date;
    int msOfDay = 0; // 0 to kMsPerDay - 1

    friend bool operator==(const LocalMoment&, const LocalMoment&) = default;
};

inline constexpr int kMsPerDay = 24 * 60 * 60 * 1000;

// A one-shot timer set to wake on the new day is late by this much, so that
// the clock it then reads shows the new day.
inline constexpr unsigned kDayChangeMarginMs = 500;
// After a resume from sleep the network and the desktop settle first.
inline constexpr unsigned kResumeDelayMs = 3000;
// While the user must not be disturbed, the state is asked again this often.
inline constexpr unsigned kQuietPollMs = 15000;
// The snoozes offered, in minutes; no snooze is longer than the last.
inline constexpr int kSnoozeShortMinutes = 10;
inline constexpr int kSnoozeLongMinutes = 60;

// Whether the fields name a real date (years 1 to 9999) and a time of day.
bool IsValidMoment(const LocalMoment& moment);

// Milliseconds from `now` to the next local midnight, plus kDayChangeMarginMs,
// as if every day had 24 hours.
unsigned MsUntilNextDay(const LocalMoment& now);

// A moment counted in milliseconds from 1970-1-1 00:00 as if the wall clock
// were UTC, and back (for counts of years 1 to 9999).
std::int64_t WallClockMs(const LocalMoment& moment);
LocalMoment MomentOfWallClockMs(std::int64_t ms);

// The rules of a time zone: the local wall-clock moment of a UTC instant,
// given in milliseconds since 1970-1-1 00:00 UTC. Nothing when it cannot say.
using ZoneRules = std::function<std::optional<LocalMoment>(std::int64_t utcMs)>;

// Milliseconds from `now` to the first instant of the next local day by the
// rules of `zone`, plus kDayChangeMarginMs: 23 or 25 hours' worth from the
// start of a day on which the clocks change, and where the clocks jump over
// local midnight, to the instant of the jump. A `now` that the clocks read
// twice (they went back over it) is taken as the later, so the wait is at
// worst early, and is then set again. Without the zone's answers, or with
// answers that make no sense, as MsUntilNextDay(now).
unsigned MsUntilNextDay(const LocalMoment& now, const ZoneRules& zone);

// The moment `minutes` (0 to a day's worth) after `start`.
LocalMoment AddMinutes(const LocalMoment& start, int minutes);

// How long a snooze until `until` still holds timed reminders back at `now`,
// in milliseconds. Nothing when it has run out, or when it lies further ahead
// than the longest snooze: a clock set back, or a value this program did not
// write, must not silence reminders for longer.
std::optional<unsigned> SnoozeRemainingMs(const LocalMoment& until, const LocalMoment& now);

// The shell's answers to "may the user be interrupted now"
// (SHQueryUserNotificationState's QUNS_ values), and 0 when it cannot say.
enum UserNotificationState : int {
    kStateUnknown = 0,
    kStateNotPresent = 1,      // screen saver, locked, or another user's session
    kStateBusy = 2,            // a full-screen program, or presentation settings
    kStateD3DFullScreen = 3,   // a full-screen Direct3D program (a game)
    kStatePresentation = 4,    // presentation mode
    kStateAcceptsNotices = 5,  // nothing stands in the way
    kStateQuietTime = 6,       // quiet time; Focus Assist reports itself so
    kStateStoreAppRunning = 7, // a full-screen Store app (Windows 8 and later)
};

// Whether a timed reminder waits in this state. Every known state but
// "accepts" waits; a state the shell cannot give, or one not known here,
// lets the reminder show, since it may never be dropped.
bool NotificationStateHoldsReminders(int state);

// The lines of one day that the user dismissed, each as the hash of its
// NOTES text; a text dismissed twice is there twice.
struct DismissedLines {
    CalendarDate day;
    std::vector<std::uint64_t> hashes;
};
// At most this many are kept; a dismissal beyond it is not remembered, so
// those lines remind again rather than never.
inline constexpr std::size_t kMaxDismissedLines = 256;

// FNV-1a, 64 bits, over the text's bytes.
std::uint64_t ReminderLineHash(const std::string& text);

// `lines` in their order without the dismissed ones: each hash takes away one
// line with that text.
std::vector<std::string> WithoutDismissed(const std::vector<std::string>& lines,
                                          const std::vector<std::uint64_t>& dismissed);

// The dismissals once `lines` (everything a reminder found) are dismissed as
// well: each text as often as it was dismissed before or is among `lines`,
// whichever is more; so a text added again later reminds again.
std::vector<std::uint64_t> MergeDismissed(const std::vector<std::uint64_t>& dismissed,
                                          const std::vector<std::string>& lines);

// The stored forms, little-endian, in REG_BINARY values:
//   "Snoozed Until"   8 bytes: the local date as year * 10000 + month * 100 + day
//                     (32 bits), then the milliseconds since its midnight (32 bits).
//   "Dismissed Today" 8 + 8n bytes: the date as above, a 32-bit 0, then n
//                     64-bit hashes, n at most kMaxDismissedLines.
// A decoder takes only exactly that: a wrong size, a date that does not
// exist or a time outside the day is no value.
std::vector<unsigned char> EncodeSnooze(const LocalMoment& until);
std::optional<LocalMoment> DecodeSnooze(const unsigned char* data, std::size_t size);
std::vector<unsigned char> EncodeDismissed(const DismissedLines& lines);
std::optional<DismissedLines> DecodeDismissed(const unsigned char* data, std::size_t size);
// The largest stored value either decoder takes, in bytes.
inline constexpr std::size_t kMaxStateValueBytes = 8 + 8 * kMaxDismissedLines;
