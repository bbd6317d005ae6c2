#include "about/splash_dlg.h"

#include "framework/controls.h"
#include "framework/display.h"
#include "res/palette.h"
#include "res/resource.h"

CSplashDlg::CSplashDlg(HWND parent) : fw::Dialog(IDD_SPLASH, parent) {}

CSplashDlg::~CSplashDlg() = default;

bool CSplashDlg::OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
    using Self = CSplashDlg;
    static constexpr fw::Route<Self> kRoutes[] = {
        fw::OnCtlColor<Self>(&Self::OnCtlColor),
        fw::OnTimer<Self>(&Self::OnTimer),
    };
    return fw::DispatchRoutes(this, kRoutes, msg, wp, lp, result);
}

BOOL CSplashDlg::OnInitDialog() {
    fw::Dialog::OnInitDialog();
    m_font = fw::CreateArialFont(14, FW_BOLD, Dpi());
    m_brush.reset(CreateSolidBrush(kLavender));
    SetTimer(kCloseTimerId, kShowMilliseconds);
    return TRUE;
}

void CSplashDlg::OnTimer(UINT_PTR) {
    EndDialog(IDOK);
    KillTimer(kCloseTimerId);
}

HBRUSH CSplashDlg::OnCtlColor(HDC dc, HWND control, UINT kind) {
    const int id = GetDlgCtrlID(control);
    if (m_font && (id == IDC_PRODUCT_NAME || id == IDC_MAKER_NAME || id == IDC_MAKER_WEB))
        fw::SetFontIfDifferent(control, m_font.get());
    // Transparent text backgrounds let the card's colour show behind the texts.
    if (kind == CTLCOLOR_STATIC)
        SetBkMode(dc, TRANSPARENT);
    return fw::ContrastBrush(dc, m_brush.get());
}

void CSplashDlg::OnDpiChanged(UINT dpi) {
    fw::unique_hfont font = fw::CreateArialFont(14, FW_BOLD, dpi);
    fw::ReplaceFont(m_hWnd, m_font.get(), font.get());
    m_font = std::move(font);
}

void RunSplash() {
    CSplashDlg splash;
    splash.DoModal();
}
