#include "tray/alert_dlg.h"

#include "framework/display.h"
#include "framework/utf_text.h"
#include "res/palette.h"
#include "res/resource.h"
#include "tray/reminder_lines.h"
#include "tray/thread_join.h"

namespace {
// The pop-up keeps this far above the reminder pop-up's place, in pixels at
// 96 dots per inch.
constexpr long kGapAboveReminder = 6;
// One shown line, in dialog units of the template's font.
constexpr int kLineDlu = 9;
// Ends the pop-up without an answer (wp of kAlertContentMessage).
constexpr WPARAM kCloseWithoutAnswer = 1;

RECT ChildRect(HWND dialog, HWND child) {
    RECT rect{};
    GetWindowRect(child, &rect);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

void MoveBy(HWND dialog, int id, int dy) {
    HWND child = GetDlgItem(dialog, id);
    const RECT rect = ChildRect(dialog, child);
    SetWindowPos(child, nullptr, rect.left, rect.top + dy, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}
} // namespace

std::vector<std::string> ShownAlertLines(const std::vector<std::string>& lines) {
    if (lines.size() <= kMaxAlertLines)
        return lines;
    std::vector<std::string> shown(lines.begin(), lines.begin() + (kMaxAlertLines - 1));
    shown.push_back("and " + std::to_string(lines.size() - (kMaxAlertLines - 1)) + " more");
    return shown;
}

CAlertDlg::CAlertDlg(CAlertPopup& popup)
    : fw::Dialog(IDD_ALERT, nullptr), m_popup(popup), m_brush(CreateSolidBrush(kLavender)) {
    // Placed and shown by ShowContent, never centred or shown on idle.
    m_bShowOnIdle = false;
    m_bAutoCenter = false;
}

CAlertDlg::~CAlertDlg() = default;

bool CAlertDlg::OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
    using Self = CAlertDlg;
    static constexpr fw::Route<Self> kRoutes[] = {
        fw::OnCtlColor<Self>(&Self::OnCtlColor),
        fw::OnMessage<Self>(WM_CLOSE, &Self::OnClose),
        fw::OnMessage<Self>(kAlertContentMessage, &Self::OnUpdate),
        fw::OnMessage<Self>(WM_MOUSEACTIVATE, &Self::OnMouseActivate),
        fw::OnMessage<Self>(WM_LBUTTONDOWN, &Self::OnMouseDown),
        fw::OnMessage<Self>(WM_RBUTTONDOWN, &Self::OnMouseDown),
        fw::OnMessage<Self>(WM_CONTEXTMENU, &Self::OnContextMenu),
        fw::OnCommand<Self>(IDC_ALERT_CLOSE, &Self::OnDismiss),
        fw::OnCommand<Self>(IDC_ALERT_DISMISS, &Self::OnDismiss),
        fw::OnCommand<Self>(ID_ALERT_DISMISS, &Self::OnDismiss),
        fw::OnCommand<Self>(IDC_ALERT_SNOOZE, &Self::OnSnoozeButton),
        fw::OnCommand<Self>(ID_ALERT_SNOOZE_5, &Self::OnSnooze5),
        fw::OnCommand<Self>(ID_ALERT_SNOOZE_10, &Self::OnSnooze10),
        fw::OnCommand<Self>(ID_ALERT_SNOOZE_HOUR, &Self::OnSnoozeHour),
        fw::OnCommand<Self>(ID_ALERT_SNOOZE_UNTIL_START, &Self::OnSnoozeUntilStart),
    };
    return fw::DispatchRoutes(this, kRoutes, msg, wp, lp, result);
}

BOOL CAlertDlg::OnInitDialog() {
    fw::Dialog::OnInitDialog();
    RECT window{};
    GetWindowRect(m_hWnd, &window);
    m_nBaseHeight = window.bottom - window.top;
    RECT line{0, 0, 0, kLineDlu};
    MapDialogRect(m_hWnd, &line);
    m_nLineHeight = line.bottom;
    m_popup.Opened(m_hWnd);
    if (m_popup.m_bClosing.load() || m_popup.m_bWithdrawing.load()) {
        PostMessageW(m_hWnd, kAlertContentMessage, kCloseWithoutAnswer, 0);
        return FALSE;
    }
    // A window that cannot be activated keeps the keyboard with the program
    // in the foreground also when it is shown.
    SetWindowLongPtrW(m_hWnd, GWL_EXSTYLE,
                      GetWindowLongPtrW(m_hWnd, GWL_EXSTYLE) | WS_EX_NOACTIVATE);
    ShowContent();
    // No focus on a control: Wine's X11 driver gives the X input focus to a
    // window shown while its thread's focus is on one of its children, and
    // the X server then hands it the real keyboard's every key.
    return FALSE;
}

void CAlertDlg::ShowContent() {
    m_content = m_popup.Content();
    const std::vector<std::string> shown = ShownAlertLines(m_content.lines);
    std::string text;
    for (const std::string& line : shown) {
        if (!text.empty())
            text += "\r\n";
        text += line;
    }
    SetDlgItemTextW(m_hWnd, IDC_ALERT_TEXT, fw::Widen(text).c_str());

    // One line more or fewer than before moves the buttons and the bottom.
    const int lines = static_cast<int>(shown.empty() ? 1 : shown.size());
    RECT window{};
    GetWindowRect(m_hWnd, &window);
    const int height = m_nBaseHeight + (lines - 1) * m_nLineHeight;
    const int dy = height - (window.bottom - window.top);
    if (dy != 0) {
        HWND textControl = GetDlgItem(IDC_ALERT_TEXT);
        const RECT area = ChildRect(m_hWnd, textControl);
        SetWindowPos(textControl, nullptr, 0, 0, area.right - area.left,
                     area.bottom - area.top + dy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        MoveBy(m_hWnd, IDC_ALERT_DISMISS, dy);
        MoveBy(m_hWnd, IDC_ALERT_SNOOZE, dy);
        SetWindowPos(m_hWnd, nullptr, 0, 0, window.right - window.left, height,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    Place();
}

void CAlertDlg::Place() {
    RECT screen{};
    GetWindowRect(GetDesktopWindow(), &screen);
    const RECT reminder = SlideRect(screen, kSlideLastStep, Dpi());
    RECT window{};
    GetWindowRect(m_hWnd, &window);
    const int width = window.right - window.left;
    const int height = window.bottom - window.top;
    const int bottom = reminder.top - ScaleForDpi(kGapAboveReminder, Dpi());
    const bool active = (GetWindowLongPtrW(m_hWnd, GWL_EXSTYLE) & WS_EX_NOACTIVATE) == 0;
    SetWindowPos(m_hWnd, HWND_TOPMOST, reminder.right - width, bottom - height, width, height,
                 SWP_SHOWWINDOW | (active ? 0u : static_cast<UINT>(SWP_NOACTIVATE)));
}

void CAlertDlg::OnDpiChanged(UINT) {
    Place();
}

std::string CAlertDlg::Text() const {
    wchar_t text[4096] = {};
    GetDlgItemTextW(m_hWnd, IDC_ALERT_TEXT, text, static_cast<int>(std::size(text)));
    return fw::Narrow(text);
}

HBRUSH CAlertDlg::OnCtlColor(HDC dc, HWND, UINT kind) {
    if (kind == CTLCOLOR_STATIC)
        SetBkMode(dc, TRANSPARENT);
    return fw::ContrastBrush(dc, m_brush.get());
}

std::optional<LRESULT> CAlertDlg::OnUpdate(WPARAM wp, LPARAM) {
    if (wp == kCloseWithoutAnswer) {
        m_bAnswered = true;
        if (m_bMenuOpen)
            EndMenu();
        EndDialog(IDCANCEL);
        return 0;
    }
    if (!m_bAnswered)
        ShowContent();
    return 0;
}

void CAlertDlg::Answer(std::optional<SnoozeChoice> snooze) {
    if (m_bAnswered)
        return;
    m_bAnswered = true;
    // Off the screen at once, not when the loop has wound down.
    SetWindowPos(m_hWnd, nullptr, 0, 0, 0, 0,
                 SWP_HIDEWINDOW | SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE | SWP_NOZORDER);
    m_popup.m_owner.AlertAnswered(snooze, m_content.version);
    EndDialog(snooze ? IDOK : IDCANCEL);
}

std::optional<LRESULT> CAlertDlg::OnClose(WPARAM, LPARAM) {
    // Alt+F4 is 'x': the shown alerts are dismissed.
    Answer(std::nullopt);
    return 0;
}

void CAlertDlg::OnOK() {
    // Enter presses the default button, Dismiss; this is its fallback.
    Answer(std::nullopt);
}

void CAlertDlg::OnCancel() {
    Answer(std::nullopt);
}

void CAlertDlg::OnDismiss() {
    Answer(std::nullopt);
}

void CAlertDlg::OnSnoozeUntilStart() {
    // Offered only while the start is ahead; a stale menu snoozes briefly.
    Answer(m_content.untilStartOffered ? SnoozeChoice::UntilStart : SnoozeChoice::FiveMinutes);
}

void CAlertDlg::Activate() {
    SetWindowLongPtrW(m_hWnd, GWL_EXSTYLE,
                      GetWindowLongPtrW(m_hWnd, GWL_EXSTYLE) &
                          ~static_cast<LONG_PTR>(WS_EX_NOACTIVATE));
    SetForegroundWindow(m_hWnd);
}

std::optional<LRESULT> CAlertDlg::OnMouseActivate(WPARAM, LPARAM) {
    // Once clicked, the keyboard reaches the buttons.
    Activate();
    return MA_ACTIVATE;
}

std::optional<LRESULT> CAlertDlg::OnMouseDown(WPARAM, LPARAM) {
    // Wine does not ask a window that cannot be activated WM_MOUSEACTIVATE.
    Activate();
    return std::nullopt;
}

void CAlertDlg::SnoozeMenu(POINT at) {
    if (m_bAnswered || m_bMenuOpen)
        return;
    fw::unique_hmenu menu(LoadMenuW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_ALERT_MENU)));
    HMENU popup = menu ? GetSubMenu(menu.get(), 0) : nullptr;
    if (popup == nullptr)
        return;
    if (!m_content.untilStartOffered)
        EnableMenuItem(popup, ID_ALERT_SNOOZE_UNTIL_START, MF_BYCOMMAND | MF_GRAYED);
    // Without the foreground the menu would not close on a click elsewhere.
    Activate();
    m_bMenuOpen = true;
    TrackPopupMenu(popup, TPM_RIGHTBUTTON, at.x, at.y, 0, m_hWnd, nullptr);
    m_bMenuOpen = false;
    PostMessageW(m_hWnd, WM_NULL, 0, 0);
}

void CAlertDlg::OnSnoozeButton() {
    // Below the button, so that the arrow keys go through the choices.
    const RECT button = ChildRect(m_hWnd, GetDlgItem(IDC_ALERT_SNOOZE));
    POINT at{button.left, button.bottom};
    ClientToScreen(m_hWnd, &at);
    SnoozeMenu(at);
}

std::optional<LRESULT> CAlertDlg::OnContextMenu(WPARAM, LPARAM lp) {
    POINT at{static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))};
    if (at.x == -1 && at.y == -1) {
        const RECT text = ChildRect(m_hWnd, GetDlgItem(IDC_ALERT_TEXT));
        at = POINT{text.left, text.top};
        ClientToScreen(m_hWnd, &at);
    }
    SnoozeMenu(at);
    return 0;
}

CAlertPopup::CAlertPopup(IAlertOwner& owner) : m_owner(owner) {}

CAlertPopup::~CAlertPopup() {
    Close();
}

void CAlertPopup::Show(const AlertContent& content) {
    if (m_bClosing.load())
        return;
    HWND window = nullptr;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_content = content;
        window = m_hWnd;
    }
    if (m_bRunning.load()) {
        // A pop-up still being made takes the content when it is.
        if (window != nullptr)
            PostMessageW(window, kAlertContentMessage, 0, 0);
        return;
    }
    JoinAnsweringSentMessages(m_thread, m_bFinished);
    m_bRunning = true;
    m_bFinished = false;
    try {
        m_thread = std::thread(&CAlertPopup::ThreadMain, this);
    } catch (...) {
        // No thread now: the next wake of the alerts tries again.
        m_bRunning = false;
        m_bFinished = true;
    }
}

void CAlertPopup::ThreadMain() {
    try {
        CAlertDlg dlg(*this);
        dlg.DoModal();
    } catch (...) {
        // Nothing may leave the thread; the alerts stay due.
    }
    Closed();
    m_bRunning = false;
    // The last touch of this object by the thread.
    m_bFinished = true;
}

void CAlertPopup::Opened(HWND window) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_hWnd = window;
}

void CAlertPopup::Closed() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_hWnd = nullptr;
}

AlertContent CAlertPopup::Content() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_content;
}

HWND CAlertPopup::Window() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_hWnd;
}

void CAlertPopup::Withdraw() {
    // A pop-up still being made finds the flag when it is.
    m_bWithdrawing = true;
    if (HWND window = Window())
        PostMessageW(window, kAlertContentMessage, kCloseWithoutAnswer, 0);
    JoinAnsweringSentMessages(m_thread, m_bFinished);
    m_bWithdrawing = false;
}

void CAlertPopup::Close() {
    m_bClosing = true;
    Withdraw();
}
