// The Repeat part's reading of a stored rule. Input:
//   bytes 0-2  the From date: a year from 1990, a month, a day of it
//   the rest   the stored REPEAT text
// Properties: a rule no choice says is given back word for word; a rule a
// choice says is written as a rule the program follows, which opens as the
// same choice and gives the same days over two years.

#include "editing/repeat_choice.h"
#include "fuzz/fuzz_check.h"
#include "ical/series.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace {

// The first days of the occurrences over two years, or none when the work
// ran out.
bool Starts(const CalendarDate& from, const std::string& rule, std::vector<CalendarDate>& starts) {
    const ical::Series series(from, from, {RepeatKind::Rule, rule, {}, ""});
    ical::WorkBudget budget(ical::kSeriesWork);
    series.OccurrencesOverlapping(from, {from.year + 2, from.month, 1}, budget,
                                  [&](const CalendarDate& start) { starts.push_back(start); });
    return !budget.Exhausted();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3)
        return 0;
    CalendarDate from{1990 + data[0] % 60, data[1] % 12 + 1, 1};
    from.day = data[2] % DaysInMonth(from.year, from.month) + 1;
    const std::string text(reinterpret_cast<const char*>(data + 3), size - 3);

    const RepeatChoice choice = ChoiceOfRule(text, from);
    const std::string written = RuleOfChoice(choice, from);
    if (choice.preset == RepeatPreset::AsStored) {
        FUZZ_CHECK(written == text);
        return 0;
    }
    ical::SeriesRule read;
    FUZZ_CHECK(ical::ReadSeriesRule(written, read));
    FUZZ_CHECK(ChoiceOfRule(written, from) == choice);
    std::vector<CalendarDate> stored;
    std::vector<CalendarDate> saved;
    if (Starts(from, text, stored) && Starts(from, written, saved))
        FUZZ_CHECK(stored == saved);
    return 0;
}
