#pragma once

#include "app/alert_walker.h"
#include "framework/handler.h"
#include "store/reminder_index.h"
#include "store/zone_clock.h"
#include "tray/alert_dlg.h"
#include "tray/alert_schedule.h"

#include <atomic>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

class CCalendarScanner;
class CTrayIcon;

// When alerts come, and the pop-up that shows them. A thread of its own
// waits for the store's change notification and hands each new list of
// appointments that alert (from the reminder index, or a new walk) to the
// window's thread, which keeps the schedule and one timer set for the next
// alert or the end of a snooze. The timer is set again when the store
// changes, the clock or the zone changes, the day turns or the machine
// resumes; nothing is polled, except the shell's "may the user be disturbed"
// while a due alert waits for a busy user. The user's answers (dismiss,
// snooze) are kept per user (AlertState in HKEY_CURRENT_USER).
class CAlertTiming : public fw::Handler, private IAlertOwner {
public:
    CAlertTiming(CCalendarScanner& scanner, CTrayIcon& trayIcon);
    ~CAlertTiming() override;

    bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) override;
    // The walker and the pop-up stop with the window.
    void OnDestroy() override;

    // The timers: the next alert (or the end of a snooze); a due alert held
    // back while the user is busy; the open pop-up's "in 14 minutes".
    static constexpr UINT_PTR kAlertTimerId = 16;
    static constexpr UINT_PTR kQuietTimerId = 17;
    static constexpr UINT_PTR kRefreshTimerId = 18;

    // What tests look at: the open pop-up, how many lists of alerts the
    // window has taken from the walker, the zone clock, the user's state.
    HWND PopupWindow() const { return m_popup.Window(); }
    int ListsTaken() const { return m_nListsTaken; }
    CZoneClock& Clock() { return m_clock; }
    const AlertState& State() const { return m_state; }

private:
    // IAlertOwner, from the pop-up's thread.
    void AlertAnswered(std::optional<SnoozeChoice> snooze, unsigned version) override;

    void OnTimer(UINT_PTR id);
    std::optional<LRESULT> OnDayChange(WPARAM wp, LPARAM lp);
    std::optional<LRESULT> OnTimeChange(WPARAM wp, LPARAM lp);
    std::optional<LRESULT> OnPowerBroadcast(WPARAM wp, LPARAM lp);
    std::optional<LRESULT> OnAlertsRead(WPARAM wp, LPARAM lp);
    std::optional<LRESULT> OnAnswer(WPARAM wp, LPARAM lp);

    void StartWalker();
    // Wakes the walker to hand over the alerts of what is now today.
    void AskForNewDay();
    void Rebuild(std::int64_t now);
    // Shows what is due (or holds it back), sets the timer for the next
    // alert, and the tray's tip.
    void Update();
    void ArmTimer(std::int64_t nowMs);
    void UpdateTip(std::int64_t now, const DueAlerts& pending);
    // The pop-up's lines for `due`; alerts whose appointment is gone are left
    // out.
    AlertContent ContentOf(const DueAlerts& due, std::int64_t now);
    std::optional<std::string> NotesOf(std::uint64_t id) const;
    void SaveState() const;

    CCalendarScanner& m_scanner;
    CTrayIcon& m_trayIcon;
    CZoneClock m_clock;
    CAlertSchedule m_schedule{m_clock};
    CAlertPopup m_popup{*this};
    AlertState m_state;
    std::int64_t m_awakeSince = 0;

    // The appointments that alert, as the last walk found them, and their
    // ids, sorted, with their place in m_alerts.
    std::vector<IndexedAlert> m_alerts;
    std::vector<std::pair<std::uint64_t, std::size_t>> m_byId;
    bool m_bHaveAlerts = false;
    int m_nListsTaken = 0;

    // What each shown version of the pop-up held, for the answer to it.
    std::map<unsigned, DueAlerts> m_shown;
    unsigned m_nVersion = 0;
    std::atomic<bool> m_bAnswerPending{false};
    std::string m_tipDetail;

    CAlertWalker m_walker;
    // The window the walker and the pop-up's thread post to.
    HWND m_hWindow = nullptr;
};
