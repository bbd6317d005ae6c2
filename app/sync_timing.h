#pragma once

#include "app/sync_service.h"
#include "framework/handler.h"
#include "framework/unique_handle.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

class CSyncDlg;
class CTrayIcon;
class IShownDay;

// When the calendar syncs with the CalDAV account, and the File menu's
// Sync... dialog. One thread of its own runs each sync (never the window's
// thread, so the window, the tray and the reminders answer meanwhile), one
// at a time, and between syncs watches the store for local changes. A sync
// runs at start-up, every N minutes, a short while after a local change, on
// resume from sleep and on "Sync now"; its result comes back by a posted
// message and shows in the tray's tip, and as a balloon when it kept both
// versions of something.
class CSyncTiming : public fw::Handler {
public:
    CSyncTiming(CTrayIcon& trayIcon, IShownDay& shownDay);
    ~CSyncTiming() override;

    bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) override;
    // The thread ends with the window; a sync under way is waited for.
    void OnDestroy() override;

    // The next sync every N minutes; a sync a while after a local change.
    static constexpr UINT_PTR kIntervalTimerId = 32;
    static constexpr UINT_PTR kChangeTimerId = 33;

    // Set before the window is made (tests put a scripted sync here, and
    // shorter waits).
    void UseService(std::shared_ptr<ISyncService> service) { m_service = std::move(service); }
    UINT changeDelayMs = 10000;
    UINT msPerMinute = 60000;

    // What tests look at.
    int SyncsStarted() const { return m_nStarted; }
    int SyncsEnded() const { return m_nEnded; }
    bool IsSyncing() const { return m_bRunning; }
    const std::optional<caldav::SyncRunResult>& LastResult() const { return m_lastResult; }

private:
    void OnFileSync();
    void OnTimer(UINT_PTR id);
    std::optional<LRESULT> OnDayChange(WPARAM wp, LPARAM lp);
    std::optional<LRESULT> OnPowerBroadcast(WPARAM wp, LPARAM lp);
    std::optional<LRESULT> OnSyncEnded(WPARAM wp, LPARAM lp);
    std::optional<LRESULT> OnLocalChange(WPARAM wp, LPARAM lp);

    // Starts a sync, or one more after the one under way.
    void RequestSync(const caldav::SyncRunOptions& options = {});
    void ArmInterval();
    void ShowResult(const caldav::SyncRunResult& result);
    void StartThread();
    void StopThread();
    void ThreadMain();
    void RunOne();
    // Watches the calendar for the next change; false while it does not
    // exist yet.
    bool WatchStore(fw::unique_hkey& root);

    CTrayIcon& m_trayIcon;
    IShownDay& m_shownDay;
    std::shared_ptr<ISyncService> m_service;
    CSyncDlg* m_pOpenDlg = nullptr;

    // The window's side.
    bool m_bStarted = false;
    bool m_bRunning = false;
    bool m_bAgain = false;
    bool m_bAsking = false;
    caldav::SyncRunOptions m_againOptions;
    int m_nStarted = 0;
    int m_nEnded = 0;
    std::optional<caldav::SyncRunResult> m_lastResult;

    // Shared with the thread, under m_mutex: the sync asked for, and the
    // result of the one that ended.
    std::mutex m_mutex;
    std::optional<caldav::SyncRunOptions> m_request;
    std::optional<caldav::SyncRunResult> m_result;

    fw::unique_handle m_wake;
    fw::unique_handle m_changed;
    std::atomic<bool> m_bStop{false};
    std::atomic<bool> m_bThreadDone{false};
    std::thread m_thread;
    HWND m_hWindow = nullptr;
};
