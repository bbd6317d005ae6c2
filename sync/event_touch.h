#pragma once

#include <string>
#include <string_view>
#include <vector>

// Which parts of an event an edit in the store touched, found by comparing
// two exports made the same way: `local`, of the appointment as it is now,
// and `baseline`, of what the server's copy was stored as. What the store
// cannot hold reads the same in both (a description cut to its field, the
// one alarm kept of several), so it is never taken for an edit.
namespace caldav {

struct EventTouch {
    // Properties of the main VEVENT whose lines differ, upper case; UID,
    // DTSTAMP and SEQUENCE are never among them.
    std::vector<std::string> properties;
    // The alarm differs in what the store keeps of it (its trigger, or
    // whether there is one).
    bool alarms = false;

    bool Any() const { return alarms || !properties.empty(); }
};

EventTouch FindTouched(std::string_view local, std::string_view baseline);

// `kept` (a whole VCALENDAR, the server's copy) with the touched parts taken
// from `local`: the touched properties replaced in place, the main VEVENT's
// alarms replaced by `local`'s when they were touched, a VTIMEZONE of
// `local` that `kept` lacks added, and SEQUENCE counted up and DTSTAMP
// renewed when anything changed. Everything else stays byte for byte.
// False, with `error`, when `kept` has no main VEVENT.
bool PatchKeptEvent(std::string_view kept, std::string_view local, const EventTouch& touch,
                    std::string& result, std::string& error);

} // namespace caldav
