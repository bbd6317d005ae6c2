#pragma once

#include "calendar/appointment_series.h"
#include "calendar/appointment_time.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace ical {

// The six values of an appointment as the store holds them, with UTF-8 texts,
// its time of day and alert when it has them, and its rule, skipped
// occurrences and UID when it repeats or came from another calendar.
struct AppointmentValues {
    std::string from;
    std::string to;
    std::string notes;
    std::string event;
    std::uint32_t eventIndex = 1;
    std::string detailNotes;
    TimedValues time;
    SeriesValues series;

    friend bool operator==(const AppointmentValues&, const AppointmentValues&) = default;
};

// An appointment and the day key it is filed under.
struct DayAppointment {
    std::string day;
    AppointmentValues values;

    friend bool operator==(const DayAppointment&, const DayAppointment&) = default;
};

// The six event types, in the order of their index.
inline constexpr const char* kEventNames[6] = {"EMail", "Others", "Fishing",
                                               "Movie", "Music",  "Holiday"};
inline constexpr std::uint32_t kOthersIndex = 1;

// The index of an event type's name, compared without case; -1 for none.
int EventIndexOf(std::string_view name);

// What the store's NOTES and DETAIL NOTES hold by default: at most 499
// UTF-16 units (a 500-unit field with its NUL).
bool FitsTextField(std::string_view utf8);
inline constexpr std::size_t kTextFieldUnits = 499;

} // namespace ical
