#include "app/appointment_editing.h"

#include "app/day_view.h"
#include "editing/new_appointment_dlg.h"
#include "framework/message_box.h"
#include "res/resource.h"
#include "store/calendar_registry.h"
#include "store/system_time.h"

#include <commctrl.h>

CAppointmentEditing::CAppointmentEditing(CDayView& dayView) : m_dayView(dayView) {}

CAppointmentEditing::~CAppointmentEditing() = default;

bool CAppointmentEditing::OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
    using Self = CAppointmentEditing;
    static constexpr fw::Route<Self> kRoutes[] = {
        fw::OnCommand<Self>(ID_LIST_EDIT, &Self::OnEdit),
        fw::OnNotify<Self>(IDC_APPOINTMENT_LIST, NM_DBLCLK, &Self::OnListDoubleClick),
    };
    return fw::DispatchRoutes(this, kRoutes, msg, wp, lp, result);
}

LRESULT CAppointmentEditing::OnListDoubleClick(NMHDR* header) {
    // A double-click on the empty part of the list edits nothing.
    if (reinterpret_cast<const NMITEMACTIVATE*>(header)->iItem >= 0 && m_dayView.SelectedRow() >= 0)
        OnEdit();
    return 0;
}

void CAppointmentEditing::OnEdit() {
    // Replacing the dialog object while it runs would free it under its own
    // message loop.
    if (m_pDlg && m_pDlg->IsModalRunning())
        return;
    const std::string keyName = m_dayView.RowKeyName(m_dayView.SelectedRow());
    SYSTEMTIME shown{};
    if (keyName.empty() || !m_dayView.GetShownDay(shown))
        return;
    // An occurrence opens its series, filed under another day.
    const std::string seriesDay = m_dayView.RowSeriesDay(m_dayView.SelectedRow());
    const std::string dayText = seriesDay.empty() ? FormatDateText(shown) : seriesDay;
    CCalendarRegistry registry;
    ical::AppointmentValues values;
    if (!registry.ReadAppointment(dayText, keyName, values)) {
        // Deleted by another program meanwhile: the list shows what is left.
        m_dayView.RefreshShownDay();
        return;
    }
    m_pDlg = std::make_unique<CNewAppointmentDlg>(Hwnd());
    m_pDlg->EditValues(values);
    if (m_pDlg->DoModal() != IDOK)
        return;
    const CNewAppointmentDlg& dlg = *m_pDlg;
    values.from = FormatDateText(dlg.m_fromDate);
    values.to = FormatDateText(dlg.m_toDate);
    values.notes = dlg.m_strAppointmentNotes;
    values.event = dlg.m_strEvent;
    values.eventIndex = static_cast<std::uint32_t>(dlg.m_nEventIndex);
    values.time = dlg.m_time;
    values.series = dlg.m_series;
    if (!registry.ReplaceAppointment(dayText, keyName, values)) {
        fw::ShowNotice(Hwnd(), "Unable to save appointment");
        return;
    }
    // The row may move to its new time; it stays the selected one.
    m_dayView.RefreshShownDay();
    m_dayView.SelectRowOf(keyName);
}
