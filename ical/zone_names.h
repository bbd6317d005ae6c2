#pragma once

#include <string_view>

// Time zone names both ways between Windows ids ("W. Europe Standard Time",
// the key names under the registry's Time Zones) and the IANA names that
// iCalendar files carry ("Europe/Berlin"), from CLDR's mapping (the table in
// zone_names_table.inc, made by make_zone_names.py). Names are matched
// without regard to ASCII case, as Windows matches its registry keys.
namespace ical {

// The Windows id of an IANA name, aliases included ("Asia/Calcutta" and
// "Asia/Kolkata" both give "India Standard Time"); "" when unknown.
std::string_view WindowsZoneOfIana(std::string_view ianaName);

// The IANA name written for a Windows id: the current name of CLDR's zone
// for it ("India Standard Time" gives "Asia/Kolkata"); "" when unknown.
std::string_view IanaZoneOfWindows(std::string_view windowsId);

// The IANA name a stored or received zone name stands for: an IANA name
// known to the table as it is spelt there (the alias kept, since it names
// the zone as well), a Windows id as its IANA name, and "" for anything
// else, which callers take as the computer's own zone.
std::string_view IanaZoneOf(std::string_view name);

} // namespace ical
