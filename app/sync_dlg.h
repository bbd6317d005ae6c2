#pragma once

#include "app/sync_service.h"
#include "framework/controls.h"
#include "framework/dialog.h"

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

// File > Sync...: the CalDAV account (address, user name, password, the
// calendar chosen from those the server lists), how often it syncs, "Sync
// now", and how the last sync went. Finding the calendars asks the server
// on a thread of its own, so the dialog keeps answering.
class CSyncDlg : public fw::Dialog {
public:
    CSyncDlg(std::shared_ptr<ISyncService> service, HWND parent = nullptr);
    ~CSyncDlg() override;

    // "Sync now", after the account was saved; the owner starts the sync and
    // calls ShowLastSync when it has ended.
    std::function<void()> onSyncNow;
    // The last sync's time and result, as saved.
    void ShowLastSync();
    // A sync has begun.
    void ShowSyncing();

    // Whether a search for calendars is under way.
    bool IsFinding() const { return m_finder.joinable(); }

protected:
    void DoDataExchange(fw::DataExchange& dx) override;
    BOOL OnInitDialog() override;
    void OnOK() override;
    bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) override;

private:
    void OnFindCalendars();
    void OnSyncNow();
    std::optional<LRESULT> OnCalendarsFound(WPARAM wp, LPARAM lp);
    std::optional<LRESULT> OnDestroy(WPARAM wp, LPARAM lp);
    // Stores what the dialog shows; false (with the user told why) when it
    // cannot.
    bool SaveAccount();
    void FillCalendars(const std::string& selectUrl);
    void ShowPasswordHint();
    void JoinFinder();

    std::shared_ptr<ISyncService> m_service;
    caldav::SyncAccount m_account;
    std::vector<caldav::CalendarInfo> m_calendars;

    fw::Edit m_editAddress;
    fw::Edit m_editUser;
    fw::Edit m_editPassword;
    fw::Button m_chkUnencrypted;
    fw::Wnd m_comboCalendar;
    fw::UpDown m_spinInterval;

    std::thread m_finder;
    std::atomic<bool> m_bFinderDone{false};
    std::mutex m_foundMutex;
    std::optional<caldav::DiscoveryResult> m_found;
};

// The longest interval the dialog takes, a day; 0 syncs on the other
// occasions only.
inline constexpr int kMaxSyncIntervalMinutes = 24 * 60;
