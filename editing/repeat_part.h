#pragma once

#include "calendar/appointment_series.h"
#include "calendar/date_text.h"
#include "editing/repeat_choice.h"

#include <windows.h>

#include <optional>
#include <string>

// The Repeat part of the appointment dialog: the choice of how an
// appointment repeats, the details of that choice, and its end. It lives in
// the dialog's own window and shows only the controls of the choice made.
class CRepeatPart {
public:
    // Once the dialog's controls exist: fills them and shows `choice` for an
    // appointment whose first occurrence starts on `from`.
    void Init(HWND dialog, const RepeatChoice& choice, const CalendarDate& from);
    // The From date moved: the yearly choice names the new date, and the
    // details follow it unless the user has set them.
    void OnFromChanged(const CalendarDate& from);
    // A command from one of the part's controls; false for any other.
    bool OnCommand(int id, int code);

    // The choice the controls show, or none after `problem` is set: a number
    // out of range, or an end before the first occurrence.
    std::optional<RepeatChoice> Chosen(std::string& problem) const;
    // Whether the user changed anything since Init.
    bool Changed() const;
    // The values an OK saves for an appointment that had `before`: an
    // edited appointment keeps its stored rule word for word, followed or
    // not, until the user changes the repeat. None after `problem` is set.
    std::optional<SeriesValues> Saved(SeriesValues before, bool editing,
                                      std::string& problem) const;

    // The part's own input controls and its labels, for the dialog's fonts.
    static bool IsInput(int id);
    static bool IsLabel(int id);

private:
    void Show(const RepeatChoice& choice);
    // The controls of the choice selected shown, the others hidden.
    void ShowControlsOf(RepeatPreset preset);
    void FillRepeatChoices(bool withStored);
    RepeatPreset SelectedPreset() const;
    // The weekday (0 = Monday) of the day box at `place` in the row.
    int WeekdayAt(int place) const { return (m_firstWeekday + place) % 7; }
    HWND Item(int id) const { return GetDlgItem(m_dialog, id); }

    HWND m_dialog = nullptr;
    CalendarDate m_from;
    int m_firstWeekday = 0; // the user's first day of the week, 0 = Monday
    std::string m_stored;   // the text of a rule kept as it is stored
    RepeatChoice m_initial;
    CalendarDate m_initialFrom;
    bool m_filling = false;
};
