#include "tray/reminder_dlg.h"

#include "framework/display.h"
#include "framework/utf_text.h"
#include "res/resource.h"
#include "tray/reminder_lines.h"
#include "tray/thread_join.h"

namespace {
// The pop-up's background, also behind its transparent texts.
constexpr COLORREF kReminderBackground = RGB(209, 211, 255);
// The room the template leaves right of the 'x' button.
constexpr int kRightMarginDlu = 3;

// A child's rectangle in its dialog's client coordinates.
RECT ChildRect(HWND dialog, HWND child) {
    RECT rect{};
    GetWindowRect(child, &rect);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}
} // namespace

CReminderDlg::CReminderDlg()
    : fw::Dialog(IDD_REMINDER, nullptr), m_brush(CreateSolidBrush(kReminderBackground)) {
    // The slide shows the pop-up and gives it its place.
    m_bShowOnIdle = false;
    m_bAutoCenter = false;
}

CReminderDlg::~CReminderDlg() {
    if (m_hWnd != nullptr && m_bOpened)
        CloseHandling();
    StopSlide();
}

void CReminderDlg::SetReminders(IReminderOwner* owner, const std::vector<std::string>& lines) {
    m_pOwner = owner;
    m_lines.clear();
    m_lines.reserve(lines.size());
    for (const std::string& line : lines)
        m_lines.push_back(CutReminderLine(line.c_str()));
    m_nLines = static_cast<int>(m_lines.size());
    m_nCurrent = 0;
    m_strText = m_lines.empty() ? std::string() : NumberedReminderLine(0, m_lines[0]);
}

void CReminderDlg::DoDataExchange(fw::DataExchange& dx) {
    fw::BindControl(dx, IDC_REMINDER_CLOSE, m_btnClose);
    fw::BindControl(dx, IDC_REMINDER_ICON, m_stIcon);
    fw::ExchangeText(dx, IDC_REMINDER_TEXT, m_strText);
}

bool CReminderDlg::OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
    using Self = CReminderDlg;
    static constexpr fw::Route<Self> kRoutes[] = {
        fw::OnTimer<Self>(&Self::OnTimer),
        fw::OnCtlColor<Self>(&Self::OnCtlColor),
        fw::OnMessage<Self>(WM_CLOSE, &Self::OnClose),
        fw::OnMessage<Self>(WM_DESTROY, &Self::OnDestroy),
        fw::OnCommand<Self>(IDC_REMINDER_CLOSE, &Self::OnCloseButton),
    };
    return fw::DispatchRoutes(this, kRoutes, msg, wp, lp, result);
}

BOOL CReminderDlg::OnInitDialog() {
    fw::Dialog::OnInitDialog();
    m_bOpened = true;
    FitControlsToFinalSize();
    if (m_pOwner != nullptr && !m_pOwner->ReminderOpened(m_hWnd)) {
        // The owner is closing down: go without ever showing.
        PostMessageA(m_hWnd, WM_CLOSE, 0, 0);
        return TRUE;
    }
    try {
        m_slideThread = std::thread(&CReminderDlg::SlideIn, this);
    } catch (...) {
        // No thread for the slide: appear in the end place at once.
        m_bSlideDone = true;
        SlideTo(kSlideLastStep);
        m_btnClose.Show(SW_SHOW);
        StartLineTimer();
    }
    SetForegroundWindow(m_hWnd);
    return TRUE;
}

void CReminderDlg::FitControlsToFinalSize() {
    RECT window{};
    RECT client{};
    GetWindowRect(m_hWnd, &window);
    GetClientRect(m_hWnd, &client);
    const RECT end = SlideRect(RECT{0, 0, 0, 0}, kSlideLastStep, Dpi());
    const int border = (window.right - window.left) - client.right;
    RECT margin{0, 0, kRightMarginDlu, 0};
    MapDialogRect(m_hWnd, &margin);
    const int limit = (end.right - end.left) - border - margin.right;

    HWND button = GetDlgItem(IDC_REMINDER_CLOSE);
    const RECT place = ChildRect(m_hWnd, button);
    if (place.right > limit)
        SetWindowPos(button, nullptr, limit - (place.right - place.left), place.top, 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    HWND text = GetDlgItem(IDC_REMINDER_TEXT);
    const RECT area = ChildRect(m_hWnd, text);
    if (area.right > limit && limit > area.left)
        SetWindowPos(text, nullptr, 0, 0, limit - area.left, area.bottom - area.top,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void CReminderDlg::SlideIn() {
    try {
        for (int k = kSlideFirstStep; k <= kSlideLastStep && !m_bStopSlide.load(); ++k) {
            SlideTo(k);
            m_nSlideStep = k;
            Sleep(kSlideStepMs);
        }
        if (!m_bStopSlide.load()) {
            m_btnClose.Show(SW_SHOW);
            StartLineTimer();
        }
    } catch (...) {
        // Nothing may leave the thread; the pop-up stays usable where it is.
    }
    // The last touch of this object by the thread.
    m_bSlideDone = true;
}

void CReminderDlg::SlideTo(int k) {
    HWND hwnd = m_hWnd;
    if (hwnd == nullptr || !IsWindow(hwnd))
        return;
    RECT screen{};
    GetWindowRect(GetDesktopWindow(), &screen);
    // The screen of the monitor the pop-up is on, at that monitor's DPI.
    const RECT place = SlideRect(screen, k, Dpi());
    SetWindowPos(hwnd, HWND_TOPMOST, place.left, place.top, place.right - place.left,
                 place.bottom - place.top, SWP_SHOWWINDOW);
}

void CReminderDlg::StartLineTimer() {
    SetTimer(kLineTimerId, kLineTimerMs);
}

void CReminderDlg::StopSlide() {
    m_bStopSlide = true;
    JoinAnsweringSentMessages(m_slideThread, m_bSlideDone);
}

void CReminderDlg::OnTimer(UINT_PTR) {
    if (m_bClosed) {
        // A start of the line timer that the slide handed over just before
        // the close.
        KillTimer(kLineTimerId);
        return;
    }
    if (m_nLines == 0)
        return;
    m_strText = NumberedReminderLine(m_nCurrent, m_lines[static_cast<size_t>(m_nCurrent)]);
    SetDlgItemTextW(m_hWnd, IDC_REMINDER_TEXT, fw::Widen(m_strText).c_str());
    m_nCurrent = NextReminderLine(m_nCurrent, m_nLines);
}

HBRUSH CReminderDlg::OnCtlColor(HDC dc, HWND, UINT kind) {
    if (kind == CTLCOLOR_STATIC)
        SetBkMode(dc, TRANSPARENT);
    // Under high contrast the system's window colours, whose text is sure to
    // be readable on them.
    if (fw::IsHighContrast()) {
        SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
        return GetSysColorBrush(COLOR_WINDOW);
    }
    return m_brush.get();
}

void CReminderDlg::CloseHandling() {
    if (m_bClosed)
        return;
    m_bClosed = true;
    StopSlide();
    KillTimer(kLineTimerId);
    // Once the flag is free a new reminder may open; this one must be off
    // the screen by then, not only when its loop has wound down.
    if (m_hWnd != nullptr)
        SetWindowPos(m_hWnd, nullptr, 0, 0, 0, 0,
                     SWP_HIDEWINDOW | SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE | SWP_NOZORDER);
    if (m_pOwner != nullptr) {
        m_pOwner->ReminderClosed(m_hWnd);
        m_pOwner->SetReminderBusy(0);
        m_pOwner->RestartReminderTimer();
    }
}

std::optional<LRESULT> CReminderDlg::OnClose(WPARAM, LPARAM) {
    CloseHandling();
    EndDialog(IDCANCEL);
    return 0;
}

std::optional<LRESULT> CReminderDlg::OnDestroy(WPARAM, LPARAM) {
    // However the window goes, the owner hears of it and the slide is over.
    CloseHandling();
    return std::nullopt;
}

void CReminderDlg::OnDpiChanged(UINT) {
    FitControlsToFinalSize();
    if (m_bSlideDone.load() && !m_bClosed)
        SlideTo(kSlideLastStep);
}

void CReminderDlg::OnCloseButton() {
    SendMessageA(m_hWnd, WM_CLOSE, 0, 0);
}

void CReminderDlg::OnOK() {
    CloseHandling();
    EndDialog(IDOK);
}

void CReminderDlg::OnCancel() {
    CloseHandling();
    EndDialog(IDCANCEL);
}
