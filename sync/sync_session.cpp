#include "sync/sync_session.h"

#include "framework/unique_handle.h"
#include "store/calendar_registry.h"
#include "sync/credential_store.h"
#include "sync/registry_calendar.h"
#include "sync/sync_state_registry.h"
#include "sync/winhttp_transport.h"

#include <windows.h>

#include <ctime>
#include <exception>

namespace caldav {

namespace {

// The one sync of this sign-in session at a time: the running program and
// "/sync" share it. Abandoned by a sync that was killed, it is taken over.
class SessionSyncLock {
public:
    SessionSyncLock() : m_mutex(CreateMutexW(nullptr, FALSE, L"Local\\QuillmereSync")) {
        if (!m_mutex)
            return;
        const DWORD waited = WaitForSingleObject(m_mutex.get(), 0);
        m_held = waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED;
    }
    ~SessionSyncLock() {
        if (m_held)
            ReleaseMutex(m_mutex.get());
    }
    SessionSyncLock(const SessionSyncLock&) = delete;
    SessionSyncLock& operator=(const SessionSyncLock&) = delete;
    bool Held() const { return m_held; }

private:
    fw::unique_handle m_mutex;
    bool m_held = false;
};

int Today() {
    SYSTEMTIME now{};
    GetLocalTime(&now);
    return now.wYear * 10000 + now.wMonth * 100 + now.wDay;
}

std::string Count(int n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

// The words kept for the dialog and the tip stay short: the first few
// item messages say enough, the rest are counted.
constexpr std::size_t kListedErrors = 3;

SyncRunResult Finish(SyncRunResult result) {
    LastSyncResult last;
    last.utc = static_cast<std::int64_t>(std::time(nullptr));
    last.ok = result.kind == SyncRunResult::Kind::Ran &&
              (result.report.status == SyncStatus::Done ||
               result.report.status == SyncStatus::DoneWithErrors);
    last.words = result.words;
    // Another sync running is not a result of this account's sync.
    if (result.kind != SyncRunResult::Kind::Busy)
        SaveLastSync(last);
    return result;
}

SyncRunResult Failed(const std::string& message) {
    SyncRunResult result;
    result.report.status = SyncStatus::Failed;
    result.report.message = message;
    result.words = DescribeReport(result.report);
    return result;
}

SyncRunResult RunLocked(const SyncRunOptions& options) {
    SyncRunResult result;
    SyncAccount account;
    if (!LoadAccount(account)) {
        result.kind = SyncRunResult::Kind::NoAccount;
        result.words = "No sync account is set up.";
        return result;
    }
    std::string savedUser, password;
    if (LoadPassword(account.address, savedUser, password) != ERROR_SUCCESS) {
        result.kind = SyncRunResult::Kind::NoAccount;
        result.words = "The account's password is not in Windows' Credential Manager; set up "
                       "the account again.";
        return result;
    }

    WinHttpOptions transportOptions;
    transportOptions.allowUnencrypted = account.allowUnencrypted;
    WinHttpTransport transport(transportOptions);
    ClientOptions clientOptions;
    clientOptions.user = account.user;
    clientOptions.password = password;
    clientOptions.allowUnencrypted = account.allowUnencrypted;
    clientOptions.assumeBasic = account.assumeBasic;
    CalDavClient client(transport, clientOptions);
    SecureZeroMemory(password.data(), password.size());

    SyncState state;
    if (!LoadSyncState(state))
        return Failed("The saved sync state could not be read; nothing was changed.");
    // An appointment gone from the store whose event ended before today may
    // be the purge's doing, now or before the purge was switched off: the
    // server keeps it. Events that ended are brought down only while the
    // purge is off, for a user who keeps the past.
    const int today = Today();
    const int horizon = CCalendarRegistry().GetTimeoutDelete() == 1 ? today : 0;
    CRegistryCalendar local(state, today);
    std::string message;
    if (!local.AssignMissingUids(message))
        return Failed(message.empty() ? "The appointments could not be given UIDs." : message);

    RegistryStateStore store;
    SyncEngine engine(client, local, state, store);
    SyncOptions syncOptions;
    syncOptions.calendarUrl = account.calendarUrl;
    syncOptions.horizon = horizon;
    syncOptions.confirmDeletions = options.confirmDeletions;
    syncOptions.confirmEmptyServer = options.confirmEmptyServer;
    result.report = engine.Run(syncOptions);
    if (!store.Failure().empty()) {
        result.report.itemErrors.push_back(store.Failure());
        if (result.report.status == SyncStatus::Done)
            result.report.status = SyncStatus::DoneWithErrors;
    }
    // The scheme the server asked for goes up front next time, so a poll is
    // one request; learnt only from a sync that reached the server.
    if (result.report.status != SyncStatus::Failed && client.UsesBasic() != account.assumeBasic) {
        account.assumeBasic = client.UsesBasic();
        SaveAccount(account);
    }
    result.words = DescribeReport(result.report);
    return result;
}

} // namespace

SyncRunResult RunSync(const SyncRunOptions& options) {
    try {
        SessionSyncLock lock;
        if (!lock.Held()) {
            SyncRunResult busy;
            busy.kind = SyncRunResult::Kind::Busy;
            busy.words = "Another sync is running.";
            return busy;
        }
        return Finish(RunLocked(options));
    } catch (const std::exception& e) {
        return Finish(Failed(std::string("The sync stopped: ") + e.what()));
    } catch (...) {
        return Finish(Failed("The sync stopped."));
    }
}

DiscoveryResult DiscoverCalendars(const std::string& address, const std::string& user,
                                  const std::string& password, bool allowUnencrypted,
                                  bool* usesBasic) {
    try {
        WinHttpOptions transportOptions;
        transportOptions.allowUnencrypted = allowUnencrypted;
        WinHttpTransport transport(transportOptions);
        ClientOptions clientOptions;
        clientOptions.user = user;
        clientOptions.password = password;
        clientOptions.allowUnencrypted = allowUnencrypted;
        CalDavClient client(transport, clientOptions);
        DiscoveryResult found = client.Discover(address);
        if (usesBasic != nullptr)
            *usesBasic = found.ok && client.UsesBasic();
        return found;
    } catch (const std::exception& e) {
        DiscoveryResult failed;
        failed.message = std::string("The calendars could not be found: ") + e.what();
        return failed;
    } catch (...) {
        DiscoveryResult failed;
        failed.message = "The calendars could not be found.";
        return failed;
    }
}

std::string DescribeReport(const SyncReport& report) {
    if (report.status == SyncStatus::Failed)
        return report.message.empty() ? "The sync failed; nothing was lost." : report.message;
    std::string words;
    if (report.status == SyncStatus::NeedsConfirmation)
        words = report.message + " ";
    const int sent = report.uploaded + report.changedOnServer;
    // A conflict brought the server's version down too: it is received.
    const int received = report.downloaded + report.changedLocally + report.conflicts;
    words += "Sent " + std::to_string(sent) + ", received " + std::to_string(received);
    if (report.deletedOnServer > 0)
        words += ", deleted " + std::to_string(report.deletedOnServer) + " on the server";
    if (report.deletedLocally > 0)
        words += ", deleted " + std::to_string(report.deletedLocally) + " here";
    words += ".";
    if (report.conflicts > 0)
        words += " " + Count(report.conflicts, "conflict", "conflicts") + ": both versions kept.";
    if (!report.duplicateUids.empty())
        words += " " + Count(static_cast<int>(report.duplicateUids.size()), "UID is", "UIDs are") +
                 " on several events of the server, each kept apart (" +
                 report.duplicateUids.front() + (report.duplicateUids.size() > 1 ? ", ..." : "") +
                 ").";
    if (!report.itemErrors.empty()) {
        words +=
            " " + Count(static_cast<int>(report.itemErrors.size()), "item", "items") + " skipped:";
        for (std::size_t i = 0; i < report.itemErrors.size() && i < kListedErrors; ++i)
            words += " " + report.itemErrors[i];
        if (report.itemErrors.size() > kListedErrors)
            words += " ...";
    }
    return words;
}

} // namespace caldav
