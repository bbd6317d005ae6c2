#include "tray/tray_icon.h"

#include "framework/unique_handle.h"
#include "res/resource.h"

#include <cstring>

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
        icon = LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(iconId));
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
    std::strncpy(m_nid.szTip, kTrayTip, sizeof m_nid.szTip - 1);
    m_nid.szTip[sizeof m_nid.szTip - 1] = '\0';
    if (m_nid.szTip[0] != '\0')
        m_nid.uFlags |= NIF_TIP;
    if (m_nid.uCallbackMessage != 0 && m_nid.hWnd != nullptr)
        m_nid.uFlags |= NIF_MESSAGE;
    if (message == NIM_DELETE) {
        m_nid.hIcon = nullptr;
        // Nothing to remove: the shell would only answer with a failure.
        if (!m_bShown)
            return FALSE;
    }
    BOOL ok = Shell_NotifyIconA(message, &m_nid);
    if (message == NIM_ADD)
        m_bShown = m_bShown || ok;
    else
        m_bShown = false;
    return ok;
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
    fw::unique_hmenu menu(LoadMenuA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_TRAY_MENU)));
    if (!menu)
        return 0;
    HMENU popup = GetSubMenu(menu.get(), 0);
    if (popup == nullptr)
        return 0;

    switch (static_cast<UINT>(lp)) {
    case WM_RBUTTONDOWN: {
        SetMenuDefaultItem(popup, 0, TRUE);
        // Without the foreground the menu would not close when the user
        // clicks elsewhere.
        SetForegroundWindow(m_nid.hWnd);
        POINT cursor{};
        GetCursorPos(&cursor);
        TrackPopupMenu(popup, 0, cursor.x, cursor.y, 0, m_nid.hWnd, nullptr);
        PostMessageA(m_nid.hWnd, WM_NULL, 0, 0);
        return 1;
    }
    case WM_LBUTTONDBLCLK:
        SendMessageA(m_nid.hWnd, WM_COMMAND, GetMenuItemID(popup, 0), 0);
        return 1;
    case WM_MOUSEMOVE:
    case WM_LBUTTONDOWN:
        return 0;
    default:
        return 1;
    }
}
