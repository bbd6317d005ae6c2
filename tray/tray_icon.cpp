#include "tray/tray_icon.h"

#include "framework/unique_handle.h"
#include "framework/utf_text.h"
#include "res/resource.h"

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <iterator>
#include <string>
#include <utility>

CTrayIcon::CTrayIcon() {
    std::memset(&m_nid, 0, sizeof m_nid);
    m_nid.cbSize = sizeof m_nid;
    m_nid.uID = kTrayIconId;
}

CTrayIcon::~CTrayIcon() {
    SetIcon(static_cast<HICON>(nullptr));
}

void CTrayIcon::SetNotificationWnd(HWND wnd, UINT callbackMessage) {
    m_nid.hWnd = wnd;
    m_nid.uCallbackMessage = callbackMessage;
}

BOOL CTrayIcon::SetIcon(UINT iconId) {
    HICON icon = nullptr;
    if (iconId != 0)
        icon = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(iconId));
    return SetIcon(icon);
}

BOOL CTrayIcon::SetIcon(HICON icon) {
    m_hRestoreIcon = icon;
    UINT message = NIM_DELETE;
    m_nid.uFlags = 0;
    if (icon != nullptr) {
        message = NIM_ADD;
        m_nid.hIcon = icon;
        m_nid.uFlags |= NIF_ICON;
    }
    const std::wstring tip = Tip();
    std::wmemcpy(m_nid.szTip, tip.c_str(), tip.size());
    m_nid.szTip[tip.size()] = L'\0';
    if (m_nid.szTip[0] != L'\0')
        m_nid.uFlags |= NIF_TIP;
    if (m_nid.uCallbackMessage != 0 && m_nid.hWnd != nullptr)
        m_nid.uFlags |= NIF_MESSAGE;
    if (message == NIM_DELETE) {
        m_nid.hIcon = nullptr;
        // Nothing to remove: the shell would only answer with a failure.
        if (!m_bShown)
            return FALSE;
    }
    BOOL ok = Shell_NotifyIconW(message, &m_nid);
    if (message == NIM_ADD) {
        m_bShown = m_bShown || ok;
        // The shell then tells of the keyboard too (NIN_KEYSELECT and
        // WM_CONTEXTMENU); the mouse messages stay as they were.
        if (ok) {
            m_nid.uVersion = NOTIFYICON_VERSION;
            Shell_NotifyIconW(NIM_SETVERSION, &m_nid);
        }
    } else {
        m_bShown = false;
    }
    return ok;
}

std::wstring CTrayIcon::Tip() const {
    std::wstring tip = fw::Widen(kTrayTip);
    if (!m_syncDetail.empty())
        tip += L"\n" + fw::Widen(m_syncDetail);
    if (!m_tipDetail.empty())
        tip += L"\n" + fw::Widen(m_tipDetail);
    size_t length = std::min(tip.size(), std::size(m_nid.szTip) - 1);
    // A character outside the Basic Multilingual Plane goes whole or not at all.
    if (length < tip.size() && length > 0 && tip[length - 1] >= 0xD800 && tip[length - 1] < 0xDC00)
        --length;
    tip.resize(length);
    return tip;
}

void CTrayIcon::SetTipDetail(const std::string& detail) {
    if (detail == m_tipDetail)
        return;
    m_tipDetail = detail;
    UpdateTip();
}

void CTrayIcon::SetSyncDetail(const std::string& detail) {
    if (detail == m_syncDetail)
        return;
    m_syncDetail = detail;
    UpdateTip();
}

bool CTrayIcon::ShowBalloon(const std::string& title, const std::string& text) {
    m_lastBalloon = text;
    if (!m_bShown)
        return false;
    NOTIFYICONDATAW balloon = m_nid;
    balloon.uFlags = NIF_INFO;
    balloon.dwInfoFlags = NIIF_INFO;
    const std::wstring wideTitle = fw::Widen(title).substr(0, std::size(balloon.szInfoTitle) - 1);
    const std::wstring wideText = fw::Widen(text).substr(0, std::size(balloon.szInfo) - 1);
    std::wmemcpy(balloon.szInfoTitle, wideTitle.c_str(), wideTitle.size() + 1);
    std::wmemcpy(balloon.szInfo, wideText.c_str(), wideText.size() + 1);
    return Shell_NotifyIconW(NIM_MODIFY, &balloon) != FALSE;
}

void CTrayIcon::UpdateTip() {
    const std::wstring tip = Tip();
    std::wmemcpy(m_nid.szTip, tip.c_str(), tip.size());
    m_nid.szTip[tip.size()] = L'\0';
    if (!m_bShown)
        return;
    NOTIFYICONDATAW change = m_nid;
    change.uFlags = NIF_TIP;
    Shell_NotifyIconW(NIM_MODIFY, &change);
}

BOOL CTrayIcon::Restore() {
    HICON icon = m_hRestoreIcon;
    if (icon == nullptr)
        return FALSE;
    // A shell that still holds the icon would refuse a second add of it, and
    // a restarted one refuses the removal: remove first, then add.
    m_bShown = true;
    SetIcon(static_cast<HICON>(nullptr));
    return SetIcon(icon);
}

LRESULT CTrayIcon::OnTrayNotification(WPARAM, LPARAM lp) {
    fw::unique_hmenu menu(LoadMenuW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_TRAY_MENU)));
    if (!menu)
        return 0;
    HMENU popup = GetSubMenu(menu.get(), 0);
    if (popup == nullptr)
        return 0;

    POINT cursor{};
    GetCursorPos(&cursor);
    switch (static_cast<UINT>(lp)) {
    case WM_RBUTTONDOWN:
        ShowMenu(popup, cursor);
        m_bMouseMenuShown = true;
        return 1;
    case WM_CONTEXTMENU:
        // From the keyboard; after a right click it is the click's echo.
        if (std::exchange(m_bMouseMenuShown, false))
            return 1;
        ShowMenu(popup, cursor);
        return 1;
    case kKeySelect:
        m_bMouseMenuShown = false;
        ShowMenu(popup, cursor);
        return 1;
    case WM_LBUTTONDBLCLK:
        SendMessageW(m_nid.hWnd, WM_COMMAND, GetMenuItemID(popup, 0), 0);
        return 1;
    case WM_MOUSEMOVE:
    case WM_LBUTTONDOWN:
        m_bMouseMenuShown = false;
        return 0;
    default:
        return 1;
    }
}

void CTrayIcon::ShowMenu(HMENU popup, POINT at) {
    SetMenuDefaultItem(popup, 0, TRUE);
    // Without the foreground the menu would not close when the user clicks
    // elsewhere.
    SetForegroundWindow(m_nid.hWnd);
    TrackPopupMenu(popup, 0, at.x, at.y, 0, m_nid.hWnd, nullptr);
    PostMessageW(m_nid.hWnd, WM_NULL, 0, 0);
}
