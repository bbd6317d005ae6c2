// Date texts as another program may have stored them in FROM, TO or a day
// key's name. The input is up to three texts separated by '\n': FROM, TO and
// today (today defaults to 2002-5-7); the first is also parsed on its own.

#include "calendar/date_text.h"
#include "fuzz/fuzz_check.h"
#include "store/date_range.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

// The text in a heap block of exactly its size and NUL, so that a read past
// the NUL is caught.
std::unique_ptr<char[]> ExactCopy(const std::string& text) {
    std::unique_ptr<char[]> copy(new char[text.size() + 1]);
    std::memcpy(copy.get(), text.c_str(), text.size() + 1);
    return copy;
}

// The month lengths counted another way than the code under test does:
// 30 or 31 alternating, the alternation turning over in August.
int MonthLength(int year, int month) {
    if (month == 2) {
        const bool leap = year % 400 == 0 || (year % 100 != 0 && year % 4 == 0);
        return leap ? 29 : 28;
    }
    return 30 + (month + month / 8) % 2;
}

bool IsValid(const CalendarDate& d) {
    return d.year >= 1 && d.year <= 9999 && d.month >= 1 && d.month <= 12 && d.day >= 1 &&
           d.day <= MonthLength(d.year, d.month);
}

// The text with the leading zeros of each '-'-separated field dropped.
std::string WithoutLeadingZeros(const char* text) {
    std::string result;
    bool fieldStart = true;
    for (const char* p = text; *p != '\0'; ++p) {
        if (fieldStart && *p == '0' && p[1] >= '0' && p[1] <= '9')
            continue;
        result += *p;
        fieldStart = *p == '-';
    }
    return result;
}

// What a parsed text must satisfy, and the day arithmetic around it.
void CheckParse(const std::string& input) {
    const auto text = ExactCopy(input);
    const CalendarDate untouched{-7, -7, -7};
    CalendarDate date = untouched;
    if (!ParseDateText(text.get(), date)) {
        FUZZ_CHECK(date == untouched);
        return;
    }
    FUZZ_CHECK(IsValid(date));
    FUZZ_CHECK(DaysInMonth(date.year, date.month) == MonthLength(date.year, date.month));
    const std::string formatted = FormatDateText(date);
    FUZZ_CHECK(formatted.size() < kDateTextBufferSize);
    // Only digits and the two dashes were accepted: the text is the date's
    // own text up to leading zeros.
    FUZZ_CHECK(WithoutLeadingZeros(text.get()) == formatted);
    CalendarDate again;
    FUZZ_CHECK(ParseDateText(ExactCopy(formatted).get(), again) && again == date);

    const CalendarDate next = NextDay(date);
    FUZZ_CHECK(CompareDates(next, date) > 0 && CompareDates(date, next) < 0);
    FUZZ_CHECK(PreviousDay(next) == date);
    if (date.year < 9999 || date.month < 12 || date.day < 31) {
        FUZZ_CHECK(IsValid(next));
        CalendarDate parsedNext;
        FUZZ_CHECK(ParseDateText(FormatDateText(next).c_str(), parsedNext) && parsedNext == next);
    }
    const CalendarDate previous = PreviousDay(date);
    FUZZ_CHECK(CompareDates(previous, date) < 0 && NextDay(previous) == date);
    if (date.year > 1 || date.month > 1 || date.day > 1)
        FUZZ_CHECK(IsValid(previous));
}

void CheckRange(const std::string& fromText, const std::string& toText,
                const std::string& todayText) {
    CalendarDate today;
    if (!ParseDateText(ExactCopy(todayText).get(), today))
        return;
    const auto from = ExactCopy(fromText);
    const auto to = ExactCopy(toText);
    const RangeState state = ClassifyRange(from.get(), to.get(), today);
    CalendarDate first, last;
    if (!ParseDateText(from.get(), first) || !ParseDateText(to.get(), last)) {
        FUZZ_CHECK(state == RangeState::Unreadable);
        return;
    }
    if (CompareDates(last, today) < 0)
        FUZZ_CHECK(state == RangeState::Ended);
    else if (CompareDates(first, today) <= 0)
        FUZZ_CHECK(state == RangeState::Current);
    else
        FUZZ_CHECK(state == RangeState::Upcoming);
    // Today within the range, both ends included, is exactly "current".
    const bool within = CompareDates(first, today) <= 0 && CompareDates(today, last) <= 0;
    FUZZ_CHECK(within == (state == RangeState::Current));
    // A one-day range is current on its day only.
    FUZZ_CHECK((ClassifyRange(from.get(), from.get(), today) == RangeState::Current) ==
               (first == today));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (parts.size() < 3) {
        const std::size_t end = input.find('\n', start);
        parts.push_back(input.substr(start, end == std::string::npos ? end : end - start));
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    CheckParse(parts[0]);
    if (parts.size() > 1)
        CheckParse(parts[1]);
    CheckRange(parts[0], parts.size() > 1 ? parts[1] : parts[0],
               parts.size() > 2 ? parts[2] : std::string("2002-5-7"));
    return 0;
}
