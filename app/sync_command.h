#pragma once

#include <string>
#include <vector>

// "quillmere.exe /sync-account URL USER [/calendar NAME] [/allow-unencrypted]"
// sets up the sync account: the password comes from standard input (one
// line, never echoed), the calendars are found, the one chosen is checked,
// and the account and password are saved. "quillmere.exe /sync [/confirm]"
// runs one sync of the saved account. Both open no window and run beside a
// running copy.
struct SyncCommand {
    enum class Kind { None, Account, Sync, Invalid };
    Kind kind = Kind::None;
    std::string url;      // UTF-8
    std::string user;     // UTF-8
    std::string calendar; // a display name or an address; "" for the only one
    bool allowUnencrypted = false;
    bool confirm = false; // go on past a guard (many deletions, an empty server)
};

// Exit codes of the sync commands, after those of the file commands
// (command_line.h): 0 done, 1 bad arguments.
inline constexpr int kExitNoAccount = 5;        // no account saved, or no password for it
inline constexpr int kExitSyncFailed = 6;       // the server could not be used; nothing lost
inline constexpr int kExitNeedsConfirm = 7;     // a guard stopped it: "/sync /confirm" goes on
inline constexpr int kExitItemsSkipped = 8;     // done, but some items were skipped
inline constexpr int kExitSyncBusy = 9;         // another sync of this user is running
inline constexpr int kExitChooseCalendar = 10;  // several calendars, or none by that name: listed
inline constexpr int kExitAccountNotSaved = 11; // the registry or Credential Manager refused it

SyncCommand ParseSyncCommand(const std::vector<std::string>& arguments);

// Runs the command, writes its report and returns the exit code.
int RunSyncCommand(const SyncCommand& command);
