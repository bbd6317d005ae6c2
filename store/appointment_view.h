#pragma once

// What the store fills when it lists a day: the main window's list and its
// Detailed Notes box. The store knows nothing else of that window.
class IAppointmentView {
public:
    // Appends a row at the end of the list: EVENT text with image EVENT INDEX
    // in the first column, the NOTES text in the second.
    virtual void AppendAppointmentRow(const char* eventText, const char* notes, int eventIndex) = 0;
    // Sets the Detailed Notes box's text.
    virtual void ShowDetailNotes(const char* detailNotes) = 0;

protected:
    ~IAppointmentView() = default;
};
