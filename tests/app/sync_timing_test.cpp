#include "app/calendar_host.h"
#include "app/sync_service.h"
#include "app/sync_timing.h"
#include "framework/utf_text.h"
#include "sync/credential_store.h"
#include "sync/http_auth.h"
#include "sync/winhttp_transport.h"
#include "tests/app/calendar_test_window.h"
#include "tests/support/modal_watch.h"
#include "tests/support/x_server_input.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace qmtest {
namespace {

// A sync the test scripts: an account kept in memory (or the real one),
// results handed out in order, and a run that can be held until released.
class ScriptedSync : public ISyncService {
public:
    // When set, the account and the password go through the real service.
    std::shared_ptr<ISyncService> real;
    caldav::SyncAccount account;
    std::vector<caldav::CalendarInfo> calendars;
    std::deque<caldav::SyncRunResult> script;
    // Runs on the sync's thread, as a sync's writes to the store would.
    std::function<void()> duringRun;
    std::atomic<bool> hold{false};
    std::atomic<int> started{0}, running{0}, mostAtOnce{0};

    ScriptedSync() {
        account.address = "https://dav.example.test/cal/";
        account.calendarUrl = account.address;
        account.user = "alice";
    }
    ~ScriptedSync() override { Release(); }

    void Release() {
        hold = false;
        SetEvent(m_release.get());
    }
    std::vector<DWORD> RunThreads() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_threads;
    }
    std::vector<caldav::SyncRunOptions> Options() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_options;
    }

    bool LoadAccount(caldav::SyncAccount& out) override {
        if (real)
            return real->LoadAccount(out);
        out = account;
        return true;
    }
    bool SaveAccount(const caldav::SyncAccount& in, const std::string& password) override {
        return real ? real->SaveAccount(in, password) : (account = in, true);
    }
    bool HasPassword(const std::string& address) override {
        return real && real->HasPassword(address);
    }
    caldav::LastSyncResult LoadLastSync() override { return {}; }
    caldav::DiscoveryResult Discover(const std::string&, const std::string&, const std::string&,
                                     bool) override {
        caldav::DiscoveryResult found;
        found.ok = true;
        found.calendars = calendars;
        return found;
    }
    caldav::SyncRunResult Run(const caldav::SyncRunOptions& options) override {
        const int now = ++running;
        mostAtOnce = std::max(mostAtOnce.load(), now);
        ++started;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_threads.push_back(GetCurrentThreadId());
            m_options.push_back(options);
        }
        if (hold)
            WaitForSingleObject(m_release.get(), 20000);
        if (duringRun)
            duringRun();
        caldav::SyncRunResult result;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (!script.empty()) {
                result = script.front();
                script.pop_front();
            }
        }
        --running;
        return result;
    }

private:
    std::mutex m_mutex;
    std::vector<DWORD> m_threads;
    std::vector<caldav::SyncRunOptions> m_options;
    fw::unique_handle m_release{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
};

caldav::SyncRunResult Reported(caldav::SyncStatus status, int conflicts = 0, int downloaded = 0) {
    caldav::SyncRunResult result;
    result.report.status = status;
    result.report.conflicts = conflicts;
    result.report.downloaded = downloaded;
    return result;
}

class SyncTimingTest : public CalendarWindowTest {
protected:
    std::shared_ptr<ScriptedSync> sync = std::make_shared<ScriptedSync>();

    // The main window with the scripted sync and short waits.
    void OpenWithSync(UINT changeDelayMs = 10000, UINT msPerMinute = 60000) {
        dlg = std::make_unique<TestCalendarDlg>();
        CSyncTiming& timing = Timing();
        timing.UseService(sync);
        timing.changeDelayMs = changeDelayMs;
        timing.msPerMinute = msPerMinute;
        ASSERT_TRUE(dlg->Create(nullptr));
        dlg->ShowWindow(SW_SHOWNORMAL);
        PumpMessages();
    }
    CSyncTiming& Timing() { return dlg->Controller<CSyncTiming>(); }
    // File > Sync..., then as a user types through the X server: the
    // address, Tab, the user name, Tab, the password, Alt+F (Find
    // calendars); once the server listed `calendars`, Alt+C, Down `downs`
    // times, Enter. The keys come from another thread, so that they go
    // through the dialog's own modal loop (Tab and the mnemonics are its
    // keyboard navigation). `listed`: how many calendars the box listed.
    bool TypeAccount(const std::string& address, const std::string& user,
                     const std::string& password, int calendars, int downs, int& listed) {
        std::atomic<bool> typed{false};
        std::atomic<int> count{0};
        std::thread typist;
        {
            ModalWatch watch(HasCaption("Sync"), [&](HWND dialog) {
                typist = std::thread([&, dialog] {
                    XServerInput x;
                    bool ok = x.Run("type " + address) && x.Run("key Tab") &&
                              x.Run("type " + user) && x.Run("key Tab") &&
                              x.Run("type " + password) && x.Run("key alt+f");
                    for (int i = 0; i < 1500 && count < calendars; ++i) {
                        Sleep(20);
                        count = static_cast<int>(
                            SendDlgItemMessageW(dialog, IDC_SYNC_CALENDAR, CB_GETCOUNT, 0, 0));
                    }
                    ok = ok && x.Run("key alt+c");
                    for (int i = 0; i < downs; ++i)
                        ok = ok && x.Run("key Down");
                    typed = ok && x.Run("key Return");
                    // A dialog still open here would hold the test.
                    Sleep(500);
                    if (IsWindow(dialog))
                        PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
                });
            });
            Command(ID_FILE_SYNC);
            EXPECT_TRUE(watch.Acted());
        }
        if (typist.joinable())
            typist.join();
        listed = count;
        return typed;
    }
    std::wstring Tip() { return dlg->TrayIcon().Tip(); }
    void TearDown() override {
        sync->Release();
        CalendarWindowTest::TearDown();
    }
};

// The start-up's sync runs on a thread of its own: while the server is slow
// the window answers another program at once; a resume from sleep asked for
// meanwhile runs after it, never beside it; the tip then says when it synced.
TEST_F(SyncTimingTest, ASlowSyncRunsOffTheWindowsThreadWhileTheWindowAnswers) {
    sync->hold = true;
    OpenWithSync();
    ASSERT_TRUE(PumpUntil([&] { return sync->started == 1; }));
    EXPECT_TRUE(Timing().IsSyncing());
    const std::vector<DWORD> threads = sync->RunThreads();
    ASSERT_EQ(1u, threads.size());
    EXPECT_NE(GetCurrentThreadId(), threads[0]);

    const HWND main = Hwnd();
    std::atomic<long long> waitedMs{-1};
    std::thread other([&] {
        const auto before = std::chrono::steady_clock::now();
        DWORD_PTR unused = 0;
        if (SendMessageTimeoutW(main, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &unused) != 0)
            waitedMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                           std::chrono::steady_clock::now() - before)
                           .count();
    });
    // The window's thread goes on with its messages, as its loop does.
    PumpUntil([&] { return waitedMs >= 0; }, 6000);
    other.join();
    EXPECT_GE(waitedMs.load(), 0) << "the window did not answer during the sync";
    EXPECT_LT(waitedMs.load(), 1000);

    SendMessageW(Hwnd(), WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC, 0);
    PumpMessages(200);
    EXPECT_EQ(1, sync->started.load()) << "a second sync began beside the first";
    sync->Release();
    ASSERT_TRUE(PumpUntil([&] { return Timing().SyncsEnded() == 2; }));
    EXPECT_EQ(1, sync->mostAtOnce.load());
    EXPECT_EQ(0u, Tip().find(L"Calender and Notes\nSynced ")) << fw::Narrow(Tip());
}

// Every N minutes (here a "minute" of 150 ms) the calendar syncs again.
TEST_F(SyncTimingTest, SyncsAgainAtTheAccountsInterval) {
    sync->account.intervalMinutes = 2;
    OpenWithSync(10000, 150);
    ASSERT_TRUE(PumpUntil([&] { return Timing().SyncsEnded() >= 1; }));
    EXPECT_EQ(300u, dlg->TimerPeriod(CSyncTiming::kIntervalTimerId));
    const auto first = std::chrono::steady_clock::now();
    ASSERT_TRUE(PumpUntil([&] { return Timing().SyncsEnded() >= 3; }, 5000));
    const auto spent = std::chrono::steady_clock::now() - first;
    EXPECT_GE(spent, std::chrono::milliseconds(550));
}

// A change to the store by anyone syncs a while later; what the sync itself
// wrote into the store does not start another.
TEST_F(SyncTimingTest, ALocalChangeSyncsAfterTheDelayButTheSyncsOwnWritesDoNot) {
    sync->duringRun = [] {
        PutAppointment("2002-5-7", "Appointment 9", "2002-5-7", "2002-5-7", "From the server");
    };
    OpenWithSync(400);
    ASSERT_TRUE(PumpUntil([&] { return Timing().SyncsEnded() == 1; }));
    PumpMessages(1200);
    EXPECT_EQ(1, sync->started.load()) << "the sync's own writes started another";

    sync->duringRun = nullptr;
    const auto changed = std::chrono::steady_clock::now();
    PutAppointment("2002-5-8", "Appointment 1", "2002-5-8", "2002-5-8", "Typed by the user");
    ASSERT_TRUE(PumpUntil([&] { return sync->started == 2; }, 5000));
    EXPECT_GE(std::chrono::steady_clock::now() - changed, std::chrono::milliseconds(350));
    ASSERT_TRUE(PumpUntil([&] { return Timing().SyncsEnded() == 2; }));
    PumpMessages(800);
    EXPECT_EQ(2, sync->started.load());
}

// Both versions kept: the balloon says how many, and the shown day lists
// what the sync filed under it.
TEST_F(SyncTimingTest, ConflictsShowABalloonAndTheShownDayIsListedAgain) {
    sync->hold = true;
    sync->duringRun = [] {
        PutAppointment("2002-5-7", "Appointment 1", "2002-5-7", "2002-5-7", "Dentist");
        PutAppointment("2002-5-7", "Appointment 2", "2002-5-7", "2002-5-7", "Dentist (conflict)");
    };
    sync->script.push_back(Reported(caldav::SyncStatus::Done, 1, 1));
    sync->script.push_back(Reported(caldav::SyncStatus::Done, 3, 0));
    OpenWithSync();
    EXPECT_EQ(0, RowCount());
    sync->Release();
    ASSERT_TRUE(PumpUntil([&] { return Timing().SyncsEnded() == 1; }));
    EXPECT_EQ("1 conflict: both versions kept", dlg->TrayIcon().LastBalloon());
    EXPECT_EQ(2, RowCount());

    SendMessageW(Hwnd(), WM_POWERBROADCAST, PBT_APMRESUMESUSPEND, 0);
    ASSERT_TRUE(PumpUntil([&] { return Timing().SyncsEnded() == 2; }));
    EXPECT_EQ("3 conflicts: both versions kept", dlg->TrayIcon().LastBalloon());
}

// A guard stopped the sync before deleting: the user is asked with the
// sync's own words; Yes runs it again, agreed; a failure shows in the tip.
TEST_F(SyncTimingTest, AGuardAsksTheUserAndYesSyncsAgainAgreed) {
    caldav::SyncRunResult guarded = Reported(caldav::SyncStatus::NeedsConfirmation);
    guarded.report.message = "The sync would delete 40 of 60 appointments here.";
    caldav::SyncRunResult failed = Reported(caldav::SyncStatus::Failed);
    failed.report.message = "The server answered 503 Service Unavailable.";
    sync->script = {guarded, failed};
    boxes.Answer(IDYES);
    OpenWithSync();
    ASSERT_TRUE(PumpUntil([&] { return Timing().SyncsEnded() == 2; }));
    ASSERT_EQ(1u, boxes.Count());
    EXPECT_EQ(0u, boxes.Last().text.find("The sync would delete 40 of 60 appointments here."));
    const std::vector<caldav::SyncRunOptions> options = sync->Options();
    ASSERT_EQ(2u, options.size());
    EXPECT_FALSE(options[0].confirmDeletions);
    EXPECT_TRUE(options[1].confirmDeletions);
    EXPECT_EQ(L"Calender and Notes\nSync failed: The server answered 503 Service Unavailable.",
              Tip());
}

std::string ItemText(HWND dialog, int id) {
    wchar_t text[512] = L"";
    GetDlgItemTextW(dialog, id, text, 512);
    return fw::Narrow(text);
}

// Whether any value below `key` holds `secret`, as UTF-8 or UTF-16 bytes.
bool RegistryHolds(HKEY key, const std::string& secret) {
    const std::wstring wide = fw::Widen(secret);
    const std::string wideBytes(reinterpret_cast<const char*>(wide.data()),
                                wide.size() * sizeof(wchar_t));
    for (DWORD i = 0;; ++i) {
        wchar_t name[256];
        DWORD nameLength = 256, type = 0, size = 0;
        if (RegEnumValueW(key, i, name, &nameLength, nullptr, &type, nullptr, &size) !=
            ERROR_SUCCESS)
            break;
        std::string data(size, '\0');
        nameLength = 256;
        RegEnumValueW(key, i, name, &nameLength, nullptr, &type,
                      reinterpret_cast<BYTE*>(data.data()), &size);
        if (data.find(secret) != std::string::npos || data.find(wideBytes) != std::string::npos)
            return true;
    }
    for (DWORD i = 0;; ++i) {
        wchar_t name[256];
        DWORD nameLength = 256;
        if (RegEnumKeyExW(key, i, name, &nameLength, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        HKEY sub = nullptr;
        if (RegOpenKeyExW(key, name, 0, KEY_READ, &sub) != ERROR_SUCCESS)
            continue;
        const bool held = RegistryHolds(sub, secret);
        RegCloseKey(sub);
        if (held)
            return true;
    }
    return false;
}

// The whole set-up as a user makes it, typed through the X server: File >
// Sync..., the address, the user name and the password, Find calendars, the
// second calendar, Enter. The account is saved for this user, the password
// is in the Credential Manager and nowhere in the registry, and the dialog
// opened again shows the password box empty with the hint that one is kept.
TEST_F(SyncTimingTest, TheAccountTypedInTheDialogIsSavedWithItsPasswordInTheCredentialManager) {
    if (!XServerInput::Available())
        GTEST_SKIP() << "needs the X server";
    const std::string address = "https://dav.example.test/quillmere-dialog-test/";
    const std::string password = "s3cret-Pa55";
    caldav::DeletePassword(address);
    sync->real = MakeSyncService();
    sync->calendars = {{address + "home/", "Home", true, "", ""},
                       {address + "work/", "Work", true, "", ""}};
    OpenWithSync();

    int listed = 0;
    EXPECT_TRUE(TypeAccount(address, "alice", password, 2, 1, listed));
    EXPECT_EQ(2, listed);

    caldav::SyncAccount saved;
    ASSERT_TRUE(caldav::LoadAccount(saved));
    EXPECT_EQ(address, saved.address);
    EXPECT_EQ("alice", saved.user);
    EXPECT_EQ(address + "work/", saved.calendarUrl);
    EXPECT_EQ("Work", saved.calendarName);
    EXPECT_EQ(15, saved.intervalMinutes);
    std::string user, kept;
    EXPECT_EQ(static_cast<unsigned long>(ERROR_SUCCESS), caldav::LoadPassword(address, user, kept));
    EXPECT_EQ(password, kept);
    HKEY sandbox = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_CURRENT_USER, fw::Widen(registry.Path()).c_str(), 0,
                                           KEY_READ, &sandbox));
    EXPECT_FALSE(RegistryHolds(sandbox, password));
    RegCloseKey(sandbox);

    std::string shownPassword = "?", hint, calendar;
    {
        ModalWatch watch(HasCaption("Sync"), [&](HWND dialog) {
            shownPassword = ItemText(dialog, IDC_SYNC_PASSWORD);
            hint = ItemText(dialog, IDC_SYNC_PASSWORD_HINT);
            calendar = ItemText(dialog, IDC_SYNC_CALENDAR);
            PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
        });
        Command(ID_FILE_SYNC);
    }
    EXPECT_EQ("", shownPassword);
    EXPECT_EQ("(saved)", hint);
    EXPECT_EQ("Work (" + address + "work/)", calendar);
    caldav::DeletePassword(address);
}

std::string Environment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

// Radicale as another device sees it: plain requests with the account's
// Basic credentials.
class RadicaleCalendar {
public:
    RadicaleCalendar()
        : root(Environment("QM_SYNC_RADICALE_URL")), user(Environment("QM_SYNC_RADICALE_USER")),
          password(Environment("QM_SYNC_RADICALE_PASSWORD")) {}
    bool Running() const { return !root.empty(); }

    caldav::HttpResponse Send(const std::string& method, const std::string& url,
                              const std::string& body, const std::string& type) {
        caldav::HttpRequest request{method, url, {}, body};
        request.headers.push_back(
            {"Authorization", "Basic " + caldav::Base64(user + ":" + password)});
        if (!type.empty())
            request.headers.push_back({"Content-Type", type});
        return transport.Send(request);
    }

    std::string root, user, password;
    caldav::WinHttpTransport transport;
};

// The user story, against Radicale on loopback (started by
// tests/app/run_sync_story.sh): an event another device put on the server;
// the account set up in File > Sync... from the server's address (the
// calendar found by discovery); the sync brings the event into the day's
// list; the user writes its detailed notes and saves them; a while later the
// server's event carries them, and still everything else it had.
TEST_F(SyncTimingTest, StoryAServerEventShowsInTheListAndItsEditReachesTheServer) {
    RadicaleCalendar server;
    if (!server.Running() || !XServerInput::Available())
        GTEST_SKIP() << "needs Radicale (tests/app/run_sync_story.sh) and the X server";
    const std::string calendar = server.root + server.user + "/story/";
    ASSERT_EQ(201, server
                       .Send("MKCALENDAR", calendar,
                             "<?xml version=\"1.0\"?><c:mkcalendar xmlns:d=\"DAV:\" "
                             "xmlns:c=\"urn:ietf:params:xml:ns:caldav\"><d:set><d:prop>"
                             "<d:displayname>Story</d:displayname></d:prop></d:set>"
                             "</c:mkcalendar>",
                             "application/xml")
                       .status);
    // Today as the computer's clock has it: the sync takes no event that
    // ended before today, and the window shows today.
    SYSTEMTIME now{};
    GetLocalTime(&now);
    FixedClock::Set(now.wYear, now.wMonth, now.wDay);
    char today[9], tomorrow[9];
    std::snprintf(today, sizeof today, "%04d%02d%02d", now.wYear, now.wMonth, now.wDay);
    SYSTEMTIME next = now;
    FILETIME file{};
    SystemTimeToFileTime(&now, &file);
    ULARGE_INTEGER ticks{{file.dwLowDateTime, file.dwHighDateTime}};
    ticks.QuadPart += 24ULL * 3600 * 10000000;
    file = {ticks.LowPart, ticks.HighPart};
    FileTimeToSystemTime(&file, &next);
    std::snprintf(tomorrow, sizeof tomorrow, "%04d%02d%02d", next.wYear, next.wMonth, next.wDay);
    const std::string event = calendar + "dentist.ics";
    ASSERT_EQ(201, server
                       .Send("PUT", event,
                             "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//phone//EN\r\n"
                             "BEGIN:VEVENT\r\nUID:story-dentist@phone\r\nDTSTAMP:20020501T"
                             "080000Z\r\nDTSTART;VALUE=DATE:" +
                                 std::string(today) + "\r\nDTEND;VALUE=DATE:" + tomorrow +
                                 "\r\nSUMMARY:Dentist\r\nLOCATION:Main Street 4\r\n"
                                 "X-PHONE-COLOUR:teal\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n",
                             "text/calendar")
                       .status);

    dlg = std::make_unique<TestCalendarDlg>();
    Timing().changeDelayMs = 500;
    ASSERT_TRUE(dlg->Create(nullptr));
    dlg->ShowWindow(SW_SHOWNORMAL);
    PumpMessages();
    EXPECT_EQ(0, RowCount());

    int listed = 0;
    EXPECT_TRUE(TypeAccount(server.root, server.user, server.password, 1, 0, listed));
    EXPECT_EQ(1, listed);
    ASSERT_TRUE(
        PumpUntil([&] { return Timing().SyncsEnded() >= 1 && !Timing().IsSyncing(); }, 30000));
    ASSERT_TRUE(Timing().LastResult().has_value());
    EXPECT_EQ(caldav::SyncStatus::Done, Timing().LastResult()->report.status)
        << Timing().LastResult()->report.message << Timing().LastResult()->words;
    ASSERT_EQ(1, RowCount()) << "the server's event is listed on its day; the sync said: "
                             << Timing().LastResult()->words;
    EXPECT_EQ("Dentist", dlg->List().GetItemText(0, 1));
    EXPECT_EQ(0u, Tip().find(L"Calender and Notes\nSynced ")) << fw::Narrow(Tip());

    const int before = Timing().SyncsEnded();
    dlg->List().SetItemState(0, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    PumpMessages();
    SetDlgItemTextA(Hwnd(), IDC_DETAIL_NOTES, "Bring the insurance card");
    Command(IDC_SAVE_NOTES);
    ASSERT_TRUE(
        PumpUntil([&] { return Timing().SyncsEnded() > before && !Timing().IsSyncing(); }, 30000));
    EXPECT_EQ(caldav::SyncStatus::Done, Timing().LastResult()->report.status);

    const caldav::HttpResponse after = server.Send("GET", event, "", "");
    ASSERT_EQ(200, after.status);
    EXPECT_NE(std::string::npos, after.body.find("DESCRIPTION:Bring the insurance card"))
        << after.body;
    EXPECT_NE(std::string::npos, after.body.find("UID:story-dentist@phone")) << after.body;
    EXPECT_NE(std::string::npos, after.body.find("LOCATION:Main Street 4")) << after.body;
    EXPECT_NE(std::string::npos, after.body.find("X-PHONE-COLOUR:teal")) << after.body;
    caldav::DeletePassword(server.root);
}

} // namespace
} // namespace qmtest
