#include "tests/support/program_process.h"

#include "res/resource.h"
#include "store/calendar_registry.h"
#include "tests/support/window_testing.h"

#include <gtest/gtest.h>

#include <tlhelp32.h>

#include <cstdlib>
#include <cstring>

namespace qmtest {

namespace {

struct WindowSearch {
    DWORD process;
    HWND main = nullptr;
    int visible = 0;
};

BOOL CALLBACK VisitProcessWindow(HWND window, LPARAM lp) {
    auto* search = reinterpret_cast<WindowSearch*>(lp);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process != search->process)
        return TRUE;
    if (IsWindowVisible(window))
        ++search->visible;
    if (search->main == nullptr && GetDlgItem(window, IDC_APPOINTMENT_LIST) != nullptr)
        search->main = window;
    return TRUE;
}

bool IsTrayIconWindow(HWND window) {
    char cls[64] = {};
    GetClassNameA(window, cls, sizeof cls);
    return std::strstr(cls, "tray_icon") != nullptr;
}

} // namespace

std::string BuildOutput(const std::string& fileName) {
    char self[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, self, sizeof self);
    std::string dir = self;
    for (int up = 0; up < 2; ++up)
        dir = dir.substr(0, dir.find_last_of('\\'));
    return dir + "\\" + fileName;
}

ProgramProcess::ProgramProcess(int showCommand, const std::string& program,
                               const std::string& arguments, const std::string& outputPath) {
    const std::string exe = program.empty() ? BuildOutput("quillmere.exe") : program;
    std::string commandLine = "\"" + exe + "\"";
    if (!arguments.empty())
        commandLine += " " + arguments;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    if (showCommand >= 0) {
        startup.dwFlags = STARTF_USESHOWWINDOW;
        startup.wShowWindow = static_cast<WORD>(showCommand);
    }
    fw::unique_handle output;
    if (!outputPath.empty()) {
        SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
        HANDLE file = CreateFileA(outputPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                                  CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE)
            output.reset(file);
        startup.dwFlags |= STARTF_USESTDHANDLES;
        startup.hStdOutput = output.get();
        startup.hStdError = output.get();
    }
    PROCESS_INFORMATION info{};
    if (!CreateProcessA(exe.c_str(), commandLine.data(), nullptr, nullptr, output ? TRUE : FALSE, 0,
                        nullptr, nullptr, &startup, &info)) {
        ADD_FAILURE() << "cannot start " << exe << ": " << GetLastError();
        return;
    }
    CloseHandle(info.hThread);
    m_process.reset(info.hProcess);
    m_id = info.dwProcessId;
}

ProgramProcess::~ProgramProcess() {
    if (Running()) {
        TerminateProcess(m_process.get(), 1);
        WaitForSingleObject(m_process.get(), 10000);
    }
}

bool ProgramProcess::Running() const {
    return m_process && WaitForSingleObject(m_process.get(), 0) == WAIT_TIMEOUT;
}

bool ProgramProcess::WaitForExit(DWORD timeoutMs, DWORD* exitCode) {
    if (!m_process || WaitForSingleObject(m_process.get(), timeoutMs) != WAIT_OBJECT_0)
        return false;
    if (exitCode != nullptr)
        GetExitCodeProcess(m_process.get(), exitCode);
    return true;
}

HWND ProgramProcess::MainWindow() const {
    WindowSearch search{m_id};
    EnumWindows(VisitProcessWindow, reinterpret_cast<LPARAM>(&search));
    return search.main;
}

int ProgramProcess::VisibleWindows() const {
    WindowSearch search{m_id};
    EnumWindows(VisitProcessWindow, reinterpret_cast<LPARAM>(&search));
    return search.visible;
}

int TrayIconCount() {
    int count = 0;
    // Every window, top-level or not: the icons are children of Wine's tray.
    EnumChildWindows(
        GetDesktopWindow(),
        [](HWND window, LPARAM lp) -> BOOL {
            *reinterpret_cast<int*>(lp) += IsTrayIconWindow(window) ? 1 : 0;
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&count));
    return count;
}

int RunningCopies() {
    fw::unique_handle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot || snapshot.get() == INVALID_HANDLE_VALUE)
        return -1;
    int count = 0;
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot.get(), &entry); more;
         more = Process32Next(snapshot.get(), &entry))
        count += lstrcmpiA(entry.szExeFile, "quillmere.exe") == 0 ? 1 : 0;
    return count;
}

bool PrefixStore::InPrivatePrefix() {
    const char* prefix = std::getenv("WINEPREFIX");
    return prefix != nullptr && std::strstr(prefix, "wine-test-prefix") != nullptr;
}

PrefixStore::PrefixStore() {
    if (!InPrivatePrefix()) {
        ADD_FAILURE() << "this test starts Quillmere on the prefix's own store: run it through "
                         "ctest, in the build's private Wine prefix";
        return;
    }
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, kCalendarRootPath);
    CCalendarRegistry registry;
    EXPECT_TRUE(registry.SetSplash(0));
    // The icon of a copy that an earlier test ended takes a moment to go;
    // nothing else in the prefix has one.
    PumpUntil([] { return TrayIconCount() == 0; }, 5000);
}

PrefixStore::~PrefixStore() {
    if (InPrivatePrefix())
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, kCalendarRootPath);
}

} // namespace qmtest
