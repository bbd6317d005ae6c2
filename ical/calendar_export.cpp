#include "ical/calendar_export.h"

#include "ical/civil_time.h"
#include "ical/ical_text.h"
#include "ical/import_plan.h"
#include "ical/series.h"
#include "ical/time_value.h"
#include "ical/zone_names.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <tuple>

namespace ical {

std::string AppointmentUid(const std::string& dayKey, const std::string& appointmentKey) {
    const auto encode = [](const std::string& text) {
        std::string result;
        for (const char c : text) {
            const auto byte = static_cast<unsigned char>(c);
            if ((byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') ||
                (byte >= '0' && byte <= '9') || byte == '-' || byte == '.' || byte == '_' ||
                byte == '~') {
                result += c;
            } else {
                char escaped[4];
                std::snprintf(escaped, sizeof escaped, "%%%02X", byte);
                result += escaped;
            }
        }
        return result;
    };
    return encode(dayKey) + "/" + encode(appointmentKey) + "@quillmere";
}

void AppendFolded(std::string& out, const std::string& line) {
    constexpr std::size_t kOctets = 75;
    std::size_t at = 0;
    std::size_t room = kOctets;
    while (line.size() - at > room) {
        std::size_t cut = at + room;
        while (cut > at && (static_cast<unsigned char>(line[cut]) & 0xC0) == 0x80)
            --cut; // never inside a UTF-8 sequence
        out.append(line, at, cut - at);
        out += "\r\n ";
        at = cut;
        room = kOctets - 1; // the leading space takes one
    }
    out.append(line, at, std::string::npos);
    out += "\r\n";
}

namespace {

// A store text made fit for a TEXT value: ill-formed UTF-8 and control
// characters other than tab and line breaks cannot be written.
std::string CleanText(const std::string& text, const char* field, std::vector<std::string>& why) {
    bool replaced = false;
    std::string clean = ToValidUtf8(text, &replaced);
    if (replaced)
        why.push_back(std::string(field) + " is not valid text; the bad bytes became U+FFFD");
    const auto before = clean.size();
    clean.erase(std::remove_if(clean.begin(), clean.end(),
                               [](char c) {
                                   const auto b = static_cast<unsigned char>(c);
                                   return (b < 0x20 && b != '\t' && b != '\r' && b != '\n') ||
                                          b == 0x7F;
                               }),
                clean.end());
    if (clean.size() != before)
        why.push_back(std::string(field) + " held control characters, which were left out");
    // Every line break is written the one way iCalendar has, and is read back
    // as CR LF, the program's own; a lone CR or LF does not come back as such.
    for (std::size_t i = 0; i < clean.size(); ++i) {
        const bool pair = clean[i] == '\r' && i + 1 < clean.size() && clean[i + 1] == '\n';
        if (pair) {
            ++i;
        } else if (clean[i] == '\r' || clean[i] == '\n') {
            why.push_back(std::string(field) +
                          " breaks lines without CR LF; they come back as CR LF");
            break;
        }
    }
    return clean;
}

// Store texts are read up to their NUL; one that holds a NUL further in is no
// date, whatever comes before it.
bool ReadDate(const std::string& text, CalendarDate& date) {
    return text.find('\0') == std::string::npos && ParseDateText(text.c_str(), date);
}

bool IsDayKey(const std::string& text) {
    return text.find('\0') == std::string::npos && IsDateKeyName(text.c_str());
}

// A FROM or TO text is carried as it stands when it fits a field.
bool Carriable(const std::string& text) {
    return text.size() <= 10 &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= 0x20 && c < 0x7F; });
}

// A wall-clock time as DATE-TIME text without a zone: 20020507T090000.
std::string FormatWallTime(const LocalDateTime& wall) {
    char time[8];
    std::snprintf(time, sizeof time, "T%02d%02d%02d", wall.seconds / 3600, wall.seconds / 60 % 60,
                  wall.seconds % 60);
    return FormatDate(wall.date) + time;
}

// How the times of one zone are written: with its TZID, by the rules its
// VTIMEZONE states, or in UTC when the zone has no name a reader knows.
struct ExportZone {
    std::string tzid; // "": UTC
    WindowsZoneRules rules;

    ZoneTimeline Around(int year) const { return ZoneTimeline(year - 1, {rules, rules, rules}); }
    std::int64_t ToUtc(const LocalDateTime& wall) const {
        return Around(wall.date.year).ToUtc(WallSeconds(wall));
    }
    // A DTSTART- or DTEND-like property's parameters and value at an instant.
    std::string Written(std::int64_t instant) const {
        std::string written(tzid.empty() ? ":" : ";TZID=" + tzid + ":");
        if (tzid.empty())
            return written += FormatUtcTime(instant);
        const LocalDateTime wall =
            WallTimeOf(Around(WallTimeOf(instant).date.year).ToWall(instant));
        return written += FormatWallTime(wall);
    }
};

// The zones that the timed appointments of one export are written in, and
// the first year each is used in, for its VTIMEZONE.
class ExportZones {
public:
    explicit ExportZones(const ExportOptions& options) : m_options(options) {}

    // The zone for a stored TIME ZONE ("" the computer's); `unknown` is set
    // when a zone it names is not known here and the computer's stands in.
    const ExportZone& For(const std::string& stored, int year, bool& unknown) {
        unknown = false;
        const auto found = m_byStored.find(stored);
        const ExportZone& zone =
            found != m_byStored.end() ? found->second : m_byStored[stored] = Resolve(stored);
        unknown = !stored.empty() && !SameName(zone.tzid, stored);
        if (!zone.tzid.empty()) {
            auto [first, added] = m_firstYear.emplace(zone.tzid, year);
            first->second = std::min(first->second, year);
            if (added)
                m_rules[zone.tzid] = zone.rules;
        }
        return zone;
    }

    // Each zone's VTIMEZONE, its observances from 1970 or its first year.
    void Write(std::string& out) const {
        for (const auto& [tzid, year] : m_firstYear)
            for (const std::string& line :
                 VTimeZoneLines(tzid, m_rules.at(tzid), std::min(year, 1970)))
                AppendFolded(out, line);
    }

private:
    static bool SameName(const std::string& tzid, const std::string& stored) {
        return !tzid.empty() && IanaZoneOf(stored) == tzid;
    }
    ExportZone Resolve(const std::string& stored) const {
        ExportZone zone;
        const std::string name(IanaZoneOf(stored));
        if (!name.empty() && m_options.zoneRules && m_options.zoneRules(name, zone.rules)) {
            zone.tzid = name;
            return zone;
        }
        zone.rules = WindowsZoneRules{};
        if (m_options.zoneRules && m_options.zoneRules("", zone.rules))
            zone.tzid = m_options.computerZone;
        return zone;
    }

    const ExportOptions& m_options;
    std::map<std::string, ExportZone> m_byStored;
    std::map<std::string, int> m_firstYear;
    std::map<std::string, WindowsZoneRules> m_rules;
};

// TRIGGER of an alert so many minutes before the start: in days or hours
// where they are whole, as calendars show them.
std::string TriggerBefore(int minutes) {
    if (minutes == 0)
        return "PT0S";
    if (minutes % kMinutesPerDay == 0)
        return "-P" + std::to_string(minutes / kMinutesPerDay) + "D";
    if (minutes % 60 == 0)
        return "-PT" + std::to_string(minutes / 60) + "H";
    return "-PT" + std::to_string(minutes) + "M";
}

// The rule text with its UNTIL written as `until`.
std::string WithUntil(const std::string& rule, const std::string& until) {
    std::string result;
    std::size_t at = 0;
    while (at <= rule.size()) {
        std::size_t end = rule.find(';', at);
        if (end == std::string::npos)
            end = rule.size();
        const std::string part = rule.substr(at, end - at);
        if (!result.empty())
            result += ';';
        result += part.size() >= 6 && EqualsNoCase(std::string_view(part).substr(0, 6), "UNTIL=")
                      ? "UNTIL=" + until
                      : part;
        at = end + 1;
    }
    return result;
}

} // namespace

ExportResult ExportCalendar(const std::vector<StoredAppointment>& appointments,
                            const ExportOptions& options) {
    ExportResult result;
    // The events come after the zones they use, which are known once the
    // events are written.
    std::string out;
    out.reserve(appointments.size() * 320 + 200);
    ExportZones zones(options);
    std::vector<std::string> ignored;
    const std::string stamp = "DTSTAMP:" + FormatUtcTime(options.stampUtc);

    for (const StoredAppointment& a : appointments) {
        const AppointmentValues& v = a.values;
        std::vector<std::string> why;
        CalendarDate from, to, day;
        const bool fromOk = ReadDate(v.from, from);
        const bool toOk = ReadDate(v.to, to);
        const bool dayOk = ReadDate(a.dayKey, day);
        if (!fromOk && !toOk && !dayOk) {
            result.issues.push_back({a.dayKey, a.appointmentKey, true,
                                     "neither its FROM " + QuoteForMessage(v.from) + ", its TO " +
                                         QuoteForMessage(v.to) + " nor its day is a date"});
            continue;
        }
        const CalendarDate first = fromOk ? from : dayOk ? day : to;
        CalendarDate last = toOk && CompareDates(to, first) >= 0 ? to : first;
        const TimedValues& time = v.time;
        const bool timed = time.minuteOfDay.has_value();
        if (!fromOk)
            why.push_back("FROM " + QuoteForMessage(v.from) + " is not a date; exported from " +
                          FormatDateText(first));
        if (!toOk)
            why.push_back("TO " + QuoteForMessage(v.to) + " is not a date; exported to " +
                          FormatDateText(last));
        else if (CompareDates(to, first) < 0)
            why.push_back("TO " + v.to + " lies before FROM; exported as one day");
        // The day after 9999-12-31 has no date: leave DTEND out (one day)
        // and carry TO. A timed range ends with its last start instead.
        const bool hasEnd = timed || !(last == CalendarDate{9999, 12, 31});
        if (!hasEnd)
            last = first;
        const bool carryFrom = FormatDateText(first) != v.from;
        const bool carryTo = FormatDateText(last) != v.to;
        for (const auto& [carry, text, name] :
             {std::tuple{carryFrom, &v.from, "FROM"}, std::tuple{carryTo, &v.to, "TO"}}) {
            if (carry && !Carriable(*text))
                why.push_back(std::string(name) + " " + QuoteForMessage(*text) +
                              " cannot be kept in the file; importing gives the date instead");
        }
        if (!IsDayKey(a.dayKey))
            why.push_back("it is filed under " + QuoteForMessage(a.dayKey) +
                          ", which is not a day; importing files it under " +
                          FormatDateText(first));
        const std::string notes = CleanText(v.notes, "NOTES", why);
        const std::string detail = CleanText(v.detailNotes, "DETAIL NOTES", why);
        if (notes.empty())
            why.push_back("it has no notes; importing this file will refuse it");
        const int byText = EventIndexOf(v.event);
        std::uint32_t index = kOthersIndex;
        if (byText >= 0 && v.event == kEventNames[byText] &&
            v.eventIndex == static_cast<std::uint32_t>(byText)) {
            index = v.eventIndex;
        } else {
            index = byText >= 0        ? static_cast<std::uint32_t>(byText)
                    : v.eventIndex < 6 ? v.eventIndex
                                       : kOthersIndex;
            why.push_back("its event type " + QuoteForMessage(v.event) + " (index " +
                          std::to_string(v.eventIndex) + ") is exported as " + kEventNames[index]);
        }

        // A rule is written as it is kept, with the dates it skips; one that
        // is not followed here leaves the appointment a single event.
        SeriesRule rule;
        const bool repeats = v.series.Repeats() && ReadSeriesRule(v.series.repeat, rule);
        if (repeats && timed && CompareDates(last, first) > 0)
            why.push_back("it repeats at a time over several days; each occurrence is exported "
                          "on its first day");
        const std::string uid = CleanText(v.series.uid, "UID", ignored);

        AppendFolded(out, "BEGIN:VEVENT");
        AppendFolded(out,
                     "UID:" + (uid.empty() ? AppointmentUid(a.dayKey, a.appointmentKey) : uid));
        AppendFolded(out, stamp);
        if (timed) {
            bool unknown = false;
            const ExportZone& zone = zones.For(time.zone, first.year, unknown);
            if (unknown)
                why.push_back("its time zone " + QuoteForMessage(time.zone) +
                              " is not known here; its time is exported in the computer's zone");
            const int seconds = *time.minuteOfDay * 60;
            const std::int64_t begin = zone.ToUtc({first, seconds});
            AppendFolded(out, "DTSTART" + zone.Written(begin));
            if (time.duration)
                AppendFolded(out,
                             "DTEND" + zone.Written(begin + std::int64_t{*time.duration} * 60));
            // Each day of the range at the time: UNTIL is the last start, in
            // UTC as a zoned start asks, and no later than UTC can be written.
            if (repeats) {
                // UNTIL of a zoned or UTC start is a UTC time: the end of the
                // last day an occurrence may start on.
                std::string text = v.series.repeat;
                if (rule.until)
                    text = WithUntil(text,
                                     FormatUtcTime(std::min(zone.ToUtc({rule.until->date, 86399}),
                                                            WallSeconds({{9999, 12, 31}, 86399}))));
                AppendFolded(out, "RRULE:" + text);
                for (const CalendarDate& skip : v.series.skipDates)
                    AppendFolded(out, "EXDATE" + zone.Written(zone.ToUtc({skip, seconds})));
            } else if (CompareDates(last, first) > 0)
                AppendFolded(out,
                             "RRULE:FREQ=DAILY;UNTIL=" +
                                 FormatUtcTime(std::min(zone.ToUtc({last, seconds}),
                                                        WallSeconds({{9999, 12, 31}, 86399}))));
        } else {
            AppendFolded(out, "DTSTART;VALUE=DATE:" + FormatDate(first));
            if (hasEnd)
                AppendFolded(out, "DTEND;VALUE=DATE:" + FormatDate(AddDays(last, 1)));
            if (repeats) {
                AppendFolded(out, "RRULE:" + v.series.repeat);
                std::string skips;
                for (const CalendarDate& skip : v.series.skipDates) {
                    if (!skips.empty())
                        skips += ',';
                    skips += FormatDate(skip);
                }
                if (!skips.empty())
                    AppendFolded(out, "EXDATE;VALUE=DATE:" + skips);
            }
        }
        AppendFolded(out, "SUMMARY:" + EscapeText(notes));
        if (!detail.empty())
            AppendFolded(out, "DESCRIPTION:" + EscapeText(detail));
        AppendFolded(out, std::string("CATEGORIES:") + kEventNames[index]);
        AppendFolded(out, std::string(kDayProperty) + ":" +
                              EscapeText(CleanText(a.dayKey, "day", ignored)));
        if (carryFrom && Carriable(v.from))
            AppendFolded(out, std::string(kFromProperty) + ":" + EscapeText(v.from));
        if (carryTo && Carriable(v.to))
            AppendFolded(out, std::string(kToProperty) + ":" + EscapeText(v.to));
        if (timed && !time.zone.empty())
            AppendFolded(out, std::string(kZoneProperty) + ":" +
                                  EscapeText(CleanText(time.zone, "TIME ZONE", ignored)));
        if (time.remindBefore) {
            // A display alarm needs a DESCRIPTION: the notes, which the alert shows.
            AppendFolded(out, "BEGIN:VALARM");
            AppendFolded(out, "ACTION:DISPLAY");
            AppendFolded(out, "DESCRIPTION:" + EscapeText(notes.empty() ? "Reminder" : notes));
            AppendFolded(out, "TRIGGER:" + TriggerBefore(*time.remindBefore));
            AppendFolded(out, "END:VALARM");
        }
        AppendFolded(out, "END:VEVENT");
        ++result.exported;
        for (std::string& reason : why)
            result.issues.push_back({a.dayKey, a.appointmentKey, false, std::move(reason)});
    }
    AppendFolded(out, "END:VCALENDAR");

    std::string& text = result.text;
    text.reserve(out.size() + 2000);
    AppendFolded(text, "BEGIN:VCALENDAR");
    AppendFolded(text, "VERSION:2.0");
    AppendFolded(text, "PRODID:-//The Quillmere Project//Quillmere " +
                           EscapeText(CleanText(options.version, "version", ignored)) + "//EN");
    AppendFolded(text, "CALSCALE:GREGORIAN");
    zones.Write(text);
    text += out;
    return result;
}

} // namespace ical
