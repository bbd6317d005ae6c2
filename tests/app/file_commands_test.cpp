#include "store/calendar_registry.h"
#include "store/registry_value.h"
#include "store/timed_registry.h"
#include "tests/app/calendar_test_window.h"
#include "tests/support/modal_watch.h"
#include "tests/support/program_process.h"
#include "tests/support/scratch_files.h"
#include "tests/support/x_server_input.h"

#include <gtest/gtest.h>

#include <dlgs.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>

namespace qmtest {
namespace {

// "quillmere.exe /export FILE" and "/import FILE" as a script runs them:
// no window and no tray icon of their own, while a copy runs, with an exit
// code for each outcome and their report on the output they were given. An
// appointment's time, duration and alert go out as an event at that time
// with an alarm and come back as they were.
TEST(FileCommandTest, ExportAndImportRunAsProcessesBesideARunningCopy) {
    PrefixStore prefixStore;
    CCalendarRegistry registry;
    ASSERT_TRUE(registry.AddAppointment("2002-5-7", "2002-5-7", "2002-5-9", "Lunch, then the bank",
                                        "EMail", 0, "Bring the forms"));
    ASSERT_TRUE(registry.AddAppointment("2002-5-8", "2002-5-8", "2002-5-8",
                                        "Caf\xC3\xA9 \xE2\x80\x94 8 pm", "Movie", 3, ""));
    {
        const std::string day = std::string(kCalendarRootPath) + "\\2002-5-8";
        const std::vector<std::string> names = Subkeys(day);
        ASSERT_EQ(1u, names.size());
        fw::unique_hkey key;
        ASSERT_EQ(ERROR_SUCCESS, OpenMachineKey(day + "\\" + names[0], KEY_SET_VALUE, key, false));
        ASSERT_TRUE(WriteTimedValues(key.get(), {20 * 60, 150, 15, ""}));
    }
    ProgramProcess running;
    ASSERT_TRUE(PumpUntil(
        [&] {
            HWND main = running.MainWindow();
            return main != nullptr && IsWindowVisible(main);
        },
        30000));
    const int icons = TrayIconCount();

    ScratchFiles files;
    const std::string output = files.Path("output.txt");
    auto run = [&](const std::string& arguments) {
        ProgramProcess command(-1, {}, arguments, output);
        int windows = 0;
        for (DWORD waited = 0; command.Running() && waited < 60000; waited += 5) {
            windows += command.VisibleWindows();
            Sleep(5);
        }
        DWORD code = 99;
        EXPECT_TRUE(command.WaitForExit(10000, &code)) << arguments;
        EXPECT_EQ(0, windows) << arguments;
        return code;
    };

    const std::string file = files.Path("process.ics");
    EXPECT_EQ(0u, run("/export \"" + file + "\""));
    EXPECT_EQ("Exported 2 appointments to " + file + ".\r\n", ScratchFiles::Read(output));
    const std::string exported = ScratchFiles::Read(file);
    EXPECT_TRUE(Contains(exported, "SUMMARY:Lunch\\, then the bank\r\n"));
    EXPECT_TRUE(Contains(exported, "T200000")) << exported;
    EXPECT_TRUE(Contains(exported, "T223000")) << exported;
    EXPECT_TRUE(Contains(exported, "BEGIN:VALARM\r\nACTION:DISPLAY\r\n")) << exported;
    EXPECT_TRUE(Contains(exported, "TRIGGER:-PT15M\r\n")) << exported;
    const std::vector<std::string> contents = StoreContents();

    EXPECT_EQ(0u, run("/IMPORT \"" + file + "\""));
    EXPECT_TRUE(
        Contains(ScratchFiles::Read(output), ": 0 appointments filed, 2 duplicates skipped"));
    EXPECT_EQ(contents, StoreContents());
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, kCalendarRootPath);
    EXPECT_EQ(0u, run("/import \"" + file + "\""));
    // Each comes back with the UID it was exported with, and the file's stamp.
    EXPECT_EQ(contents, WithoutValues(StoreContents(), {"UID", "STAMP"}));

    const std::string refusing = files.Path("refusing.ics");
    std::ofstream(refusing, std::ios::binary)
        << "BEGIN:VCALENDAR\r\nBEGIN:VEVENT\r\nSUMMARY:no date\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n";
    EXPECT_EQ(4u, run("/import \"" + refusing + "\""));
    EXPECT_TRUE(Contains(ScratchFiles::Read(output), "Line 2 \"no date\": it has no DTSTART."));
    EXPECT_EQ(1u, run("/export"));
    EXPECT_TRUE(Contains(ScratchFiles::Read(output), "Usage: quillmere.exe /export FILE.ics"));
    EXPECT_EQ(2u, run("/import \"" + files.Path("missing.ics") + "\""));
    EXPECT_EQ(3u, run("/export C:\\no\\such\\folder\\calendar.ics"));

    EXPECT_TRUE(running.Running());
    EXPECT_EQ(1, RunningCopies());
    EXPECT_EQ(icons, TrayIconCount());
}

// The file dialog's name box: the edit inside its combo box (the
// explorer-style dialog) or its plain edit.
HWND FileNameBox(HWND dialog) {
    for (const int id : {cmb13, edt1}) {
        HWND control = GetDlgItem(dialog, id);
        if (control == nullptr || !IsWindowVisible(control))
            continue;
        HWND edit = control;
        EnumChildWindows(
            control,
            [](HWND child, LPARAM lp) -> BOOL {
                char cls[16] = {};
                GetClassNameA(child, cls, sizeof cls);
                if (lstrcmpiA(cls, "Edit") != 0)
                    return TRUE;
                *reinterpret_cast<HWND*>(lp) = child;
                return FALSE;
            },
            reinterpret_cast<LPARAM>(&edit));
        return edit;
    }
    return nullptr;
}

// Types the path into the file dialog of that title and presses its Save or
// Open button, as a user would. A dialog without a name box is cancelled,
// so that the test fails instead of waiting.
ModalWatch TypeInFileDialog(const std::string& title, const std::string& path) {
    return ModalWatch(HasCaption(title), [path](HWND dialog) {
        HWND box = FileNameBox(dialog);
        const int button = box != nullptr ? IDOK : IDCANCEL;
        if (box != nullptr)
            SetWindowTextA(box, path.c_str());
        else
            ADD_FAILURE() << "no file name box in the file dialog";
        PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(dialog, button)));
    });
}

using FileMenuTest = CalendarWindowTest;

// The whole way a user goes: File > Export..., the save dialog, the summary;
// then on an emptied store File > Import..., the open dialog, the summary,
// and the shown day lists what came back.
TEST_F(FileMenuTest, ExportAndImportThroughTheFileMenuAndTheFileDialogs) {
    PutAppointment("2002-5-7", "Appointment 1", "2002-5-7", "2002-5-7", "Lunch", "EMail", 0,
                   "Bring the forms");
    PutAppointment("2002-5-7", "Appointment 2", "2002-5-1", "2002-5-9", "Cinema", "Movie", 3, "");
    PutAppointment("2002-5-9", "Appointment 3", "2002-5-9", "2002-5-12", "Trip", "Holiday", 5, "");
    const std::vector<std::string> contents = StoreContents();
    ScratchFiles files;
    const std::string path = files.Path("menu.ics");
    Open();
    ASSERT_EQ(2, RowCount());

    {
        ModalWatch save = TypeInFileDialog("Export Calendar", path);
        boxes.Answer(IDOK);
        Command(ID_FILE_EXPORT);
        EXPECT_TRUE(save.Acted());
    }
    ASSERT_EQ(1u, boxes.Count());
    EXPECT_EQ("Exported 3 appointments to " + path + ".", boxes.Last().text);
    EXPECT_EQ(Hwnd(), boxes.Last().owner);
    EXPECT_EQ("Quillmere", boxes.Last().shownCaption);
    EXPECT_TRUE(Contains(ScratchFiles::Read(path), "SUMMARY:Trip\r\n"));

    DeleteKey("SOFTWARE\\Calendar");
    Command(IDC_GO_TODAY);
    ASSERT_EQ(0, RowCount());
    {
        ModalWatch open = TypeInFileDialog("Import Calendar", path);
        boxes.Answer(IDOK);
        Command(ID_FILE_IMPORT);
        EXPECT_TRUE(open.Acted());
    }
    ASSERT_EQ(2u, boxes.Count());
    EXPECT_EQ("Imported " + path +
                  ": 3 appointments filed, 0 duplicates skipped, 0 events refused.",
              boxes.Last().text);
    EXPECT_EQ(contents, WithoutValues(StoreContents(), {"UID", "STAMP"}));
    EXPECT_EQ(2, RowCount()) << "the shown day lists what was filed";
}

// A calendar of 4000 one-day events, long enough to import for a while.
std::string WriteLongCalendar(ScratchFiles& files) {
    const std::string path = files.Path("long.ics");
    std::ofstream out(path, std::ios::binary);
    out << "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//test//long//EN\r\n";
    for (int i = 0; i < 4000; ++i) {
        char day[16];
        std::snprintf(day, sizeof day, "2003%02d%02d", i / 10 / 28 % 12 + 1, i / 10 % 28 + 1);
        out << "BEGIN:VEVENT\r\nUID:long-" << i << "\r\nDTSTART;VALUE=DATE:" << day
            << "\r\nSUMMARY:Event " << i << "\r\nEND:VEVENT\r\n";
    }
    out << "END:VCALENDAR\r\n";
    return path;
}

// The appointments the progress box says are filed; -1 before it counts them.
int FiledInBox(HWND box) {
    char text[128] = {};
    GetDlgItemTextA(box, IDC_TRANSFER_FILED, text, sizeof text);
    int n = -1;
    return std::sscanf(text, "Appointments filed: %d", &n) == 1 ? n : -1;
}

// A long import runs beside the window: while it files, the main window
// answers at once, the progress box counts, and Cancel (clicked through the
// X server as a mouse clicks) stops it between two appointments; the summary
// says how many were filed, and exactly those are in the store.
TEST_F(FileMenuTest, CancelStopsALongImportBetweenAppointmentsWhileTheWindowAnswers) {
    ScratchFiles files;
    const std::string path = WriteLongCalendar(files);
    Open();
    const HWND main = Hwnd();

    // Another thread, as another program would: it finds the progress box,
    // asks the main window for answers while appointments are filed, then
    // clicks Cancel.
    std::atomic<bool> sawBox{false}, clicked{false};
    std::atomic<long long> slowestMicros{-1};
    std::atomic<int> asked{0};
    std::string filedBeforeCancel;
    std::thread other([&] {
        HWND box = nullptr;
        const auto start = std::chrono::steady_clock::now();
        const auto waited = [&] { return std::chrono::steady_clock::now() - start; };
        while (box == nullptr && waited() < std::chrono::seconds(60)) {
            box = FindWindowA(nullptr, "Importing Calendar");
            Sleep(5);
        }
        if (box == nullptr)
            return;
        sawBox = true;
        const auto filed = [&] { return FiledInBox(box); };
        while (IsWindow(box) && filed() < 300 && waited() < std::chrono::seconds(120)) {
            const auto before = std::chrono::steady_clock::now();
            DWORD_PTR unused = 0;
            if (SendMessageTimeoutA(main, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &unused) == 0)
                slowestMicros = 5000000;
            const long long micros = std::chrono::duration_cast<std::chrono::microseconds>(
                                         std::chrono::steady_clock::now() - before)
                                         .count();
            slowestMicros = std::max(slowestMicros.load(), micros);
            ++asked;
            Sleep(10);
        }
        filedBeforeCancel = std::to_string(filed());
        HWND cancel = GetDlgItem(box, IDCANCEL);
        RECT rect{};
        GetWindowRect(cancel, &rect);
        if (XServerInput::Available()) {
            XServerInput x;
            clicked = x.Run("mousemove " + std::to_string((rect.left + rect.right) / 2) + " " +
                            std::to_string((rect.top + rect.bottom) / 2) + " click 1");
        } else {
            clicked = PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                                   reinterpret_cast<LPARAM>(cancel)) != FALSE;
        }
    });
    {
        ModalWatch open = TypeInFileDialog("Import Calendar", path);
        boxes.Answer(IDOK);
        Command(ID_FILE_IMPORT);
        EXPECT_TRUE(open.Acted());
    }
    other.join();
    ASSERT_TRUE(sawBox) << "no progress box while importing";
    EXPECT_TRUE(clicked);
    ASSERT_GT(asked.load(), 0);
    EXPECT_LT(slowestMicros.load(), 1000000) << "the main window kept the other thread waiting";
    std::printf("the main window answered %d times while the import filed; slowest %.1f ms; "
                "%s filed when Cancel was clicked\n",
                asked.load(), slowestMicros.load() / 1000.0, filedBeforeCancel.c_str());

    ASSERT_EQ(1u, boxes.Count());
    const std::string& report = boxes.Last().text;
    std::size_t filed = 0;
    const std::string head = "Importing " + path + " was cancelled after ";
    ASSERT_EQ(0u, report.rfind(head, 0)) << report;
    filed = std::stoul(report.substr(head.size()));
    EXPECT_TRUE(Contains(report, " of 4000 appointments.")) << report;
    EXPECT_GE(filed, 300u);
    EXPECT_LT(filed, 4000u);
    EXPECT_EQ(filed, StoreContents().size()) << "the store holds what the summary says";
}

// Unload from the tray menu while an import runs would take the window from
// under it: the import stops between two appointments, its summary comes,
// and then Unload asks as ever.
TEST_F(FileMenuTest, UnloadDuringAnImportStopsItFirstThenAsks) {
    ScratchFiles files;
    const std::string path = WriteLongCalendar(files);
    Open();
    const HWND main = Hwnd();
    std::atomic<bool> unloadSent{false};
    std::thread tray([&] {
        HWND box = nullptr;
        for (int wait = 0; box == nullptr && wait < 6000; ++wait, Sleep(10))
            box = FindWindowA(nullptr, "Importing Calendar");
        for (int wait = 0; IsWindow(box) && FiledInBox(box) < 100 && wait < 12000; ++wait)
            Sleep(10);
        if (IsWindow(box))
            unloadSent = PostMessageA(main, WM_COMMAND, MAKEWPARAM(ID_TRAY_UNLOAD, 0), 0) != FALSE;
    });
    {
        ModalWatch open = TypeInFileDialog("Import Calendar", path);
        boxes.Answer(IDOK); // the summary
        boxes.Answer(IDNO); // "Unload Quillmere?"
        Command(ID_FILE_IMPORT);
        EXPECT_TRUE(open.Acted());
    }
    tray.join();
    ASSERT_TRUE(unloadSent);
    PumpUntil([&] { return boxes.Count() >= 2; });
    ASSERT_EQ(2u, boxes.Count());
    EXPECT_TRUE(Contains(boxes.Shown()[0].text, " was cancelled after ")) << boxes.Shown()[0].text;
    EXPECT_EQ("Unload Quillmere?", boxes.Shown()[1].text);
    EXPECT_TRUE(IsWindow(main));
    EXPECT_LT(StoreContents().size(), 4000u);
}

} // namespace
} // namespace qmtest
