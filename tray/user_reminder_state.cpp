#include "tray/user_reminder_state.h"

#include "store/system_time.h"
#include "store/user_values.h"

namespace {

constexpr const char* kValueSnoozedUntil = "Snoozed Until";
constexpr const char* kValueDismissedToday = "Dismissed Today";

// Today's dismissals; another day's are removed.
std::vector<std::uint64_t> ReadDismissed(const CalendarDate& today) {
    std::vector<unsigned char> bytes;
    if (!ReadUserBinary(kValueDismissedToday, kMaxStateValueBytes, bytes))
        return {};
    const std::optional<DismissedLines> stored = DecodeDismissed(bytes.data(), bytes.size());
    if (!stored)
        return {};
    if (!(stored->day == today)) {
        DeleteUserValue(kValueDismissedToday);
        return {};
    }
    return stored->hashes;
}

} // namespace

LocalMoment LocalMomentOf(const SYSTEMTIME& time) {
    LocalMoment moment;
    moment.date = DateOf(time);
    moment.msOfDay =
        ((time.wHour * 60 + time.wMinute) * 60 + time.wSecond) * 1000 + time.wMilliseconds;
    return moment;
}

void SnoozeTimedReminders(const SYSTEMTIME& now, int minutes) {
    WriteUserBinary(kValueSnoozedUntil, EncodeSnooze(AddMinutes(LocalMomentOf(now), minutes)));
}

std::optional<unsigned> SnoozeLeftMs(const SYSTEMTIME& now) {
    std::vector<unsigned char> bytes;
    if (!ReadUserBinary(kValueSnoozedUntil, kMaxStateValueBytes, bytes))
        return std::nullopt;
    const std::optional<LocalMoment> until = DecodeSnooze(bytes.data(), bytes.size());
    if (!until)
        return std::nullopt;
    const std::optional<unsigned> left = SnoozeRemainingMs(*until, LocalMomentOf(now));
    if (!left)
        DeleteUserValue(kValueSnoozedUntil);
    return left;
}

std::vector<std::string> WithoutDismissedToday(const SYSTEMTIME& now,
                                               const std::vector<std::string>& lines) {
    return WithoutDismissed(lines, ReadDismissed(DateOf(now)));
}

void DismissForDay(const CalendarDate& day, const SYSTEMTIME& now,
                   const std::vector<std::string>& lines) {
    // Lines of a day that has ended may be today's too (an appointment that
    // runs over both days); dismissing them today would silence them all day.
    if (!(day == DateOf(now)))
        return;
    DismissedLines today;
    today.day = day;
    today.hashes = MergeDismissed(ReadDismissed(today.day), lines);
    WriteUserBinary(kValueDismissedToday, EncodeDismissed(today));
}
