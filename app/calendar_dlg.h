#pragma once

#include "framework/dialog.h"
#include "tray/tray_icon.h"

#include <optional>

class CDayView;
class CReminderTiming;
class CStartupSteps;
class CWindowLook;

// The main window: the month calendar, the day's appointment list and the
// Detailed Notes box. It lives hidden in the notification area between uses.
// The window keeps its own life: the start-up in its order, showing and
// hiding, Unload, the tray icon and the minimised icon. Everything else is a
// controller of its own, added to the window's chain in the constructor.
class CCalendarDlg : public fw::Dialog {
public:
    explicit CCalendarDlg(HWND parent = nullptr);
    ~CCalendarDlg() override;

    // For a minimised launch (the sign-in start): the start-up runs as usual,
    // but the window is never shown; it ends hidden in the notification area
    // with the reminder timer running, as if the user had closed it.
    void StartHidden();

    CTrayIcon& TrayIcon() { return m_trayIcon; }

protected:
    BOOL OnInitDialog() override;
    void OnCancel() override;
    void OnOK() override;
    bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) override;
    // A hidden start hides here, once the start-up is through.
    void OnFirstIdle() override;

    // The tray icon's start-up step; tests replace it to watch the order.
    virtual void AddTrayIcon();
    // The second half of the start-up, after the list's set-up.
    void InitCalendarWindow();

private:
    std::optional<LRESULT> OnPaint(WPARAM wp, LPARAM lp);
    std::optional<LRESULT> OnQueryDragIcon(WPARAM wp, LPARAM lp);
    std::optional<LRESULT> OnPowerBroadcast(WPARAM wp, LPARAM lp);
    std::optional<LRESULT> OnTrayNotify(WPARAM wp, LPARAM lp);
    void OnTaskbarCreated();
    void OnUnload();
    void OnMinimize();
    void OnCalendarAndNotes();

    CTrayIcon m_trayIcon;
    HICON m_hIcon = nullptr;
    UINT m_uTaskbarCreatedMessage = 0;
    bool m_bStartHidden = false;
    // The controllers that the start-up and the window's showing and hiding
    // reach; the window owns them all through its chain.
    CWindowLook* m_pLook = nullptr;
    CDayView* m_pDayView = nullptr;
    CReminderTiming* m_pReminders = nullptr;
    CStartupSteps* m_pStartup = nullptr;
};
