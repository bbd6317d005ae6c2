#include "ical/import_plan.h"

#include "ical/calendar_file.h"
#include "ical/civil_time.h"
#include "ical/ical_text.h"
#include "ical/recurrence_rule.h"
#include "ical/time_value.h"
#include "ical/time_zone_table.h"

#include <algorithm>
#include <set>
#include <unordered_map>
#include <utility>

namespace ical {

DayAppointment ImportPlan::AppointmentAt(std::size_t index) const {
    const PlannedAppointment& planned = appointments.at(index);
    const PlannedEvent& event = events.at(planned.event);
    return {
        planned.day,
        {planned.from, planned.to, event.notes, event.event, event.eventIndex, event.detailNotes}};
}

namespace {

// An event that cannot be filed: the reason, and the line at fault.
struct Refusal {
    int line;
    std::string reason;
};

// How the wall-clock times of one event turn into the user's dates: a DATE
// or a floating time is its own date; a UTC or zoned time is an instant
// that the user's time zone dates.
class Frame {
public:
    Frame(const TimeValue& start, const TimeZoneTable& zones, const ImportOptions& options)
        : m_zones(zones), m_options(options), m_form(start.form), m_tzid(start.tzid) {
        if (m_form == TimeForm::Zoned && !zones.Knows(m_tzid))
            m_form = TimeForm::Floating;
    }

    bool Absolute() const { return m_form == TimeForm::Utc || m_form == TimeForm::Zoned; }

    std::int64_t Instant(const LocalDateTime& wall) const {
        std::int64_t utc = WallSeconds(wall);
        if (m_form == TimeForm::Zoned)
            m_zones.ToUtc(m_tzid, wall, utc);
        return utc;
    }

    CalendarDate DateOfInstant(std::int64_t instant) const {
        return Absolute() ? m_options.localDateOf(instant) : WallTimeOf(instant).date;
    }

    CalendarDate DateOf(const LocalDateTime& wall) const { return DateOfInstant(Instant(wall)); }

    // Another time of the event (DTEND, UNTIL, EXDATE) on this event's wall clock.
    LocalDateTime WallOf(const TimeValue& other) const {
        if (!Absolute() || other.form == TimeForm::Date || other.form == TimeForm::Floating)
            return other.wall;
        std::int64_t instant = WallSeconds(other.wall);
        if (other.form == TimeForm::Zoned && !m_zones.ToUtc(other.tzid, other.wall, instant))
            return other.wall;
        if (m_form == TimeForm::Utc)
            return WallTimeOf(instant);
        LocalDateTime wall;
        m_zones.ToWall(m_tzid, instant, wall);
        return wall;
    }

private:
    const TimeZoneTable& m_zones;
    const ImportOptions& m_options;
    TimeForm m_form;
    std::string m_tzid;
};

std::uint64_t Hash(const std::string& day, const AppointmentValues& v) {
    std::uint64_t hash = 14695981039346656037ull;
    const auto add = [&](std::string_view text) {
        for (const char c : text) {
            hash ^= static_cast<unsigned char>(c);
            hash *= 1099511628211ull;
        }
        hash ^= 0xFF; // a separator that UTF-8 never holds
        hash *= 1099511628211ull;
    };
    add(day);
    add(v.from);
    add(v.to);
    add(v.notes);
    add(v.event);
    add(std::to_string(v.eventIndex));
    add(v.detailNotes);
    return hash;
}

// Turns each event of a file into planned appointments, refusals and notes.
class Planner {
public:
    Planner(const std::vector<TimeZoneRecord>& zones, const ImportOptions& options,
            ImportPlan& plan)
        : m_options(options), m_plan(plan), m_zones(zones) {
        m_lastDay = options.lastDay ? *options.lastDay : OneYearAfter(options.today);
        if (options.existing != nullptr)
            for (std::size_t i = 0; i < options.existing->size(); ++i) {
                const DayAppointment& a = (*options.existing)[i];
                m_seen[Hash(a.day, a.values)].push_back({true, i, kUnmatched});
            }
    }

    // False when the file would file more appointments than allowed; the
    // plan's error says so.
    bool PlanEvent(const ComponentRecord& event);

private:
    // An appointment met before: one in the store, or one planned. Each
    // stored copy stands for one event of the file, so that a file holding
    // two equal appointments (two events with their own UIDs) files both
    // into an empty store and neither into a store that has them.
    static constexpr std::size_t kUnmatched = static_cast<std::size_t>(-1);
    struct Seen {
        bool existing;
        std::size_t index; // into the store's or the plan's appointments
        std::size_t uid;   // the event that filed or matched it; kUnmatched
    };

    std::optional<Refusal> Texts(const ComponentRecord& event, PlannedEvent& planned);
    std::optional<Refusal> Dates(const ComponentRecord& event,
                                 std::vector<PlannedAppointment>& out);
    std::optional<Refusal> Occurrences(const ComponentRecord& event, const TimeValue& start,
                                       const Frame& frame, std::vector<LocalDateTime>& starts,
                                       Duration span);
    bool IsDuplicate(const DayAppointment& appointment, std::size_t uid);
    std::size_t UidOf(const ComponentRecord& event);
    void Note(int line, const std::string& summary, std::string reason) {
        m_plan.notes.push_back({line, summary, std::move(reason)});
    }

    const ImportOptions& m_options;
    ImportPlan& m_plan;
    TimeZoneTable m_zones;
    CalendarDate m_lastDay;
    std::unordered_map<std::uint64_t, std::vector<Seen>> m_seen;
    std::unordered_map<std::string, std::size_t> m_uids; // an event without one has ""
    std::set<std::string> m_zonesNoted;
    std::string m_summary; // of the event being planned, for messages
};

bool Planner::PlanEvent(const ComponentRecord& event) {
    PlannedEvent planned;
    planned.line = event.line;
    m_summary.clear();
    std::vector<PlannedAppointment> dates;
    std::optional<Refusal> refusal = Texts(event, planned);
    if (!refusal)
        refusal = Dates(event, dates);
    if (refusal) {
        m_plan.refused.push_back({refusal->line, m_summary, std::move(refusal->reason)});
        return true;
    }
    const std::size_t eventIndex = m_plan.events.size();
    const std::size_t uid = UidOf(event);
    // The event is in the plan while its occurrences are, so that two of
    // them on the same day can be compared; it goes when none is filed.
    m_plan.events.push_back(std::move(planned));
    const PlannedEvent& texts = m_plan.events.back();
    bool any = false;
    for (PlannedAppointment& appointment : dates) {
        appointment.event = eventIndex;
        const DayAppointment full{appointment.day,
                                  {appointment.from, appointment.to, texts.notes, texts.event,
                                   texts.eventIndex, texts.detailNotes}};
        if (IsDuplicate(full, uid)) {
            ++m_plan.duplicates;
            continue;
        }
        if (m_plan.appointments.size() >= m_options.maxAppointments) {
            m_plan.error = {event.line, "line " + std::to_string(event.line) +
                                            ": the file would add more than " +
                                            std::to_string(m_options.maxAppointments) +
                                            " appointments; split it"};
            return false;
        }
        m_seen[Hash(full.day, full.values)].push_back({false, m_plan.appointments.size(), uid});
        m_plan.appointments.push_back(std::move(appointment));
        any = true;
    }
    if (!any)
        m_plan.events.pop_back();
    return true;
}

std::size_t Planner::UidOf(const ComponentRecord& event) {
    const ContentLine* uid = event.Find("UID");
    return m_uids.emplace(uid != nullptr ? uid->value : std::string(), m_uids.size()).first->second;
}

// A duplicate is the same event met again, or an appointment that a stored
// copy not yet matched by another event already holds.
bool Planner::IsDuplicate(const DayAppointment& appointment, std::size_t uid) {
    const auto found = m_seen.find(Hash(appointment.day, appointment.values));
    if (found == m_seen.end())
        return false;
    Seen* unmatched = nullptr;
    for (Seen& seen : found->second) {
        const bool equal = seen.existing ? (*m_options.existing)[seen.index] == appointment
                                         : m_plan.AppointmentAt(seen.index) == appointment;
        if (!equal)
            continue;
        if (seen.uid == uid)
            return true;
        if (seen.existing && seen.uid == kUnmatched && unmatched == nullptr)
            unmatched = &seen;
    }
    if (unmatched == nullptr)
        return false;
    unmatched->uid = uid;
    return true;
}

std::optional<Refusal> Planner::Texts(const ComponentRecord& event, PlannedEvent& planned) {
    const std::string& lineBreak = m_options.lineBreak;
    const ContentLine* summary = event.Find("SUMMARY");
    if (summary != nullptr) {
        planned.notes = UnescapeText(summary->value, lineBreak);
        m_summary = planned.notes;
    }
    if (planned.notes.empty())
        return Refusal{summary != nullptr ? summary->line : event.line,
                       "it has no SUMMARY, and an appointment needs notes"};
    if (!m_options.fitsTextField(planned.notes))
        return Refusal{summary->line, "its SUMMARY is longer than the " +
                                          std::to_string(kTextFieldUnits) +
                                          " characters that notes can hold"};
    if (const ContentLine* description = event.Find("DESCRIPTION")) {
        planned.detailNotes = UnescapeText(description->value, lineBreak);
        if (!m_options.fitsTextField(planned.detailNotes))
            return Refusal{description->line, "its DESCRIPTION is longer than the " +
                                                  std::to_string(kTextFieldUnits) +
                                                  " characters that detailed notes can hold"};
    }
    planned.event = kEventNames[kOthersIndex];
    planned.eventIndex = kOthersIndex;
    for (const ContentLine& property : event.properties) {
        if (property.name != "CATEGORIES")
            continue;
        for (std::string item : SplitTextList(property.value, lineBreak)) {
            item.erase(0, item.find_first_not_of(' '));
            item.erase(item.find_last_not_of(' ') + 1);
            const int index = EventIndexOf(item);
            if (index >= 0) {
                planned.event = kEventNames[index];
                planned.eventIndex = static_cast<std::uint32_t>(index);
                return std::nullopt;
            }
        }
    }
    return std::nullopt;
}

// A stored FROM or TO text carried by the extension property: at most the
// ten characters of the field, and nothing a field cannot hold.
bool IsStorableDateField(const std::string& text) {
    if (text.size() > 10)
        return false;
    return std::all_of(text.begin(), text.end(), [](char c) { return c >= 0x20 && c < 0x7F; });
}

std::optional<Refusal> Planner::Dates(const ComponentRecord& event,
                                      std::vector<PlannedAppointment>& out) {
    const ContentLine* dtstart = event.Find("DTSTART");
    if (dtstart == nullptr)
        return Refusal{event.line, "it has no DTSTART"};
    TimeValue start;
    std::string why;
    if (!ParseTimeProperty(*dtstart, start, why))
        return Refusal{dtstart->line, why};
    if (start.form == TimeForm::Zoned && !m_zones.Knows(start.tzid) &&
        m_zonesNoted.insert(start.tzid).second) {
        const int broken = m_zones.BrokenLine(start.tzid);
        Note(dtstart->line, m_summary,
             broken != 0 ? "the VTIMEZONE " + QuoteForMessage(start.tzid) + " of line " +
                               std::to_string(broken) +
                               " cannot be read; its times are taken as local times"
                         : "the file has no VTIMEZONE for TZID " + QuoteForMessage(start.tzid) +
                               "; its times are taken as local times");
    }
    const Frame frame(start, m_zones, m_options);

    // How long each occurrence lasts: DTEND - DTSTART, or DURATION.
    Duration span;
    if (const ContentLine* dtend = event.Find("DTEND")) {
        TimeValue end;
        if (!ParseTimeProperty(*dtend, end, why))
            return Refusal{dtend->line, why};
        if (end.IsDate() != start.IsDate())
            return Refusal{dtend->line, std::string("DTEND is a ") +
                                            (end.IsDate() ? "date" : "date-time") +
                                            " but DTSTART is not"};
        if (start.IsDate())
            span.days = DayNumber(end.wall.date) - DayNumber(start.wall.date);
        else
            span.seconds = frame.Instant(frame.WallOf(end)) - frame.Instant(start.wall);
    } else if (const ContentLine* duration = event.Find("DURATION")) {
        if (!ParseDuration(duration->value, span))
            return Refusal{duration->line,
                           "DURATION " + QuoteForMessage(duration->value) + " is not a duration"};
        if (span.negative)
            span = Duration{};
    } else if (start.IsDate()) {
        span.days = 1;
    }

    std::vector<LocalDateTime> starts;
    if (auto refusal = Occurrences(event, start, frame, starts, span))
        return refusal;

    const bool repeating = starts.size() != 1 || event.Find("RRULE") || event.Find("RDATE");
    for (const LocalDateTime& wall : starts) {
        PlannedAppointment appointment;
        CalendarDate from, to;
        if (start.IsDate()) {
            from = wall.date;
            const std::int64_t days =
                span.days + (span.seconds + kSecondsPerDay - 1) / kSecondsPerDay;
            to = days > 1 ? AddDays(from, days - 1) : from;
        } else {
            const std::int64_t begin = frame.Instant(wall);
            const std::int64_t end =
                frame.Instant({AddDays(wall.date, span.days), wall.seconds}) + span.seconds;
            from = frame.DateOfInstant(begin);
            to = end > begin ? frame.DateOfInstant(end - 1) : from;
        }
        if (!IsValidDate(from) || !IsValidDate(to))
            return Refusal{dtstart->line, "its dates fall outside the years 1 to 9999"};
        if (repeating &&
            (CompareDates(to, m_options.today) < 0 || CompareDates(from, m_lastDay) > 0))
            continue;
        appointment.day = FormatDateText(from);
        appointment.from = FormatDateText(from);
        appointment.to = FormatDateText(to);
        out.push_back(std::move(appointment));
    }
    if (out.empty())
        return Refusal{event.line, "it repeats, but no occurrence falls between " +
                                       FormatDateText(m_options.today) + " and " +
                                       FormatDateText(m_lastDay)};
    if (repeating)
        return std::nullopt;

    // One appointment: the extension properties may say where it was filed
    // and what its FROM and TO said.
    PlannedAppointment& only = out.front();
    if (const ContentLine* day = event.Find(kDayProperty)) {
        if (IsDateKeyName(day->value.c_str()))
            only.day = day->value;
        else
            Note(day->line, m_summary,
                 std::string(kDayProperty) + " " + QuoteForMessage(day->value) +
                     " is not a day; filed under its start day " + only.day);
    }
    const std::pair<const char*, std::string*> carried[] = {{kFromProperty, &only.from},
                                                            {kToProperty, &only.to}};
    for (const auto& [name, field] : carried) {
        if (const ContentLine* property = event.Find(name)) {
            const std::string text = UnescapeText(property->value, "\n");
            if (IsStorableDateField(text))
                *field = text;
            else
                Note(property->line, m_summary,
                     std::string(name) + " " + QuoteForMessage(text) +
                         " does not fit the field; the date is taken instead");
        }
    }
    return std::nullopt;
}

// The starts of the event's occurrences on its own wall clock: DTSTART
// alone, or as its RRULE, RDATEs and EXDATEs give them near the window.
std::optional<Refusal> Planner::Occurrences(const ComponentRecord& event, const TimeValue& start,
                                            const Frame& frame, std::vector<LocalDateTime>& starts,
                                            Duration span) {
    std::string why;
    const ContentLine* rrule = nullptr;
    std::vector<TimeValue> extra, excluded;
    for (const ContentLine& property : event.properties) {
        if (property.name == "RRULE") {
            if (rrule != nullptr)
                return Refusal{property.line, "it has more than one RRULE"};
            rrule = &property;
        } else if (property.name == "EXRULE") {
            return Refusal{property.line,
                           "EXRULE is not taken; the event would have to be guessed"};
        } else if (property.name == "RDATE" || property.name == "EXDATE") {
            const std::string* type = property.Parameter("VALUE");
            if (type != nullptr && EqualsNoCase(*type, "PERIOD"))
                return Refusal{property.line, "RDATE periods are not taken"};
            if (!ParseTimeListProperty(property, property.name == "RDATE" ? extra : excluded, why))
                return Refusal{property.line, why};
        }
    }
    starts.push_back(start.wall);
    if (rrule == nullptr && extra.empty())
        return std::nullopt;
    starts.clear();

    std::set<std::int64_t> excludedDays, excludedTimes;
    for (const TimeValue& value : excluded) {
        if (value.IsDate())
            excludedDays.insert(DayNumber(value.wall.date));
        else if (start.IsDate())
            excludedDays.insert(DayNumber(frame.WallOf(value).date));
        else
            excludedTimes.insert(WallSeconds(frame.WallOf(value)));
    }
    const auto keep = [&](const LocalDateTime& wall) {
        if (excludedDays.count(DayNumber(wall.date)) == 0 &&
            excludedTimes.count(WallSeconds(wall)) == 0)
            starts.push_back(wall);
    };
    // Occurrences that start a little before today can still run into it;
    // a time zone moves a date by a day at most.
    const std::int64_t spanDays = span.days + span.seconds / kSecondsPerDay + 2;
    Walk walk;
    walk.start = start.wall;
    walk.skipTo = AddDays(m_options.today, -std::min<std::int64_t>(spanDays, 4000000));
    walk.horizon = AddDays(m_lastDay, 1);
    if (rrule != nullptr) {
        RecurrenceRule rule;
        if (!ParseRecurrenceRule(rrule->value, rule, why))
            return Refusal{rrule->line, why};
        if (!rule.until.empty()) {
            TimeValue until;
            if (!ParseTimeText(rule.until, false, until))
                return Refusal{rrule->line, "RRULE UNTIL " + QuoteForMessage(rule.until) +
                                                " is not a date or date-time"};
            walk.until =
                until.IsDate() ? LocalDateTime{until.wall.date, 86399} : frame.WallOf(until);
        }
        if (!IsValidDate(walk.skipTo))
            walk.skipTo = {1, 1, 1};
        switch (WalkOccurrences(rule, walk, keep)) {
        case WalkEnd::OverBudget:
            return Refusal{rrule->line, "its RRULE counts occurrences from " +
                                            FormatDateText(start.wall.date) +
                                            ", too far back to follow to today"};
        case WalkEnd::PastHorizon:
            Note(rrule->line, m_summary,
                 "it repeats after " + FormatDateText(m_lastDay) +
                     "; only the occurrences up to then are filed");
            break;
        case WalkEnd::Finished:
            break;
        }
    } else {
        keep(start.wall);
    }
    for (const TimeValue& value : extra)
        keep(start.IsDate() ? LocalDateTime{value.wall.date, 0} : frame.WallOf(value));
    std::sort(starts.begin(), starts.end(), [](const LocalDateTime& a, const LocalDateTime& b) {
        return WallSeconds(a) < WallSeconds(b);
    });
    starts.erase(std::unique(starts.begin(), starts.end()), starts.end());
    return std::nullopt;
}

} // namespace

ImportPlan PlanImport(std::string_view bytes, const ImportOptions& given) {
    ImportOptions options = given;
    if (!options.localDateOf)
        options.localDateOf = [](std::int64_t utc) { return WallTimeOf(utc).date; };
    if (!options.fitsTextField)
        options.fitsTextField = FitsTextField;
    ImportPlan plan;
    // Twice through the file: first to check it whole and to find its time
    // zones, which may come after the events that use them; then to plan
    // each event as it is read, so that no more than one is held at a time.
    CalendarFile file;
    if (!ReadCalendarFile(bytes, file, plan.error, options.limits,
                          [](ComponentRecord&&) { return true; }))
        return plan;
    Planner planner(file.zones, options, plan);
    CalendarFile again;
    ReadError unused;
    if (!ReadCalendarFile(bytes, again, unused, options.limits,
                          [&](ComponentRecord&& event) { return planner.PlanEvent(event); })) {
        const ReadError error = plan.error;
        plan = ImportPlan{};
        plan.error = error;
        plan.eventsRead = file.eventCount;
        return plan;
    }
    plan.eventsRead = file.eventCount;
    plan.accepted = true;
    return plan;
}

} // namespace ical
