// Repeating appointments' occurrences, for the peer check against
// python-dateutil (tests/ical_peers/check_series.py) and for timing:
//   series_tool dates FIRST LAST
//       reads lines "FROM RULE [SKIP,SKIP...]" (dates as YYYYMMDD) from
//       standard input and prints for each the first days of the one-day
//       occurrences from FIRST to LAST, then "end" and the last day (or
//       "never", "at-latest DAY", "unfollowed");
//   series_tool time
//       times the reminder scan's question "does an occurrence cover
//       today?" over 5,000 series of assorted rules: the first scan, the
//       same day again, and each day of a year in turn. Configure with
//       -DQUILLMERE_SANITIZE=OFF for times worth reading.

#include "ical/series.h"
#include "ical/time_value.h"

#include <chrono>
#include <cstdio>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

namespace {

bool ReadDate(const std::string& text, CalendarDate& date) {
    ical::TimeValue value;
    if (!ical::ParseTimeText(text, true, value))
        return false;
    date = value.wall.date;
    return true;
}

int PrintDates(const CalendarDate& first, const CalendarDate& last) {
    std::string line;
    int lineNumber = 0;
    while (std::getline(std::cin, line)) {
        ++lineNumber;
        std::istringstream fields(line);
        std::string from, rule, skips;
        fields >> from >> rule >> skips;
        CalendarDate start;
        if (!ReadDate(from, start)) {
            std::fprintf(stderr, "line %d: no FROM date\n", lineNumber);
            return 2;
        }
        SeriesValues values{RepeatKind::Rule, rule, {}, ""};
        std::istringstream list(skips);
        for (std::string skip; std::getline(list, skip, ',');) {
            CalendarDate date;
            if (ReadDate(skip, date))
                values.skipDates.push_back(date);
        }
        const ical::Series series(start, start, values);
        std::string out;
        if (!series.Repeats()) {
            out = "unfollowed";
        } else {
            ical::WorkBudget budget(100 * ical::kSeriesWork);
            series.OccurrencesOverlapping(first, last, budget, [&](const CalendarDate& day) {
                out += ical::FormatDate(day) + " ";
            });
            ical::WorkBudget endBudget(ical::kSeriesWork);
            const ical::SeriesEnd end = series.LastEnd(endBudget);
            out += "end ";
            out += end.kind == ical::SeriesEndKind::Never ? "never"
                   : end.kind == ical::SeriesEndKind::AtLatest
                       ? "at-latest " + ical::FormatDate(end.lastDay)
                       : ical::FormatDate(end.lastDay);
            if (budget.Exhausted())
                out = "over-budget";
        }
        std::printf("%s\n", out.c_str());
    }
    return 0;
}

// 5,000 series as a calendar holds them: weekly classes, monthly and
// yearly dates and weekdays, every few days, with COUNT or UNTIL or
// neither, some with skip dates, started over the last ten years.
std::vector<ical::Series> SomeSeries(const CalendarDate& today) {
    static const char* const kRules[] = {
        "FREQ=WEEKLY;BYDAY=TU,TH",
        "FREQ=WEEKLY;INTERVAL=2;BYDAY=MO;WKST=SU",
        "FREQ=MONTHLY;BYMONTHDAY=15",
        "FREQ=MONTHLY;BYDAY=-1FR",
        "FREQ=MONTHLY;BYDAY=2TU;COUNT=40",
        "FREQ=YEARLY",
        "FREQ=YEARLY;BYMONTH=11;BYDAY=4TH",
        "FREQ=DAILY;INTERVAL=3",
        "FREQ=DAILY;BYDAY=MO,TU,WE,TH,FR;UNTIL=20301231",
        "FREQ=MONTHLY;INTERVAL=5;BYMONTHDAY=-1;COUNT=500",
        "FREQ=YEARLY;BYMONTH=2;BYDAY=5MO",
        "FREQ=WEEKLY;BYDAY=SA;COUNT=100000",
    };
    std::vector<ical::Series> series;
    std::uint32_t random = 12345;
    const auto next = [&] { return random = random * 1103515245u + 12345u; };
    const std::int64_t todayNumber = ical::DayNumber(today);
    for (int i = 0; i < 5000; ++i) {
        const CalendarDate from = ical::DateOfDayNumber(todayNumber - (next() >> 8) % 3650);
        const CalendarDate to = ical::AddDays(from, (next() >> 8) % 5 == 0 ? 2 : 0);
        SeriesValues values{RepeatKind::Rule, kRules[(next() >> 8) % std::size(kRules)], {}, ""};
        if ((next() >> 8) % 4 == 0)
            for (int k = 0; k < 20; ++k)
                values.skipDates.push_back(
                    ical::DateOfDayNumber(todayNumber - 200 + (next() >> 8) % 400));
        series.emplace_back(from, to, values);
    }
    return series;
}

double Microseconds(std::chrono::steady_clock::duration d) {
    return std::chrono::duration<double, std::micro>(d).count();
}

int Time() {
    const CalendarDate today{2026, 3, 10};
    std::vector<ical::Series> series = SomeSeries(today);
    const auto scan = [&](const CalendarDate& day) {
        int covered = 0;
        for (ical::Series& s : series)
            covered += s.CoversToday(day);
        return covered;
    };
    auto start = std::chrono::steady_clock::now();
    const int first = scan(today);
    const double firstScan = Microseconds(std::chrono::steady_clock::now() - start);

    constexpr int kRepeats = 200;
    start = std::chrono::steady_clock::now();
    int again = 0;
    for (int i = 0; i < kRepeats; ++i)
        again += scan(today);
    const double repeated = Microseconds(std::chrono::steady_clock::now() - start) / kRepeats;

    double slowestDay = 0;
    start = std::chrono::steady_clock::now();
    CalendarDate day = today;
    for (int i = 0; i < 365; ++i) {
        day = NextDay(day);
        const auto dayStart = std::chrono::steady_clock::now();
        scan(day);
        slowestDay =
            std::max(slowestDay, Microseconds(std::chrono::steady_clock::now() - dayStart));
    }
    const double perDay = Microseconds(std::chrono::steady_clock::now() - start) / 365;

    // The same question asked afresh of each series, as without the memory.
    start = std::chrono::steady_clock::now();
    int fresh = 0;
    for (const ical::Series& s : series) {
        ical::WorkBudget budget(ical::kSeriesWork);
        fresh += s.OccurrenceCovering(today, budget).has_value();
    }
    const double freshScan = Microseconds(std::chrono::steady_clock::now() - start);

    std::printf("5000 series, %d covering %s (asked afresh: %d)\n", first,
                FormatDateText(today).c_str(), fresh);
    std::printf("first scan:                 %9.1f us\n", firstScan);
    std::printf("same day again:             %9.1f us per scan (%d covering)\n", repeated,
                again / kRepeats);
    std::printf("next 365 days, one a scan:  %9.1f us per scan, slowest %.1f us\n", perDay,
                slowestDay);
    std::printf("asked afresh, no memory:    %9.1f us per scan\n", freshScan);
    return first == fresh && again == first * kRepeats ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    const std::string command = argc > 1 ? argv[1] : "";
    CalendarDate first, last;
    if (command == "dates" && argc == 4 && ReadDate(argv[2], first) && ReadDate(argv[3], last))
        return PrintDates(first, last);
    if (command == "time" && argc == 2)
        return Time();
    std::fprintf(stderr, "usage: series_tool dates FIRST LAST < rules | series_tool time\n");
    return 1;
}
