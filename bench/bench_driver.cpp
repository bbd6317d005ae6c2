// The benchmark driver: writes the workloads into a private Wine prefix (or a
// redirected HKEY_LOCAL_MACHINE), times the program's own code and processes
// beside their floors, and prints one markdown table.
#include "app/calendar_dlg.h"
#include "bench/floors.h"
#include "bench/workload.h"
#include "framework/clock.h"
#include "framework/unique_handle.h"
#include "res/resource.h"
#include "store/calendar_registry.h"
#include "store/calendar_scanner.h"
#include "store/system_time.h"

#include <windows.h>
#include <commctrl.h>
#include <psapi.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

struct Options {
    std::vector<int> scanSizes{1000, 10000, 50000};
    int listSize = 1000;
    int startupSize = 10000;
    int answerSize = 50000;
    int runs = 5;
    std::string peerFile;
    std::string programExe;
    std::string floorExe;
};

double NowMs() {
    static const double frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return static_cast<double>(f.QuadPart);
    }();
    LARGE_INTEGER c;
    QueryPerformanceCounter(&c);
    return static_cast<double>(c.QuadPart) * 1000.0 / frequency;
}

struct Stats {
    double median = 0;
    double min = 0;
    double max = 0;
    bool valid = false;
};

Stats Summarise(std::vector<double> samples) {
    Stats s;
    if (samples.empty())
        return s;
    std::sort(samples.begin(), samples.end());
    const size_t n = samples.size();
    s.median = n % 2 == 1 ? samples[n / 2] : (samples[n / 2 - 1] + samples[n / 2]) / 2;
    s.min = samples.front();
    s.max = samples.back();
    s.valid = true;
    return s;
}

std::string Cell(const Stats& s, const char* unit) {
    if (!s.valid)
        return "n/a";
    char text[96];
    std::snprintf(text, sizeof text, "%.1f %s (%.1f-%.1f)", s.median, unit, s.min, s.max);
    return text;
}

// Short measures swing most with the machine's load; they get 2R + 1 runs.
int MoreRuns(int runs) {
    return runs == 1 ? 1 : 2 * runs + 1;
}

// One row of the table. `limit` is the target for the ratio (or, for the
// answer time, for the program's value itself); 0 means no target.
struct Row {
    std::string measure;
    std::string n;
    Stats program;
    Stats floor;
    const char* unit = "ms";
    double limit = 0;
    bool absolute = false; // the target bounds the program's value, not a ratio
    std::string floorName;
};

void PrintTable(const std::vector<Row>& rows) {
    std::printf("| Measure | N | Program: median (min-max) | Floor / peer: median (min-max) | "
                "Ratio | Target | Result |\n");
    std::printf("|---|---:|---:|---:|---:|---:|---|\n");
    for (const Row& r : rows) {
        char ratio[32] = "-";
        char target[32] = "-";
        const char* verdict = "info";
        if (r.program.valid && r.floor.valid && r.floor.median > 0)
            std::snprintf(ratio, sizeof ratio, "%.2fx", r.program.median / r.floor.median);
        if (r.limit > 0) {
            bool met = false;
            if (r.absolute) {
                std::snprintf(target, sizeof target, "<= %.0f %s", r.limit, r.unit);
                met = r.program.valid && r.program.median <= r.limit;
            } else {
                std::snprintf(target, sizeof target, "<= %.1fx", r.limit);
                met = r.program.valid && r.floor.valid &&
                      r.program.median <= r.limit * r.floor.median;
            }
            verdict = met ? "PASS" : "MISS";
        }
        std::string floorCell = Cell(r.floor, r.unit);
        if (!r.floorName.empty())
            floorCell = r.floorName + ": " + floorCell;
        std::printf("| %s | %s | %s | %s | %s | %s | %s |\n", r.measure.c_str(), r.n.c_str(),
                    Cell(r.program, r.unit).c_str(), floorCell.c_str(), ratio, target, verdict);
    }
    std::fflush(stdout);
}

// The program's main window as start-up makes it, without a tray icon or a
// splash card of its own in the driver.
class BenchCalendarDlg : public CCalendarDlg {
protected:
    void AddTrayIcon() override {}
    void RunSplash() override {}
};

void Pump(DWORD waitMs) {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    if (waitMs != 0)
        MsgWaitForMultipleObjects(0, nullptr, FALSE, waitMs, QS_ALLINPUT);
}

bool PumpUntil(const std::function<bool()>& done, double timeoutMs) {
    const double start = NowMs();
    while (!done()) {
        if (NowMs() - start > timeoutMs)
            return false;
        Pump(5);
    }
    return true;
}

// A scratch key below HKEY_CURRENT_USER that stands for HKEY_LOCAL_MACHINE
// while one store is measured.
class ScratchRoot {
public:
    explicit ScratchRoot(const std::string& name) : m_path("Software\\QuillmereBench\\" + name) {
        RegDeleteTreeA(HKEY_CURRENT_USER, m_path.c_str());
        fw::unique_hkey parent(
            bench::CreateVolatileKey(HKEY_CURRENT_USER, "Software\\QuillmereBench"));
        if (parent)
            m_key.reset(bench::CreateVolatileKey(parent.get(), name.c_str()));
    }
    ~ScratchRoot() {
        Leave();
        m_key.reset();
        RegDeleteTreeA(HKEY_CURRENT_USER, m_path.c_str());
    }
    ScratchRoot(const ScratchRoot&) = delete;
    ScratchRoot& operator=(const ScratchRoot&) = delete;
    HKEY Key() const { return m_key.get(); }
    void Enter() const { RegOverridePredefKey(HKEY_LOCAL_MACHINE, m_key.get()); }
    static void Leave() { RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr); }

private:
    std::string m_path;
    fw::unique_hkey m_key;
};

// The store a scan runs over: a scratch root, or (for the start-up size) the
// prefix's own HKEY_LOCAL_MACHINE, which the launched program reads.
struct Store {
    int n = 0;
    std::unique_ptr<ScratchRoot> scratch;
    void Enter() const {
        if (scratch)
            scratch->Enter();
        else
            ScratchRoot::Leave();
    }
};

CalendarDate Today() {
    return DateOf(fw::LocalNow());
}

// --- the scan -------------------------------------------------------------

void MeasureScan(const Store& store, int runs, bool withVariants, BenchCalendarDlg& dlg,
                 std::vector<Row>& rows, Stats& remindScan) {
    const CalendarDate today = Today();
    const std::atomic<bool> noStop{false};
    std::vector<double> remind, remindFloor, purge, purgeFloor;
    size_t lines = 0, floorLines = 0;
    store.Enter();
    // Small stores scan in milliseconds, where the load swings most.
    const int scanRuns = store.n <= 1000 ? MoreRuns(runs) : runs;
    for (int run = 0; run < scanRuns; ++run) {
        double t = NowMs();
        // A scanner of its own each run: its first scan is a whole walk.
        CCalendarScanner first;
        lines = first.CurrentNotes(today, noStop).size();
        remind.push_back(NowMs() - t);
        t = NowMs();
        floorLines = bench::BareWalk(false, today).size();
        remindFloor.push_back(NowMs() - t);
    }
    // Each purge starts from the whole store: the ended appointments it
    // deleted are written back (not timed) before the next one.
    HKEY root = store.scratch ? store.scratch->Key() : HKEY_LOCAL_MACHINE;
    auto restore = [&] {
        ScratchRoot::Leave();
        bench::WriteScanStore(root, store.n, today, true);
        store.Enter();
    };
    for (int run = 0; run < scanRuns; ++run) {
        double t = NowMs();
        dlg.ScanAppointments(SCAN_PURGE);
        purge.push_back(NowMs() - t);
        restore();

        t = NowMs();
        bench::BareWalk(true, today);
        purgeFloor.push_back(NowMs() - t);
        restore();
    }
    std::vector<double> fullPath;
    if (withVariants) {
        store.Enter();
        for (int run = 0; run < runs; ++run) {
            const double t = NowMs();
            bench::FullPathWalk(today);
            fullPath.push_back(NowMs() - t);
        }
    }
    ScratchRoot::Leave();
    if (lines != floorLines)
        std::fprintf(stderr, "warning: the scan found %zu lines, the floor %zu\n", lines,
                     floorLines);
    char n[16];
    std::snprintf(n, sizeof n, "%d", store.n);
    Row r;
    r.measure = "Reminder scan (SCAN_REMIND)";
    r.n = n;
    r.program = Summarise(remind);
    r.floor = Summarise(remindFloor);
    r.limit = 1.5;
    r.floorName = "bare walk";
    rows.push_back(r);
    remindScan = r.program;
    r.measure = "Reminder scan (SCAN_PURGE)";
    r.program = Summarise(purge);
    r.floor = Summarise(purgeFloor);
    rows.push_back(r);
    if (withVariants) {
        r.measure = "Variant: bare walk opening every key by full path";
        r.program = Summarise(fullPath);
        r.floor = Summarise(remindFloor);
        r.limit = 0;
        rows.push_back(r);
    }
}

// --- the day list ---------------------------------------------------------

void MeasureListFill(int size, int runs, std::vector<Row>& rows) {
    ScratchRoot scratch("list");
    // A day of its own, so that the start-up store's today does not mix in.
    const CalendarDate day{2001, 3, 14};
    bench::WriteDayStore(scratch.Key(), size, day);
    scratch.Enter();
    BenchCalendarDlg dlg;
    if (!dlg.Create(nullptr)) {
        std::fprintf(stderr, "the main window could not be made\n");
        return;
    }
    dlg.ShowWindow(SW_SHOWNORMAL);
    Pump(50);
    HWND list = GetDlgItem(dlg.GetSafeHwnd(), IDC_APPOINTMENT_LIST);
    RECT rect{};
    GetClientRect(list, &rect);
    bench::FloorListWindow floorWindow(rect.right + 4, rect.bottom + 4);
    Pump(50);
    const SYSTEMTIME shown = ToSystemTime(day);
    std::vector<double> program, floor, perRow;
    int programRows = 0, floorRows = 0;
    for (int run = 0; run < MoreRuns(runs); ++run) {
        double t = NowMs();
        dlg.ShowDay(LIST_FILL, shown);
        UpdateWindow(list);
        program.push_back(NowMs() - t);
        programRows = static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
        Pump(0);

        t = NowMs();
        bench::BareListFill(floorWindow.List(), FormatDateText(day));
        floor.push_back(NowMs() - t);
        floorRows = static_cast<int>(SendMessageA(floorWindow.List(), LVM_GETITEMCOUNT, 0, 0));
        Pump(0);
    }
    {
        // Once: a row-by-row redraw takes seconds.
        const double t = NowMs();
        bench::BareListFill(floorWindow.List(), FormatDateText(day), false);
        perRow.push_back(NowMs() - t);
        Pump(0);
    }
    if (programRows != size || floorRows != size)
        std::fprintf(stderr, "warning: the list has %d rows, the floor's %d, of %d\n", programRows,
                     floorRows, size);
    dlg.DestroyWindow();
    Pump(0);
    ScratchRoot::Leave();
    Row r;
    r.measure = "Day list (ShowDay LIST_FILL)";
    r.n = std::to_string(size);
    r.program = Summarise(program);
    r.floor = Summarise(floor);
    r.limit = 1.5;
    r.floorName = "bare fill";
    rows.push_back(r);
    r.measure = "Variant: bare fill redrawing per row (1 run)";
    r.program = Summarise(perRow);
    r.limit = 0;
    rows.push_back(r);
}

// --- answer time during a scan ---------------------------------------------

void MeasureAnswerTime(const Store& store, int runs, std::vector<Row>& rows) {
    store.Enter();
    BenchCalendarDlg dlg;
    if (!dlg.Create(nullptr)) {
        std::fprintf(stderr, "the main window could not be made\n");
        return;
    }
    dlg.ShowWindow(SW_SHOWNORMAL);
    Pump(50);
    const HWND window = dlg.GetSafeHwnd();
    std::vector<double> worst, scans;
    long long probesTotal = 0;
    for (int run = 0; run < runs; ++run) {
        std::atomic<bool> stop{false};
        std::atomic<long long> probes{0};
        std::atomic<bool> proberDone{false};
        double worstMs = 0;
        std::thread prober([&] {
            try {
                while (!stop.load()) {
                    DWORD_PTR answer = 0;
                    const double t = NowMs();
                    SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &answer);
                    worstMs = std::max(worstMs, NowMs() - t);
                    ++probes;
                    // Often enough to catch a stall, seldom enough not to
                    // slow the scan it watches.
                    Sleep(5);
                }
            } catch (...) {
            }
            proberDone = true;
        });
        const double t = NowMs();
        SendMessageA(window, WM_COMMAND, MAKEWPARAM(ID_TRAY_SHOW_REMINDER, 0), 0);
        // The scan has ended when its pop-up opens, or when its thread ends
        // without one (no appointment is current).
        if (!PumpUntil(
                [&] { return dlg.ReminderWindow() != nullptr || dlg.ActiveReminderThreads() == 0; },
                120000))
            std::fprintf(stderr, "warning: the scan did not end within 2 minutes\n");
        scans.push_back(NowMs() - t);
        stop = true;
        // The prober may be waiting for this thread's answer.
        PumpUntil([&] { return proberDone.load(); }, 30000);
        prober.join();
        worst.push_back(worstMs);
        probesTotal += probes.load();
        if (HWND popup = dlg.ReminderWindow())
            PostMessageA(popup, WM_CLOSE, 0, 0);
        if (!PumpUntil([&] { return dlg.ActiveReminderThreads() == 0; }, 30000))
            std::fprintf(stderr, "warning: a reminder thread is still running\n");
    }
    dlg.DestroyWindow();
    Pump(0);
    ScratchRoot::Leave();
    Row r;
    r.measure = "Main window answer during scan (worst WM_NULL, " +
                std::to_string(probesTotal / std::max(1, runs)) + " probes a scan)";
    r.n = std::to_string(store.n);
    r.program = Summarise(worst);
    r.limit = 50;
    r.absolute = true;
    rows.push_back(r);
    Row s;
    s.measure = "Show Reminder to pop-up (scan on its thread)";
    s.n = std::to_string(store.n);
    s.program = Summarise(scans);
    rows.push_back(s);
}

// --- start-up and memory ----------------------------------------------------

struct FindState {
    DWORD pid = 0;
    HWND found = nullptr;
};

BOOL CALLBACK FindMainWindow(HWND window, LPARAM param) {
    auto* state = reinterpret_cast<FindState*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid != state->pid || !IsWindowVisible(window))
        return TRUE;
    char cls[32] = "";
    char caption[64] = "";
    GetClassNameA(window, cls, sizeof cls);
    GetWindowTextA(window, caption, sizeof caption);
    if (std::strcmp(cls, "#32770") == 0 && std::strcmp(caption, "Quillmere") == 0) {
        state->found = window;
        return FALSE;
    }
    return TRUE;
}

BOOL CALLBACK FindPending(HWND window, LPARAM param) {
    if (IsWindowVisible(window) && GetUpdateRect(window, nullptr, FALSE)) {
        *reinterpret_cast<bool*>(param) = true;
        return FALSE;
    }
    return TRUE;
}

// True when the window and every visible control on it have been painted:
// none has an update region left.
bool FullyPainted(HWND window) {
    if (GetUpdateRect(window, nullptr, FALSE))
        return false;
    bool pending = false;
    EnumChildWindows(window, FindPending, reinterpret_cast<LPARAM>(&pending));
    return !pending;
}

struct LaunchResult {
    bool ok = false;
    int listRows = -1; // rows in the main window's day list, when it has one
    double firstPaintMs = 0;
    double peakWorkingSetMb = 0;
};

// Starts `exe`, waits for its visible main window to be painted, and reads
// its peak working set once it has settled; then ends it.
LaunchResult Launch(const std::string& exe) {
    LaunchResult result;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    std::string commandLine = "\"" + exe + "\"";
    const double t0 = NowMs();
    if (!CreateProcessA(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &startup, &info)) {
        std::fprintf(stderr, "cannot start %s (%lu)\n", exe.c_str(), GetLastError());
        return result;
    }
    fw::unique_handle process(info.hProcess);
    fw::unique_handle thread(info.hThread);
    FindState state;
    state.pid = info.dwProcessId;
    for (;;) {
        if (NowMs() - t0 > 60000 || WaitForSingleObject(process.get(), 0) == WAIT_OBJECT_0)
            break;
        if (state.found == nullptr)
            EnumWindows(FindMainWindow, reinterpret_cast<LPARAM>(&state));
        if (state.found != nullptr && FullyPainted(state.found)) {
            // A round trip through the window's queue: it has nothing pending
            // that came before this.
            DWORD_PTR answer = 0;
            SendMessageTimeoutA(state.found, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &answer);
            if (FullyPainted(state.found)) {
                result.firstPaintMs = NowMs() - t0;
                if (HWND list = GetDlgItem(state.found, IDC_APPOINTMENT_LIST))
                    result.listRows = static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
                result.ok = true;
                break;
            }
        }
        Sleep(1);
    }
    if (result.ok) {
        // Let start-up's last work settle before reading the peak.
        Sleep(500);
        PROCESS_MEMORY_COUNTERS counters{};
        counters.cb = sizeof counters;
        if (GetProcessMemoryInfo(process.get(), &counters, sizeof counters))
            result.peakWorkingSetMb = static_cast<double>(counters.PeakWorkingSetSize) / 1048576.0;
    } else {
        std::fprintf(stderr, "%s showed no painted main window\n", exe.c_str());
    }
    TerminateProcess(process.get(), 0);
    WaitForSingleObject(process.get(), 10000);
    return result;
}

void MeasureStartup(const Options& options, int n, std::vector<Row>& rows) {
    ScratchRoot::Leave();
    std::vector<double> program, floor, programMem, floorMem;
    // One unmeasured launch of each warms the file cache and Wine's own
    // start-up work, which both pay the same.
    Launch(options.programExe);
    Launch(options.floorExe);
    // A launch is short and swings with the machine's load: more runs.
    const int runs = MoreRuns(options.runs);
    for (int run = 0; run < runs; ++run) {
        const LaunchResult p = Launch(options.programExe);
        // The generated store files five appointments under today; a start-up
        // that listed none would not have read the store.
        if (p.ok && p.listRows != 5)
            std::fprintf(stderr, "warning: the program listed %d appointments for today, not 5\n",
                         p.listRows);
        if (p.ok) {
            program.push_back(p.firstPaintMs);
            programMem.push_back(p.peakWorkingSetMb);
        }
        const LaunchResult f = Launch(options.floorExe);
        if (f.ok) {
            floor.push_back(f.firstPaintMs);
            floorMem.push_back(f.peakWorkingSetMb);
        }
    }
    Row r;
    r.measure = "Start-up to first paint (splash off)";
    r.n = std::to_string(n);
    r.program = Summarise(program);
    r.floor = Summarise(floor);
    r.limit = 1.3;
    r.floorName = "bare dialog";
    rows.push_back(r);
    Row m;
    m.measure = "Peak working set after start-up";
    m.n = std::to_string(n);
    m.program = Summarise(programMem);
    m.floor = Summarise(floorMem);
    m.unit = "MB";
    m.limit = 1.3;
    m.floorName = "bare dialog";
    rows.push_back(m);
}

// --- the peer ---------------------------------------------------------------

// Lines "N median min max" (milliseconds) of remind(1) runs, timed natively by
// the script.
std::map<int, Stats> ReadPeer(const std::string& path) {
    std::map<int, Stats> peer;
    if (path.empty())
        return peer;
    FILE* file = std::fopen(path.c_str(), "r");
    if (file == nullptr)
        return peer;
    int n = 0;
    Stats s;
    while (std::fscanf(file, "%d %lf %lf %lf", &n, &s.median, &s.min, &s.max) == 4) {
        s.valid = true;
        peer[n] = s;
    }
    std::fclose(file);
    return peer;
}

// --- set-up -----------------------------------------------------------------

std::string Directory(const std::string& path) {
    const size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

std::vector<int> ParseSizes(const char* text) {
    std::vector<int> sizes;
    for (const char* p = text; *p != '\0';) {
        char* end = nullptr;
        const long v = std::strtol(p, &end, 10);
        if (end == p)
            break;
        if (v > 0)
            sizes.push_back(static_cast<int>(v));
        p = *end == ',' ? end + 1 : end;
    }
    return sizes;
}

// The driver writes HKEY_LOCAL_MACHINE\SOFTWARE\Calendar of the prefix it runs
// in, so it runs only in a prefix that the build made for it.
bool InPrivatePrefix() {
    const char* prefix = std::getenv("WINEPREFIX");
    return prefix != nullptr && (std::strstr(prefix, "wine-bench-prefix") != nullptr ||
                                 std::strstr(prefix, "wine-test-prefix") != nullptr);
}

int Usage() {
    std::fprintf(stderr, "usage: bench_driver [--smoke] [--runs R] [--sizes N,N,...] [--list N]\n"
                         "                    [--startup N] [--answer N] [--peer FILE]\n"
                         "                    [--program EXE] [--floor EXE]\n"
                         "       bench_driver --write-remind N FILE\n");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    char self[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, self, sizeof self);
    Options options;
    options.floorExe = Directory(self) + "\\bench_floor_dialog.exe";
    options.programExe = Directory(Directory(self)) + "\\quillmere.exe";
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--write-remind" && i + 2 < argc) {
            const int n = std::atoi(argv[i + 1]);
            return bench::WriteRemindFile(argv[i + 2], n, Today()) ? 0 : 1;
        } else if (arg == "--smoke") {
            options.scanSizes = {50};
            options.listSize = 50;
            options.startupSize = 50;
            options.answerSize = 50;
            options.runs = 1;
        } else if (arg == "--runs" && hasValue) {
            options.runs = std::max(1, std::atoi(argv[++i]));
        } else if (arg == "--sizes" && hasValue) {
            options.scanSizes = ParseSizes(argv[++i]);
        } else if (arg == "--list" && hasValue) {
            options.listSize = std::atoi(argv[++i]);
        } else if (arg == "--startup" && hasValue) {
            options.startupSize = std::atoi(argv[++i]);
        } else if (arg == "--answer" && hasValue) {
            options.answerSize = std::atoi(argv[++i]);
        } else if (arg == "--peer" && hasValue) {
            options.peerFile = argv[++i];
        } else if (arg == "--program" && hasValue) {
            options.programExe = argv[++i];
        } else if (arg == "--floor" && hasValue) {
            options.floorExe = argv[++i];
        } else {
            return Usage();
        }
    }
    if (!InPrivatePrefix()) {
        std::fprintf(stderr, "bench_driver writes HKEY_LOCAL_MACHINE: run it through "
                             "scripts/bench.sh, in the build's private Wine prefix\n");
        return 2;
    }

    INITCOMMONCONTROLSEX icc{};
    icc.dwSize = sizeof icc;
    icc.dwICC = ICC_WIN95_CLASSES | ICC_DATE_CLASSES | ICC_USEREX_CLASSES | ICC_STANDARD_CLASSES;
    InitCommonControlsEx(&icc);

    const CalendarDate today = Today();
    // The prefix's own store is the start-up workload; a store left by an
    // earlier, broken run would add to it.
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, kCalendarRootPath);

    std::vector<int> sizes = options.scanSizes;
    for (int n : {options.startupSize, options.answerSize})
        if (std::find(sizes.begin(), sizes.end(), n) == sizes.end())
            sizes.push_back(n);
    std::map<int, Store> stores;
    for (int n : sizes) {
        Store& store = stores[n];
        store.n = n;
        HKEY root = HKEY_LOCAL_MACHINE;
        if (n != options.startupSize) {
            store.scratch = std::make_unique<ScratchRoot>("store-" + std::to_string(n));
            root = store.scratch->Key();
        }
        const double t = NowMs();
        const bench::WorkloadCounts counts = bench::WriteScanStore(root, n, today, false);
        std::printf("store of %d: %d current today, %d ended, %d upcoming; written in %.1f s\n",
                    counts.appointments, counts.current, counts.ended, counts.upcoming,
                    (NowMs() - t) / 1000.0);
    }

    std::vector<Row> rows;
    const std::map<int, Stats> peer = ReadPeer(options.peerFile);
    {
        BenchCalendarDlg scanner;
        for (int n : options.scanSizes) {
            Stats remindScan;
            // The full-path variant once, on the middle store.
            const bool variants = n == options.startupSize;
            MeasureScan(stores[n], options.runs, variants, scanner, rows, remindScan);
            auto it = peer.find(n);
            if (it != peer.end()) {
                Row r;
                r.measure = "Peer: remind -q, today's reminders";
                r.n = std::to_string(n);
                r.program = remindScan;
                r.floor = it->second;
                r.floorName = "remind";
                rows.push_back(r);
            }
        }
    }
    MeasureListFill(options.listSize, options.runs, rows);
    MeasureAnswerTime(stores[options.answerSize], options.runs, rows);
    MeasureStartup(options, options.startupSize, rows);

    stores.clear();
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, kCalendarRootPath);
    PrintTable(rows);
    return 0;
}
