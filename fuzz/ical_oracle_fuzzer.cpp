// Our reader against libical, a reader written by others: on every file our
// reader takes whole, both must find the same VEVENTs, and where both read a
// DTSTART, the same date. Where they may rightly differ:
//  - files ours refuses (libical takes nearly anything and marks the faults
//    with X-LIC-ERROR properties); not compared;
//  - a DTSTART one of the two cannot read: libical takes shapes ours
//    refuses (2002-05-07, month 13, hour 25) and refuses years after 3000,
//    which ours takes; counted, not compared.

#include "fuzz/fuzz_check.h"
#include "ical/calendar_file.h"
#include "ical/time_value.h"

#include <libical/ical.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

struct Found {
    bool readable = false;
    CalendarDate date;
};

// The VEVENTs directly inside the VCALENDARs libical found, with their
// DTSTART dates where libical read one without an error.
std::vector<Found> LibicalEvents(const std::string& text) {
    std::vector<Found> events;
    icalcomponent* root = icalparser_parse_string(text.c_str());
    if (root == nullptr)
        return events;
    std::vector<icalcomponent*> calendars;
    if (icalcomponent_isa(root) == ICAL_VCALENDAR_COMPONENT) {
        calendars.push_back(root);
    } else {
        for (icalcomponent* c = icalcomponent_get_first_component(root, ICAL_VCALENDAR_COMPONENT);
             c != nullptr; c = icalcomponent_get_next_component(root, ICAL_VCALENDAR_COMPONENT))
            calendars.push_back(c);
    }
    for (icalcomponent* calendar : calendars) {
        for (icalcomponent* event =
                 icalcomponent_get_first_component(calendar, ICAL_VEVENT_COMPONENT);
             event != nullptr;
             event = icalcomponent_get_next_component(calendar, ICAL_VEVENT_COMPONENT)) {
            Found found;
            icalproperty* dtstart = icalcomponent_get_first_property(event, ICAL_DTSTART_PROPERTY);
            if (dtstart != nullptr) {
                const icaltimetype t = icalproperty_get_dtstart(dtstart);
                if (!icaltime_is_null_time(t) && icaltime_is_valid_time(t)) {
                    found.readable = true;
                    found.date = {t.year, t.month, t.day};
                }
            }
            events.push_back(found);
        }
    }
    icalcomponent_free(root);
    return events;
}

std::vector<Found> OurEvents(const ical::CalendarFile& file) {
    std::vector<Found> events;
    for (const ical::ComponentRecord& event : file.events) {
        Found found;
        ical::TimeValue start;
        std::string why;
        if (const ical::ContentLine* dtstart = event.Find("DTSTART"))
            found.readable = ical::ParseTimeProperty(*dtstart, start, why);
        found.date = start.wall.date;
        events.push_back(found);
    }
    return events;
}

// What was compared, printed at exit so a run shows that it compared.
struct Tally {
    long files = 0, events = 0, dates = 0, onlyOurs = 0, onlyTheirs = 0;
} tally;

void PrintTally() {
    std::fprintf(stderr,
                 "oracle: %ld runs on files both read, %ld events, %ld DTSTART dates agreed; "
                 "unread by libical only %ld, by ours only %ld\n",
                 tally.files, tally.events, tally.dates, tally.onlyOurs, tally.onlyTheirs);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    icalerror_set_errors_are_fatal(0);
    std::atexit(PrintTally);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    ical::CalendarFile file;
    ical::ReadError error;
    if (!ical::ReadCalendarFile(text, file, error))
        return 0;
    const std::vector<Found> ours = OurEvents(file);
    const std::vector<Found> theirs = LibicalEvents(text);
    if (ours.size() != theirs.size())
        std::fprintf(stderr, "events: ours %zu, libical %zu\n", ours.size(), theirs.size());
    FUZZ_CHECK(ours.size() == theirs.size());
    ++tally.files;
    tally.events += static_cast<long>(ours.size());
    for (std::size_t i = 0; i < ours.size(); ++i) {
        tally.onlyOurs += ours[i].readable && !theirs[i].readable;
        tally.onlyTheirs += !ours[i].readable && theirs[i].readable;
        if (!ours[i].readable || !theirs[i].readable)
            continue;
        ++tally.dates;
        if (!(ours[i].date == theirs[i].date))
            std::fprintf(stderr, "event %zu: ours %s, libical %s\n", i,
                         FormatDateText(ours[i].date).c_str(),
                         FormatDateText(theirs[i].date).c_str());
        FUZZ_CHECK(ours[i].date == theirs[i].date);
    }
    return 0;
}
