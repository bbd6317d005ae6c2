#include "app/sync_timing.h"

#include "app/calendar_host.h"
#include "app/sync_dlg.h"
#include "calendar/appointment_time.h"
#include "framework/message_box.h"
#include "res/resource.h"
#include "store/calendar_root.h"
#include "tray/thread_join.h"
#include "tray/tray_icon.h"

#include <algorithm>
#include <string>
#include <utility>

namespace {

// The thread tells the window that a sync ended (its result waits in
// m_result), or that the store changed between syncs.
constexpr UINT kSyncEndedMessage = WM_APP + 0x170;
constexpr UINT kLocalChangeMessage = WM_APP + 0x171;

// While no calendar exists yet, the thread looks for it this often.
constexpr DWORD kRootLookMs = 5000;

// How much of an error the tip shows: it holds 127 characters in all.
constexpr size_t kTipErrorLength = 60;

std::string Clock() {
    SYSTEMTIME now{};
    GetLocalTime(&now);
    return FormatTimeOfDay(now.wHour * 60 + now.wMinute);
}

std::string Shortened(const std::string& text, size_t length) {
    std::string line = text.substr(0, text.find_first_of("\r\n"));
    if (line.size() <= length)
        return line;
    size_t cut = length - 3;
    // Never inside a character of several bytes.
    while (cut > 0 && (static_cast<unsigned char>(line[cut]) & 0xC0) == 0x80)
        --cut;
    return line.substr(0, cut) + "...";
}

std::string ConflictWords(int conflicts) {
    return conflicts == 1 ? "1 conflict: both versions kept"
                          : std::to_string(conflicts) + " conflicts: both versions kept";
}

} // namespace

CSyncTiming::CSyncTiming(CTrayIcon& trayIcon, IShownDay& shownDay)
    : fw::Handler(kSyncTimerIds), m_trayIcon(trayIcon), m_shownDay(shownDay),
      m_service(MakeSyncService()), m_wake(CreateEventW(nullptr, FALSE, FALSE, nullptr)),
      m_changed(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

CSyncTiming::~CSyncTiming() {
    StopThread();
}

bool CSyncTiming::OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
    using Self = CSyncTiming;
    static constexpr fw::Route<Self> kRoutes[] = {
        fw::OnCommand<Self>(ID_FILE_SYNC, &Self::OnFileSync),
        fw::OnTimer<Self>(&Self::OnTimer),
        fw::OnMessage<Self>(kDayChangeNotice, &Self::OnDayChange),
        fw::OnMessage<Self>(WM_POWERBROADCAST, &Self::OnPowerBroadcast),
        fw::OnMessage<Self>(kSyncEndedMessage, &Self::OnSyncEnded),
        fw::OnMessage<Self>(kLocalChangeMessage, &Self::OnLocalChange),
    };
    return fw::DispatchRoutes(this, kRoutes, msg, wp, lp, result);
}

void CSyncTiming::OnDestroy() {
    StopThread();
}

std::optional<LRESULT> CSyncTiming::OnDayChange(WPARAM, LPARAM) {
    // The start-up's clock starts here, once the start-up steps are through:
    // the first sync.
    if (!m_bStarted) {
        m_bStarted = true;
        RequestSync();
    }
    return std::nullopt;
}

std::optional<LRESULT> CSyncTiming::OnPowerBroadcast(WPARAM wp, LPARAM) {
    // The server may have changed all night.
    if (m_bStarted && (wp == PBT_APMRESUMEAUTOMATIC || wp == PBT_APMRESUMESUSPEND))
        RequestSync();
    return std::nullopt;
}

void CSyncTiming::OnTimer(UINT_PTR id) {
    KillTimer(id);
    RequestSync();
}

std::optional<LRESULT> CSyncTiming::OnLocalChange(WPARAM, LPARAM) {
    // Armed once, not pushed back by the changes that follow: a stream of
    // edits still syncs this long after the first.
    if (!m_bRunning && !IsTimerRunning(kChangeTimerId))
        SetTimer(kChangeTimerId, changeDelayMs);
    return 0;
}

void CSyncTiming::RequestSync(const caldav::SyncRunOptions& options) {
    if (Hwnd() == nullptr)
        return;
    if (m_bRunning || m_bAsking) {
        m_bAgain = true;
        m_againOptions.confirmDeletions |= options.confirmDeletions;
        m_againOptions.confirmEmptyServer |= options.confirmEmptyServer;
        return;
    }
    caldav::SyncAccount account;
    if (!m_service->LoadAccount(account)) {
        m_trayIcon.SetSyncDetail("");
        KillTimer(kIntervalTimerId);
        return;
    }
    StartThread();
    if (!m_thread.joinable())
        return;
    KillTimer(kChangeTimerId);
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_request = options;
    }
    m_bRunning = true;
    ++m_nStarted;
    SetEvent(m_wake.get());
}

std::optional<LRESULT> CSyncTiming::OnSyncEnded(WPARAM, LPARAM) {
    std::optional<caldav::SyncRunResult> result;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        result = std::exchange(m_result, std::nullopt);
    }
    if (!result)
        return 0;
    m_bRunning = false;
    ++m_nEnded;
    m_lastResult = result;
    ShowResult(*result);
    ArmInterval();
    if (m_pOpenDlg != nullptr)
        m_pOpenDlg->ShowLastSync();

    const caldav::SyncReport& report = result->report;
    if (result->kind == caldav::SyncRunResult::Kind::Ran &&
        report.status == caldav::SyncStatus::NeedsConfirmation) {
        // Nothing was deleted: the guard stopped first. The user decides.
        m_bAsking = true;
        const std::string question =
            (report.message.empty() ? result->words : report.message) + "\n\nSync anyway?";
        const int answer = fw::ShowMessageBox(Hwnd(), question.c_str(), "Quillmere",
                                              MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2);
        m_bAsking = false;
        if (answer == IDYES) {
            m_bAgain = false;
            caldav::SyncRunOptions confirmed;
            confirmed.confirmDeletions = true;
            confirmed.confirmEmptyServer = true;
            RequestSync(confirmed);
            return 0;
        }
    }
    if (m_bAgain) {
        m_bAgain = false;
        RequestSync(std::exchange(m_againOptions, caldav::SyncRunOptions{}));
    }
    return 0;
}

void CSyncTiming::ShowResult(const caldav::SyncRunResult& result) {
    using Kind = caldav::SyncRunResult::Kind;
    if (result.kind == Kind::NoAccount) {
        m_trayIcon.SetSyncDetail("");
        return;
    }
    // Another copy's sync (the command line's) was under way; this one
    // comes again at its time.
    if (result.kind == Kind::Busy)
        return;
    const caldav::SyncReport& report = result.report;
    switch (report.status) {
    case caldav::SyncStatus::Done:
        m_trayIcon.SetSyncDetail("Synced " + Clock());
        break;
    case caldav::SyncStatus::DoneWithErrors:
        m_trayIcon.SetSyncDetail("Synced " + Clock() + ", " +
                                 std::to_string(report.itemErrors.size()) + " skipped");
        break;
    case caldav::SyncStatus::Failed:
        m_trayIcon.SetSyncDetail(
            "Sync failed: " +
            Shortened(report.message.empty() ? result.words : report.message, kTipErrorLength));
        break;
    case caldav::SyncStatus::NeedsConfirmation:
        m_trayIcon.SetSyncDetail("Sync waits for your answer");
        break;
    }
    if (report.conflicts > 0)
        m_trayIcon.ShowBalloon("Quillmere", ConflictWords(report.conflicts));
    if (report.downloaded + report.changedLocally + report.deletedLocally + report.conflicts > 0)
        m_shownDay.RefreshShownDay();
}

void CSyncTiming::ArmInterval() {
    caldav::SyncAccount account;
    if (!m_service->LoadAccount(account) || account.intervalMinutes <= 0) {
        KillTimer(kIntervalTimerId);
        return;
    }
    const UINT minutes =
        static_cast<UINT>(std::min(account.intervalMinutes, kMaxSyncIntervalMinutes));
    SetTimer(kIntervalTimerId, minutes * msPerMinute);
}

void CSyncTiming::OnFileSync() {
    CSyncDlg dialog(m_service, Hwnd());
    dialog.onSyncNow = [this] { RequestSync(); };
    m_pOpenDlg = &dialog;
    const INT_PTR answer = dialog.DoModal();
    m_pOpenDlg = nullptr;
    // A saved account (another calendar, another interval) syncs at once,
    // and from then on at its own interval.
    if (answer == IDOK && Hwnd() != nullptr) {
        m_bStarted = true;
        RequestSync();
        if (!m_bRunning)
            ArmInterval();
    }
}

void CSyncTiming::StartThread() {
    // A thread that ended on an error is started again.
    if (m_thread.joinable() && m_bThreadDone.load())
        m_thread.join();
    if (m_thread.joinable() || m_bStop.load() || !m_wake || !m_changed)
        return;
    m_hWindow = Hwnd();
    m_bThreadDone = false;
    try {
        m_thread = std::thread([this] {
            try {
                ThreadMain();
            } catch (...) {
                // A sync ended by an error no one foresaw comes back as a
                // failure, so the window does not wait for it forever.
                std::lock_guard<std::mutex> lock(m_mutex);
                caldav::SyncRunResult failed;
                failed.report.status = caldav::SyncStatus::Failed;
                failed.report.message = "The sync stopped unexpectedly.";
                m_result = failed;
                PostMessageW(m_hWindow, kSyncEndedMessage, 0, 0);
            }
            m_bThreadDone = true;
        });
    } catch (...) {
        // No thread: no sync until the next try.
    }
}

void CSyncTiming::StopThread() {
    m_bStop = true;
    if (m_wake)
        SetEvent(m_wake.get());
    JoinAnsweringSentMessages(m_thread, m_bThreadDone);
}

bool CSyncTiming::WatchStore(fw::unique_hkey& root) {
    ResetEvent(m_changed.get());
    if (!root && OpenCalendarRoot(KEY_NOTIFY, root) != ERROR_SUCCESS)
        return false;
    const LONG rc = RegNotifyChangeKeyValue(root.get(), TRUE,
                                            REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_LAST_SET,
                                            m_changed.get(), TRUE);
    if (rc != ERROR_SUCCESS) {
        root.reset();
        return false;
    }
    return true;
}

void CSyncTiming::ThreadMain() {
    fw::unique_hkey root;
    bool watching = WatchStore(root);
    const HANDLE events[] = {m_wake.get(), m_changed.get()};
    while (!m_bStop.load()) {
        const DWORD woke =
            WaitForMultipleObjects(2, events, FALSE, watching ? INFINITE : kRootLookMs);
        if (m_bStop.load())
            break;
        if (woke == WAIT_OBJECT_0) {
            RunOne();
            // What the sync itself wrote is no local change: the watch
            // starts again after it.
            watching = WatchStore(root);
        } else if (woke == WAIT_OBJECT_0 + 1) {
            watching = WatchStore(root);
            PostMessageW(m_hWindow, kLocalChangeMessage, 0, 0);
        } else {
            watching = WatchStore(root);
        }
    }
}

void CSyncTiming::RunOne() {
    std::optional<caldav::SyncRunOptions> options;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        options = std::exchange(m_request, std::nullopt);
    }
    if (!options)
        return;
    caldav::SyncRunResult result = m_service->Run(*options);
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_result = std::move(result);
    }
    PostMessageW(m_hWindow, kSyncEndedMessage, 0, 0);
}
