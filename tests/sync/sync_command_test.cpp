// "quillmere.exe /sync-account" and "/sync" as processes of their own,
// against Radicale (started by tests/sync/run_servers.sh), on the test
// prefix's own store and this user's own key: what a script sees.
#include "framework/unique_handle.h"
#include "store/user_values.h"
#include "sync/caldav_client.h"
#include "sync/credential_store.h"
#include "sync/dav_xml.h"
#include "sync/sync_account.h"
#include "sync/winhttp_transport.h"
#include "store/appointment_batch.h"
#include "tests/support/program_process.h"
#include "tests/support/window_testing.h"
#include "tests/sync/fake_local_calendar.h"
#include "tests/sync/stored_appointments.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <thread>

using namespace caldav;

namespace {

std::string Environment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

struct CommandResult {
    DWORD exitCode = 999;
    std::string output;
};

std::string ReadWhole(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

// Runs quillmere.exe with `arguments`, `input` on its standard input, and
// waits at most `timeoutMs` for it to end.
CommandResult RunProgram(const std::string& arguments, const std::string& input = "",
                         DWORD timeoutMs = 120000) {
    CommandResult result;
    char folder[MAX_PATH] = "";
    GetTempPathA(sizeof folder, folder);
    const std::string outputPath = std::string(folder) + "quillmere-sync-command-" +
                                   std::to_string(GetCurrentProcessId()) + ".txt";
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    fw::unique_handle output(CreateFileA(outputPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                                         &inherit, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) {
        ADD_FAILURE() << "no pipe: " << GetLastError();
        return result;
    }
    fw::unique_handle stdinRead(readEnd), stdinWrite(writeEnd);
    SetHandleInformation(stdinWrite.get(), HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = stdinRead.get();
    startup.hStdOutput = output.get();
    startup.hStdError = output.get();
    const std::string exe = qmtest::BuildOutput("quillmere.exe");
    std::string commandLine = "\"" + exe + "\" " + arguments;
    PROCESS_INFORMATION info{};
    if (!CreateProcessA(exe.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                        nullptr, &startup, &info)) {
        ADD_FAILURE() << "cannot start " << exe << ": " << GetLastError();
        return result;
    }
    fw::unique_handle process(info.hProcess);
    CloseHandle(info.hThread);
    stdinRead.reset();
    DWORD written = 0;
    if (!input.empty())
        WriteFile(stdinWrite.get(), input.data(), static_cast<DWORD>(input.size()), &written,
                  nullptr);
    stdinWrite.reset();
    if (WaitForSingleObject(process.get(), timeoutMs) != WAIT_OBJECT_0) {
        TerminateProcess(process.get(), 1);
        WaitForSingleObject(process.get(), 10000);
        ADD_FAILURE() << arguments << " did not end in time";
    }
    GetExitCodeProcess(process.get(), &result.exitCode);
    output.reset();
    result.output = ReadWhole(outputPath);
    DeleteFileA(outputPath.c_str());
    return result;
}

// Radicale's root and its user, or skipped.
class Commands : public testing::Test {
protected:
    void SetUp() override {
        root = Environment("QM_SYNC_RADICALE_URL");
        if (root.empty())
            GTEST_SKIP() << "Radicale is not running (tests/sync/run_servers.sh)";
        user = Environment("QM_SYNC_RADICALE_USER");
        password = Environment("QM_SYNC_RADICALE_PASSWORD");
        options.user = user;
        options.password = password;
        options.assumeBasic = true;
        SetUserValuesPathForTesting("");
        RemoveAccount();
    }
    void TearDown() override {
        DeletePassword(root);
        RemoveAccount();
    }
    // A calendar of its own, filled with `body` (a whole VCALENDAR) when given.
    std::string MakeCalendar(const std::string& displayName, const std::string& body = "") {
        const std::string url = root + user + "/" + displayName + "-" +
                                std::to_string(GetTickCount64() % 100000000) + "/";
        HttpRequest request;
        request.url = url;
        request.headers = {{"Authorization", "Basic " + Base64(user + ":" + password)}};
        if (body.empty()) {
            request.method = "MKCALENDAR";
            request.headers.push_back({"Content-Type", "application/xml"});
            request.body = "<?xml version=\"1.0\"?><c:mkcalendar xmlns:d=\"DAV:\" "
                           "xmlns:c=\"urn:ietf:params:xml:ns:caldav\"><d:set><d:prop>"
                           "<d:displayname>" +
                           xml::Escape(displayName) +
                           "</d:displayname></d:prop></d:set></c:mkcalendar>";
        } else {
            // Radicale files a whole calendar PUT on a new collection in one go.
            request.method = "PUT";
            request.headers.push_back({"Content-Type", "text/calendar"});
            request.body = body;
        }
        WinHttpOptions slow;
        slow.receiveTimeout = std::chrono::minutes(5);
        WinHttpTransport transport(slow);
        const HttpResponse made = transport.Send(request);
        EXPECT_EQ(made.status, 201) << made.message << made.body;
        return url;
    }
    std::size_t ServerCount(const std::string& calendar) {
        WinHttpTransport transport;
        CalDavClient client(transport, options);
        const Listing listing = client.ListResources(calendar);
        EXPECT_TRUE(listing.ok) << listing.message;
        return listing.resources.size();
    }

    std::string root, user, password;
    ClientOptions options;
};

// The values under this user's key, as text, to look for the password in.
std::string EveryUserValue(HKEY key) {
    std::string all;
    wchar_t name[16384];
    std::vector<BYTE> data(1 << 20);
    for (DWORD index = 0;; ++index) {
        DWORD nameLength = static_cast<DWORD>(std::size(name));
        DWORD size = static_cast<DWORD>(data.size());
        if (RegEnumValueW(key, index, name, &nameLength, nullptr, nullptr, data.data(), &size) !=
            ERROR_SUCCESS)
            break;
        all.append(reinterpret_cast<const char*>(data.data()), size);
    }
    for (DWORD index = 0;; ++index) {
        DWORD nameLength = static_cast<DWORD>(std::size(name));
        if (RegEnumKeyExW(key, index, name, &nameLength, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        fw::unique_hkey sub;
        if (RegOpenKeyExW(key, name, 0, KEY_READ, sub.put()) == ERROR_SUCCESS)
            all += EveryUserValue(sub.get());
    }
    return all;
}

} // namespace

TEST_F(Commands, SetUpTheAccountFromStandardInputAndSyncWithTheDocumentedExitCodes) {
    qmtest::PrefixStore store;
    EXPECT_EQ(RunProgram("/sync").exitCode, 5u);
    EXPECT_EQ(RunProgram("/sync-account " + root).exitCode, 1u);
    EXPECT_EQ(RunProgram("/sync /now").exitCode, 1u);

    const std::string home = MakeCalendar("Home");
    MakeCalendar("Work");
    // Several calendars and none named: listed, nothing saved.
    CommandResult run = RunProgram("/sync-account " + root + " " + user, password + "\r\n");
    EXPECT_EQ(run.exitCode, 10u) << run.output;
    EXPECT_NE(run.output.find(home), std::string::npos) << run.output;
    SyncAccount saved;
    EXPECT_FALSE(LoadAccount(saved));
    // A wrong password: the server refuses, nothing saved.
    run = RunProgram("/sync-account " + root + " " + user + " /calendar " + home, "wrong\n");
    EXPECT_EQ(run.exitCode, 6u) << run.output;
    EXPECT_FALSE(LoadAccount(saved));

    run = RunProgram("/sync-account " + root + " " + user + " /calendar " + home, password + "\n");
    ASSERT_EQ(run.exitCode, 0u) << run.output;
    EXPECT_EQ(run.output.find(password), std::string::npos);
    ASSERT_TRUE(LoadAccount(saved));
    EXPECT_EQ(saved.calendarUrl, home);
    EXPECT_EQ(saved.user, user);
    EXPECT_TRUE(saved.assumeBasic); // Radicale asked for Basic while the calendar was checked
    std::string savedUser, savedPassword;
    ASSERT_EQ(LoadPassword(root, savedUser, savedPassword), ERROR_SUCCESS);
    EXPECT_EQ(savedPassword, password);
    {
        fw::unique_hkey key;
        ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Quillmere", 0, KEY_READ, key.put()),
                  ERROR_SUCCESS);
        const std::string all = EveryUserValue(key.get());
        const std::wstring wide(password.begin(), password.end());
        EXPECT_EQ(all.find(password), std::string::npos);
        EXPECT_EQ(all.find(std::string(reinterpret_cast<const char*>(wide.data()),
                                       wide.size() * sizeof(wchar_t))),
                  std::string::npos);
    }

    // Beside a running copy, which shows what the sync files. It syncs at
    // start-up on its own; the changes come once that sync has ended.
    const LastSyncResult before = LoadLastSync();
    const auto synced = [&before] {
        const LastSyncResult now = LoadLastSync();
        return now.utc != before.utc || now.words != before.words;
    };
    qmtest::ProgramProcess running;
    ASSERT_TRUE(qmtest::PumpUntil(
        [&] {
            HWND main = running.MainWindow();
            return main != nullptr && IsWindowVisible(main);
        },
        30000));
    ASSERT_TRUE(qmtest::PumpUntil(synced, 30000));
    const LastSyncResult startUp = LoadLastSync();

    // Two events there, one appointment here.
    {
        WinHttpTransport transport;
        CalDavClient other(transport, options);
        ASSERT_TRUE(other.Put(home + "a.ics", EventText("cmd-a", "From the phone"), "").ok);
        ASSERT_TRUE(other.Put(home + "b.ics", EventText("cmd-b", "From the laptop"), "").ok);
    }
    {
        CAppointmentBatch batch;
        ASSERT_TRUE(batch.Add("2027-1-6", "2027-1-6", "2027-1-6", "From here", "Others", 1, ""));
    }
    run = RunProgram("/sync");
    ASSERT_EQ(run.exitCode, 0u) << run.output;
    EXPECT_EQ(run.output.rfind("Sent 1, received 2.\r\n", 0), 0u) << run.output;
    EXPECT_EQ(StoredAppointments().size(), 3u);
    EXPECT_EQ(ServerCount(home), 3u);
    EXPECT_TRUE(running.Running());
    // The running copy saw the store change and syncs 10 s after it: by
    // then nothing is left to send or fetch. The steps below wait for it.
    ASSERT_TRUE(qmtest::PumpUntil(
        [&] {
            const LastSyncResult now = LoadLastSync();
            return now.utc != startUp.utc && now.words.rfind("Sent 0, received 0.", 0) == 0;
        },
        40000))
        << LoadLastSync().words;

    // Another sync of this user is running (the window's, say).
    {
        fw::unique_handle lock(CreateMutexW(nullptr, TRUE, L"Local\\QuillmereSync"));
        run = RunProgram("/sync");
        EXPECT_EQ(run.exitCode, 9u) << run.output;
    }

    // The calendar emptied on the server: nothing deleted here until
    // confirmed.
    {
        WinHttpTransport transport;
        CalDavClient other(transport, options);
        const Listing listing = other.ListResources(home);
        for (const ResourceTag& tag : listing.resources)
            ASSERT_TRUE(other.Delete(other.UrlOf(home, tag.href), tag.etag).ok);
    }
    run = RunProgram("/sync");
    EXPECT_EQ(run.exitCode, 7u) << run.output;
    EXPECT_EQ(StoredAppointments().size(), 3u);
    run = RunProgram("/sync /confirm");
    EXPECT_EQ(run.exitCode, 0u) << run.output;
    EXPECT_EQ(StoredAppointments().size(), 0u);
    std::printf("%s", run.output.c_str());
}

TEST_F(Commands, AFirstSyncKilledPartWayResumesWithEveryEventOnceOnBothSides) {
    qmtest::PrefixStore store;
    constexpr int kEvents = 2000;
    std::string body = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Quillmere tests//EN\r\n";
    for (int i = 0; i < kEvents; ++i)
        body += "BEGIN:VEVENT\r\nUID:kill-" + std::to_string(i) +
                "\r\nDTSTAMP:20261201T000000Z\r\nDTSTART;VALUE=DATE:20270" +
                std::to_string(1 + i % 9) + "1" + std::to_string(i % 10) + "\r\nSUMMARY:Event " +
                std::to_string(i) + "\r\nEND:VEVENT\r\n";
    body += "END:VCALENDAR\r\n";
    const std::string calendar = MakeCalendar("Big", body);
    ASSERT_EQ(ServerCount(calendar), static_cast<std::size_t>(kEvents));

    SyncAccount account;
    account.address = root;
    account.calendarUrl = calendar;
    account.user = user;
    ASSERT_TRUE(SaveAccount(account));
    ASSERT_EQ(SavePassword(root, user, password), ERROR_SUCCESS);

    // Killed once some hundreds of events are filed.
    int filedAtKill = 0;
    char folder[MAX_PATH] = "";
    GetTempPathA(sizeof folder, folder);
    const std::string outputPath = std::string(folder) + "quillmere-killed-sync.txt";
    {
        qmtest::ProgramProcess sync(-1, {}, "/sync", outputPath);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(5);
        while (sync.Running() && std::chrono::steady_clock::now() < deadline) {
            filedAtKill = static_cast<int>(StoredAppointments().size());
            if (filedAtKill >= 300)
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        DWORD exitCode = 0;
        if (!sync.Running() && sync.WaitForExit(1000, &exitCode)) {
            FAIL() << "the first sync ended with " << exitCode
                   << " before it could be killed: " << ReadWhole(outputPath);
        }
    } // killed here
    std::printf("killed after %d of %d events were filed\n", filedAtKill, kEvents);
    EXPECT_LT(StoredAppointments().size(), static_cast<std::size_t>(kEvents));

    const auto started = std::chrono::steady_clock::now();
    CommandResult run = RunProgram("/sync", "", 600000);
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - started);
    ASSERT_EQ(run.exitCode, 0u) << run.output;
    std::printf("resumed: %s(%lld ms)\n", run.output.c_str(), static_cast<long long>(took.count()));
    const std::vector<StoredAppointment> stored = StoredAppointments();
    EXPECT_EQ(stored.size(), static_cast<std::size_t>(kEvents));
    std::string notOnce;
    for (int i = 0; i < kEvents; ++i) {
        const std::string uid = "kill-" + std::to_string(i);
        const int count = CountStoredUid(stored, uid);
        if (count != 1)
            notOnce += " " + uid + " x" + std::to_string(count);
    }
    EXPECT_EQ(notOnce, "");
    EXPECT_EQ(ServerCount(calendar), static_cast<std::size_t>(kEvents));

    run = RunProgram("/sync");
    EXPECT_EQ(run.exitCode, 0u) << run.output;
    EXPECT_EQ(run.output, "Sent 0, received 0.\r\n1 request.\r\n");
}
