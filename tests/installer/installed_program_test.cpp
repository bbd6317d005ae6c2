// The installer end to end, in the build's private Wine prefix: a silent
// installation of Quillmere-<version>-setup.exe, what it put in place, the
// access it gave, and a silent uninstallation that keeps the appointments.
// ctest runs these as installer_round_trip, in this order.
#include "app/single_instance.h"
#include "framework/unique_handle.h"
#include "framework/utf_text.h"
#include "store/calendar_registry.h"
#include "tests/installer/key_security.h"
#include "tests/support/program_process.h"
#include "tests/support/registry_sandbox.h"
#include "tests/support/window_testing.h"
#include "version.h"

#include <gtest/gtest.h>

#include <sddl.h>
#include <shlobj.h>

#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>

namespace qmtest {
namespace {

const std::string kRoot = "SOFTWARE\\Calendar";
const std::string kUninstallKey =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Quillmere";

std::string Folder(int csidl) {
    char path[MAX_PATH] = "";
    SHGetFolderPathA(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path);
    return path;
}
const std::string kInstallDir = Folder(CSIDL_PROGRAM_FILES) + "\\Quillmere";
const std::string kProgram = kInstallDir + "\\quillmere.exe";
const std::string kUninstaller = kInstallDir + "\\uninstall.exe";
const std::string kStartMenuShortcut = Folder(CSIDL_COMMON_PROGRAMS) + "\\Quillmere.lnk";
const std::string kSignInShortcut = Folder(CSIDL_COMMON_STARTUP) + "\\Quillmere.lnk";

bool FileExists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}
std::string FileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}
std::string Lower(std::string text) {
    CharLowerBuffA(text.data(), static_cast<DWORD>(text.size()));
    return text;
}

// Runs a command line to its end; its exit code, or -1.
long RunCommand(std::string commandLine) {
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &info))
        return -1;
    CloseHandle(info.hThread);
    fw::unique_handle process(info.hProcess);
    DWORD code = 0;
    if (WaitForSingleObject(process.get(), 120000) != WAIT_OBJECT_0 ||
        !GetExitCodeProcess(process.get(), &code))
        return -1;
    return static_cast<long>(code);
}

// Runs a command line to its end, answering its first message box with
// Cancel: its exit code (-1 when it did not end) and the box's text (empty
// when none came).
struct AnsweredRun {
    long exitCode = -1;
    std::string message;
};
AnsweredRun RunCancellingItsMessage(std::string commandLine) {
    AnsweredRun run;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &info))
        return run;
    CloseHandle(info.hThread);
    fw::unique_handle process(info.hProcess);
    struct Search {
        DWORD process;
        HWND box;
    } search{info.dwProcessId, nullptr};
    for (DWORD waited = 0; waited < 60000 && search.box == nullptr; waited += 50) {
        if (WaitForSingleObject(process.get(), 50) == WAIT_OBJECT_0)
            break;
        EnumWindows(
            [](HWND window, LPARAM lp) -> BOOL {
                auto* s = reinterpret_cast<Search*>(lp);
                DWORD owner = 0;
                wchar_t kind[16] = L"";
                GetWindowThreadProcessId(window, &owner);
                GetClassNameW(window, kind, 16);
                if (owner != s->process || !IsWindowVisible(window) ||
                    std::wstring(kind) != L"#32770" || GetDlgItem(window, 0xFFFF) == nullptr)
                    return TRUE;
                s->box = window;
                return FALSE;
            },
            reinterpret_cast<LPARAM>(&search));
    }
    if (search.box != nullptr) {
        wchar_t text[2048] = L"";
        DWORD_PTR copied = 0;
        SendMessageTimeoutW(GetDlgItem(search.box, 0xFFFF), WM_GETTEXT, std::size(text),
                            reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 5000, &copied);
        run.message = fw::Narrow(text);
        PostMessageW(search.box, WM_COMMAND, IDCANCEL, 0);
    }
    DWORD code = 0;
    if (WaitForSingleObject(process.get(), 120000) == WAIT_OBJECT_0 &&
        GetExitCodeProcess(process.get(), &code))
        run.exitCode = static_cast<long>(code);
    return run;
}

// A mutex of this name that this process may not open: another account's.
fw::unique_handle OthersMutex(const char* name) {
    // Wine lets an owner open anything, so it is SYSTEM's.
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(
            L"O:SYD:(A;;GA;;;SY)", SDDL_REVISION_1, &descriptor, nullptr))
        return {};
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
    fw::unique_handle mutex(CreateMutexExW(&attributes, fw::Widen(name).c_str(), 0, SYNCHRONIZE));
    LocalFree(descriptor);
    return mutex;
}

// What a shortcut starts, as the shell reads it.
std::string ShortcutTarget(const std::string& path) {
    IShellLinkA* link = nullptr;
    IPersistFile* file = nullptr;
    char target[MAX_PATH] = "";
    const std::wstring widePath(path.begin(), path.end());
    if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                   reinterpret_cast<void**>(&link))) &&
        SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file))) &&
        SUCCEEDED(file->Load(widePath.c_str(), STGM_READ)))
        link->GetPath(target, sizeof target, nullptr, 0);
    if (file != nullptr)
        file->Release();
    if (link != nullptr)
        link->Release();
    return target;
}
// A shortcut's show command, from its file's header (MS-SHLLINK: 0x4C bytes,
// ShowCommand at 0x3C): Wine's shell does not read that field back.
int ShortcutShowCommand(const std::string& path) {
    const std::string bytes = FileBytes(path);
    int show = -1;
    if (bytes.size() >= 0x4C && bytes[0] == 0x4C)
        std::memcpy(&show, bytes.data() + 0x3C, sizeof show);
    return show;
}

std::string VersionString(const std::string& file, const char* name) {
    DWORD ignored = 0;
    std::string block(GetFileVersionInfoSizeA(file.c_str(), &ignored), '\0');
    char* value = nullptr;
    UINT length = 0;
    const std::string query = std::string("\\StringFileInfo\\040904b0\\") + name;
    if (block.empty() ||
        !GetFileVersionInfoA(file.c_str(), 0, static_cast<DWORD>(block.size()), block.data()) ||
        !VerQueryValueA(block.data(), query.c_str(), reinterpret_cast<void**>(&value), &length))
        return {};
    return value;
}

// A value of the Add/Remove Programs entry: its text, or its number.
std::string Entry(const char* name) {
    const RawValue value = ReadRaw(kUninstallKey, name);
    if (value.type == REG_DWORD && value.bytes.size() == 4) {
        DWORD number = 0;
        std::memcpy(&number, value.bytes.data(), 4);
        return std::to_string(number);
    }
    return value.exists ? std::string(value.bytes.c_str()) : "(missing)";
}

class InstalledProgram : public ::testing::Test {
public:
    static void SetUpTestSuite() {
        CoInitialize(nullptr);
        if (!PrefixStore::InPrivatePrefix())
            return;
        // The store as a user left it before Quillmere was installed.
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, kRoot.c_str());
        PutAppointment("2002-5-7", "Appointment 1", "2002-5-7", "2002-5-7", "Lunch", "EMail", 0,
                       "with Ann");
        PutAppointment("2002-5-8", "Appointment 2", "2002-5-1", "2002-5-9", "Fishing", "Fishing",
                       2);
        SetDword(kRoot + "\\OPTIONS", "SPLASH", 0);
        const std::string setup = BuildOutput("Quillmere-" QUILLMERE_VERSION_TEXT "-setup.exe");
        s_installExit = RunCommand("\"" + setup + "\" /S");
    }
    static void TearDownTestSuite() {
        if (PrefixStore::InPrivatePrefix()) {
            if (FileExists(kUninstaller))
                RunCommand("\"" + kUninstaller + "\" /S _?=" + kInstallDir);
            RegDeleteTreeA(HKEY_LOCAL_MACHINE, kRoot.c_str());
        }
        CoUninitialize();
    }

protected:
    void SetUp() override {
        ASSERT_TRUE(PrefixStore::InPrivatePrefix())
            << "this installs into its Wine prefix: run it through ctest, in the build's own";
        ASSERT_EQ(0, s_installExit) << "the silent installation";
    }
    static inline long s_installExit = -1;
};

TEST_F(InstalledProgram, PutsTheProgramItsShortcutsAndItsEntryInPlaceWithOneVersion) {
    ASSERT_TRUE(FileExists(kProgram));
    EXPECT_EQ(FileBytes(BuildOutput("quillmere.exe")), FileBytes(kProgram));
    EXPECT_TRUE(FileExists(kUninstaller));
    EXPECT_FALSE(FileExists(kInstallDir + "\\quillmere-access.exe")) << "run, not installed";

    EXPECT_EQ(Lower(kProgram), Lower(ShortcutTarget(kStartMenuShortcut)));
    EXPECT_EQ(SW_SHOWNORMAL, ShortcutShowCommand(kStartMenuShortcut));
    // "Start Quillmere when I sign in" is on by default: run minimised, which
    // starts Quillmere hidden (the shell stores that as SW_SHOWMINNOACTIVE).
    EXPECT_EQ(Lower(kProgram), Lower(ShortcutTarget(kSignInShortcut)));
    EXPECT_EQ(SW_SHOWMINNOACTIVE, ShortcutShowCommand(kSignInShortcut));

    EXPECT_EQ("Quillmere", Entry("DisplayName"));
    EXPECT_EQ(QUILLMERE_VERSION_TEXT, Entry("DisplayVersion"));
    EXPECT_EQ("The Quillmere Project", Entry("Publisher"));
    EXPECT_EQ(Lower(kProgram + ",0"), Lower(Entry("DisplayIcon")));
    EXPECT_EQ(Lower(kInstallDir), Lower(Entry("InstallLocation")));
    EXPECT_EQ(Lower("\"" + kUninstaller + "\""), Lower(Entry("UninstallString")));
    EXPECT_EQ(Lower("\"" + kUninstaller + "\" /S"), Lower(Entry("QuietUninstallString")));
    EXPECT_EQ("1", Entry("NoModify"));
    EXPECT_EQ("1", Entry("NoRepair"));
    const size_t installedKb = (FileBytes(kProgram).size() + FileBytes(kUninstaller).size()) / 1024;
    EXPECT_NEAR(static_cast<double>(installedKb), std::stod(Entry("EstimatedSize")), 2.0);

    // The installer's name (found above), the entry and the program's version
    // resource carry the one version.
    EXPECT_EQ(QUILLMERE_VERSION_TEXT, VersionString(kProgram, "ProductVersion"));
    EXPECT_EQ("The Quillmere Project", VersionString(kProgram, "CompanyName"));
    EXPECT_EQ("Copyright (C) 2026 The Quillmere Project",
              VersionString(kProgram, "LegalCopyright"));
}

TEST_F(InstalledProgram,
       GivesUsersReadWriteAndDeleteOnTheStoreAndTheKeysThereBeforeAndOwnersNoMore) {
    for (const std::string& path :
         {kRoot, kRoot + "\\2002-5-7", kRoot + "\\2002-5-7\\Appointment 1", kRoot + "\\2002-5-8",
          kRoot + "\\2002-5-8\\Appointment 2", kRoot + "\\OPTIONS"}) {
        const KeyAccess access = ReadKeyAccess(path);
        std::cout << "HKLM\\" << path << ": " << access.sddl << "\n";
        EXPECT_TRUE(GrantsUsersTheStore(access, path == kRoot ? kOwnEntry : kInheritedEntry))
            << path;
        EXPECT_TRUE(LimitsOwnersToUsersRights(access, path == kRoot)) << path;
        EXPECT_EQ("S-1-5-32-544", access.owner) << "Administrators still own " << path;
    }
    const std::vector<AccessEntry> root = ReadKeyAccess(kRoot).entries;
    EXPECT_TRUE(std::any_of(root.begin(), root.end(), [](const AccessEntry& e) {
        return e.sid == "S-1-5-32-544" && (e.mask & KEY_ALL_ACCESS) == KEY_ALL_ACCESS;
    })) << "the administrators keep full access";
}

TEST_F(InstalledProgram, AnAppointmentFiledAfterwardsInheritsTheUsersEntry) {
    CCalendarRegistry registry;
    ASSERT_TRUE(
        registry.AddAppointment("2002-5-9", "2002-5-9", "2002-5-9", "Film", "Movie", 3, ""));
    const KeyAccess day = ReadKeyAccess(kRoot + "\\2002-5-9");
    std::cout << "HKLM\\" << kRoot << "\\2002-5-9 (filed afterwards): " << day.sddl << "\n";
    const bool wine = GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr;
    if (wine && !GrantsUsersTheStore(day, kInheritedEntry))
        GTEST_SKIP() << "Wine gives a new key a default descriptor without inherited entries; "
                        "Windows applies them when the key is made";
    EXPECT_TRUE(GrantsUsersTheStore(day, kInheritedEntry));
}

// The installer and the uninstaller looked only in their own session, and a
// copy in another user's session (common with the start at sign-in for every
// user) let an upgrade meet a program file in use, and an uninstallation
// remove the entry and leave the program. Such a copy is played here by one
// that holds the machine-wide marker with a session mutex of its own, the
// real one being out of another session's sight. Both wait, and say for what.
TEST_F(InstalledProgram, SetupAndUninstallWaitForACopyInAnotherUsersSession) {
    const std::string setup = BuildOutput("Quillmere-" QUILLMERE_VERSION_TEXT "-setup.exe");
    CSingleInstance elsewhere("Local\\QuillmereTest.AnotherSession",
                              CSingleInstance::kRunningMarkerName);
    ASSERT_TRUE(elsewhere.Claim(false));

    EXPECT_EQ(2, RunCommand("\"" + setup + "\" /S")) << "a second installation waits";
    EXPECT_EQ(2, RunCommand("\"" + kUninstaller + "\" /S _?=" + kInstallDir));
    EXPECT_TRUE(FileExists(kProgram));
    EXPECT_EQ("Quillmere", Entry("DisplayName"));

    const AnsweredRun removal =
        RunCancellingItsMessage("\"" + kUninstaller + "\" _?=" + kInstallDir);
    EXPECT_EQ(2, removal.exitCode);
    EXPECT_NE(std::string::npos, removal.message.find("Quillmere cannot be removed while it runs."))
        << removal.message;
    EXPECT_NE(std::string::npos,
              removal.message.find("Quillmere is running in another user's session; ask them to "
                                   "Unload it, or sign them out."))
        << removal.message;
    const AnsweredRun upgrade = RunCancellingItsMessage("\"" + setup + "\"");
    EXPECT_EQ(2, upgrade.exitCode);
    EXPECT_NE(std::string::npos,
              upgrade.message.find("Setup cannot install Quillmere " QUILLMERE_VERSION_TEXT
                                   " while Quillmere runs."))
        << upgrade.message;
    EXPECT_NE(std::string::npos, upgrade.message.find("another user's session")) << upgrade.message;
    EXPECT_TRUE(FileExists(kProgram));
}

// "Access denied" used to count as "not running"; a mutex of another
// account's copy, in this session or another, may well be closed to the
// installer. Wine cannot run another account: the mutexes are SYSTEM's.
TEST_F(InstalledProgram, AMutexThatMayNotBeOpenedStillCountsAsARunningCopy) {
    for (const char* name : {CSingleInstance::kMutexName, CSingleInstance::kRunningMarkerName}) {
        const fw::unique_handle others = OthersMutex(name);
        ASSERT_TRUE(others) << name;
        SetLastError(0);
        ASSERT_FALSE(fw::unique_handle(OpenMutexA(SYNCHRONIZE, FALSE, name)));
        ASSERT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError()) << name;
        EXPECT_EQ(2, RunCommand("\"" + kUninstaller + "\" /S _?=" + kInstallDir)) << name;
        EXPECT_TRUE(FileExists(kProgram)) << name;
        EXPECT_EQ("Quillmere", Entry("DisplayName")) << name;
    }
}

// The uninstaller went on when the program could not be deleted: it removed
// the Add/Remove Programs entry and the shortcuts and left the program. Held
// by a process that lets it be written but not deleted, it stays, and so does
// everything else.
TEST_F(InstalledProgram, UninstallLeavesItsEntryWhileTheProgramCannotBeRemoved) {
    HANDLE file = CreateFileA(kProgram.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    const fw::unique_handle held(file);
    EXPECT_EQ(2, RunCommand("\"" + kUninstaller + "\" /S _?=" + kInstallDir));
    EXPECT_TRUE(FileExists(kProgram));
    EXPECT_EQ("Quillmere", Entry("DisplayName"));
    EXPECT_EQ(Lower("\"" + kUninstaller + "\""), Lower(Entry("UninstallString")));
    EXPECT_TRUE(FileExists(kStartMenuShortcut));
    EXPECT_TRUE(FileExists(kSignInShortcut));
}

TEST_F(InstalledProgram, UninstallWaitsForARunningCopyThenRemovesItAllButKeepsTheAppointments) {
    const std::map<std::string, std::string> store = TreeSnapshot(kRoot);
    {
        ProgramProcess running(-1, kProgram);
        ASSERT_TRUE(PumpUntil([&] { return running.MainWindow() != nullptr; }, 30000));
        // In place, so that the exit code is the uninstaller's own.
        EXPECT_EQ(2, RunCommand("\"" + kUninstaller + "\" /S _?=" + kInstallDir))
            << "refused while Quillmere runs";
        EXPECT_TRUE(FileExists(kProgram));
    }
    // The uninstaller runs from a copy of itself and leaves at once.
    ASSERT_EQ(0, RunCommand("\"" + kUninstaller + "\" /S"));
    EXPECT_TRUE(PumpUntil([&] { return !FileExists(kInstallDir); }, 30000));
    EXPECT_FALSE(FileExists(kStartMenuShortcut));
    EXPECT_FALSE(FileExists(kSignInShortcut));
    EXPECT_FALSE(KeyExists(kUninstallKey));
    EXPECT_EQ(store, TreeSnapshot(kRoot)) << "every appointment and option stays";
}

} // namespace
} // namespace qmtest
