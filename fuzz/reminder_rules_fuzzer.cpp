// The small rules around reminders and settings: the interval clamp, key
// names, the cut and numbering of reminder lines, line cycling, the slide
// geometry, and the timed reminders' day change, snoozes, dismissals and
// stored state.

#include "framework/utf_text.h"
#include "fuzz/fuzz_check.h"
#include "settings/interval.h"
#include "store/key_naming.h"
#include "tests/support/fake_zone.h"
#include "tray/reminder_lines.h"
#include "tray/reminder_schedule.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

// RECT's members, without the system header.
struct Box {
    long left, top, right, bottom;
};

void CheckClamp(int a, int b) {
    const int clamped = ClampIntervalMinutes(a);
    FUZZ_CHECK(clamped >= kMinIntervalMinutes && clamped <= kMaxIntervalMinutes);
    if (a >= kMinIntervalMinutes && a <= kMaxIntervalMinutes)
        FUZZ_CHECK(clamped == a);
    if (a <= b)
        FUZZ_CHECK(clamped <= ClampIntervalMinutes(b));
}

void CheckKeyName(FuzzedDataProvider& input) {
    const int hour = input.ConsumeIntegralInRange(0, 23);
    const int minute = input.ConsumeIntegralInRange(0, 59);
    const int second = input.ConsumeIntegralInRange(0, 59);
    const int millisecond = input.ConsumeIntegralInRange(0, 999);
    const int attempt = input.ConsumeIntegralInRange(0, kMaxKeyNameAttempts - 1);
    const std::string base = "Appointment " + std::to_string(hour) + std::to_string(minute) +
                             std::to_string(second) + std::to_string(millisecond);
    const std::string name = AppointmentKeyName(hour, minute, second, millisecond, attempt);
    FUZZ_CHECK(name == (attempt == 0 ? base : base + "-" + std::to_string(attempt + 1)));
    // Each further attempt tries a name not tried before.
    if (attempt + 1 < kMaxKeyNameAttempts)
        FUZZ_CHECK(AppointmentKeyName(hour, minute, second, millisecond, attempt + 1) != name);
}

void CheckCut(const std::string& notes) {
    // The notes in a block of exactly their size, so a read past them shows.
    std::unique_ptr<char[]> text(new char[notes.size()]);
    std::memcpy(text.get(), notes.data(), notes.size());
    const std::string_view whole(text.get(), notes.size());
    const std::string line = CutReminderLine(whole);
    const std::u16string units = fw::Utf8ToUtf16(whole);
    const std::u16string shown = fw::Utf8ToUtf16(line);
    FUZZ_CHECK(shown.size() <= kReminderLineMaxLength);
    FUZZ_CHECK(whole.substr(0, line.size()) == line);
    if (units.size() <= kReminderLineMaxLength) {
        FUZZ_CHECK(line.size() == notes.size());
        return;
    }
    // Cut at a whole character: the shown units begin the stored ones, and
    // the character after the cut would not have fitted.
    FUZZ_CHECK(units.compare(0, shown.size(), shown) == 0);
    const bool pair = units[shown.size()] >= 0xD800 && units[shown.size()] <= 0xDBFF;
    FUZZ_CHECK(shown.size() + (pair ? 2 : 1) > kReminderLineMaxLength);
}

void CheckCycle(FuzzedDataProvider& input) {
    const int count = input.ConsumeIntegralInRange(0, 2000);
    if (count == 0) {
        FUZZ_CHECK(NextReminderLine(0, 0) == 0);
        return;
    }
    const int current = input.ConsumeIntegralInRange(0, count - 1);
    const int next = NextReminderLine(current, count);
    FUZZ_CHECK(next == (current + 1) % count);
    // `count` ticks show every line once and come back.
    int shown = current;
    for (int tick = 0; tick < count; ++tick) {
        shown = NextReminderLine(shown, count);
        FUZZ_CHECK(shown >= 0 && shown < count);
    }
    FUZZ_CHECK(shown == current);
    const int index = input.ConsumeIntegralInRange(0, 100000);
    const std::string line = input.ConsumeRandomLengthString(400);
    FUZZ_CHECK(NumberedReminderLine(index, line) == std::to_string(index + 1) + ". " + line);
}

void CheckSlide(FuzzedDataProvider& input) {
    Box screen{};
    screen.left = input.ConsumeIntegralInRange(-40000L, 40000L);
    screen.top = input.ConsumeIntegralInRange(-40000L, 40000L);
    screen.right = screen.left + input.ConsumeIntegralInRange(0L, 40000L);
    screen.bottom = screen.top + input.ConsumeIntegralInRange(0L, 40000L);
    const int k = input.ConsumeIntegralInRange(kSlideFirstStep, kSlideLastStep);
    const Box place = SlideRect(screen, k);
    FUZZ_CHECK(place.right == screen.right - 2 && place.bottom == screen.bottom - 30);
    FUZZ_CHECK(place.right - place.left == k + 198 && place.bottom - place.top == 85);
    // Each step is one pixel wider, growing leftwards out of the same edge.
    if (k < kSlideLastStep) {
        const Box wider = SlideRect(screen, k + 1);
        FUZZ_CHECK(wider.left == place.left - 1 && wider.right == place.right);
    }
    // At any DPI the same place, every length scaled to within a pixel, and
    // still growing out of the same edge.
    const unsigned int dpi = input.ConsumeIntegralInRange(72u, 480u);
    const Box scaled = SlideRect(screen, k, dpi);
    const auto near = [dpi](long got, long at96) {
        const long long exact = static_cast<long long>(at96) * dpi;
        return static_cast<long long>(got) * 96 - exact <= 96 &&
               exact - static_cast<long long>(got) * 96 <= 96;
    };
    FUZZ_CHECK(near(screen.right - scaled.right, 2) && near(screen.bottom - scaled.bottom, 30));
    FUZZ_CHECK(near(scaled.right - scaled.left, k + 198) && near(scaled.bottom - scaled.top, 85));
    if (k < kSlideLastStep) {
        const Box wider = SlideRect(screen, k + 1, dpi);
        FUZZ_CHECK(wider.left <= scaled.left && wider.right == scaled.right);
    }
}

void CheckSchedule(FuzzedDataProvider& input) {
    LocalMoment now;
    now.date.year = input.ConsumeIntegralInRange(1, 9998);
    now.date.month = input.ConsumeIntegralInRange(1, 12);
    now.date.day = input.ConsumeIntegralInRange(1, DaysInMonth(now.date.year, now.date.month));
    now.msOfDay = input.ConsumeIntegralInRange(0, kMsPerDay - 1);
    const unsigned wait = MsUntilNextDay(now);
    FUZZ_CHECK(wait > kDayChangeMarginMs && wait <= kMsPerDay + kDayChangeMarginMs);
    // A snooze holds exactly as long as it was given, never longer than an hour.
    const int minutes = input.ConsumeIntegralInRange(0, kSnoozeLongMinutes + 30);
    const LocalMoment until = AddMinutes(now, minutes);
    FUZZ_CHECK(IsValidMoment(until));
    const std::optional<unsigned> left = SnoozeRemainingMs(until, now);
    if (minutes == 0 || minutes > kSnoozeLongMinutes)
        FUZZ_CHECK(!left);
    else
        FUZZ_CHECK(left && *left == static_cast<unsigned>(minutes) * 60000u);
    const std::vector<unsigned char> stored = EncodeSnooze(until);
    FUZZ_CHECK(DecodeSnooze(stored.data(), stored.size()) == until);

    // Dismissing what a reminder found takes it all away, and only as often
    // as dismissed: a further copy of a text still reminds.
    std::vector<std::string> lines;
    const int count = input.ConsumeIntegralInRange(0, 12);
    for (int i = 0; i < count; ++i)
        lines.push_back(input.ConsumeRandomLengthString(3));
    const std::vector<std::uint64_t> dismissed = MergeDismissed({}, lines);
    FUZZ_CHECK(WithoutDismissed(lines, dismissed).empty());
    std::vector<std::string> more = lines;
    more.push_back(lines.empty() ? std::string("x") : lines.front());
    FUZZ_CHECK(WithoutDismissed(more, dismissed).size() == 1);
}

// In a zone whose clocks change once near now, by any amount and at any
// instant, the day timer wakes on the next day and not a millisecond later.
void CheckDayStart(FuzzedDataProvider& input) {
    constexpr std::int64_t kMinute = 60000;
    const std::int64_t nowUtc =
        qmtest::UtcMs(2000, 1, 1, 0) +
        input.ConsumeIntegralInRange<std::int64_t>(0, 40LL * 365 * kMsPerDay);
    qmtest::FakeZone zone;
    zone.firstOffsetMinutes = input.ConsumeIntegralInRange(-12 * 4, 14 * 4) * 15;
    const int after = input.ConsumeIntegralInRange(-12 * 4, 14 * 4) * 15;
    const std::int64_t change =
        nowUtc + input.ConsumeIntegralInRange<std::int64_t>(-3LL * kMsPerDay, 3LL * kMsPerDay);
    zone.changes.emplace_back(change, after);
    const LocalMoment now = *zone(nowUtc);
    const unsigned wait = MsUntilNextDay(now, zone);
    // Where the clocks read `now` twice, the wait counts from the later.
    const std::int64_t shift = std::int64_t{after - zone.firstOffsetMinutes} * kMinute;
    std::int64_t from = nowUtc;
    if (shift < 0 && zone(nowUtc - shift) == now)
        from = nowUtc - shift;
    const std::int64_t wakes = from + wait - kDayChangeMarginMs;
    FUZZ_CHECK(CompareDates(zone(wakes)->date, now.date) > 0);
    FUZZ_CHECK(CompareDates(zone(wakes - 1)->date, now.date) <= 0);
}

// Whatever bytes the user's key holds, a decoded value is one this program
// writes in exactly those bytes.
void CheckStoredState(const std::string& bytes) {
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
    if (const std::optional<LocalMoment> until = DecodeSnooze(data, bytes.size())) {
        FUZZ_CHECK(IsValidMoment(*until));
        FUZZ_CHECK(EncodeSnooze(*until) == std::vector<unsigned char>(data, data + bytes.size()));
    }
    if (const std::optional<DismissedLines> lines = DecodeDismissed(data, bytes.size())) {
        FUZZ_CHECK(lines->hashes.size() <= kMaxDismissedLines);
        FUZZ_CHECK(EncodeDismissed(*lines) ==
                   std::vector<unsigned char>(data, data + bytes.size()));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const int a = input.ConsumeIntegral<int>();
    const int b = input.ConsumeIntegral<int>();
    CheckClamp(a, b);
    CheckKeyName(input);
    CheckCycle(input);
    CheckSlide(input);
    CheckSchedule(input);
    CheckDayStart(input);
    CheckStoredState(input.ConsumeRandomLengthString(kMaxStateValueBytes + 16));
    CheckCut(input.ConsumeRemainingBytesAsString());
    return 0;
}
