#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <string>

namespace qmtest {

// What a user does in the New Appointment dialog when it opens: dates, event
// and notes to enter (left as they open when not given), then OK or Cancel.
struct NewAppointmentInput {
    std::optional<SYSTEMTIME> from;
    std::optional<SYSTEMTIME> to;
    std::optional<int> eventIndex;
    std::optional<std::string> notes;
    // A time of day: unticks "All day" (as a click would) and sets the time
    // picker; the duration and alert are then chosen by their minutes.
    std::optional<int> minuteOfDay;
    std::optional<int> durationMinutes;
    std::optional<int> remindMinutes;
    bool pressCancel = false;
    // Anything else the user does in the dialog, last before OK or Cancel.
    std::function<void(HWND dialog)> beforeAnswer;
};

// How the dialog stood when it opened, and what became of it.
struct NewAppointmentSeen {
    HWND dialog = nullptr;
    HWND owner = nullptr;
    int focusId = 0;
    int eventSelection = -1;
    SYSTEMTIME from{};
    SYSTEMTIME to{};
    std::string notes;
    std::string caption;
    // The time as it opened: none while "All day" is ticked; and the alert
    // chosen (-1: none) after any change of the time above.
    std::optional<int> minuteOfDay;
    int remindMinutes = -1;
    // OK was pressed, but the dialog was still open afterwards (and was then
    // cancelled so that the test can go on).
    bool stayedOpen = false;
};

// Answers the New Appointment dialogs that open on this thread: when one
// shows, it enters `input` into the controls as a user would and presses OK
// or Cancel. One answerer at a time.
class NewAppointmentAnswerer {
public:
    explicit NewAppointmentAnswerer(NewAppointmentInput input);
    ~NewAppointmentAnswerer();
    NewAppointmentAnswerer(const NewAppointmentAnswerer&) = delete;
    NewAppointmentAnswerer& operator=(const NewAppointmentAnswerer&) = delete;

    int Opened() const { return m_opened; }
    const NewAppointmentSeen& Seen() const { return m_seen; }

private:
    static LRESULT CALLBACK CbtProc(int code, WPARAM wp, LPARAM lp);
    static void CALLBACK OnTimer(HWND, UINT, UINT_PTR id, DWORD);
    void Answer();

    NewAppointmentInput m_input;
    NewAppointmentSeen m_seen;
    int m_opened = 0;
    HWND m_pending = nullptr;
    UINT_PTR m_timer = 0;
    int m_waits = 0;
    HHOOK m_hook = nullptr;
};

// The date a date-time picker shows.
SYSTEMTIME PickerDate(HWND picker);
// Sets a picker as the user would: the new value, then the picker's
// change notification to its dialog.
void ChangePicker(HWND picker, const SYSTEMTIME& date);

} // namespace qmtest
