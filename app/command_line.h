#pragma once

#include <string>
#include <vector>

// "quillmere.exe /export FILE" and "quillmere.exe /import FILE": the whole
// calendar to or from an iCalendar file, for scripts and backups. They open
// no window and no tray icon, purge nothing, show no splash and run beside
// a running copy. Any other command line is a normal launch.
struct FileCommand {
    enum class Kind { None, Export, Import, Invalid };
    Kind kind = Kind::None;
    std::string path; // UTF-8
};

// Exit codes of a file command.
inline constexpr int kExitDone = 0;
inline constexpr int kExitBadArguments = 1;
inline constexpr int kExitFileRefused = 2; // unreadable or refused whole; nothing filed
inline constexpr int kExitWriteFailed = 3; // the export file, or an import stopped part way
inline constexpr int kExitLeftOut = 4;     // done, but appointments skipped or events refused

// Reads the arguments that follow the program's name.
FileCommand ParseFileCommand(const std::vector<std::string>& arguments);

// This process's arguments after the program's name, as UTF-8.
std::vector<std::string> ProcessArguments();

// Writes a command's report (CR LF line ends) to where the program's output
// goes: the file or pipe it was sent to, else the console it was started
// from; `isError` picks standard error.
void PrintCommandOutput(bool isError, const std::string& text);

// Runs an export or import, writes its report to the console or the files
// the program's output goes to, and returns the exit code.
int RunFileCommand(const FileCommand& command);
