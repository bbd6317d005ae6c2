#include "tests/support/x_server_input.h"

#include "framework/unique_handle.h"
#include "framework/utf_text.h"
#include "tests/support/window_testing.h"

#include <windows.h>

#include <atomic>

#include <cstdlib>

namespace qmtest {
namespace {

// Wine's own path conversions in kernel32; both return memory from the
// process heap.
using DosFileNameFn = WCHAR*(CDECL*)(const char*);
using UnixFileNameFn = char*(CDECL*)(const WCHAR*);

DosFileNameFn DosFileName() {
    return reinterpret_cast<DosFileNameFn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_dos_file_name")));
}

UnixFileNameFn UnixFileName() {
    return reinterpret_cast<UnixFileNameFn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
}

std::wstring ToDos(const char* unixPath) {
    WCHAR* dos = DosFileName()(unixPath);
    if (dos == nullptr)
        return {};
    std::wstring result(dos);
    HeapFree(GetProcessHeap(), 0, dos);
    return result;
}

std::string ToUnix(const std::string& windowsPath) {
    char* unixPath = UnixFileName()(fw::Widen(windowsPath).c_str());
    if (unixPath == nullptr)
        return {};
    std::string result(unixPath);
    HeapFree(GetProcessHeap(), 0, unixPath);
    return result;
}

} // namespace

bool XServerInput::Available() {
    return DosFileName() != nullptr && UnixFileName() != nullptr;
}

bool XServerInput::Start(const std::string& args) {
    if (!Available() || args.find('"') != std::string::npos)
        return false;
    const std::wstring shell = ToDos("/bin/sh");
    const std::string run = "xdotool-" + std::to_string(++m_runs);
    m_marker = m_files.Path(run + ".done");
    m_output = m_files.Path(run + ".out");
    const std::string marker = ToUnix(m_marker);
    const std::string output = ToUnix(m_output);
    if (shell.empty() || marker.empty() || output.empty())
        return false;
    // The status goes to a file of another name first, so that the marker
    // is whole when it appears. Wine's PATH is its own; xdotool is looked up
    // where Linux keeps programs.
    const std::string script = "PATH=/usr/local/bin:/usr/bin:/bin; xdotool " + args + " > '" +
                               output + "'; echo $? > '" + marker + ".part' && mv '" + marker +
                               ".part' '" + marker + "'";
    std::wstring commandLine = L"sh -c \"" + fw::Widen(script) + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(shell.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &startup, &process))
        return false;
    // Wine gives none for a Linux program; Windows would.
    fw::unique_handle processHandle(process.hProcess);
    fw::unique_handle threadHandle(process.hThread);
    return true;
}

bool XServerInput::Done() const {
    return !m_marker.empty() && GetFileAttributesA(m_marker.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string XServerInput::Output() const {
    std::string text = Done() ? ScratchFiles::Read(m_output) : std::string();
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    return text;
}

bool XServerInput::Run(const std::string& args, DWORD timeoutMs) {
    return Start(args) && PumpUntil([this] { return Done(); }, timeoutMs) && ExitCode() == 0;
}

unsigned long XServerInput::XWindowOf(HWND window) {
    // Wine keeps the X window of each top-level window in this property.
    return static_cast<unsigned long>(
        reinterpret_cast<ULONG_PTR>(GetPropA(window, "__wine_x11_whole_window")));
}

std::string XServerInput::MiddleOf(HWND window, int control) {
    RECT rect{};
    GetWindowRect(GetDlgItem(window, control), &rect);
    return std::to_string((rect.left + rect.right) / 2) + " " +
           std::to_string((rect.top + rect.bottom) / 2);
}

namespace {

std::atomic<int> g_clicksTaken{0};

LRESULT CALLBACK CountClicks(int code, WPARAM wp, LPARAM lp) {
    if (code == HC_ACTION && wp == PM_REMOVE &&
        reinterpret_cast<const MSG*>(lp)->message == WM_LBUTTONUP)
        ++g_clicksTaken;
    return CallNextHookEx(nullptr, code, wp, lp);
}

} // namespace

ClicksTaken::ClicksTaken()
    : m_hook(SetWindowsHookExA(WH_GETMESSAGE, &CountClicks, nullptr, GetCurrentThreadId())) {}

ClicksTaken::~ClicksTaken() {
    if (m_hook != nullptr)
        UnhookWindowsHookEx(m_hook);
}

int ClicksTaken::Count() const {
    return g_clicksTaken.load();
}

int XServerInput::ExitCode() const {
    const std::string status = Done() ? ScratchFiles::Read(m_marker) : std::string();
    return status.empty() ? -1 : std::atoi(status.c_str());
}

} // namespace qmtest
