#include "tray/reminder_schedule.h"

#include "ical/civil_time.h"

#include <algorithm>
#include <map>
#include <vector>

namespace {

constexpr int kMsPerMinute = 60 * 1000;

std::uint32_t PackDate(const CalendarDate& date) {
    return static_cast<std::uint32_t>(date.year * 10000 + date.month * 100 + date.day);
}

CalendarDate UnpackDate(std::uint32_t packed) {
    CalendarDate date;
    date.year = static_cast<int>(packed / 10000);
    date.month = static_cast<int>(packed / 100 % 100);
    date.day = static_cast<int>(packed % 100);
    return date;
}

bool IsValidDate(const CalendarDate& date) {
    return date.year >= 1 && date.year <= 9999 && date.month >= 1 && date.month <= 12 &&
           date.day >= 1 && date.day <= DaysInMonth(date.year, date.month);
}

void Put32(std::vector<unsigned char>& out, std::uint32_t value) {
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<unsigned char>(value >> (8 * i)));
}

void Put64(std::vector<unsigned char>& out, std::uint64_t value) {
    for (int i = 0; i < 8; ++i)
        out.push_back(static_cast<unsigned char>(value >> (8 * i)));
}

std::uint64_t Get(const unsigned char* data, int bytes) {
    std::uint64_t value = 0;
    for (int i = bytes - 1; i >= 0; --i)
        value = (value << 8) | data[i];
    return value;
}

// Milliseconds from `from` to `to` when they lie at most a day's change
// apart; nothing when further.
std::optional<std::int64_t> MsBetween(const LocalMoment& from, const LocalMoment& to) {
    const std::int64_t step = std::int64_t{to.msOfDay} - from.msOfDay;
    if (to.date == from.date)
        return step;
    if (to.date == NextDay(from.date))
        return step + kMsPerDay;
    if (from.date == NextDay(to.date))
        return step - kMsPerDay;
    return std::nullopt;
}

constexpr std::int64_t kMsPerHour = 60 * kMsPerMinute;

// The offsets from UTC that `zone` uses around the wall-clock time `wall`.
// Every instant the wall clock reads within a few hours of `wall` lies within
// a day of it (offsets run from -12 to +14 hours), so the offsets there are
// those before and after any change of the clocks near `wall`.
std::optional<std::vector<std::int64_t>> OffsetsAround(std::int64_t wall, const ZoneRules& zone) {
    std::vector<std::int64_t> offsets;
    for (std::int64_t step = -2; step <= 2; ++step) {
        const std::int64_t utc = wall + step * 12 * kMsPerHour;
        const std::optional<LocalMoment> local = zone(utc);
        if (!local || !IsValidMoment(*local))
            return std::nullopt;
        const std::int64_t offset = WallClockMs(*local) - utc;
        if (std::find(offsets.begin(), offsets.end(), offset) == offsets.end())
            offsets.push_back(offset);
    }
    return offsets;
}

// The instants that may read `wall` on the local clock: `wall` less each
// offset around it, with the wall-clock time each of them does read, in
// order of time.
std::optional<std::vector<std::pair<std::int64_t, std::int64_t>>>
InstantsNear(std::int64_t wall, const ZoneRules& zone) {
    const std::optional<std::vector<std::int64_t>> offsets = OffsetsAround(wall, zone);
    if (!offsets)
        return std::nullopt;
    std::vector<std::pair<std::int64_t, std::int64_t>> instants;
    for (std::int64_t offset : *offsets) {
        const std::optional<LocalMoment> local = zone(wall - offset);
        if (!local || !IsValidMoment(*local))
            return std::nullopt;
        instants.emplace_back(wall - offset, WallClockMs(*local));
    }
    std::sort(instants.begin(), instants.end());
    return instants;
}

// The first instant whose wall-clock time is `wall` or later: where the
// clocks read `wall` twice, the first; where they jump over it, the jump.
std::optional<std::int64_t> FirstInstantFrom(std::int64_t wall, const ZoneRules& zone) {
    const auto instants = InstantsNear(wall, zone);
    if (!instants)
        return std::nullopt;
    // Two days before, the clock reads earlier than `wall` in any zone.
    std::int64_t before = wall - 2 * std::int64_t{kMsPerDay};
    for (const auto& [utc, reads] : *instants) {
        if (reads < wall) {
            before = utc;
            continue;
        }
        if (reads == wall)
            return utc;
        // The clocks jumped over `wall` after `before`: the jump is the first
        // instant that reads `wall` or later.
        std::int64_t after = utc;
        while (after - before > 1) {
            const std::int64_t middle = before + (after - before) / 2;
            const std::optional<LocalMoment> local = zone(middle);
            if (!local || !IsValidMoment(*local))
                return std::nullopt;
            if (WallClockMs(*local) >= wall)
                after = middle;
            else
                before = middle;
        }
        return after;
    }
    return std::nullopt;
}

// The last instant whose wall-clock time is `wall`; where the clocks jumped
// over it, the jump.
std::optional<std::int64_t> LastInstantAt(std::int64_t wall, const ZoneRules& zone) {
    const auto instants = InstantsNear(wall, zone);
    if (!instants)
        return std::nullopt;
    for (auto it = instants->rbegin(); it != instants->rend(); ++it)
        if (it->second == wall)
            return it->first;
    return FirstInstantFrom(wall, zone);
}

} // namespace

bool IsValidMoment(const LocalMoment& moment) {
    return IsValidDate(moment.date) && moment.msOfDay >= 0 && moment.msOfDay < kMsPerDay;
}

unsigned MsUntilNextDay(const LocalMoment& now) {
    const int into = std::clamp(now.msOfDay, 0, kMsPerDay - 1);
    return static_cast<unsigned>(kMsPerDay - into) + kDayChangeMarginMs;
}

std::int64_t WallClockMs(const LocalMoment& moment) {
    return ical::DayNumber(moment.date) * kMsPerDay + moment.msOfDay;
}

LocalMoment MomentOfWallClockMs(std::int64_t ms) {
    std::int64_t days = ms / kMsPerDay;
    std::int64_t into = ms % kMsPerDay;
    if (into < 0) {
        into += kMsPerDay;
        --days;
    }
    LocalMoment moment;
    moment.date = ical::DateOfDayNumber(days);
    moment.msOfDay = static_cast<int>(into);
    return moment;
}

unsigned MsUntilNextDay(const LocalMoment& now, const ZoneRules& zone) {
    if (!IsValidMoment(now) || now.date.year >= 9999 || !zone)
        return MsUntilNextDay(now);
    LocalMoment midnight;
    midnight.date = NextDay(now.date);
    const std::optional<std::int64_t> from = LastInstantAt(WallClockMs(now), zone);
    const std::optional<std::int64_t> to = FirstInstantFrom(WallClockMs(midnight), zone);
    // The next day begins after now and within two days, whatever the zone;
    // answers that say otherwise are not its rules.
    if (!from || !to || *to <= *from || *to - *from > 2 * std::int64_t{kMsPerDay})
        return MsUntilNextDay(now);
    return static_cast<unsigned>(*to - *from) + kDayChangeMarginMs;
}

LocalMoment AddMinutes(const LocalMoment& start, int minutes) {
    LocalMoment end = start;
    end.msOfDay += std::clamp(minutes, 0, kMsPerDay / kMsPerMinute) * kMsPerMinute;
    if (end.msOfDay >= kMsPerDay) {
        end.msOfDay -= kMsPerDay;
        end.date = NextDay(end.date);
    }
    return end;
}

std::optional<unsigned> SnoozeRemainingMs(const LocalMoment& until, const LocalMoment& now) {
    if (!IsValidMoment(until) || !IsValidMoment(now))
        return std::nullopt;
    const std::optional<std::int64_t> left = MsBetween(now, until);
    if (!left || *left <= 0 || *left > std::int64_t{kSnoozeLongMinutes} * kMsPerMinute)
        return std::nullopt;
    return static_cast<unsigned>(*left);
}

bool NotificationStateHoldsReminders(int state) {
    switch (state) {
    case kStateNotPresent:
    case kStateBusy:
    case kStateD3DFullScreen:
    case kStatePresentation:
    case kStateQuietTime:
    case kStateStoreAppRunning:
        return true;
    default:
        return false;
    }
}

std::uint64_t ReminderLineHash(const std::string& text) {
    std::uint64_t hash = 0xcbf29ce484222325ull;
    for (unsigned char c : text) {
        hash ^= c;
        hash *= 0x100000001b3ull;
    }
    return hash;
}

std::vector<std::string> WithoutDismissed(const std::vector<std::string>& lines,
                                          const std::vector<std::uint64_t>& dismissed) {
    std::map<std::uint64_t, int> left;
    for (std::uint64_t hash : dismissed)
        ++left[hash];
    std::vector<std::string> kept;
    for (const std::string& line : lines) {
        auto it = left.find(ReminderLineHash(line));
        if (it != left.end() && it->second > 0)
            --it->second;
        else
            kept.push_back(line);
    }
    return kept;
}

std::vector<std::uint64_t> MergeDismissed(const std::vector<std::uint64_t>& dismissed,
                                          const std::vector<std::string>& lines) {
    std::map<std::uint64_t, std::size_t> before;
    for (std::uint64_t hash : dismissed)
        ++before[hash];
    std::map<std::uint64_t, std::size_t> found;
    for (const std::string& line : lines)
        ++found[ReminderLineHash(line)];
    // What was dismissed keeps its place; texts new to the list follow.
    std::vector<std::uint64_t> merged = dismissed;
    for (const auto& [hash, count] : found) {
        const std::size_t had = before.count(hash) != 0 ? before[hash] : 0;
        for (std::size_t i = had; i < count; ++i)
            merged.push_back(hash);
    }
    if (merged.size() > kMaxDismissedLines)
        merged.resize(kMaxDismissedLines);
    return merged;
}

std::vector<unsigned char> EncodeSnooze(const LocalMoment& until) {
    std::vector<unsigned char> out;
    Put32(out, PackDate(until.date));
    Put32(out, static_cast<std::uint32_t>(until.msOfDay));
    return out;
}

std::optional<LocalMoment> DecodeSnooze(const unsigned char* data, std::size_t size) {
    if (data == nullptr || size != 8)
        return std::nullopt;
    LocalMoment until;
    until.date = UnpackDate(static_cast<std::uint32_t>(Get(data, 4)));
    const std::uint64_t ms = Get(data + 4, 4);
    if (ms >= static_cast<std::uint64_t>(kMsPerDay))
        return std::nullopt;
    until.msOfDay = static_cast<int>(ms);
    if (!IsValidMoment(until))
        return std::nullopt;
    return until;
}

std::vector<unsigned char> EncodeDismissed(const DismissedLines& lines) {
    std::vector<unsigned char> out;
    Put32(out, PackDate(lines.day));
    Put32(out, 0);
    const std::size_t count = std::min(lines.hashes.size(), kMaxDismissedLines);
    for (std::size_t i = 0; i < count; ++i)
        Put64(out, lines.hashes[i]);
    return out;
}

std::optional<DismissedLines> DecodeDismissed(const unsigned char* data, std::size_t size) {
    if (data == nullptr || size < 8 || size > kMaxStateValueBytes || size % 8 != 0 ||
        Get(data + 4, 4) != 0)
        return std::nullopt;
    DismissedLines lines;
    lines.day = UnpackDate(static_cast<std::uint32_t>(Get(data, 4)));
    if (!IsValidDate(lines.day))
        return std::nullopt;
    for (std::size_t at = 8; at < size; at += 8)
        lines.hashes.push_back(Get(data + at, 8));
    return lines;
}
