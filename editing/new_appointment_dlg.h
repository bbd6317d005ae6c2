#pragma once

#include "framework/controls.h"
#include "framework/dialog.h"
#include "framework/unique_handle.h"
#include "store/date_text.h"

#include <memory>
#include <string>

// The New Appointment dialog: an event type, a short notes text and the From
// and To dates of the reminder range. It stores nothing itself; after OK the
// caller reads the values below.
class CNewAppointmentDlg : public fw::Dialog {
public:
    explicit CNewAppointmentDlg(HWND parent = nullptr);
    ~CNewAppointmentDlg() override;

    // Set by a successful OK.
    CalendarDate m_fromDate;
    CalendarDate m_toDate;
    std::string m_strAppointmentNotes;
    std::string m_strEvent;
    int m_nEventIndex = 0;

protected:
    fw::ComboBoxEx m_comboEvents;
    fw::DateTimePicker m_pickerFrom;
    fw::DateTimePicker m_pickerTo;
    std::string m_strNotesEdit;
};
