#include "about/about_dlg.h"

#include "framework/display.h"
#include "framework/controls.h"
#include "res/resource.h"

CAboutDlg::CAboutDlg(HWND parent) : fw::Dialog(IDD_ABOUTBOX, parent) {}

CAboutDlg::~CAboutDlg() = default;

bool CAboutDlg::OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
    using Self = CAboutDlg;
    static constexpr fw::Route<Self> kRoutes[] = {
        fw::OnCtlColor<Self>(&Self::OnCtlColor),
    };
    return fw::DispatchRoutes(this, kRoutes, msg, wp, lp, result);
}

BOOL CAboutDlg::OnInitDialog() {
    fw::Dialog::OnInitDialog();
    m_font = fw::CreateArialFont(14, FW_BOLD, Dpi());
    return TRUE;
}

HBRUSH CAboutDlg::OnCtlColor(HDC, HWND control, UINT) {
    const int id = GetDlgCtrlID(control);
    if (m_font && (id == IDC_PRODUCT_NAME || id == IDC_MAKER_NAME || id == IDC_MAKER_WEB))
        fw::SetFontIfDifferent(control, m_font.get());
    // The dialog's own colours: a null brush lets the dialog manager draw.
    return nullptr;
}

void CAboutDlg::OnDpiChanged(UINT dpi) {
    fw::unique_hfont font = fw::CreateArialFont(14, FW_BOLD, dpi);
    fw::ReplaceFont(m_hWnd, m_font.get(), font.get());
    m_font = std::move(font);
}

void RunAboutBox() {
    CAboutDlg about;
    about.DoModal();
}
