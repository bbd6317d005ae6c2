#include "settings/settings_dlg.h"

#include "framework/display.h"
#include "framework/message_box.h"
#include "res/resource.h"
#include "store/calendar_registry.h"

namespace {
constexpr const char* kNotAnIntervalMessage =
    "Please enter the interval as a whole number of minutes from 1 to 60.";
constexpr const char* kSaveFailedMessage = "Unable to save settings";
} // namespace

CSettingsDlg::CSettingsDlg(HWND parent) : fw::Dialog(IDD_SETTINGS, parent) {}

CSettingsDlg::~CSettingsDlg() = default;

void CSettingsDlg::DoDataExchange(fw::DataExchange& dx) {
    fw::BindControl(dx, IDC_INTERVAL_SPIN, m_spinInterval);
    fw::BindControl(dx, IDC_SHOW_SPLASH, m_chkSplash);
    fw::BindControl(dx, IDC_DELETE_OUTDATED, m_chkDeleteOutdated);
    fw::ExchangeInt(dx, IDC_INTERVAL_EDIT, m_nInterval, kNotAnIntervalMessage);
}

bool CSettingsDlg::OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
    using Self = CSettingsDlg;
    static constexpr fw::Route<Self> kRoutes[] = {
        fw::OnNotify<Self>(IDC_INTERVAL_SPIN, UDN_DELTAPOS, &Self::OnDeltaposSpin),
        fw::OnCtlColor<Self>(&Self::OnCtlColor),
    };
    return fw::DispatchRoutes(this, kRoutes, msg, wp, lp, result);
}

BOOL CSettingsDlg::OnInitDialog() {
    fw::Dialog::OnInitDialog();
    m_font = fw::CreateArialFont(14, FW_BOLD, Dpi());

    CCalendarRegistry registry;
    m_chkDeleteOutdated.SetCheck(registry.GetTimeoutDelete() == 1 ? BST_CHECKED : BST_UNCHECKED);
    m_chkSplash.SetCheck(registry.GetSplash() == 1 ? BST_CHECKED : BST_UNCHECKED);
    // Shown as stored, even out of range, until OK stores a clamped value.
    m_nInterval = registry.GetTimeoutValue();
    UpdateData(false);

    // The up-down control's buddy is the hidden static created just before
    // it, not the edit: the arrows count from this position, and
    // OnDeltaposSpin writes the edit.
    m_spinInterval.SetPos(m_nInterval);
    m_spinInterval.SetRange(kMinIntervalMinutes, kMaxIntervalMinutes);
    return TRUE;
}

LRESULT CSettingsDlg::OnDeltaposSpin(NMHDR* header) {
    const auto* change = reinterpret_cast<NMUPDOWN*>(header);
    const int minutes = ClampIntervalMinutes(change->iPos + change->iDelta);
    SetDlgItemInt(m_hWnd, IDC_INTERVAL_EDIT, static_cast<UINT>(minutes), TRUE);
    // Zero lets the up-down control take the change.
    return 0;
}

void CSettingsDlg::OnOK() {
    // When the edit holds no integer the exchange has told the user, focused
    // the edit and left m_nInterval as it was; the options are stored all the
    // same, with the interval the dialog opened with.
    const bool exchanged = UpdateData(true);
    m_nInterval = ClampIntervalMinutes(m_nInterval);

    CCalendarRegistry registry;
    bool stored = registry.SetTimeoutValue(m_nInterval);
    stored = registry.SetTimeoutDelete(m_chkDeleteOutdated.GetCheck() != 0 ? 1 : 0) && stored;
    stored = registry.SetSplash(m_chkSplash.GetCheck() != 0 ? 1 : 0) && stored;

    // A second exchange would only repeat the report above, and after a clamp
    // it would hand the caller the unclamped text again; the dialog ends here
    // with the value that was stored.
    if (!exchanged)
        return;
    if (!stored)
        fw::ShowNotice(m_hWnd, kSaveFailedMessage);
    EndDialog(IDOK);
}

HBRUSH CSettingsDlg::OnCtlColor(HDC, HWND control, UINT kind) {
    const bool groupTitle =
        kind == CTLCOLOR_STATIC && GetDlgCtrlID(control) == IDC_EVENT_OPTIONS_GROUP;
    if (groupTitle || kind == CTLCOLOR_BTN)
        fw::SetFontIfDifferent(control, m_font.get());
    // The dialog's own colours: a null brush lets the dialog manager draw.
    return nullptr;
}

void CSettingsDlg::OnDpiChanged(UINT dpi) {
    fw::unique_hfont font = fw::CreateArialFont(14, FW_BOLD, dpi);
    fw::ReplaceFont(m_hWnd, m_font.get(), font.get());
    m_font = std::move(font);
}

std::optional<int> RunSettings() {
    CSettingsDlg settings;
    if (settings.DoModal() != IDOK)
        return std::nullopt;
    return settings.m_nInterval;
}
