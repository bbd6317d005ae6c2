#pragma once

#include "calendar/appointment_time.h"
#include "calendar/date_text.h"
#include "editing/repeat_part.h"
#include "framework/controls.h"
#include "framework/dialog.h"
#include "framework/unique_handle.h"
#include "ical/appointment_values.h"

#include <memory>
#include <optional>
#include <string>
#include <utility>

// The New Appointment dialog: an event type, a short notes text and the From
// and To dates of the reminder range, and below them a time of day ("All day"
// by default), a duration and an alert. It stores nothing itself; after OK the
// caller reads the values below. Given an appointment's values before it
// opens, it is the Edit Appointment dialog, filled with them.
class CNewAppointmentDlg : public fw::Dialog {
public:
    explicit CNewAppointmentDlg(HWND parent = nullptr);
    ~CNewAppointmentDlg() override;

    BOOL PreTranslateMessage(MSG* msg) override;

    // Before DoModal: opens as "Edit Appointment", showing `values`.
    void EditValues(const ical::AppointmentValues& values) { m_editing = values; }
    bool IsEditing() const { return m_editing.has_value(); }

    // Set by a successful OK. The dates are plain calendar dates, so any year
    // the pickers offer is carried whole.
    CalendarDate m_fromDate;
    CalendarDate m_toDate;
    std::string m_strAppointmentNotes;
    std::string m_strEvent;
    int m_nEventIndex = 0;
    // The time of day, duration and alert chosen; the zone is kept from the
    // edited appointment.
    TimedValues m_time;
    // How it repeats: for an edit, the appointment's own values, changed only
    // where the user changed the repeat.
    SeriesValues m_series;

protected:
    void DoDataExchange(fw::DataExchange& dx) override;
    BOOL OnInitDialog() override;
    void OnOK() override;
    bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) override;
    void OnDpiChanged(UINT dpi) override;

    // Reads the From picker into m_fromDate.
    void OnFromChanged();
    // 1 when the To date is not before the From date (m_toDate is then set),
    // 0 after telling the user it is.
    int ValidateToDate();

    HBRUSH OnCtlColor(HDC dc, HWND control, UINT kind);
    LRESULT OnFromPickerChange(NMHDR* header);
    LRESULT OnToPickerChange(NMHDR* header);
    void OnAllDayClicked();

    fw::ComboBoxEx m_comboEvents;
    fw::DateTimePicker m_pickerFrom;
    fw::DateTimePicker m_pickerTo;
    std::string m_strNotesEdit;
    fw::unique_himagelist m_pImageList;
    std::unique_ptr<fw::ToolTip> m_pToolTip;
    fw::unique_hfont m_fontNormal;
    fw::unique_hfont m_fontBold;

private:
    // Fills the time, duration and alert controls from `time`.
    void ShowTime(const TimedValues& time);
    // Reads them back.
    TimedValues ChosenTime() const;
    // The time picker and duration follow the All day box.
    void EnableTimeControls();

    std::optional<ical::AppointmentValues> m_editing;
    CRepeatPart m_repeat;
    // Whether the alert has been set for a time once: unticking All day
    // gives an alert-less appointment the default alert only the first time.
    bool m_bAlertDefaulted = false;

    // Why the To date is being checked: a change of the To picker, or OK.
    enum class CheckReason { PickerChange, OK };
    int CheckToDate(CheckReason reason);
    // Shows a message owned by the dialog, one at a time.
    void ShowDialogMessage(const char* text, const char* caption, UINT style);

    // True while a message box of this dialog is open: the box runs its own
    // message loop, in which the pickers may report again.
    bool m_bShowingMessage = false;
    // The From and To dates last refused on a picker change; the picker may
    // report one change several times, and the user hears of it once.
    std::optional<std::pair<CalendarDate, CalendarDate>> m_lastRefused;
};
