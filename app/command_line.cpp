#include "app/command_line.h"

#include "framework/unique_handle.h"
#include "framework/utf_text.h"
#include "ical/transfer_report.h"
#include "store/calendar_exchange.h"

#include <windows.h>

#include <shellapi.h>

namespace {

constexpr const char* kUsage = "Usage: quillmere.exe /export FILE.ics\n"
                               "       quillmere.exe /import FILE.ics";

bool IsSwitch(const std::string& argument, const char* name) {
    return lstrcmpiA(argument.c_str(), name) == 0;
}

// A window program has no console of its own: its report goes where its
// output was sent (a file or a pipe), else to the console it was started
// from, else nowhere.
void Print(bool isError, const std::string& text) {
    const std::string lines = ical::WithCrlfLines(text);
    HANDLE out = GetStdHandle(isError ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
    static fw::unique_handle console;
    if (out == nullptr || out == INVALID_HANDLE_VALUE) {
        if (!console && AttachConsole(ATTACH_PARENT_PROCESS)) {
            HANDLE opened = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_WRITE,
                                        nullptr, OPEN_EXISTING, 0, nullptr);
            if (opened != INVALID_HANDLE_VALUE)
                console.reset(opened);
        }
        out = console.get();
    }
    if (out == nullptr || out == INVALID_HANDLE_VALUE)
        return;
    DWORD mode = 0, written = 0;
    if (GetConsoleMode(out, &mode)) {
        const std::wstring wide = fw::Widen(lines);
        WriteConsoleW(out, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
    } else {
        WriteFile(out, lines.data(), static_cast<DWORD>(lines.size()), &written, nullptr);
    }
}

// The path as the report names it: whole, from the drive on.
std::string FullPath(const std::string& path) {
    const std::wstring wide = fw::Widen(path);
    const DWORD length = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    if (length == 0)
        return path;
    std::wstring full(length, L'\0');
    const DWORD used = GetFullPathNameW(wide.c_str(), length, full.data(), nullptr);
    if (used == 0 || used >= length)
        return path;
    full.resize(used);
    return fw::Narrow(full);
}

} // namespace

FileCommand ParseFileCommand(const std::vector<std::string>& arguments) {
    FileCommand command;
    if (arguments.empty())
        return command;
    if (IsSwitch(arguments[0], "/export"))
        command.kind = FileCommand::Kind::Export;
    else if (IsSwitch(arguments[0], "/import"))
        command.kind = FileCommand::Kind::Import;
    else
        return command; // not ours: a normal launch, as ever
    if (arguments.size() != 2 || arguments[1].empty())
        command.kind = FileCommand::Kind::Invalid;
    else
        command.path = arguments[1];
    return command;
}

std::vector<std::string> ProcessArguments() {
    std::vector<std::string> arguments;
    int count = 0;
    LPWSTR* list = CommandLineToArgvW(GetCommandLineW(), &count);
    if (list == nullptr)
        return arguments;
    for (int i = 1; i < count; ++i)
        arguments.push_back(fw::Narrow(list[i]));
    LocalFree(list);
    return arguments;
}

int RunFileCommand(const FileCommand& command) {
    if (command.kind == FileCommand::Kind::Invalid) {
        Print(true, kUsage);
        return kExitBadArguments;
    }
    const std::string path = FullPath(command.path);
    CCalendarExchange exchange;
    if (command.kind == FileCommand::Kind::Export) {
        const ical::ExportOutcome outcome = exchange.Export(path);
        Print(!outcome.written, ical::ExportReport(outcome));
        if (!outcome.written)
            return kExitWriteFailed;
        for (const ical::ExportOutcome::Issue& issue : outcome.issues)
            if (issue.issue.skipped)
                return kExitLeftOut;
        return kExitDone;
    }
    const ical::ImportOutcome outcome = exchange.Import(path);
    const bool failed = !outcome.error.empty() || outcome.stopped;
    Print(failed, ical::ImportReport(outcome));
    if (!outcome.error.empty())
        return kExitFileRefused;
    if (outcome.stopped)
        return kExitWriteFailed;
    return outcome.plan.refused.empty() ? kExitDone : kExitLeftOut;
}
