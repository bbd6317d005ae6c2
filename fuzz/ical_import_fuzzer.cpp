// Any bytes as an .ics file to import: no crash, no hang, errors that name a
// line of the file, work in proportion to the file's size, and a plan that
// the store can hold, that exports and imports back to itself, and that a
// store holding it takes nothing of again.

#include "fuzz/fuzz_check.h"
#include "ical/calendar_export.h"
#include "ical/civil_time.h"
#include "ical/import_plan.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

namespace {

// The steps working out dates may take per byte of the file: an event that
// repeats takes at least 68 bytes (BEGIN, SUMMARY, DTSTART, RRULE, END) and
// at most ImportOptions::maxWorkPerEvent steps.
constexpr std::int64_t kWorkPerByte = 300;

int LinesIn(const std::string& text) {
    const auto breaks = std::count(text.begin(), text.end(), '\n');
    return static_cast<int>(breaks) + (text.empty() || text.back() != '\n' ? 1 : 0);
}

bool NamesLine(const std::string& message, int line) {
    return message.find("line " + std::to_string(line)) != std::string::npos;
}

// A rule and its skipped dates; the UID is the file's, or the one an
// export gives an appointment without one.
std::string SeriesText(const SeriesValues& series) {
    std::string text = series.repeat;
    for (const CalendarDate& skip : series.skipDates)
        text += ' ' + FormatDateText(skip);
    return text;
}

std::string Row(const ical::DayAppointment& a) {
    const TimedValues& t = a.values.time;
    const auto number = [](const std::optional<int>& n) { return n ? std::to_string(*n) : "-"; };
    return a.day + '\x01' + a.values.from + '\x01' + a.values.to + '\x01' + a.values.notes +
           '\x01' + a.values.event + '\x01' + std::to_string(a.values.eventIndex) + '\x01' +
           a.values.detailNotes + '\x01' + number(t.minuteOfDay) + '\x01' + number(t.duration) +
           '\x01' + number(t.remindBefore) + '\x01' + t.zone + '\x01' + SeriesText(a.values.series);
}

ical::ImportOptions Options(int offsetHours) {
    ical::ImportOptions options;
    options.today = {2002, 5, 7};
    options.localTimeOf = [offsetHours](std::int64_t utc) {
        return ical::WallTimeOf(utc + offsetHours * 3600);
    };
    options.maxAppointments = 50000;
    return options;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    const int offsetHours = static_cast<int>(size % 27) - 13;
    const ical::ImportPlan plan = ical::PlanImport(input, Options(offsetHours));
    const int lines = LinesIn(input);
    if (!plan.accepted) {
        FUZZ_CHECK(!plan.error.message.empty());
        FUZZ_CHECK(plan.error.line >= 1 && plan.error.line <= lines);
        FUZZ_CHECK(NamesLine(plan.error.message, plan.error.line));
        FUZZ_CHECK(plan.appointments.empty() && plan.events.empty());
        return 0;
    }
    FUZZ_CHECK(plan.work <= kWorkPerByte * static_cast<std::int64_t>(size));
    for (const auto* issues : {&plan.refused, &plan.notes})
        for (const ical::ImportIssue& issue : *issues)
            FUZZ_CHECK(issue.line >= 1 && issue.line <= lines && !issue.reason.empty());
    FUZZ_CHECK(plan.refused.size() <= plan.eventsRead);

    // Every planned appointment fits the store. Equal ones come only from
    // events with UIDs of their own, each standing for one.
    std::multiset<std::string> rows;
    std::vector<ical::StoredAppointment> stored;
    for (std::size_t i = 0; i < plan.appointments.size(); ++i) {
        const ical::DayAppointment a = plan.AppointmentAt(i);
        FUZZ_CHECK(IsDateKeyName(a.day.c_str()));
        FUZZ_CHECK(a.values.from.size() <= 10 && a.values.to.size() <= 10);
        FUZZ_CHECK(!a.values.notes.empty() && ical::FitsTextField(a.values.notes));
        FUZZ_CHECK(ical::FitsTextField(a.values.detailNotes));
        FUZZ_CHECK(a.values.eventIndex < 6 &&
                   a.values.event == ical::kEventNames[a.values.eventIndex]);
        rows.insert(Row(a));
        stored.push_back({a.day, "Appointment " + std::to_string(i), a.values});
    }

    // What was planned exports and imports back to the same appointments.
    if (stored.size() > 2000)
        return 0;
    // Exported by a computer in the zone it was imported in: a fixed offset
    // that no table names, so its times are written in UTC.
    ical::ExportOptions exporting{"fuzz", 0, "", {}};
    exporting.zoneRules = [offsetHours](const std::string& zone, ical::WindowsZoneRules& rules) {
        rules = ical::WindowsZoneRules{};
        rules.bias = -offsetHours * 60;
        return zone.empty();
    };
    const ical::ExportResult exported = ical::ExportCalendar(stored, exporting);
    FUZZ_CHECK(exported.exported == stored.size() && exported.issues.empty());
    const ical::ImportPlan again = ical::PlanImport(exported.text, Options(offsetHours));
    FUZZ_CHECK(again.accepted && again.refused.empty());
    std::multiset<std::string> back;
    std::vector<ical::DayAppointment> existing;
    for (std::size_t i = 0; i < again.appointments.size(); ++i) {
        back.insert(Row(again.AppointmentAt(i)));
        existing.push_back(again.AppointmentAt(i));
    }
    FUZZ_CHECK(back == rows);
    ical::ImportOptions holding = Options(offsetHours);
    holding.existing = &existing;
    const ical::ImportPlan third = ical::PlanImport(exported.text, holding);
    FUZZ_CHECK(third.accepted && third.appointments.empty());
    FUZZ_CHECK(third.duplicates == stored.size());
    return 0;
}
