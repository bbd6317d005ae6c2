#pragma once

#include <string>
#include <string_view>
#include <vector>

// An edit made in Quillmere changes only the properties it touched: the
// server's copy of the resource is kept, and the touched properties of its
// main VEVENT are replaced in place. Everything else stays byte for byte:
// attendees, every alarm, X- properties, other VEVENTs (overridden
// occurrences) and the time zones.
namespace caldav {

// In `kept` (a whole VCALENDAR), replaces every property named in `names`
// (upper case, e.g. "SUMMARY") of the VEVENT without RECURRENCE-ID by the
// content lines of that name in `updates` (whole lines, folded, CR LF ended);
// a name with no line in `updates` is removed. A replaced property keeps the
// place of its first line; a new one goes before the VEVENT's first
// sub-component (an alarm) or its END. Properties of nested components are
// not touched. False, with `error`, when `kept` has no such VEVENT.
bool ReplaceEventProperties(std::string_view kept, const std::vector<std::string>& names,
                            std::string_view updates, std::string& result, std::string& error);

// The value of the first property `name` of the main VEVENT (unfolded, not
// unescaped), or "" when there is none.
std::string EventPropertyValue(std::string_view icalendar, std::string_view name);

// The UID of the resource's event: its main VEVENT's, or, for a resource that
// holds only moved occurrences (an invitation to one of them), the first
// VEVENT's. "" when there is none.
std::string EventUid(std::string_view icalendar);

} // namespace caldav
