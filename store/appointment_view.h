#pragma once

#include <optional>

// What the store fills when it lists a day: the main window's list and its
// Detailed Notes box. The store knows nothing else of that window.
class IAppointmentView {
public:
    // Appends a row at the end of the list: EVENT text with image EVENT INDEX
    // in the first column, the NOTES text in the second.
    virtual void AppendAppointmentRow(const char* eventText, const char* notes, int eventIndex) = 0;
    // The same with the appointment's key name and its time of day (none:
    // all day); the rows of a day come all-day first, in the store's order,
    // then by time, then the occurrences of series filed on other days in
    // the same order. A view that needs none of it lists the three texts.
    struct Row {
        const char* keyName;
        const char* eventText;
        const char* notes;
        int eventIndex;
        std::optional<int> minuteOfDay;
        // For an occurrence of a repeating appointment filed on another day,
        // that day's key name ("2027-3-1"); `keyName` is then the series'
        // key there. Null for the day's own appointments, which come first.
        const char* seriesDay = nullptr;
    };
    virtual void AppendAppointment(const Row& row) {
        AppendAppointmentRow(row.eventText, row.notes, row.eventIndex);
    }
    // Sets the Detailed Notes box's text.
    virtual void ShowDetailNotes(const char* detailNotes) = 0;

protected:
    ~IAppointmentView() = default;
};
