#pragma once

#include "calendar/date_text.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// An appointment with an alert, as the walk found it.
struct IndexedAlert {
    std::string dayKey;
    std::string appointmentKey;
    CalendarDate from;
    CalendarDate to;
    std::optional<int> minuteOfDay; // TIME; none: all day
    int remindBefore = 0;
    std::string zone; // TIME ZONE; "" the computer's
};

// What the reminder scan needs of the whole calendar, held in memory between
// two scans: every appointment's FROM..TO in the registry's order, and the
// NOTES of those current on the day the index was built for. A scan over an
// unchanged store then reads nothing from the registry. Free of system
// headers, so it is also checked natively.
//
// The ranges are kept in blocks of a fixed size, not one array: an array
// that grows is copied into one twice its size, so that building the index
// of a large store held half as much again for a moment, and its spare room
// after. A block at a time is all that building it adds. The appointments
// that alert soon are kept beside them (AddAlert).
class ReminderIndex {
public:
    // Starts an index for `day`; what was held is dropped.
    void Begin(const CalendarDate& day);
    // The next appointment in the registry's order. `notes` is looked at only
    // when the range contains the index's day; an unreadable range is kept as
    // one that never contains a day.
    void Add(const char* from, const char* to, const char* notes);
    // The next appointment when it repeats: whether one of its occurrences
    // covers the index's day was asked of its rule while the walk had it.
    void AddCurrent(bool coversDay, const char* notes);
    // An appointment that alerts; one whose range cannot be read is left
    // out, as it never alerts.
    void AddAlert(const char* dayKey, const char* appointmentKey, const char* from, const char* to,
                  std::optional<int> minuteOfDay, int remindBefore, const std::string& zone);
    // Every appointment that alerts, in the registry's order.
    // The same for one occurrence of a repeating appointment.
    void AddAlert(const char* dayKey, const char* appointmentKey, const CalendarDate& from,
                  const CalendarDate& to, std::optional<int> minuteOfDay, int remindBefore,
                  const std::string& zone);
    std::vector<IndexedAlert> Alerts() const;
    std::size_t AlertCount() const { return m_alerts.size(); }

    // The NOTES of the appointments current on `today`, in the registry's
    // order, with no empty one; nothing when the index was built for another
    // day and must be built again.
    std::optional<std::vector<std::string>> CurrentNotes(const CalendarDate& today) const;

    const CalendarDate& Day() const { return m_day; }
    std::size_t Count() const { return m_count; }
    // Memory the index holds, in bytes.
    std::size_t Bytes() const;

private:
    // A date as one comparable number; 0 for a date that cannot be read.
    static std::int32_t Pack(const CalendarDate& date);
    struct Entry;
    void Append(const Entry& entry, const char* notes);

    struct Entry {
        std::int32_t from;
        std::int32_t to;
        std::int32_t notes; // into m_notes, or -1
    };
    static constexpr std::size_t kBlockEntries = 1024;
    CalendarDate m_day;
    // Kept when the index is built again, and filled from the first.
    std::vector<std::unique_ptr<Entry[]>> m_blocks;
    std::size_t m_count = 0;
    std::vector<std::string> m_notes;

    // The alerts, compact: the key names in one pool ("day\0appointment\0"),
    // the zones named once each.
    struct AlertRecord {
        CalendarDate from;
        CalendarDate to;
        std::int32_t remindBefore;
        std::int16_t minuteOfDay; // -1: all day
        std::uint16_t zone;       // into m_zones
        std::uint32_t names;      // into m_alertNames
    };
    std::vector<AlertRecord> m_alerts;
    std::string m_alertNames;
    std::vector<std::string> m_zones;
};
