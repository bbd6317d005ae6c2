#include "editing/new_appointment_dlg.h"

#include "framework/display.h"
#include "framework/clock.h"
#include "framework/message_box.h"
#include "res/resource.h"
#include "store/calendar_registry.h"
#include "store/notes_rule.h"
#include "store/system_time.h"

#include "framework/utf_text.h"

#include <iterator>

namespace {
constexpr const char* kEventTypes[] = {"EMail", "Others", "Fishing", "Movie", "Music", "Holiday"};
constexpr int kEventImageSize = 32;
constexpr int kEventImageGrowth = 32;
// No pixel of the strip has this colour, so every picture shows whole.
constexpr COLORREF kEventImageMask = RGB(32, 0, 0);
constexpr COLORREF kTipBackground = RGB(255, 255, 200);

// The choices of duration and alert, in minutes; a stored value that is none
// of them is added as a choice of its own when an appointment is edited.
constexpr int kDurations[] = {15, 30, 45, 60, 90, 120, 180, 240, 480};
constexpr int kRemindBefores[] = {0, 5, 10, 15, 30, 60, 120, 24 * 60};
constexpr int kNoChoice = -1;

std::string MinutesText(int minutes) {
    if (minutes % 60 == 0 && minutes >= 60) {
        const int hours = minutes / 60;
        if (hours % 24 == 0)
            return std::to_string(hours / 24) + (hours == 24 ? " day" : " days");
        return std::to_string(hours) + (hours == 1 ? " hour" : " hours");
    }
    return std::to_string(minutes) + (minutes == 1 ? " minute" : " minutes");
}

std::string DurationText(int minutes) {
    return minutes == kNoChoice ? "None" : MinutesText(minutes);
}

std::string RemindText(int minutes) {
    if (minutes == kNoChoice)
        return "None";
    return minutes == 0 ? "At the time" : MinutesText(minutes) + " before";
}

void AddChoice(HWND combo, const std::string& text, int minutes) {
    const LRESULT index =
        SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(fw::Widen(text).c_str()));
    if (index >= 0)
        SendMessageW(combo, CB_SETITEMDATA, static_cast<WPARAM>(index), minutes);
}

// Fills `combo` with "None" and `choices`, plus `current` where it is none of
// them, and selects `current`.
template <size_t N>
void FillChoices(HWND combo, const int (&choices)[N], std::optional<int> current,
                 std::string (*text)(int)) {
    SendMessageW(combo, CB_RESETCONTENT, 0, 0);
    AddChoice(combo, text(kNoChoice), kNoChoice);
    bool listed = !current;
    for (int minutes : choices) {
        if (current && !listed && *current < minutes) {
            AddChoice(combo, text(*current), *current);
            listed = true;
        }
        AddChoice(combo, text(minutes), minutes);
        listed = listed || (current && *current == minutes);
    }
    if (!listed)
        AddChoice(combo, text(*current), *current);
    const int wanted = current.value_or(kNoChoice);
    const int count = static_cast<int>(SendMessageW(combo, CB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i)
        if (static_cast<int>(SendMessageW(combo, CB_GETITEMDATA, static_cast<WPARAM>(i), 0)) ==
            wanted)
            SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(i), 0);
}

std::optional<int> ChosenMinutes(HWND combo) {
    const LRESULT index = SendMessageW(combo, CB_GETCURSEL, 0, 0);
    if (index < 0)
        return std::nullopt;
    const int minutes =
        static_cast<int>(SendMessageW(combo, CB_GETITEMDATA, static_cast<WPARAM>(index), 0));
    return minutes == kNoChoice ? std::nullopt : std::optional<int>(minutes);
}

// The labels show in the normal font; the other statics and the buttons in
// the bold one.
bool IsLabel(int id) {
    return CRepeatPart::IsLabel(id) || id == IDC_FROM_LABEL || id == IDC_TO_LABEL ||
           id == IDC_NOTES_LABEL || id == IDC_EVENTS_LABEL || id == IDC_DURATION_LABEL ||
           id == IDC_REMIND_LABEL || id == IDC_ALL_DAY;
}
// The input controls keep the dialog's own font.
bool IsInput(int id) {
    return CRepeatPart::IsInput(id) || id == IDC_NOTES_EDIT || id == IDC_EVENTS ||
           id == IDC_FROM_PICKER || id == IDC_TO_PICKER || id == IDC_TIME_PICKER ||
           id == IDC_DURATION || id == IDC_REMIND;
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
    if (msg == WM_COMMAND && m_repeat.OnCommand(LOWORD(wp), HIWORD(wp))) {
        result = 0;
        return true;
    }
    using Self = CNewAppointmentDlg;
    static constexpr fw::Route<Self> kRoutes[] = {
        fw::OnCtlColor<Self>(&Self::OnCtlColor),
        fw::OnNotify<Self>(IDC_FROM_PICKER, DTN_DATETIMECHANGE, &Self::OnFromPickerChange),
        fw::OnNotify<Self>(IDC_TO_PICKER, DTN_DATETIMECHANGE, &Self::OnToPickerChange),
        fw::OnCommand<Self>(IDC_ALL_DAY, &Self::OnAllDayClicked),
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
    // 24-hour, as the list shows times.
    SendMessageW(GetDlgItem(IDC_TIME_PICKER), DTM_SETFORMATW, 0,
                 reinterpret_cast<LPARAM>(L"HH':'mm"));
    if (!m_editing) {
        m_repeat.Init(m_hWnd, DefaultRepeatChoice(DateOf(now)), DateOf(now));
        ShowTime({});
        return TRUE;
    }
    const ical::AppointmentValues& values = *m_editing;
    SetWindowTextW(m_hWnd, L"Edit Appointment");
    for (HWND child = GetWindow(m_hWnd, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT))
        if (GetDlgCtrlID(child) == IDC_STATIC &&
            (GetWindowLongW(child, GWL_STYLE) & 0xF) == BS_GROUPBOX)
            SetWindowTextW(child, L"Edit Appointment");
    const int index = static_cast<int>(values.eventIndex);
    if (index >= 0 && index < static_cast<int>(std::size(kEventTypes)))
        m_comboEvents.SetCurSel(index);
    SetDlgItemTextW(m_hWnd, IDC_NOTES_EDIT, fw::Widen(values.notes).c_str());
    CalendarDate date;
    if (ParseDateText(values.from.c_str(), date))
        m_pickerFrom.SetTime(ToSystemTime(date));
    if (ParseDateText(values.to.c_str(), date))
        m_pickerTo.SetTime(ToSystemTime(date));
    OnFromChanged();
    const SeriesValues& series = values.series;
    m_repeat.Init(m_hWnd,
                  series.repeatKind == RepeatKind::None ? DefaultRepeatChoice(m_fromDate)
                                                        : ChoiceOfRule(series.repeat, m_fromDate),
                  m_fromDate);
    ShowTime(values.time);
    m_bAlertDefaulted = values.time.minuteOfDay.has_value();
    return TRUE;
}

void CNewAppointmentDlg::ShowTime(const TimedValues& time) {
    CheckDlgButton(m_hWnd, IDC_ALL_DAY, time.minuteOfDay ? BST_UNCHECKED : BST_CHECKED);
    // An all-day appointment's picker waits on the next full hour.
    SYSTEMTIME at = fw::LocalNow();
    const int minute = time.minuteOfDay.value_or((at.wHour + 1) % 24 * 60);
    at.wHour = static_cast<WORD>(minute / 60);
    at.wMinute = static_cast<WORD>(minute % 60);
    at.wSecond = 0;
    at.wMilliseconds = 0;
    SendMessageW(GetDlgItem(IDC_TIME_PICKER), DTM_SETSYSTEMTIME, GDT_VALID,
                 reinterpret_cast<LPARAM>(&at));
    FillChoices(GetDlgItem(IDC_DURATION), kDurations, time.duration, &DurationText);
    FillChoices(GetDlgItem(IDC_REMIND), kRemindBefores, time.remindBefore, &RemindText);
    m_time = time;
    EnableTimeControls();
}

void CNewAppointmentDlg::EnableTimeControls() {
    const bool timed = IsDlgButtonChecked(m_hWnd, IDC_ALL_DAY) != BST_CHECKED;
    for (int id : {IDC_TIME_PICKER, IDC_DURATION, IDC_DURATION_LABEL})
        EnableWindow(GetDlgItem(id), timed ? TRUE : FALSE);
}

void CNewAppointmentDlg::OnAllDayClicked() {
    EnableTimeControls();
    const bool timed = IsDlgButtonChecked(m_hWnd, IDC_ALL_DAY) != BST_CHECKED;
    if (timed && !m_bAlertDefaulted) {
        m_bAlertDefaulted = true;
        if (!ChosenMinutes(GetDlgItem(IDC_REMIND)))
            FillChoices(GetDlgItem(IDC_REMIND), kRemindBefores, kDefaultRemindBeforeMinutes,
                        &RemindText);
    }
}

TimedValues CNewAppointmentDlg::ChosenTime() const {
    TimedValues time;
    time.zone = m_time.zone;
    time.remindBefore = ChosenMinutes(GetDlgItem(IDC_REMIND));
    if (IsDlgButtonChecked(m_hWnd, IDC_ALL_DAY) == BST_CHECKED)
        return time;
    SYSTEMTIME at{};
    if (SendMessageW(GetDlgItem(IDC_TIME_PICKER), DTM_GETSYSTEMTIME, 0,
                     reinterpret_cast<LPARAM>(&at)) == GDT_VALID)
        time.minuteOfDay = at.wHour * 60 + at.wMinute;
    time.duration = ChosenMinutes(GetDlgItem(IDC_DURATION));
    return time;
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
    m_repeat.OnFromChanged(m_fromDate);
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
    std::string problem;
    const std::optional<SeriesValues> series = m_repeat.Saved(
        m_editing ? m_editing->series : SeriesValues{}, m_editing.has_value(), problem);
    if (!series) {
        ShowDialogMessage(problem.c_str(), "Quillmere", MB_OK | MB_ICONINFORMATION);
        return;
    }
    m_series = *series;
    m_strAppointmentNotes = m_strNotesEdit;
    m_time = ChosenTime();
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
