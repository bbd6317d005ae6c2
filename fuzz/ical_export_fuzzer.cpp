// Random appointments, as well-formed or as broken as the store may hold
// them, some at a time of day in a zone with an alert, exported and imported
// back on the same computer: the file is valid (CR LF, lines of at most 75
// octets, UTF-8), nothing is dropped without a word, and every appointment
// exported without a remark comes back exactly, its time included.

#include "fuzz/fuzz_check.h"
#include "ical/calendar_export.h"
#include "ical/ical_text.h"
#include "ical/import_plan.h"
#include "tests/support/fixed_zones.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

namespace {

std::string Row(const std::string& day, const ical::AppointmentValues& v) {
    const TimedValues& t = v.time;
    const auto number = [](const std::optional<int>& n) { return n ? std::to_string(*n) : "-"; };
    return day + '\x01' + v.from + '\x01' + v.to + '\x01' + v.notes + '\x01' + v.event + '\x01' +
           std::to_string(v.eventIndex) + '\x01' + v.detailNotes + '\x01' + number(t.minuteOfDay) +
           '\x01' + number(t.duration) + '\x01' + number(t.remindBefore) + '\x01' + t.zone;
}

// A time, a duration, an alert and a zone as a save may write them, within
// their bounds; zones the computer knows and one it does not.
TimedValues Time(FuzzedDataProvider& in) {
    TimedValues t;
    if (in.ConsumeBool())
        t.minuteOfDay = in.ConsumeIntegralInRange(0, kMinutesPerDay - 1);
    if (t.minuteOfDay && in.ConsumeBool())
        t.duration = in.ConsumeIntegralInRange(1, kMaxDurationMinutes);
    if (in.ConsumeBool())
        t.remindBefore = in.ConsumeIntegralInRange(0, kMaxRemindBeforeMinutes);
    static const char* const kZones[] = {
        "", "", "Europe/Berlin", "America/New_York", "W. Europe Standard Time", "Mars/Olympus"};
    if (t.minuteOfDay)
        t.zone = kZones[in.ConsumeIntegralInRange(0, 5)];
    return t;
}

// A date text: mostly a real one, sometimes one the store may hold broken.
std::string DateText(FuzzedDataProvider& in) {
    if (in.ConsumeIntegralInRange(0, 7) == 0)
        return in.ConsumeRandomLengthString(12);
    return std::to_string(in.ConsumeIntegralInRange(1, 9999)) + "-" +
           std::to_string(in.ConsumeIntegralInRange(1, 12)) + "-" +
           std::to_string(in.ConsumeIntegralInRange(1, 28 + in.ConsumeIntegralInRange(0, 3)));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    std::vector<ical::StoredAppointment> stored;
    while (in.remaining_bytes() > 0 && stored.size() < 64) {
        ical::StoredAppointment a;
        a.dayKey = DateText(in);
        a.appointmentKey = in.ConsumeRandomLengthString(30);
        a.values.from = DateText(in);
        a.values.to = DateText(in);
        a.values.notes = in.ConsumeRandomLengthString(600);
        const int type = in.ConsumeIntegralInRange(0, 7);
        a.values.eventIndex =
            type < 6 ? static_cast<std::uint32_t>(type) : in.ConsumeIntegral<std::uint32_t>();
        a.values.event = type < 6 ? ical::kEventNames[type] : in.ConsumeRandomLengthString(10);
        a.values.detailNotes = in.ConsumeRandomLengthString(600);
        if (in.ConsumeIntegralInRange(0, 3) == 0)
            a.values.time = Time(in);
        stored.push_back(std::move(a));
    }
    qmtest::FixedZones zones;
    zones.computer = "America/New_York";
    const ical::ExportResult result = ical::ExportCalendar(stored, zones.Export());

    // The file: CR LF lines of at most 75 octets, UTF-8 without controls.
    const std::string& text = result.text;
    FUZZ_CHECK(text.size() >= 2 && text.compare(text.size() - 2, 2, "\r\n") == 0);
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t end = text.find("\r\n", start);
        FUZZ_CHECK(end != std::string::npos && end - start <= 75);
        const std::string line = text.substr(start, end - start);
        FUZZ_CHECK(ical::IsValidUtf8(line));
        for (const char c : line)
            FUZZ_CHECK(static_cast<unsigned char>(c) >= 0x20 || c == '\t');
        start = end + 2;
    }

    // Each appointment is exported or skipped with a reason; the remarks name
    // appointments that were given.
    std::set<std::string> remarked;
    std::size_t skipped = 0;
    for (const ical::ExportIssue& issue : result.issues) {
        FUZZ_CHECK(!issue.reason.empty());
        remarked.insert(issue.dayKey + '\x02' + issue.appointmentKey);
        skipped += issue.skipped ? 1 : 0;
    }
    FUZZ_CHECK(result.exported + skipped == stored.size());

    const ical::ImportPlan plan = ical::PlanImport(text, zones.Import());
    FUZZ_CHECK(plan.accepted);
    FUZZ_CHECK(plan.eventsRead == result.exported);
    std::multiset<std::string> imported;
    for (std::size_t i = 0; i < plan.appointments.size(); ++i) {
        const ical::DayAppointment a = plan.AppointmentAt(i);
        imported.insert(Row(a.day, a.values));
    }
    for (const ical::StoredAppointment& a : stored) {
        const bool clean = remarked.count(a.dayKey + '\x02' + a.appointmentKey) == 0;
        if (clean && ical::FitsTextField(a.values.notes) &&
            ical::FitsTextField(a.values.detailNotes))
            FUZZ_CHECK(imported.count(Row(a.dayKey, a.values)) >= 1);
    }
    return 0;
}
