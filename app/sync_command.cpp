#include "app/sync_command.h"

#include "app/command_line.h"
#include "sync/credential_store.h"
#include "sync/sync_account.h"
#include "sync/sync_session.h"

#include <windows.h>

namespace {

constexpr const char* kUsage =
    "Usage: quillmere.exe /sync-account URL USER [/calendar NAME] [/allow-unencrypted]\n"
    "       (the password is read from standard input)\n"
    "       quillmere.exe /sync [/confirm]";

// A password longer than this is not a line someone typed or piped.
constexpr std::size_t kMaxPassword = 4096;

bool IsSwitch(const std::string& argument, const char* name) {
    return lstrcmpiA(argument.c_str(), name) == 0;
}

// Turns echo off on a console while the password is typed, and back on.
class HiddenTyping {
public:
    explicit HiddenTyping(HANDLE input) : m_input(input) {
        if (GetConsoleMode(m_input, &m_mode))
            m_changed = SetConsoleMode(m_input, m_mode & ~ENABLE_ECHO_INPUT) != FALSE;
    }
    ~HiddenTyping() {
        if (m_changed)
            SetConsoleMode(m_input, m_mode);
    }
    HiddenTyping(const HiddenTyping&) = delete;
    HiddenTyping& operator=(const HiddenTyping&) = delete;
    bool OnConsole() const { return m_changed; }

private:
    HANDLE m_input;
    DWORD m_mode = 0;
    bool m_changed = false;
};

// One line of standard input, without its line end; false when there is no
// input at all or the line is too long.
bool ReadPasswordLine(std::string& password) {
    password.clear();
    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    if (input == nullptr || input == INVALID_HANDLE_VALUE)
        return false;
    HiddenTyping hidden(input);
    if (hidden.OnConsole()) {
        PrintCommandOutput(true, "Password: ");
        std::wstring typed;
        for (;;) {
            wchar_t c = 0;
            DWORD read = 0;
            if (!ReadConsoleW(input, &c, 1, &read, nullptr) || read == 0 || c == L'\n')
                break;
            if (c != L'\r')
                typed += c;
            if (typed.size() > kMaxPassword)
                return false;
        }
        PrintCommandOutput(true, "\n");
        const int size = WideCharToMultiByte(
            CP_UTF8, 0, typed.data(), static_cast<int>(typed.size()), nullptr, 0, nullptr, nullptr);
        password.resize(static_cast<std::size_t>(size));
        WideCharToMultiByte(CP_UTF8, 0, typed.data(), static_cast<int>(typed.size()),
                            password.data(), size, nullptr, nullptr);
        SecureZeroMemory(typed.data(), typed.size() * sizeof(wchar_t));
        return true;
    }
    // A file or a pipe: its bytes are UTF-8. One byte at a time, so that
    // nothing after the line is taken from a pipe another reader shares.
    bool any = false;
    for (;;) {
        char c = 0;
        DWORD read = 0;
        if (!ReadFile(input, &c, 1, &read, nullptr) || read == 0)
            break;
        any = true;
        if (c == '\n')
            break;
        password += c;
        if (password.size() > kMaxPassword)
            return false;
    }
    if (!password.empty() && password.back() == '\r')
        password.pop_back();
    return any;
}

std::string Trimmed(std::string url) {
    while (!url.empty() && url.back() == '/')
        url.pop_back();
    return url;
}

std::string CalendarList(const caldav::DiscoveryResult& found) {
    std::string list;
    for (const caldav::CalendarInfo& calendar : found.calendars)
        list += "  " + (calendar.displayName.empty() ? "(no name)" : calendar.displayName) + "  " +
                calendar.url + "\n";
    return list;
}

int SetUpAccount(const SyncCommand& command) {
    std::string password;
    if (!ReadPasswordLine(password)) {
        PrintCommandOutput(true, "The password is read from standard input, one line; none came.");
        return kExitBadArguments;
    }
    const caldav::DiscoveryResult found =
        caldav::DiscoverCalendars(command.url, command.user, password, command.allowUnencrypted);
    if (!found.ok) {
        PrintCommandOutput(true, "No calendars found at " + command.url + ": " + found.message);
        return kExitSyncFailed;
    }
    const caldav::CalendarInfo* chosen = nullptr;
    int matches = 0;
    for (const caldav::CalendarInfo& calendar : found.calendars) {
        const bool match = command.calendar.empty()
                               ? found.calendars.size() == 1
                               : calendar.displayName == command.calendar ||
                                     Trimmed(calendar.url) == Trimmed(command.calendar);
        if (match) {
            chosen = &calendar;
            ++matches;
        }
    }
    if (chosen == nullptr || matches > 1) {
        std::string why = found.calendars.empty()
                              ? "The server lists no calendar that holds events."
                          : command.calendar.empty()
                              ? "The server lists several calendars; name one with /calendar:"
                          : matches > 1 ? "Several calendars are named \"" + command.calendar +
                                              "\"; name one by its address:"
                                        : "No calendar is named \"" + command.calendar + "\":";
        PrintCommandOutput(true, why + "\n" + CalendarList(found));
        return kExitChooseCalendar;
    }
    // The calendar's own address must answer as a calendar too: that is the
    // address every sync uses.
    const caldav::DiscoveryResult checked =
        caldav::DiscoverCalendars(chosen->url, command.user, password, command.allowUnencrypted);
    if (!checked.ok || checked.calendars.size() != 1) {
        PrintCommandOutput(
            true, "The calendar " + chosen->url + " cannot be used: " +
                      (checked.ok ? "it does not answer as one calendar." : checked.message));
        return kExitSyncFailed;
    }

    caldav::SyncAccount account;
    const bool had = caldav::LoadAccount(account);
    const std::string oldAddress = had ? account.address : std::string();
    account.address = command.url;
    account.calendarUrl = checked.calendars[0].url;
    account.calendarName = chosen->displayName;
    account.user = command.user;
    account.allowUnencrypted = command.allowUnencrypted;
    account.assumeBasic = false; // learnt again by the first sync
    const unsigned long saved = caldav::SavePassword(account.address, account.user, password);
    SecureZeroMemory(password.data(), password.size());
    if (saved != ERROR_SUCCESS) {
        PrintCommandOutput(true, "The password could not be saved in Windows' Credential Manager "
                                 "(error " +
                                     std::to_string(saved) + ").");
        return kExitAccountNotSaved;
    }
    if (!caldav::SaveAccount(account)) {
        PrintCommandOutput(true, "The account could not be saved in the registry.");
        return kExitAccountNotSaved;
    }
    if (had && oldAddress != account.address)
        caldav::DeletePassword(oldAddress);
    PrintCommandOutput(false, "Sync account saved: the calendar \"" + account.calendarName +
                                  "\" (" + account.calendarUrl + ") as " + account.user + ".");
    return kExitDone;
}

int SyncOnce(const SyncCommand& command) {
    caldav::SyncRunOptions options;
    options.confirmDeletions = command.confirm;
    options.confirmEmptyServer = command.confirm;
    const caldav::SyncRunResult result = caldav::RunSync(options);
    switch (result.kind) {
    case caldav::SyncRunResult::Kind::NoAccount:
        PrintCommandOutput(true, result.words);
        return kExitNoAccount;
    case caldav::SyncRunResult::Kind::Busy:
        PrintCommandOutput(true, result.words);
        return kExitSyncBusy;
    case caldav::SyncRunResult::Kind::Ran:
        break;
    }
    const caldav::SyncReport& report = result.report;
    const bool failed = report.status == caldav::SyncStatus::Failed ||
                        report.status == caldav::SyncStatus::NeedsConfirmation;
    PrintCommandOutput(failed, result.words + "\n" + std::to_string(report.requests) +
                                   (report.requests == 1 ? " request." : " requests."));
    switch (report.status) {
    case caldav::SyncStatus::Done:
        return kExitDone;
    case caldav::SyncStatus::DoneWithErrors:
        return kExitItemsSkipped;
    case caldav::SyncStatus::NeedsConfirmation:
        return kExitNeedsConfirm;
    case caldav::SyncStatus::Failed:
        break;
    }
    return kExitSyncFailed;
}

} // namespace

SyncCommand ParseSyncCommand(const std::vector<std::string>& arguments) {
    SyncCommand command;
    if (arguments.empty())
        return command;
    if (IsSwitch(arguments[0], "/sync")) {
        command.kind = SyncCommand::Kind::Sync;
        for (std::size_t i = 1; i < arguments.size(); ++i) {
            if (IsSwitch(arguments[i], "/confirm") && !command.confirm)
                command.confirm = true;
            else
                command.kind = SyncCommand::Kind::Invalid;
        }
        return command;
    }
    if (!IsSwitch(arguments[0], "/sync-account"))
        return command;
    command.kind = SyncCommand::Kind::Account;
    std::vector<std::string> positional;
    bool namedCalendar = false;
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        if (IsSwitch(arguments[i], "/calendar") && !namedCalendar && i + 1 < arguments.size()) {
            command.calendar = arguments[++i];
            namedCalendar = true;
        } else if (IsSwitch(arguments[i], "/allow-unencrypted") && !command.allowUnencrypted) {
            command.allowUnencrypted = true;
        } else if (!arguments[i].empty() && arguments[i][0] != '/') {
            positional.push_back(arguments[i]);
        } else {
            command.kind = SyncCommand::Kind::Invalid;
        }
    }
    if (positional.size() != 2 || (namedCalendar && command.calendar.empty()))
        command.kind = SyncCommand::Kind::Invalid;
    else {
        command.url = positional[0];
        command.user = positional[1];
    }
    return command;
}

int RunSyncCommand(const SyncCommand& command) {
    switch (command.kind) {
    case SyncCommand::Kind::Account:
        return SetUpAccount(command);
    case SyncCommand::Kind::Sync:
        return SyncOnce(command);
    case SyncCommand::Kind::None:
    case SyncCommand::Kind::Invalid:
        break;
    }
    PrintCommandOutput(true, kUsage);
    return kExitBadArguments;
}
