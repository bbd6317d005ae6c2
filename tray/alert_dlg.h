#pragma once

#include "framework/controls.h"
#include "framework/dialog.h"
#include "framework/unique_handle.h"
#include "tray/alert_schedule.h"

#include <atomic>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

// What the alert pop-up shows: one line per due alert ("14:30 Dentist, in 15
// minutes"), and whether "until the time itself" can still be chosen. The
// version names this content in the answer, so that an answer given just
// before new alerts joined applies to what the user saw.
struct AlertContent {
    std::vector<std::string> lines;
    unsigned version = 0;
    bool untilStartOffered = true;
};

// The user's answer, told from the pop-up's own thread before it closes.
class IAlertOwner {
public:
    // Dismiss ('x', Esc and Alt+F4 too), or snooze with `choice`.
    virtual void AlertAnswered(std::optional<SnoozeChoice> snooze, unsigned version) = 0;

protected:
    ~IAlertOwner() = default;
};

// The most lines shown; more alerts are summed up in the last line.
inline constexpr std::size_t kMaxAlertLines = 6;
// The lines as shown: all of them, or the first kMaxAlertLines - 1 and
// "and N more".
std::vector<std::string> ShownAlertLines(const std::vector<std::string>& lines);

class CAlertPopup;

// The alert pop-up: small, borderless, lavender and topmost like the
// reminder pop-up, directly above the reminder pop-up's place so that
// neither covers the other. It appears without taking the foreground or the
// keyboard; a click on it gives it both, and then Tab, Enter (Dismiss), Esc
// ('x') and the Snooze button's menu work from the keyboard.
class CAlertDlg : public fw::Dialog {
public:
    explicit CAlertDlg(CAlertPopup& popup);
    ~CAlertDlg() override;

    // The lines shown now, as the user reads them.
    std::string Text() const;

protected:
    BOOL OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;
    bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) override;
    void OnDpiChanged(UINT dpi) override;

private:
    HBRUSH OnCtlColor(HDC dc, HWND control, UINT kind);
    std::optional<LRESULT> OnClose(WPARAM wp, LPARAM lp);
    std::optional<LRESULT> OnUpdate(WPARAM wp, LPARAM lp);
    std::optional<LRESULT> OnMouseActivate(WPARAM wp, LPARAM lp);
    std::optional<LRESULT> OnMouseDown(WPARAM wp, LPARAM lp);
    std::optional<LRESULT> OnContextMenu(WPARAM wp, LPARAM lp);
    void OnDismiss();
    void OnSnoozeButton();
    void OnSnooze5() { Answer(SnoozeChoice::FiveMinutes); }
    void OnSnooze10() { Answer(SnoozeChoice::TenMinutes); }
    void OnSnoozeHour() { Answer(SnoozeChoice::OneHour); }
    void OnSnoozeUntilStart();

    // Takes the newest content, lays the pop-up out for its lines and
    // places it.
    void ShowContent();
    void Place();
    void Activate();
    // Tells the owner once, then closes.
    void Answer(std::optional<SnoozeChoice> snooze);
    // The Snooze menu at `at` (screen).
    void SnoozeMenu(POINT at);

    CAlertPopup& m_popup;
    AlertContent m_content;
    fw::unique_hbrush m_brush;
    bool m_bAnswered = false;
    bool m_bMenuOpen = false;
    int m_nBaseHeight = 0; // the window's height with one line
    int m_nLineHeight = 0;
};

// The pop-up on a thread of its own, with its own modal loop, as the
// reminder pop-up runs: the window's thread never waits for the user, and
// the pop-up's keys work whatever loop the window's thread is in. Called on
// the window's thread.
class CAlertPopup {
public:
    explicit CAlertPopup(IAlertOwner& owner);
    ~CAlertPopup();
    CAlertPopup(const CAlertPopup&) = delete;
    CAlertPopup& operator=(const CAlertPopup&) = delete;

    // Opens the pop-up with `content`, or gives the open one the new content.
    void Show(const AlertContent& content);
    // Takes an open pop-up away without an answer (what it showed is gone)
    // and waits for its thread.
    void Withdraw();
    // The same, for good: no pop-up opens after it.
    void Close();
    // The open pop-up's window, else null (also while it is being made).
    HWND Window() const;
    bool IsOpen() const { return m_bRunning.load(); }

private:
    friend class CAlertDlg;
    void ThreadMain();
    // From the pop-up's thread.
    void Opened(HWND window);
    void Closed();
    AlertContent Content() const;

    IAlertOwner& m_owner;
    std::thread m_thread;
    std::atomic<bool> m_bRunning{false};
    std::atomic<bool> m_bFinished{true};
    std::atomic<bool> m_bClosing{false};
    std::atomic<bool> m_bWithdrawing{false};
    mutable std::mutex m_mutex;
    AlertContent m_content; // guarded by m_mutex
    HWND m_hWnd = nullptr;  // guarded by m_mutex
};

// Posted to an open alert pop-up when its content changed.
inline constexpr UINT kAlertContentMessage = WM_APP + 3;
