#include "app/command_line.h"

#include "framework/unique_handle.h"
#include "framework/utf_text.h"
#include "ical/transfer_report.h"
#include "store/calendar_exchange.h"
#include "store/transfer_progress.h"

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
// from, else nowhere (null).
HANDLE Output(bool isError) {
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
    return out == INVALID_HANDLE_VALUE ? nullptr : out;
}

bool IsConsole(HANDLE out) {
    DWORD mode = 0;
    return out != nullptr && GetFileType(out) == FILE_TYPE_CHAR && GetConsoleMode(out, &mode);
}

void Write(HANDLE out, const std::string& text) {
    DWORD written = 0;
    if (IsConsole(out)) {
        const std::wstring wide = fw::Widen(text);
        WriteConsoleW(out, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
    } else if (out != nullptr) {
        WriteFile(out, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    }
}

void Print(bool isError, const std::string& text) {
    PrintCommandOutput(isError, text);
}

// How far a long export or import has come, on one console line that is
// written over a few times a second; nothing when the output is a file or a
// pipe, whose reader wants the report alone.
class ConsoleProgress : public ITransferProgress {
public:
    ConsoleProgress() : m_out(Output(false)) {}
    ~ConsoleProgress() {
        if (m_shown == 0)
            return;
        std::string blank(m_shown + 2, ' ');
        blank.front() = blank.back() = '\r';
        Write(m_out, blank);
    }
    ConsoleProgress(const ConsoleProgress&) = delete;
    ConsoleProgress& operator=(const ConsoleProgress&) = delete;

    // Null when there is no console to show it on.
    ITransferProgress* IfConsole() { return IsConsole(m_out) ? this : nullptr; }

    void Report(const TransferCounts& counts) override {
        const ULONGLONG now = GetTickCount64();
        if (now - m_last < 250)
            return;
        m_last = now;
        std::string line;
        if (counts.appointmentsTotal != 0)
            line = "Appointments filed: " + std::to_string(counts.appointments) + " of " +
                   std::to_string(counts.appointmentsTotal);
        else if (counts.events != 0)
            line = "Events read: " + std::to_string(counts.events) +
                   (counts.eventsInFile != 0 ? " of " + std::to_string(counts.eventsInFile) : "");
        else
            line = "Appointments read: " + std::to_string(counts.appointments);
        const std::size_t width = line.size();
        if (line.size() < m_shown)
            line.append(m_shown - line.size(), ' ');
        m_shown = width;
        line.insert(line.begin(), '\r');
        Write(m_out, line);
    }
    bool StopRequested() override { return false; }

private:
    HANDLE m_out;
    ULONGLONG m_last = 0;
    std::size_t m_shown = 0;
};

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

void PrintCommandOutput(bool isError, const std::string& text) {
    Write(Output(isError), ical::WithCrlfLines(text));
}

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
    ical::ExportOutcome exported;
    ical::ImportOutcome imported;
    {
        ConsoleProgress progress;
        if (command.kind == FileCommand::Kind::Export)
            exported = exchange.Export(path, progress.IfConsole());
        else
            imported = exchange.Import(path, progress.IfConsole());
    }
    if (command.kind == FileCommand::Kind::Export) {
        const ical::ExportOutcome& outcome = exported;
        Print(!outcome.written, ical::ExportReport(outcome));
        if (!outcome.written)
            return kExitWriteFailed;
        for (const ical::ExportOutcome::Issue& issue : outcome.issues)
            if (issue.issue.skipped)
                return kExitLeftOut;
        return kExitDone;
    }
    const ical::ImportOutcome& outcome = imported;
    const bool failed = !outcome.error.empty() || outcome.stopped;
    Print(failed, ical::ImportReport(outcome));
    if (!outcome.error.empty())
        return kExitFileRefused;
    if (outcome.stopped)
        return kExitWriteFailed;
    return outcome.plan.refused.empty() ? kExitDone : kExitLeftOut;
}
