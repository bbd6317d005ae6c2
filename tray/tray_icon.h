#pragma once

#include <windows.h>
#include <shellapi.h>

#include <string>

// The program's icon in the taskbar notification area, with the tip
// "Calender and Notes", and the tray menu it opens.
class CTrayIcon {
public:
    CTrayIcon();
    virtual ~CTrayIcon();
    CTrayIcon(const CTrayIcon&) = delete;
    CTrayIcon& operator=(const CTrayIcon&) = delete;

    // The window that receives the callback message, and the message.
    void SetNotificationWnd(HWND wnd, UINT callbackMessage);
    // Adds the icon from the icon resource `iconId`; 0 removes it.
    BOOL SetIcon(UINT iconId);
    BOOL SetIcon(HICON icon);
    // Handles the callback message: the menu on a right-button press, its
    // first command on a left double-click; from the keyboard (the shell's
    // focus on the icon), the menu on Enter or Space and on the menu key or
    // Shift+F10. Returns the message's result.
    virtual LRESULT OnTrayNotification(WPARAM wp, LPARAM lp);

    const NOTIFYICONDATAW& Data() const { return m_nid; }
    // Whether the icon is in the notification area, as far as this object knows.
    bool IsShown() const { return m_bShown; }
    // The shell has restarted and lost every icon: adds ours again when it
    // was added and not removed since, also when that first add failed
    // because no shell was running yet.
    BOOL Restore();
    // A second line under the tip (the next alert today); "" none. The tip
    // keeps "Calender and Notes" as its first line and is cut to what the
    // shell holds. The shown icon's tip changes at once.
    void SetTipDetail(const std::string& detail);
    // How the last sync went ("Synced 14:32", or the error); "" none. It
    // comes second in the tip, before the alert's line.
    void SetSyncDetail(const std::string& detail);
    // A notification balloon over the icon (the shell decides how long it
    // stays); false when the icon is not shown.
    bool ShowBalloon(const std::string& title, const std::string& text);
    // The text of the last balloon asked for.
    const std::string& LastBalloon() const { return m_lastBalloon; }
    // The whole tip as the shell gets it.
    std::wstring Tip() const;

protected:
    NOTIFYICONDATAW m_nid;

private:
    // Opens the tray menu at `at` (screen), owned by the main window.
    void ShowMenu(HMENU popup, POINT at);

    bool m_bShown = false;
    // A right-button press opened the menu; the shell's WM_CONTEXTMENU that
    // follows the click must not open it again.
    bool m_bMouseMenuShown = false;
    // The icon last added and not removed since; Restore adds it again.
    HICON m_hRestoreIcon = nullptr;
    void UpdateTip();

    std::string m_tipDetail;
    std::string m_syncDetail;
    std::string m_lastBalloon;
};

// The tip shown over the icon, spelt so.
inline constexpr const char* kTrayTip = "Calender and Notes";
// The icon's id, which is also the WPARAM of its callback message.
inline constexpr UINT kTrayIconId = 128;
// The shell's NIN_KEYSELECT: Enter or Space on the icon.
inline constexpr UINT kKeySelect = WM_USER + 1;
