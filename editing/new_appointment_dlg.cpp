#include "editing/new_appointment_dlg.h"

#include "framework/display.h"
#include "framework/clock.h"
#include "framework/message_box.h"
#include "res/resource.h"
#include "store/calendar_registry.h"
#include "store/notes_rule.h"
#include "store/system_time.h"

#include <iterator>

namespace {
constexpr const char* kEventTypes[] = {"EMail", "Others", "Fishing", "Movie", "Music", "Holiday"};
constexpr int kEventImageSize = 32;
constexpr int kEventImageGrowth = 32;
// No pixel of the strip has this colour, so every picture shows whole.
constexpr COLORREF kEventImageMask = RGB(32, 0, 0);
constexpr COLORREF kTipBackground = RGB(255, 255, 200);

// The labels show in the normal font; the other statics and the buttons in
// the bold one.
bool IsLabel(int id) {
    return id == IDC_FROM_LABEL || id == IDC_TO_LABEL || id == IDC_NOTES_LABEL ||
           id == IDC_EVENTS_LABEL;
}
// The input controls keep the dialog's own font.
bool IsInput(int id) {
    return id == IDC_NOTES_EDIT || id == IDC_EVENTS || id == IDC_FROM_PICKER || id == IDC_TO_PICKER;
}
} // namespace

CNewAppointmentDlg::CNewAppointmentDlg(HWND parent)
    : fw::Dialog(IDD_NEW_APPOINTMENT, parent), m_fontNormal(fw::CreateArialFont(12, FW_NORMAL)),
      m_fontBold(fw::CreateArialFont(14, FW_BOLD)) {}

CNewAppointmentDlg::~CNewAppointmentDlg() {
    // The controls still refer to the images and fonts until the window goes.
    DestroyWindow();
}

void CNewAppointmentDlg::DoDataExchange(fw::DataExchange& dx) {
    fw::BindControl(dx, IDC_EVENTS, m_comboEvents);
    fw::BindControl(dx, IDC_FROM_PICKER, m_pickerFrom);
    fw::BindControl(dx, IDC_TO_PICKER, m_pickerTo);
    fw::ExchangeText(dx, IDC_NOTES_EDIT, m_strNotesEdit);
}

bool CNewAppointmentDlg::OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
    using Self = CNewAppointmentDlg;
    static constexpr fw::Route<Self> kRoutes[] = {
        fw::OnCtlColor<Self>(&Self::OnCtlColor),
        fw::OnNotify<Self>(IDC_FROM_PICKER, DTN_DATETIMECHANGE, &Self::OnFromPickerChange),
        fw::OnNotify<Self>(IDC_TO_PICKER, DTN_DATETIMECHANGE, &Self::OnToPickerChange),
    };
    return fw::DispatchRoutes(this, kRoutes, msg, wp, lp, result);
}

BOOL CNewAppointmentDlg::OnInitDialog() {
    fw::Dialog::OnInitDialog();

    m_pToolTip = std::make_unique<fw::ToolTip>();
    if (m_pToolTip->Create(m_hWnd, TTS_ALWAYSTIP)) {
        m_pToolTip->AddTool(m_pickerFrom.GetSafeHwnd(), "Appointment Starting Date");
        m_pToolTip->AddTool(m_pickerTo.GetSafeHwnd(), "Appointment Ending Date");
        m_pToolTip->Activate(true);
        m_pToolTip->SetTipBkColor(kTipBackground);
    } else {
        m_pToolTip.reset();
    }

    if (Dpi() != fw::kDefaultDpi)
        OnDpiChanged(Dpi());
    m_pImageList = fw::LoadImageStrip(IDB_EVENTS_COMBO, kEventImageSize, kEventImageGrowth,
                                      kEventImageGrowth, kEventImageMask, Dpi());
    if (m_pImageList)
        m_comboEvents.SetImageList(m_pImageList.get());
    for (int i = 0; i < static_cast<int>(std::size(kEventTypes)); ++i)
        m_comboEvents.InsertItem(i, kEventTypes[i], i, i);
    m_comboEvents.SetCurSel(0);

    const SYSTEMTIME now = fw::LocalNow();
    m_pickerFrom.SetTime(now);
    m_pickerTo.SetTime(now);
    return TRUE;
}

void CNewAppointmentDlg::OnDpiChanged(UINT dpi) {
    // The fonts follow the DPI; the controls take the new ones before the old
    // ones go.
    fw::unique_hfont normal = fw::CreateArialFont(12, FW_NORMAL, dpi);
    fw::unique_hfont bold = fw::CreateArialFont(14, FW_BOLD, dpi);
    fw::ReplaceFont(m_hWnd, m_fontNormal.get(), normal.get());
    fw::ReplaceFont(m_hWnd, m_fontBold.get(), bold.get());
    m_fontNormal = std::move(normal);
    m_fontBold = std::move(bold);
    if (m_pImageList) {
        fw::unique_himagelist images =
            fw::LoadImageStrip(IDB_EVENTS_COMBO, kEventImageSize, kEventImageGrowth,
                               kEventImageGrowth, kEventImageMask, dpi);
        m_comboEvents.SetImageList(images.get());
        m_pImageList = std::move(images);
    }
    InvalidateRect(m_hWnd, nullptr, TRUE);
}

BOOL CNewAppointmentDlg::PreTranslateMessage(MSG* msg) {
    if (m_pToolTip && *m_pToolTip)
        m_pToolTip->RelayEvent(msg);
    return fw::Dialog::PreTranslateMessage(msg);
}

void CNewAppointmentDlg::OnFromChanged() {
    SYSTEMTIME from{};
    if (m_pickerFrom.GetTime(from))
        m_fromDate = DateOf(from);
}

int CNewAppointmentDlg::ValidateToDate() {
    return CheckToDate(CheckReason::OK);
}

int CNewAppointmentDlg::CheckToDate(CheckReason reason) {
    SYSTEMTIME toTime{};
    SYSTEMTIME fromTime{};
    if (!m_pickerTo.GetTime(toTime) || !m_pickerFrom.GetTime(fromTime))
        return 0;
    const CalendarDate to = DateOf(toTime);
    const CalendarDate from = DateOf(fromTime);
    if (CompareDates(to, from) >= 0) {
        m_toDate = to;
        m_lastRefused.reset();
        return 1;
    }
    const std::pair<CalendarDate, CalendarDate> refused{from, to};
    if (reason == CheckReason::PickerChange && m_lastRefused == refused)
        return 0;
    m_lastRefused = refused;
    ShowDialogMessage("Invalid date specified for 'TO'", "Invalid Date",
                      MB_OK | MB_ICONINFORMATION);
    return 0;
}

void CNewAppointmentDlg::ShowDialogMessage(const char* text, const char* caption, UINT style) {
    if (m_bShowingMessage)
        return;
    m_bShowingMessage = true;
    fw::ShowMessageBox(m_hWnd, text, caption, style);
    m_bShowingMessage = false;
}

LRESULT CNewAppointmentDlg::OnFromPickerChange(NMHDR*) {
    OnFromChanged();
    return 0;
}

LRESULT CNewAppointmentDlg::OnToPickerChange(NMHDR*) {
    CheckToDate(CheckReason::PickerChange);
    return 0;
}

void CNewAppointmentDlg::OnOK() {
    OnFromChanged();
    if (ValidateToDate() == 0)
        return;

    const int selected = m_comboEvents.GetCurSel();
    m_nEventIndex = selected >= 0 ? selected : 0;
    m_strEvent = m_comboEvents.GetItemText(selected);

    if (!UpdateData(true))
        return;
    if (m_strNotesEdit.empty()) {
        ShowDialogMessage("Notes required to create new appointment.", "Quillmere",
                          MB_OK | MB_ICONINFORMATION);
        return;
    }
    if (!FitsNotesField(m_strNotesEdit)) {
        ShowDialogMessage(kNotesTooLongMessage, "Quillmere", MB_OK | MB_ICONINFORMATION);
        return;
    }
    m_strAppointmentNotes = m_strNotesEdit;
    EndDialog(IDOK);
}

HBRUSH CNewAppointmentDlg::OnCtlColor(HDC, HWND control, UINT kind) {
    if ((kind == CTLCOLOR_STATIC || kind == CTLCOLOR_BTN) && GetParent(control) == m_hWnd) {
        const int id = GetDlgCtrlID(control);
        if (!IsLabel(id) && !IsInput(id))
            fw::SetFontIfDifferent(control, m_fontBold.get());
        for (int label : {IDC_FROM_LABEL, IDC_TO_LABEL, IDC_NOTES_LABEL, IDC_EVENTS_LABEL})
            fw::SetFontIfDifferent(GetDlgItem(label), m_fontNormal.get());
    }
    // The dialog's own colours: a null brush lets the dialog manager draw.
    return nullptr;
}
