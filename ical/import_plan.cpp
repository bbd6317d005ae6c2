#include "ical/import_plan.h"

#include "ical/calendar_file.h"
#include "ical/civil_time.h"
#include "ical/ical_text.h"
#include "ical/recurrence_rule.h"
#include "ical/rule_occurrences.h"
#include "ical/series.h"
#include "ical/time_value.h"
#include "ical/time_zone_table.h"
#include "ical/work_budget.h"
#include "ical/zone_names.h"

#include <algorithm>
#include <set>
#include <unordered_map>
#include <utility>

namespace ical {

DayAppointment ImportPlan::AppointmentAt(std::size_t index) const {
    const PlannedAppointment& planned = appointments.at(index);
    const PlannedEvent& event = events.at(planned.event);
    return {planned.day,
            {planned.from, planned.to, event.notes, event.event, event.eventIndex,
             event.detailNotes, planned.time, planned.series}};
}

bool IsNewerVersion(const EventVersion& incoming, const EventVersion& stored) {
    if (incoming.sequence != stored.sequence)
        return incoming.sequence > stored.sequence;
    return incoming.stamp > stored.stamp;
}

namespace {

// An event that cannot be filed: the reason, and the line at fault.
struct Refusal {
    int line;
    std::string reason;
};

// Whether two zone names (IANA names or Windows ids) name one wall clock
// here: the same zone, or zones that Windows keeps as one.
bool SameZone(const std::string& a, const std::string& b) {
    const std::string_view first = IanaZoneOf(a), second = IanaZoneOf(b);
    if (first.empty() || second.empty())
        return false;
    if (EqualsNoCase(first, second))
        return true;
    const std::string_view windows = WindowsZoneOfIana(first);
    return !windows.empty() && windows == WindowsZoneOfIana(second);
}

// How the wall-clock times of one event turn into the user's dates: a DATE
// or a floating time is its own date; a UTC or zoned time is an instant
// that the user's time zone dates. A zone is read from the file's
// VTIMEZONE, else from the system's zones; one that neither knows is taken
// as local time.
class Frame {
public:
    Frame(const TimeValue& start, const TimeZoneTable& zones, const ImportOptions& options,
          WorkBudget& budget)
        : m_zones(zones), m_options(options), m_budget(budget), m_form(start.form),
          m_tzid(start.tzid) {
        std::int64_t probe = 0;
        if (m_form == TimeForm::Zoned && !zones.Knows(m_tzid) &&
            !ZoneToUtc(m_tzid, start.wall, probe))
            m_form = TimeForm::Floating;
    }

    bool Absolute() const { return m_form == TimeForm::Utc || m_form == TimeForm::Zoned; }
    bool Floating() const { return m_form == TimeForm::Floating; }
    // Whether the event's wall clock is that of `zone`.
    bool IsClockOf(const std::string& zone) const {
        return m_form == TimeForm::Zoned && SameZone(m_tzid, zone);
    }

    std::int64_t Instant(const LocalDateTime& wall) const {
        std::int64_t utc = WallSeconds(wall);
        if (m_form == TimeForm::Zoned)
            ZoneToUtc(m_tzid, wall, utc);
        return utc;
    }

    CalendarDate DateOfInstant(std::int64_t instant) const {
        return Absolute() ? m_options.localTimeOf(instant).date : WallTimeOf(instant).date;
    }

    CalendarDate DateOf(const LocalDateTime& wall) const { return DateOfInstant(Instant(wall)); }

    // Another time of the event (DTEND, UNTIL, EXDATE) on this event's wall clock.
    LocalDateTime WallOf(const TimeValue& other) const {
        if (!Absolute() || other.form == TimeForm::Date || other.form == TimeForm::Floating)
            return other.wall;
        std::int64_t instant = WallSeconds(other.wall);
        if (other.form == TimeForm::Zoned && !ZoneToUtc(other.tzid, other.wall, instant))
            return other.wall;
        if (m_form == TimeForm::Utc)
            return WallTimeOf(instant);
        LocalDateTime wall;
        if (!ZoneToWall(m_tzid, instant, wall))
            return other.wall;
        return wall;
    }

private:
    bool ZoneToUtc(const std::string& tzid, const LocalDateTime& wall, std::int64_t& utc) const {
        if (m_zones.Knows(tzid))
            return m_zones.ToUtc(tzid, wall, utc, &m_budget);
        return m_options.zoneToUtc && m_options.zoneToUtc(tzid, wall, utc);
    }
    bool ZoneToWall(const std::string& tzid, std::int64_t utc, LocalDateTime& wall) const {
        if (m_zones.Knows(tzid))
            return m_zones.ToWall(tzid, utc, wall, &m_budget);
        return m_options.zoneToWall && m_options.zoneToWall(tzid, utc, wall);
    }

    const TimeZoneTable& m_zones;
    const ImportOptions& m_options;
    WorkBudget& m_budget;
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
    const TimedValues& t = v.time;
    add(std::to_string(t.minuteOfDay.value_or(-1)) + " " + std::to_string(t.duration.value_or(-1)) +
        " " + std::to_string(t.remindBefore.value_or(-1)));
    add(t.zone);
    return hash;
}

// What the first reading of a file learns for the second: the occurrences
// that events with a RECURRENCE-ID replace, by UID, as large calendar
// services export a moved or cancelled occurrence of a repeating event. The
// repeating event leaves those out, wherever in the file it and they are.
using ReplacedByUid = std::unordered_map<std::string, std::vector<TimeValue>>;

bool IsCancelled(const ComponentRecord& event) {
    const ContentLine* status = event.Find("STATUS");
    return status != nullptr && EqualsNoCase(status->value, "CANCELLED");
}

// The UID of an event that replaces an occurrence of another, or nullptr.
const std::string* ReplacingUid(const ComponentRecord& event) {
    const ContentLine* uid = event.Find("UID");
    if (uid == nullptr || uid->value.empty() || event.Find("RECURRENCE-ID") == nullptr)
        return nullptr;
    return &uid->value;
}

void NoteReplacement(const ComponentRecord& event, ReplacedByUid& replaced) {
    const std::string* uid = ReplacingUid(event);
    if (uid == nullptr)
        return;
    TimeValue occurrence;
    std::string why;
    if (ParseTimeProperty(*event.Find("RECURRENCE-ID"), occurrence, why))
        replaced[*uid].push_back(occurrence);
}

// The identity an event is updated by: its UID, and for one that replaces
// an occurrence of another, the occurrence it replaces as well, so that it
// is never taken for the repeating event itself. "" without a UID.
std::string UpdateKeyOf(const ComponentRecord& event) {
    const ContentLine* uid = event.Find("UID");
    if (uid == nullptr || uid->value.empty())
        return std::string();
    const ContentLine* occurrence = event.Find("RECURRENCE-ID");
    return occurrence == nullptr ? uid->value : uid->value + "#" + occurrence->value;
}

// A DTSTAMP or LAST-MODIFIED as UTC text; "" for none or one not a date-time.
std::string StampOf(const ContentLine* property) {
    TimeValue value;
    if (property == nullptr || !ParseTimeText(property->value, false, value) || value.IsDate())
        return std::string();
    return FormatUtcTime(WallSeconds(value.wall));
}

EventVersion VersionOf(const ComponentRecord& event) {
    EventVersion version;
    if (const ContentLine* sequence = event.Find("SEQUENCE")) {
        const std::string& text = sequence->value;
        if (!text.empty() && text.size() <= 9 &&
            std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
            version.sequence = std::stoll(text);
    }
    version.stamp = std::max(StampOf(event.Find("DTSTAMP")), StampOf(event.Find("LAST-MODIFIED")));
    return version;
}

// The rule text with its UNTIL written as the DATE `until`.
std::string WithDateUntil(std::string_view rule, const CalendarDate& until) {
    std::string result;
    while (true) {
        const std::size_t at = rule.find(';');
        const std::string_view part = rule.substr(0, at);
        if (!result.empty())
            result += ';';
        if (part.size() >= 6 && EqualsNoCase(part.substr(0, 6), "UNTIL="))
            result += "UNTIL=" + FormatDate(until);
        else
            result += part;
        if (at == std::string_view::npos)
            return result;
        rule.remove_prefix(at + 1);
    }
}

// Turns each event of a file into planned appointments, refusals and notes.
class Planner {
public:
    Planner(const std::vector<TimeZoneRecord>& zones, ReplacedByUid replaced,
            const ImportOptions& options, ImportPlan& plan)
        : m_options(options), m_plan(plan), m_zones(zones), m_replaced(std::move(replaced)),
          m_budget(options.maxWorkPerEvent) {
        m_lastDay = options.lastDay ? *options.lastDay : OneYearAfter(options.today);
        if (options.stored != nullptr)
            for (std::size_t i = 0; i < options.stored->size(); ++i)
                m_storedByKey.emplace((*options.stored)[i].values.series.uid, i);
        if (options.existing != nullptr)
            for (std::size_t i = 0; i < options.existing->size(); ++i) {
                const DayAppointment& a = (*options.existing)[i];
                m_unmatched[Hash(a.day, a.values)].push_back(i);
            }
    }

    // False when the file would file more appointments than allowed; the
    // plan's error says so. An event that replaces an occurrence of another
    // waits until the whole file is read, for what its repeating event is.
    bool PlanEvent(ComponentRecord&& event);
    bool PlanWaiting();

private:
    // How an event that replaces an occurrence is to be filed.
    enum class Role {
        Single,      // an event of its own, or a replacement without its event
        Replacement, // of an occurrence of a repeating event: filed as it is
    };
    // A repeating event that others replace occurrences of.
    struct Series {
        bool repeats = false;
        bool cancelled = false;
        bool keptAsRule = false; // filed as one appointment with its rule
    };

    bool Plan(const ComponentRecord& event, Role role);
    std::optional<Refusal> Texts(const ComponentRecord& event, PlannedEvent& planned);
    std::optional<Refusal> Dates(const ComponentRecord& event, Role role,
                                 std::vector<PlannedAppointment>& out);
    std::optional<Refusal> Occurrences(const ComponentRecord& event, const TimeValue& start,
                                       const Frame& frame, std::vector<LocalDateTime>& starts,
                                       Duration span);
    std::optional<SeriesValues>
    KeptRule(const ComponentRecord& event, const TimeValue& start, const Frame& frame, bool timed,
             const std::string& zone,
             const std::function<LocalDateTime(const LocalDateTime&)>& computerClock,
             std::string& seriesZone, bool& onComputerClock);
    bool Unchanged(const PlannedEvent& texts, PlannedAppointment& appointment);
    std::optional<LocalDateTime> OwnDailyRange(const ComponentRecord& event, const TimeValue& start,
                                               const Frame& frame);
    std::optional<int> RemindBefore(const ComponentRecord& event, bool allDay);
    bool IsDuplicate(const DayAppointment& appointment, std::size_t uid);
    std::size_t UidOf(const ComponentRecord& event);
    void Note(int line, const std::string& summary, std::string reason) {
        m_plan.notes.push_back({line, summary, std::move(reason)});
    }

    const ImportOptions& m_options;
    ImportPlan& m_plan;
    TimeZoneTable m_zones;
    CalendarDate m_lastDay;
    // A duplicate is the same event met again (an appointment that this
    // event filed, or a stored one it matched), or one that a stored copy
    // not yet matched by another event already holds. Each stored copy
    // stands for one event, so that a file holding two equal appointments
    // (two events with their own UIDs) files both into an empty store and
    // neither into a store that has them. Kept by hash, so that each look
    // is one or two comparisons however many events are alike.
    struct Seen {
        bool existing;
        std::size_t index; // into the store's or the plan's appointments
    };
    std::unordered_map<std::uint64_t, std::vector<Seen>> m_byEvent; // hash and UID
    std::unordered_map<std::uint64_t, std::vector<std::size_t>> m_unmatched;
    std::unordered_map<std::string, std::size_t> m_uids;        // an event without one has ""
    std::unordered_map<std::string, std::size_t> m_storedByKey; // into ImportOptions::stored
    std::set<std::size_t> m_storedReplaced;
    ReplacedByUid m_replaced;
    std::unordered_map<std::string, Series> m_series; // of the UIDs in m_replaced
    std::vector<ComponentRecord> m_waiting;           // replacements, until the end
    std::set<std::string> m_zonesNoted;
    std::string m_summary; // of the event being planned, for messages
    WorkBudget m_budget;   // of the event being planned
};

bool Planner::PlanEvent(ComponentRecord&& event) {
    if (const std::string* uid = ReplacingUid(event)) {
        if (m_replaced.count(*uid) != 0) {
            m_waiting.push_back(std::move(event));
            return true;
        }
    } else if (const ContentLine* uid = event.Find("UID");
               uid != nullptr && m_replaced.count(uid->value) != 0) {
        Series& series = m_series[uid->value];
        series.repeats = series.repeats || event.Find("RRULE") || event.Find("RDATE");
        series.cancelled = series.cancelled || IsCancelled(event);
    }
    if (IsCancelled(event)) {
        ++(event.Find("RECURRENCE-ID") != nullptr ? m_plan.cancelledOccurrences
                                                  : m_plan.cancelledEvents);
        return true;
    }
    return Plan(event, Role::Single);
}

bool Planner::PlanWaiting() {
    for (const ComponentRecord& event : m_waiting) {
        const auto series = m_series.find(event.Find("UID")->value);
        if (IsCancelled(event) || (series != m_series.end() && series->second.cancelled)) {
            ++m_plan.cancelledOccurrences;
            continue;
        }
        // A moved occurrence of a rule that is kept is an appointment of its
        // own; the rule skips the day it moves away from.
        const bool replaces =
            series != m_series.end() && series->second.repeats && !series->second.keptAsRule;
        if (!Plan(event, replaces ? Role::Replacement : Role::Single))
            return false;
    }
    m_waiting.clear();
    return true;
}

bool Planner::Plan(const ComponentRecord& event, Role role) {
    PlannedEvent planned;
    planned.line = event.line;
    m_summary.clear();
    m_budget = WorkBudget(m_options.maxWorkPerEvent);
    std::vector<PlannedAppointment> dates;
    std::optional<Refusal> refusal = Texts(event, planned);
    if (!refusal)
        refusal = Dates(event, role, dates);
    m_plan.work += std::min(m_budget.Spent(), m_budget.Allowed());
    if (refusal) {
        m_plan.refused.push_back({refusal->line, m_summary, std::move(refusal->reason)});
        return true;
    }
    planned.version = VersionOf(event);
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
                                   texts.eventIndex, texts.detailNotes, appointment.time,
                                   appointment.series}};
        if (Unchanged(texts, appointment) || IsDuplicate(full, uid)) {
            // Bounded too, so that an event repeated many times over cannot
            // make an import take long.
            if (++m_plan.duplicates > 2 * m_options.maxAppointments) {
                m_plan.error = {event.line, "line " + std::to_string(event.line) +
                                                ": the file repeats more than " +
                                                std::to_string(2 * m_options.maxAppointments) +
                                                " appointments; split it"};
                return false;
            }
            continue;
        }
        if (m_plan.appointments.size() >= m_options.maxAppointments) {
            m_plan.error = {event.line, "line " + std::to_string(event.line) +
                                            ": the file would add more than " +
                                            std::to_string(m_options.maxAppointments) +
                                            " appointments; split it"};
            return false;
        }
        m_byEvent[Hash(full.day, full.values) ^ (uid * 0x9E3779B97F4A7C15ull)].push_back(
            {false, m_plan.appointments.size()});
        if (appointment.replaces)
            ++m_plan.updates;
        m_plan.appointments.push_back(std::move(appointment));
        any = true;
    }
    if (!any)
        m_plan.events.pop_back();
    return true;
}

// Whether a stored appointment with the same UID makes this one a
// duplicate: when it is as new, or says the same; otherwise this one is to
// replace it.
bool Planner::Unchanged(const PlannedEvent& texts, PlannedAppointment& appointment) {
    if (appointment.series.uid.empty())
        return false;
    const auto found = m_storedByKey.find(appointment.series.uid);
    if (found == m_storedByKey.end())
        return false;
    const StoredEvent& stored = (*m_options.stored)[found->second];
    const AppointmentValues values{appointment.from, appointment.to,    texts.notes,
                                   texts.event,      texts.eventIndex,  texts.detailNotes,
                                   appointment.time, appointment.series};
    if (!IsNewerVersion(texts.version, stored.version) ||
        (stored.day == appointment.day && stored.values == values) ||
        !m_storedReplaced.insert(found->second).second)
        return true;
    appointment.replaces = found->second;
    return false;
}

std::size_t Planner::UidOf(const ComponentRecord& event) {
    const ContentLine* uid = event.Find("UID");
    return m_uids.emplace(uid != nullptr ? uid->value : std::string(), m_uids.size()).first->second;
}

bool Planner::IsDuplicate(const DayAppointment& appointment, std::size_t uid) {
    const std::uint64_t hash = Hash(appointment.day, appointment.values);
    const std::uint64_t key = hash ^ (uid * 0x9E3779B97F4A7C15ull);
    // A stored appointment without a UID is the one an export of it made
    // the event of: importing a store's own export into it files nothing.
    const auto sameAsStored = [&](const DayAppointment& stored) {
        if (!stored.values.series.uid.empty() || appointment.values.series.uid.empty())
            return stored == appointment;
        DayAppointment withoutUid = appointment;
        withoutUid.values.series.uid.clear();
        return stored == withoutUid;
    };
    const auto equal = [&](const Seen& seen) {
        return seen.existing ? sameAsStored((*m_options.existing)[seen.index])
                             : m_plan.AppointmentAt(seen.index) == appointment;
    };
    if (const auto met = m_byEvent.find(key); met != m_byEvent.end())
        for (const Seen& seen : met->second)
            if (equal(seen))
                return true;
    const auto stored = m_unmatched.find(hash);
    if (stored == m_unmatched.end())
        return false;
    std::vector<std::size_t>& copies = stored->second;
    for (std::size_t i = 0; i < copies.size(); ++i) {
        if (!equal({true, copies[i]}))
            continue;
        m_byEvent[key].push_back({true, copies[i]});
        copies[i] = copies.back();
        copies.pop_back();
        return true;
    }
    return false;
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

std::optional<Refusal> Planner::Dates(const ComponentRecord& event, Role role,
                                      std::vector<PlannedAppointment>& out) {
    // A replacement without a DTSTART of its own keeps the occurrence's.
    const ContentLine* dtstart = event.Find("DTSTART");
    const ContentLine* replaced = event.Find("RECURRENCE-ID");
    if (dtstart == nullptr)
        dtstart = replaced;
    if (dtstart == nullptr)
        return Refusal{event.line, "it has no DTSTART"};
    TimeValue start;
    std::string why;
    if (!ParseTimeProperty(*dtstart, start, why))
        return Refusal{dtstart->line, why};
    const Frame frame(start, m_zones, m_options, m_budget);
    if (start.form == TimeForm::Zoned && frame.Floating() &&
        m_zonesNoted.insert(start.tzid).second) {
        const int broken = m_zones.BrokenLine(start.tzid);
        Note(dtstart->line, m_summary,
             broken != 0 ? "the VTIMEZONE " + QuoteForMessage(start.tzid) + " of line " +
                               std::to_string(broken) +
                               " cannot be read; its times are taken as local times"
                         : "the file has no VTIMEZONE for TZID " + QuoteForMessage(start.tzid) +
                               "; its times are taken as local times");
    }
    if (replaced != nullptr) {
        const std::string* range = replaced->Parameter("RANGE");
        if (range != nullptr && EqualsNoCase(*range, "THISANDFUTURE"))
            Note(replaced->line, m_summary,
                 "RANGE=THISANDFUTURE is taken for this occurrence only; the later ones are "
                 "filed as the repeating event has them");
    }

    // How long each occurrence lasts: DTEND - DTSTART, or DURATION. An end
    // before the start would move every occurrence's window; the event is
    // read as lasting no longer than its start day, and the user told.
    Duration span;
    const auto reversed = [&](const ContentLine& line, const char* what) {
        span = Duration{};
        Note(line.line, m_summary,
             std::string(what) + " " + QuoteForMessage(line.value) +
                 " ends before DTSTART; filed for the start day only");
    };
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
        if (span.days < 0 || span.seconds < 0)
            reversed(*dtend, "DTEND");
    } else if (const ContentLine* duration = event.Find("DURATION")) {
        if (!ParseDuration(duration->value, span))
            return Refusal{duration->line,
                           "DURATION " + QuoteForMessage(duration->value) + " is not a duration"};
        if (span.negative && (span.days != 0 || span.seconds != 0))
            reversed(*duration, "DURATION");
        span.negative = false;
    } else if (start.IsDate()) {
        span.days = 1;
    }

    // A time of day is kept with the event's duration; one that lasts
    // longer than an appointment's duration can be is filed as its days.
    bool timed = !start.IsDate();
    std::optional<int> duration;
    if (timed) {
        const std::int64_t minutes = ((span.days * kSecondsPerDay + span.seconds) + 59) / 60;
        if (minutes > kMaxDurationMinutes) {
            timed = false;
            Note(dtstart->line, m_summary,
                 "it lasts longer than " + std::to_string(kMaxDurationMinutes / kMinutesPerDay) +
                     " days; filed as the days it covers, without its time");
        } else if (minutes > 0) {
            duration = static_cast<int>(minutes);
        }
    }
    const std::optional<int> remindBefore = RemindBefore(event, start.IsDate());
    if (!start.IsDate() && !timed && remindBefore)
        Note(dtstart->line, m_summary, "its alarm is left out with its time");

    // A timed event's time on the wall clock it is kept in: Quillmere's own
    // zone for it, else the computer's. A time on that clock already, or a
    // floating one, stays as it is written.
    std::string zone;
    if (const ContentLine* own = event.Find(kZoneProperty)) {
        const std::string name = UnescapeText(own->value, "\n");
        LocalDateTime probe;
        if (!IanaZoneOf(name).empty() &&
            (frame.IsClockOf(name) ||
             (m_options.zoneToWall && m_options.zoneToWall(name, 0, probe))))
            zone = name;
        else
            Note(own->line, m_summary,
                 std::string(kZoneProperty) + " " + QuoteForMessage(name) +
                     " is not a zone known here; its time is filed in the computer's zone");
    }
    const auto wallClockTime = [&](const LocalDateTime& wall) {
        if (frame.Floating() || frame.IsClockOf(zone.empty() ? m_options.computerZone : zone))
            return wall;
        const std::int64_t instant = frame.Instant(wall);
        LocalDateTime local;
        if (!zone.empty() && m_options.zoneToWall && m_options.zoneToWall(zone, instant, local))
            return local;
        return m_options.localTimeOf(instant);
    };

    // A range of days that Quillmere wrote as a daily rule is one appointment.
    std::optional<LocalDateTime> rangeEnd;
    if (timed && event.Find(kDayProperty) != nullptr)
        rangeEnd = OwnDailyRange(event, start, frame);
    // A rule the store keeps is filed as one appointment, its first
    // occurrence, on the event's own wall clock.
    std::optional<SeriesValues> kept;
    std::string seriesZone;
    bool onComputerClock = false;
    if (!rangeEnd && role == Role::Single && m_options.keepRules && replaced == nullptr &&
        event.Find("RRULE") != nullptr)
        kept =
            KeptRule(event, start, frame, timed, zone, wallClockTime, seriesZone, onComputerClock);
    std::vector<LocalDateTime> starts;
    if (rangeEnd || kept)
        starts.push_back(start.wall);
    else if (auto refusal = Occurrences(event, start, frame, starts, span))
        return refusal;

    // A replacement is one occurrence of its repeating event: filed only
    // within the window that the event's own occurrences are.
    const bool repeating = !rangeEnd && !kept &&
                           (starts.size() != 1 || event.Find("RRULE") || event.Find("RDATE") ||
                            role == Role::Replacement);
    m_budget.Spend(8 * static_cast<std::int64_t>(starts.size()));
    for (const LocalDateTime& wall : starts) {
        PlannedAppointment appointment;
        appointment.time.remindBefore = remindBefore;
        CalendarDate from, to;
        if (kept)
            appointment.series = *kept;
        if (timed) {
            const LocalDateTime local = kept && !onComputerClock ? wall : wallClockTime(wall);
            from = local.date;
            to = rangeEnd ? wallClockTime(*rangeEnd).date : from;
            if (CompareDates(to, from) < 0)
                to = from;
            appointment.time.minuteOfDay = local.seconds / 60;
            appointment.time.duration = duration;
            appointment.time.zone = kept ? seriesZone : zone;
        } else if (start.IsDate()) {
            from = wall.date;
            const std::int64_t days =
                span.days + (span.seconds + kSecondsPerDay - 1) / kSecondsPerDay;
            to = days > 1 ? AddDays(from, days - 1) : from;
        } else {
            appointment.time.remindBefore.reset();
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
    if (m_budget.Exhausted()) {
        const ContentLine* rrule = event.Find("RRULE");
        return Refusal{rrule != nullptr ? rrule->line : event.line,
                       "working out its occurrences from its start on " +
                           FormatDateText(start.wall.date) + " would take more than " +
                           std::to_string(m_budget.Allowed()) + " steps"};
    }
    // Replaced occurrences, or all of a replacement's outside the window,
    // are no reason to refuse: the replacements are filed in their place.
    const ContentLine* uid = event.Find("UID");
    if (out.empty() && (role == Role::Replacement ||
                        (uid != nullptr && replaced == nullptr && m_replaced.count(uid->value))))
        return std::nullopt;
    if (out.empty())
        return Refusal{event.line, "it repeats, but no occurrence falls between " +
                                       FormatDateText(m_options.today) + " and " +
                                       FormatDateText(m_lastDay)};
    if (repeating)
        return std::nullopt;

    // One appointment: the extension properties may say where it was filed
    // and what its FROM and TO said.
    PlannedAppointment& only = out.front();
    // It keeps its UID, by which a later import updates it; a kept rule
    // tells the events that replace some of its occurrences that it is kept.
    only.series.uid = UpdateKeyOf(event);
    if (kept && uid != nullptr && m_replaced.count(uid->value) != 0)
        m_series[uid->value].keptAsRule = true;
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

// The rule, skipped dates and zone an event is filed with when the store
// keeps its rule; none when it is filed as its occurrences (the plan's notes
// say why) or refused (Occurrences says why).
std::optional<SeriesValues>
Planner::KeptRule(const ComponentRecord& event, const TimeValue& start, const Frame& frame,
                  bool timed, const std::string& zone,
                  const std::function<LocalDateTime(const LocalDateTime&)>& computerClock,
                  std::string& seriesZone, bool& onComputerClock) {
    const ContentLine* rrule = nullptr;
    bool rdate = false;
    for (const ContentLine& property : event.properties) {
        if (property.name == "EXRULE" || (property.name == "RRULE" && rrule != nullptr))
            return std::nullopt;
        if (property.name == "RRULE")
            rrule = &property;
        rdate = rdate || property.name == "RDATE";
    }
    RecurrenceRule parsed;
    std::string why;
    if (rrule == nullptr || !ParseRecurrenceRule(rrule->value, parsed, why))
        return std::nullopt;
    const auto expanded = [&](int line, const std::string& reason) {
        Note(line, m_summary,
             reason + ", which a repeating appointment cannot keep; its occurrences up to " +
                 FormatDateText(m_lastDay) + " are filed one by one");
        return std::nullopt;
    };
    if (rdate)
        return expanded(event.Find("RDATE")->line, "it has RDATE, extra dates beside its rule");
    SeriesRule rule;
    if (!ReadSeriesRule(rrule->value, rule))
        return expanded(rrule->line, "its RRULE has both COUNT and UNTIL");
    if (rrule->value.size() > 900)
        return expanded(rrule->line, "its RRULE is longer than 900 characters");
    if (!start.IsDate() && !timed)
        return expanded(event.Find("DTSTART")->line, "it lasts longer than a timed day");

    // The occurrences follow the event's own wall clock: the zone it names,
    // kept with the time, unless it is the computer's or floating.
    // A UTC time from a computer whose zone has no name (as Quillmere
    // writes one there) is kept on this computer's clock.
    seriesZone.clear();
    onComputerClock = timed && start.form == TimeForm::Utc && m_options.computerZone.empty();
    if (onComputerClock) {
        seriesZone = zone;
    } else if (timed && !frame.Floating() &&
               !frame.IsClockOf(zone.empty() ? m_options.computerZone : zone)) {
        const std::string name(IanaZoneOf(start.form == TimeForm::Utc ? "Etc/UTC" : start.tzid));
        LocalDateTime probe;
        if (name.empty() || !m_options.zoneToWall || !m_options.zoneToWall(name, 0, probe))
            return expanded(event.Find("DTSTART")->line,
                            "its time zone " + QuoteForMessage(start.tzid) +
                                " is not one this computer knows by name");
        seriesZone = name;
    } else if (timed) {
        seriesZone = zone;
    }

    // Other times of the event (UNTIL, EXDATE) on that clock.
    const auto clockOf = [&](const TimeValue& value) {
        const LocalDateTime wall = frame.WallOf(value);
        return onComputerClock ? computerClock(wall) : wall;
    };
    const LocalDateTime first = onComputerClock ? computerClock(start.wall) : start.wall;

    SeriesValues values;
    values.repeatKind = RepeatKind::Rule;
    values.repeat = rrule->value;
    // UNTIL as the last day an occurrence may start on, on that wall clock.
    if (!parsed.until.empty()) {
        TimeValue until;
        ParseTimeText(parsed.until, false, until);
        CalendarDate last = until.wall.date;
        // The latest UTC time there is stands for the last day there is: a
        // rule to 9999-12-31 on a clock behind UTC cannot be written later.
        const bool endOfTime = until.form == TimeForm::Utc &&
                               until.wall.date == CalendarDate{9999, 12, 31} &&
                               until.wall.seconds == 86399;
        if (!until.IsDate() && !endOfTime) {
            const LocalDateTime wall = clockOf(until);
            last = start.IsDate() || wall.seconds >= first.seconds ? wall.date
                                                                   : AddDays(wall.date, -1);
        }
        if (!IsValidDate(last))
            return expanded(rrule->line, "its UNTIL falls outside the years 1 to 9999");
        values.repeat = WithDateUntil(rrule->value, last);
    }
    // EXDATEs and the occurrences other events replace are skipped, by the
    // date they start on.
    std::vector<TimeValue> excluded;
    for (const ContentLine& property : event.properties) {
        if (property.name != "EXDATE")
            continue;
        std::vector<TimeValue> dates;
        if (ParseTimeListProperty(property, dates, why))
            excluded.insert(excluded.end(), dates.begin(), dates.end());
        else
            Note(property.line, m_summary, why + "; those dates are not skipped");
    }
    if (const ContentLine* uid = event.Find("UID")) {
        const auto moved = m_replaced.find(uid->value);
        if (moved != m_replaced.end())
            excluded.insert(excluded.end(), moved->second.begin(), moved->second.end());
    }
    m_budget.Spend(static_cast<std::int64_t>(excluded.size()));
    for (const TimeValue& value : excluded) {
        const CalendarDate date = value.IsDate() ? value.wall.date : clockOf(value).date;
        if (IsValidDate(date))
            values.skipDates.push_back(date);
    }
    std::sort(values.skipDates.begin(), values.skipDates.end(),
              [](const CalendarDate& a, const CalendarDate& b) { return CompareDates(a, b) < 0; });
    values.skipDates.erase(std::unique(values.skipDates.begin(), values.skipDates.end()),
                           values.skipDates.end());
    if (values.skipDates.size() > kMaxSkipDates) {
        Note(event.line, m_summary,
             "it skips more than " + std::to_string(kMaxSkipDates) +
                 " occurrences; the earliest of them are not kept");
        values.skipDates.erase(values.skipDates.begin(),
                               values.skipDates.end() - static_cast<std::ptrdiff_t>(kMaxSkipDates));
    }
    return values;
}

// The last occurrence of a daily rule that Quillmere writes for a timed
// appointment over several days (FREQ=DAILY;UNTIL=... and nothing else that
// changes its days), on the event's wall clock; none for any other rule.
std::optional<LocalDateTime> Planner::OwnDailyRange(const ComponentRecord& event,
                                                    const TimeValue& start, const Frame& frame) {
    const ContentLine* rrule = nullptr;
    for (const ContentLine& property : event.properties) {
        if (property.name == "RDATE" || property.name == "EXDATE" || property.name == "EXRULE" ||
            (property.name == "RRULE" && rrule != nullptr))
            return std::nullopt;
        if (property.name == "RRULE")
            rrule = &property;
    }
    const ContentLine* uid = event.Find("UID");
    if (rrule == nullptr || event.Find("RECURRENCE-ID") != nullptr ||
        (uid != nullptr && m_replaced.count(uid->value) != 0))
        return std::nullopt;
    RecurrenceRule rule;
    std::string why;
    TimeValue until;
    if (!ParseRecurrenceRule(rrule->value, rule, why) || rule.frequency != Frequency::Daily ||
        rule.interval != 1 || rule.count != 0 || !rule.byDay.empty() || !rule.byMonthDay.empty() ||
        !rule.byMonth.empty() || !ParseTimeText(rule.until, false, until) || until.IsDate())
        return std::nullopt;
    // A range ends with its last start; a repeating appointment's daily
    // rule ends with the end of its last day.
    const LocalDateTime last = frame.WallOf(until);
    if (last.seconds != start.wall.seconds)
        return std::nullopt;
    const CalendarDate lastDay = last.date;
    if (!IsValidDate(lastDay) || CompareDates(lastDay, start.wall.date) < 0)
        return std::nullopt;
    return LocalDateTime{lastDay, start.wall.seconds};
}

// The alert an event's alarms ask for: its first DISPLAY alarm
// whose trigger is a time before its start (for an all-day event, before
// its day's midnight), in minutes. An alarm that an alert cannot be (after
// the start, at a fixed time, from the end, too early) is passed over, and
// said when no other is taken.
std::optional<int> Planner::RemindBefore(const ComponentRecord& event, bool allDay) {
    std::optional<Refusal> passedOver;
    for (const ComponentRecord& alarm : event.alarms) {
        const ContentLine* action = alarm.Find("ACTION");
        const ContentLine* trigger = alarm.Find("TRIGGER");
        // An alert is shown: a display alarm is one; a sound or an e-mail is
        // not what the user asked to see.
        if (action == nullptr || trigger == nullptr || !EqualsNoCase(action->value, "DISPLAY"))
            continue;
        const std::string* type = trigger->Parameter("VALUE");
        const std::string* related = trigger->Parameter("RELATED");
        const std::string shown = "its alarm " + QuoteForMessage(trigger->value);
        Duration before;
        if (type != nullptr && EqualsNoCase(*type, "DATE-TIME")) {
            passedOver = Refusal{trigger->line, shown + " is at a fixed time, which an alert "
                                                        "before the start cannot be"};
            continue;
        }
        if (related != nullptr && EqualsNoCase(*related, "END")) {
            passedOver = Refusal{trigger->line, shown + " is set from the end; alerts are set "
                                                        "from the start"};
            continue;
        }
        if (!ParseDuration(trigger->value, before)) {
            passedOver = Refusal{trigger->line, shown + " is not a duration"};
            continue;
        }
        const std::int64_t seconds = before.days * kSecondsPerDay + before.seconds;
        if (!before.negative && seconds != 0) {
            passedOver = Refusal{trigger->line, shown + " comes after the " +
                                                    (allDay ? "day begins" : "start") +
                                                    "; alerts come before it"};
            continue;
        }
        // A part of a minute makes the alert come early rather than late.
        const std::int64_t minutes = (seconds + 59) / 60;
        if (minutes > kMaxRemindBeforeMinutes) {
            passedOver = Refusal{trigger->line,
                                 shown + " comes more than " +
                                     std::to_string(kMaxRemindBeforeMinutes / kMinutesPerDay) +
                                     " days before"};
            continue;
        }
        return static_cast<int>(minutes);
    }
    if (passedOver)
        Note(passedOver->line, m_summary, passedOver->reason + "; filed without an alert");
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
    // The occurrences that events with a RECURRENCE-ID replace are left out
    // as EXDATE leaves them out, and count towards COUNT as those do.
    const ContentLine* uid = event.Find("UID");
    if (uid != nullptr && event.Find("RECURRENCE-ID") == nullptr) {
        const auto replaced = m_replaced.find(uid->value);
        if (replaced != m_replaced.end())
            excluded.insert(excluded.end(), replaced->second.begin(), replaced->second.end());
    }
    m_budget.Spend(static_cast<std::int64_t>(extra.size() + excluded.size()));
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
        m_budget.Spend(2);
        if ((excludedDays.empty() || excludedDays.count(DayNumber(wall.date)) == 0) &&
            (excludedTimes.empty() || excludedTimes.count(WallSeconds(wall)) == 0))
            starts.push_back(wall);
    };
    if (rrule == nullptr && extra.empty()) {
        keep(start.wall); // one occurrence, unless another event replaces it
        return std::nullopt;
    }
    // Occurrences that start a little before today can still run into it;
    // a time zone moves a date by a day at most.
    const std::int64_t spanDays = span.days + span.seconds / kSecondsPerDay + 2;
    CalendarDate from = AddDays(m_options.today, -std::min<std::int64_t>(spanDays, 4000000));
    if (!IsValidDate(from))
        from = {1, 1, 1};
    if (rrule != nullptr) {
        RecurrenceRule rule;
        if (!ParseRecurrenceRule(rrule->value, rule, why))
            return Refusal{rrule->line, why};
        std::optional<LocalDateTime> until;
        if (!rule.until.empty()) {
            TimeValue value;
            if (!ParseTimeText(rule.until, false, value))
                return Refusal{rrule->line, "RRULE UNTIL " + QuoteForMessage(rule.until) +
                                                " is not a date or date-time"};
            until = value.IsDate() ? LocalDateTime{value.wall.date, 86399} : frame.WallOf(value);
        }
        switch (RuleOccurrences(rule, start.wall, until)
                    .Between(from, AddDays(m_lastDay, 1), m_budget, keep)) {
        case WalkEnd::OverBudget:
            return Refusal{rrule->line, "working out its occurrences from its start on " +
                                            FormatDateText(start.wall.date) +
                                            " would take more than " +
                                            std::to_string(m_budget.Allowed()) + " steps"};
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
    if (!options.localTimeOf)
        options.localTimeOf = [](std::int64_t utc) { return WallTimeOf(utc); };
    if (!options.fitsTextField)
        options.fitsTextField = FitsTextField;
    ImportPlan plan;
    // Asked after each event; a stop leaves a plan that files nothing.
    std::size_t read = 0;
    const auto goOn = [&](ImportStage stage) {
        if (!options.keepGoing || options.keepGoing(stage, ++read))
            return true;
        plan.cancelled = true;
        return false;
    };
    const auto stopped = [&](std::size_t events) {
        const ReadError error = plan.error;
        const bool cancelled = plan.cancelled;
        plan = ImportPlan{};
        plan.error = cancelled ? ReadError{} : error;
        plan.cancelled = cancelled;
        plan.eventsRead = events;
        return plan;
    };
    // Twice through the file: first to check it whole and to find its time
    // zones and replaced occurrences, which may come after the events that
    // use them; then to plan each event as it is read, so that no more than
    // one is held at a time (and the few that replace occurrences).
    CalendarFile file;
    ReplacedByUid replaced;
    if (!ReadCalendarFile(bytes, file, plan.error, options.limits, [&](ComponentRecord&& event) {
            NoteReplacement(event, replaced);
            return goOn(ImportStage::Checking);
        }))
        return stopped(plan.cancelled ? read : 0);
    read = 0;
    Planner planner(file.zones, std::move(replaced), options, plan);
    CalendarFile again;
    ReadError unused;
    if (!ReadCalendarFile(bytes, again, unused, options.limits,
                          [&](ComponentRecord&& event) {
                              return planner.PlanEvent(std::move(event)) &&
                                     goOn(ImportStage::Planning);
                          }) ||
        !planner.PlanWaiting())
        return stopped(file.eventCount);
    plan.eventsRead = file.eventCount;
    plan.accepted = true;
    const auto byLine = [](const ImportIssue& a, const ImportIssue& b) { return a.line < b.line; };
    std::stable_sort(plan.refused.begin(), plan.refused.end(), byLine);
    std::stable_sort(plan.notes.begin(), plan.notes.end(), byLine);
    return plan;
}

} // namespace ical
