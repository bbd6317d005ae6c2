// The peer checks' helper (tests/ical_peers/check_peers.py):
//   ical_tool sample FILE.ics
//       writes an export of a fixed set of appointments: texts in several
//       scripts, commas, semicolons, backslashes, line breaks, lines long
//       enough to fold, ranges of several days, times in the exporting
//       computer's zone (New York) and in another (Berlin) with alerts;
//   ical_tool read FILE.ics FIRST LAST
//       prints as JSON what importing the file would file, repeating events
//       from FIRST to LAST (date texts), the user's zone UTC, line breaks
//       as LF; a timed appointment's "time" (HH:MM) is in its "zone", or in
//       UTC when that is ""; an appointment filed with its rule is shown as
//       the occurrences that overlap FIRST..LAST, each a row with its days;
//   ical_tool time FILE.ics TODAY
//       plans the import of the file as of TODAY and prints how long that
//       took, per megabyte, and the work spent (fuzz/costly_calendar.py
//       writes the files that cost most).

#include "ical/calendar_export.h"
#include "ical/import_plan.h"
#include "ical/series.h"
#include "ical/windows_zone_rules.h"

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::string Json(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
            out += escaped;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::vector<ical::StoredAppointment> Sample() {
    std::string longDetail;
    while (longDetail.size() < 400)
        longDetail += "Ein langer Satz \xC3\xBC"
                      "ber Stra\xC3\x9F"
                      "en, Wege; und Pl\xC3\xA4tze \xE2\x80\x94 ";
    return {
        {"2002-5-7",
         "Appointment 95342",
         {"2002-5-7",
          "2002-5-7",
          "Lunch with Anna, then the bank; back at 3",
          "EMail",
          0,
          "Bring:\r\n- the forms\r\n- C:\\Users\\anna\\tax.pdf",
          {},
          {}}},
        {"2002-5-8",
         "Appointment 120000",
         {"2002-5-8",
          "2002-5-10",
          "Fishing trip \xE2\x80\x94 Lake Tahoe",
          "Fishing",
          2,
          longDetail,
          {},
          {}}},
        {"2002-6-1",
         "Appointment 9",
         {"2002-6-1",
          "2002-6-1",
          "\xE6\x98\xA0\xE7\x94\xBB\xE3\x82\x92\xE8\xA6\x8B\xE3\x82\x8B "
          "(\xE6\x96\xB0\xE5\xAE\xBF)",
          "Movie",
          3,
          "",
          {},
          {}}},
        {"2002-12-24",
         "Appointment 1",
         {"2002-12-24",
          "2003-1-2",
          "Holidays \xF0\x9F\x8E\x84 \xD0\x9F\xD1\x80\xD0\xB0\xD0\xB7"
          "\xD0\xB4\xD0\xBD\xD0\xB8\xD0\xBA\xD0\xB8",
          "Holiday",
          5,
          "Quoted \"text\" and a backslash \\ at the end\\",
          {},
          {}}},
        {"2002-7-4",
         "Appointment 2",
         {"2002-7-4",
          "2002-7-4",
          "A concert whose name is long enough that its SUMMARY line is folded at least once "
          "by the writer",
          "Music",
          4,
          "Row 12, seats 3;4",
          {},
          {}}},
        {"2002-5-14",
         "Appointment 3",
         {"2002-5-14",
          "2002-5-14",
          "Dentist, Dr. M\xC3\xBCller",
          "Others",
          1,
          "",
          {870, 45, 15, ""},
          {}}},
        {"2002-5-13",
         "Appointment 4",
         {"2002-5-13",
          "2002-5-17",
          "Standup",
          "EMail",
          0,
          "Room 4",
          {540, 15, 5, "Europe/Berlin"},
          {}}},
        {"2002-5-20",
         "Appointment 5",
         {"2002-5-20", "2002-5-20", "Birthday", "Holiday", 5, "", {{}, {}, 360, ""}, {}}},
        {"2002-6-10",
         "Appointment 6",
         {"2002-6-10", "2002-6-10", "Late film", "Movie", 3, "", {23 * 60 + 15, 150, {}, ""}, {}}},
    };
}

// The zones the sample is written in: Berlin, and New York, where the
// exporting computer is, by their rules of today.
ical::ExportOptions SampleOptions() {
    ical::ExportOptions options{"peer check", 0, "America/New_York", {}};
    options.zoneRules = [](const std::string& zone, ical::WindowsZoneRules& rules) {
        if (zone == "Europe/Berlin")
            rules = {-60, 0, -60, {0, 10, 0, 5, 3}, {0, 3, 0, 5, 2}};
        else if (zone.empty() || zone == "America/New_York")
            rules = {300, 0, -60, {0, 11, 0, 1, 2}, {0, 3, 0, 2, 2}};
        else
            return false;
        return true;
    };
    return options;
}

std::string Optional(const std::optional<int>& value) {
    return value ? std::to_string(*value) : "null";
}

} // namespace

int main(int argc, char** argv) {
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "sample" && argc == 3) {
        const ical::ExportResult result = ical::ExportCalendar(Sample(), SampleOptions());
        std::ofstream(argv[2], std::ios::binary) << result.text;
        return result.issues.empty() ? 0 : 1;
    }
    CalendarDate first, last;
    if (command == "time" && argc == 4 && ParseDateText(argv[3], first)) {
        std::ifstream in(argv[2], std::ios::binary);
        std::stringstream bytes;
        bytes << in.rdbuf();
        const std::string text = bytes.str();
        ical::ImportOptions options;
        options.today = first;
        const auto began = std::chrono::steady_clock::now();
        const ical::ImportPlan plan = ical::PlanImport(text, options);
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
        const double megabytes = static_cast<double>(text.size()) / (1 << 20);
        std::printf("%s: %.2f MB, %zu events, %zu appointments, %zu refused%s; %.3f s, "
                    "%.3f s per MB, %.1f us per event; %lld steps\n",
                    argv[2], megabytes, plan.eventsRead, plan.appointments.size(),
                    plan.refused.size(), plan.accepted ? "" : " (the file is refused)", seconds,
                    seconds / megabytes, plan.eventsRead ? seconds * 1e6 / plan.eventsRead : 0.0,
                    static_cast<long long>(plan.work));
        return 0;
    }
    if (command != "read" || argc != 5 || !ParseDateText(argv[3], first) ||
        !ParseDateText(argv[4], last)) {
        std::fprintf(stderr, "usage: ical_tool sample FILE | ical_tool read FILE FIRST LAST | "
                             "ical_tool time FILE TODAY\n");
        return 2;
    }
    std::ifstream in(argv[2], std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    ical::ImportOptions options;
    options.today = first;
    options.lastDay = last;
    options.lineBreak = "\n";
    const ical::ImportPlan plan = ical::PlanImport(bytes.str(), options);
    std::printf("{\"accepted\": %s, \"error\": %s, \"line\": %d, \"events\": %zu,\n",
                plan.accepted ? "true" : "false", Json(plan.error.message).c_str(), plan.error.line,
                plan.eventsRead);
    std::printf(" \"appointments\": [");
    // Each appointment, or each occurrence of one that repeats.
    std::vector<std::pair<std::size_t, ical::DayAppointment>> rows;
    for (std::size_t i = 0; i < plan.appointments.size(); ++i) {
        const ical::DayAppointment a = plan.AppointmentAt(i);
        CalendarDate from, to;
        if (!a.values.series.Repeats() || !ParseDateText(a.values.from.c_str(), from) ||
            !ParseDateText(a.values.to.c_str(), to)) {
            rows.emplace_back(i, a);
            continue;
        }
        const ical::Series series(from, to, a.values.series,
                                  a.values.time.minuteOfDay.value_or(0) * 60);
        ical::WorkBudget budget(100 * ical::kSeriesWork);
        series.OccurrencesOverlapping(first, last, budget, [&](const CalendarDate& day) {
            ical::DayAppointment occurrence = a;
            occurrence.day = occurrence.values.from = FormatDateText(day);
            occurrence.values.to =
                FormatDateText(ical::AddDays(day, std::max<std::int64_t>(series.Length(), 1) - 1));
            rows.emplace_back(i, occurrence);
        });
    }
    for (std::size_t row = 0; row < rows.size(); ++row) {
        const std::size_t i = rows[row].first;
        const ical::DayAppointment& a = rows[row].second;
        const TimedValues& time = a.values.time;
        std::printf("%s\n  {\"line\": %d, \"day\": %s, \"from\": %s, \"to\": %s, \"notes\": %s, "
                    "\"event\": %s, \"index\": %u, \"detail\": %s, \"time\": %s, "
                    "\"duration\": %s, \"remind\": %s, \"zone\": %s}",
                    row == 0 ? "" : ",", plan.events[plan.appointments[i].event].line,
                    Json(a.day).c_str(), Json(a.values.from).c_str(), Json(a.values.to).c_str(),
                    Json(a.values.notes).c_str(), Json(a.values.event).c_str(), a.values.eventIndex,
                    Json(a.values.detailNotes).c_str(),
                    time.minuteOfDay ? Json(FormatTimeOfDay(*time.minuteOfDay)).c_str() : "null",
                    Optional(time.duration).c_str(), Optional(time.remindBefore).c_str(),
                    Json(time.zone).c_str());
    }
    std::printf("],\n \"duplicates\": %zu, \"refused\": [", plan.duplicates);
    for (std::size_t i = 0; i < plan.refused.size(); ++i)
        std::printf("%s\n  {\"line\": %d, \"reason\": %s}", i == 0 ? "" : ",", plan.refused[i].line,
                    Json(plan.refused[i].reason).c_str());
    std::printf("]}\n");
    return 0;
}
