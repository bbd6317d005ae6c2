// The benchmark driver: writes the workloads into a private Wine prefix (or a
// redirected HKEY_LOCAL_MACHINE), times the program's own code and processes
// beside their floors, and prints one markdown table.
#include "app/calendar_dlg.h"
#include "app/day_view.h"
#include "app/reminder_timing.h"
#include "app/startup_steps.h"
#include "app/window_modes.h"
#include "app/single_instance.h"
#include "bench/floors.h"
#include "bench/workload.h"
#include "framework/clock.h"
#include "framework/unique_handle.h"
#include "res/resource.h"
#include "store/calendar_registry.h"
#include "store/calendar_root.h"
#include "store/calendar_scanner.h"
#include "store/registry_value.h"
#include "store/series_catalog.h"
#include "store/instant_clock.h"
#include "store/system_time.h"
#include "store/word_catalog.h"
#include "store/zone_clock.h"
#include "tray/alert_schedule.h"

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
#include <utility>
#include <vector>

namespace {

struct Options {
    std::vector<int> scanSizes{1000, 10000, 50000};
    int listSize = 1000;
    // The launched program reads the prefix's own store, which is this size:
    // start-up reads only today's key of it, the scan in the program all.
    int launchSize = 50000;
    int answerSize = 50000;
    int variantSize = 10000;
    int runs = 5;
    int alertSize = 50000;
    int seriesSize = 50000;
    // Which groups of measures run: scan, alerts, list, edit, answer, startup,
    // purge, memory, series, find.
    std::vector<std::string> only;
    std::string peerFile;
    std::string programExe;
    std::string floorExe;
    std::string startupFloorExe;
    std::string self;
    bool Runs(const char* group) const {
        return only.empty() || std::find(only.begin(), only.end(), group) != only.end();
    }
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
    // Fractions of a millisecond keep their first figures.
    const int digits = s.median < 1 ? 3 : s.median < 10 ? 2 : 1;
    char text[96];
    std::snprintf(text, sizeof text, "%.*f %s (%.*f-%.*f)", digits, s.median, unit, digits, s.min,
                  digits, s.max);
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
    bool strict = false;   // the ratio must stay below the limit, not reach it
    std::string floorName;
};

// A peak working set of the program against the start-up floor's.
Row MemoryRow(const char* measure, int n, const std::vector<double>& program,
              const std::vector<double>& floor) {
    Row m;
    m.measure = measure;
    m.n = std::to_string(n);
    m.program = Summarise(program);
    m.floor = Summarise(floor);
    m.unit = "MB";
    m.limit = 1.3;
    m.floorName = "start-up floor";
    return m;
}

void PrintTable(const std::vector<Row>& rows) {
    std::printf("| Measure | N | Program: median (min-max) | Floor / peer: median (min-max) | "
                "Ratio | Target | Result |\n");
    std::printf("|---|---:|---:|---:|---:|---:|---|\n");
    for (const Row& r : rows) {
        char ratio[32] = "-";
        char target[32] = "-";
        const char* verdict = "info";
        if (r.program.valid && r.floor.valid && r.floor.median > 0) {
            const double x = r.program.median / r.floor.median;
            std::snprintf(ratio, sizeof ratio, x < 0.1 ? "%.4fx" : "%.2fx", x);
        }
        if (r.limit > 0) {
            bool met = false;
            if (r.absolute) {
                std::snprintf(target, sizeof target, "<= %.0f %s", r.limit, r.unit);
                met = r.program.valid && r.program.median <= r.limit;
            } else {
                // 1.5 as "1.5x", 1.15 as "1.15x".
                const bool hundredths = static_cast<long>(r.limit * 100 + 0.5) % 10 != 0;
                std::snprintf(target, sizeof target, "%s %.*fx",
                              r.strict ? "<" : "<=", hundredths ? 2 : 1, r.limit);
                met = r.program.valid && r.floor.valid &&
                      (r.strict ? r.program.median < r.limit * r.floor.median
                                : r.program.median <= r.limit * r.floor.median);
            }
            // A ratio with no floor measured (no peer file) is no verdict.
            const bool measured = r.absolute || r.floor.valid;
            verdict = !measured ? "n/a" : met ? "PASS" : "MISS";
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
public:
    BenchCalendarDlg() {
        FindHandler<CStartupSteps>()->runSplash = [] {};
    }
    CDayView& DayView() const { return *FindHandler<CDayView>(); }
    CReminderTiming& Timing() const { return *FindHandler<CReminderTiming>(); }
    CReminderCycle& Reminders() const { return Timing().Cycle(); }
    HWND ReminderWindow() const { return Reminders().PopupWindow(); }
    int ActiveReminderThreads() const { return Reminders().ActiveThreads(); }

protected:
    void AddTrayIcon() override {}
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
    // Where it lies below HKEY_CURRENT_USER, for another process.
    const std::string& Path() const { return m_path; }
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
    int current = 0; // appointments current today
    std::unique_ptr<ScratchRoot> scratch;
    void Enter() const {
        if (scratch)
            scratch->Enter();
        else
            ScratchRoot::Leave();
    }
    // The key that stands for HKEY_LOCAL_MACHINE, as this process opens it.
    HKEY Root() const { return scratch ? scratch->Key() : HKEY_LOCAL_MACHINE; }
    // The same for another process: "HKLM", or a path below HKEY_CURRENT_USER.
    std::string RootForAnotherProcess() const { return scratch ? scratch->Path() : "HKLM"; }
};

CalendarDate Today() {
    return DateOf(fw::LocalNow());
}

// The alerts over a store where every second appointment has a time and an
// alert: a fresh scanner's first walk (which keeps them) beside the bare
// walk, and then, from the schedule made of what it kept, the next alert
// and what is due, as the alert timer asks at each wake.
void MeasureAlerts(const Options& options, const Store& store, std::vector<Row>& rows) {
    const CalendarDate today = Today();
    const std::atomic<bool> noStop{false};
    std::vector<double> first, firstFloor, alertFloor, build, next;
    int given = 0;
    int badWalks = 0;
    size_t alertCount = 0;
    store.Enter();
    given = bench::WriteAlertValues(store.Root(), 2);
    auto timed = [](auto&& job, std::vector<double>& into) {
        const double t = NowMs();
        const auto result = job();
        into.push_back(NowMs() - t);
        return result;
    };
    CZoneClock clock;
    const std::int64_t now = NowMs(clock) / 1000;
    const int runs = MoreRuns(options.runs);
    for (int run = 0; run < runs; ++run) {
        std::unique_ptr<CCalendarScanner> scanner;
        auto firstScan = [&] {
            scanner = std::make_unique<CCalendarScanner>();
            return scanner->CurrentNotes(today, noStop).size();
        };
        auto bareWalk = [&] { return bench::BareWalk(false, today).size(); };
        auto alertWalk = [&] { return bench::BareWalk(false, today, true).size(); };
        size_t lines = 0, floorLines = 0;
        if (run % 2 == 1) {
            floorLines = timed(bareWalk, firstFloor);
            lines = timed(firstScan, first);
        } else {
            lines = timed(firstScan, first);
            floorLines = timed(bareWalk, firstFloor);
        }
        timed(alertWalk, alertFloor);
        if (lines != floorLines || scanner->Walks() != 1)
            ++badWalks;

        // What the alert timer does with the walk's result: the schedule
        // from the index (no walk: the store is unchanged), then the next
        // wake and what is due now.
        CAlertSchedule schedule(clock);
        const double t = NowMs();
        std::optional<std::vector<IndexedAlert>> alerts = scanner->Alerts(today, noStop);
        std::vector<AlertEntry> entries;
        if (alerts) {
            entries.reserve(alerts->size());
            for (const IndexedAlert& a : *alerts)
                entries.push_back({AlertId(a.dayKey, a.appointmentKey), a.from, a.to, a.minuteOfDay,
                                   a.remindBefore, a.zone});
        }
        alertCount = entries.size();
        schedule.Rebuild(std::move(entries), now);
        build.push_back(NowMs() - t);
        if (scanner->Walks() != 1)
            ++badWalks;
        const AlertState state{now, {}};
        const double t2 = NowMs();
        const std::optional<std::int64_t> wake = schedule.NextWake(state, now);
        const DueAlerts due = schedule.Pending(state, now, now);
        next.push_back(NowMs() - t2);
        if (!wake || !due.alerts.empty())
            ++badWalks;
    }
    ScratchRoot::Leave();
    std::printf("alerts (%d): %d appointments given an alert, %zu alerting from today on\n",
                store.n, given, alertCount);
    if (badWalks != 0)
        std::fprintf(stderr, "warning (%d): %d alert runs walked again, differed or found none\n",
                     store.n, badWalks);

    Row r;
    r.n = std::to_string(store.n);
    r.floorName = "bare walk";
    r.measure = "Reminder scan with alerts, first (half the appointments alert)";
    r.program = Summarise(first);
    r.floor = Summarise(firstFloor);
    r.limit = 1.1;
    rows.push_back(r);

    r.measure = "Variant: bare walk that also reads REMIND BEFORE and TIME";
    r.program = Summarise(alertFloor);
    r.limit = 0;
    rows.push_back(r);

    r.floorName.clear();
    r.floor = Stats{};
    r.measure = "Alert schedule made from the walk's index (no walk)";
    r.program = Summarise(build);
    rows.push_back(r);

    r.measure = "Next alert and the alerts due, after the first walk";
    r.program = Summarise(next);
    r.limit = 1;
    r.absolute = true;
    rows.push_back(r);
}

// --- the scan -------------------------------------------------------------

// Files one current appointment from a second process (this driver, started
// again), as another program would, and waits for it. Not timed.
bool AddFromAnotherProcess(const std::string& self, const Store& store) {
    std::string commandLine =
        "\"" + self + "\" --add-appointment \"" + store.RootForAnotherProcess() + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!CreateProcessA(self.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &startup, &info))
        return false;
    fw::unique_handle process(info.hProcess);
    fw::unique_handle thread(info.hThread);
    DWORD code = 1;
    return WaitForSingleObject(process.get(), 60000) == WAIT_OBJECT_0 &&
           GetExitCodeProcess(process.get(), &code) && code == 0;
}

// Each run, in this order: a fresh scanner's first scan and the bare walk;
// the same scanner again over the unchanged store; one appointment filed by
// another process, then the scanner and the bare walk again; the appointment
// removed (not timed). Then the purges.
void MeasureScan(const Options& options, const Store& store, bool withVariants,
                 BenchCalendarDlg& dlg, std::vector<Row>& rows, const std::map<int, Stats>& peer) {
    const CalendarDate today = Today();
    const std::atomic<bool> noStop{false};
    std::vector<double> first, firstFloor, repeated, changed, changedFloor, purge, purgeFloor;
    std::vector<double> indexBytes;
    int badFirst = 0, badRepeated = 0, badChanged = 0, failedAdds = 0;
    store.Enter();
    // Small stores scan in milliseconds, where the load swings most.
    const int scanRuns = store.n <= 1000 ? MoreRuns(options.runs) : options.runs;
    // Program and floor take turns at going first, so that neither always
    // meets the store just after the other process or the restore.
    auto timed = [](auto&& job, std::vector<double>& into) {
        const double t = NowMs();
        const auto result = job();
        into.push_back(NowMs() - t);
        return result;
    };
    auto bareWalk = [&] { return bench::BareWalk(false, today).size(); };
    // Times the program's job and the floor's, in the turn's order; returns
    // what each found.
    auto inTurn = [&](bool floorFirst, auto&& job, std::vector<double>& into, auto&& floorJob,
                      std::vector<double>& floorInto) {
        size_t found = 0, floorFound = 0;
        if (floorFirst) {
            floorFound = timed(floorJob, floorInto);
            found = timed(job, into);
        } else {
            found = timed(job, into);
            floorFound = timed(floorJob, floorInto);
        }
        return std::make_pair(found, floorFound);
    };
    for (int run = 0; run < scanRuns; ++run) {
        const bool floorFirst = run % 2 == 1;
        std::unique_ptr<CCalendarScanner> scanner;
        auto firstScan = [&] {
            scanner = std::make_unique<CCalendarScanner>();
            return scanner->CurrentNotes(today, noStop).size();
        };
        const auto [lines, floorLines] = inTurn(floorFirst, firstScan, first, bareWalk, firstFloor);
        if (lines != floorLines || scanner->Walks() != 1)
            ++badFirst;
        if (scanner->IndexCount() > 0)
            indexBytes.push_back(static_cast<double>(scanner->IndexBytes()) /
                                 static_cast<double>(scanner->IndexCount()));

        auto scan = [&] { return scanner->CurrentNotes(today, noStop).size(); };
        if (timed(scan, repeated) != lines || scanner->Walks() != 1)
            ++badRepeated;

        if (!AddFromAnotherProcess(options.self, store)) {
            ++failedAdds;
            continue;
        }
        const auto [after, floorAfter] = inTurn(floorFirst, scan, changed, bareWalk, changedFloor);
        // The scan must have seen the change: one line more, from a new walk.
        if (after != lines + 1 || floorAfter != lines + 1 || scanner->Walks() != 2)
            ++badChanged;
        bench::DeleteOutsideAppointment(store.Root(), today);
    }
    // Each purge starts from the whole store: the ended appointments it
    // deleted are written back (not timed) before the next one.
    auto restore = [&] {
        ScratchRoot::Leave();
        bench::WriteScanStore(store.Root(), store.n, today, true);
        store.Enter();
    };
    auto programPurge = [&] { return dlg.Timing().ScanAppointments(SCAN_PURGE); };
    auto floorPurge = [&] { return bench::BareWalk(true, today).size(); };
    for (int run = 0; run < scanRuns; ++run) {
        if (run % 2 == 1) {
            timed(floorPurge, purgeFloor);
            restore();
        }
        timed(programPurge, purge);
        restore();
        if (run % 2 == 0) {
            timed(floorPurge, purgeFloor);
            restore();
        }
    }
    std::vector<double> fullPath;
    if (withVariants) {
        store.Enter();
        for (int run = 0; run < options.runs; ++run) {
            const double t = NowMs();
            bench::FullPathWalk(today);
            fullPath.push_back(NowMs() - t);
        }
    }
    ScratchRoot::Leave();
    if (badFirst != 0)
        std::fprintf(stderr, "warning (%d): %d first scans differed from the bare walk\n", store.n,
                     badFirst);
    if (badRepeated != 0)
        std::fprintf(stderr, "warning (%d): %d repeated scans walked or differed\n", store.n,
                     badRepeated);
    if (badChanged != 0 || failedAdds != 0)
        std::fprintf(stderr,
                     "warning (%d): %d scans missed the outside change, %d outside adds failed\n",
                     store.n, badChanged, failedAdds);

    const std::string n = std::to_string(store.n);
    Row r;
    r.n = n;
    r.floorName = "bare walk";
    r.measure = "Reminder scan, first (SCAN_REMIND)";
    r.program = Summarise(first);
    r.floor = Summarise(firstFloor);
    r.limit = 1.1;
    rows.push_back(r);

    auto it = peer.find(store.n);
    r.measure = "Reminder scan, repeated (store unchanged)";
    r.program = Summarise(repeated);
    r.floor = it != peer.end() ? it->second : Stats{};
    r.floorName = "remind -q";
    r.limit = 1.0;
    r.strict = true;
    rows.push_back(r);
    r.strict = false;

    r.measure = "Reminder scan after one appointment added by another process";
    r.program = Summarise(changed);
    r.floor = Summarise(changedFloor);
    r.floorName = "bare walk";
    r.limit = 1.1;
    rows.push_back(r);

    r.measure = "Reminder scan (SCAN_PURGE)";
    r.program = Summarise(purge);
    r.floor = Summarise(purgeFloor);
    r.limit = 1.5;
    rows.push_back(r);

    r.measure = "Reminder index: bytes per appointment";
    r.program = Summarise(indexBytes);
    r.floor = Stats{};
    r.floorName.clear();
    r.unit = "B";
    r.limit = 0;
    rows.push_back(r);
    r.unit = "ms";

    if (withVariants) {
        r.measure = "Variant: bare walk opening every key by full path";
        r.program = Summarise(fullPath);
        r.floor = Summarise(firstFloor);
        r.floorName = "bare walk";
        rows.push_back(r);
    }
    if (it != peer.end()) {
        r.measure = "Peer: remind -q against the first scan";
        r.program = Summarise(first);
        r.floor = it->second;
        r.floorName = "remind -q";
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
        dlg.DayView().ShowDay(LIST_FILL, shown);
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

// A day of `size` appointments of its own and `size` occurrences of daily
// series filed on the days before it, against the bare fill of a day of
// 2 x `size` appointments of its own: the rows a user sees, read by the
// fewest calls. The store is not changed between runs, so the series are
// taken from memory after the first.
void MeasureSeriesListFill(int size, int runs, std::vector<Row>& rows) {
    ScratchRoot scratch("series-list");
    const CalendarDate day{2001, 3, 14};
    const CalendarDate floorDay{2000, 1, 5};
    bench::WriteSeriesDayStore(scratch.Key(), size, size, day, floorDay);
    scratch.Enter();
    const int installs = CSeriesCatalog::Shared().Installs();
    BenchCalendarDlg dlg;
    if (!dlg.Create(nullptr)) {
        std::fprintf(stderr, "the main window could not be made\n");
        return;
    }
    dlg.ShowWindow(SW_SHOWNORMAL);
    // The series come from the walk on the alert thread; the first list of
    // a day shows its own rows until then.
    const double waitFrom = NowMs();
    while (CSeriesCatalog::Shared().Installs() == installs && NowMs() - waitFrom < 120000)
        Pump(10);
    Pump(50);
    HWND list = GetDlgItem(dlg.GetSafeHwnd(), IDC_APPOINTMENT_LIST);
    RECT rect{};
    GetClientRect(list, &rect);
    bench::FloorListWindow floorWindow(rect.right + 4, rect.bottom + 4);
    Pump(50);
    const SYSTEMTIME shown = ToSystemTime(day);
    std::vector<double> program, floor;
    double firstList = 0;
    int programRows = 0, floorRows = 0;
    for (int run = 0; run < MoreRuns(runs) + 1; ++run) {
        double t = NowMs();
        dlg.DayView().ShowDay(LIST_FILL, shown);
        UpdateWindow(list);
        const double took = NowMs() - t;
        programRows = static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
        Pump(0);
        // The first list, which finds the day's keys cold, is reported apart.
        if (run == 0) {
            firstList = took;
            continue;
        }
        program.push_back(took);
        t = NowMs();
        bench::BareListFill(floorWindow.List(), FormatDateText(floorDay));
        floor.push_back(NowMs() - t);
        floorRows = static_cast<int>(SendMessageA(floorWindow.List(), LVM_GETITEMCOUNT, 0, 0));
        Pump(0);
    }
    if (programRows != 2 * size || floorRows != 2 * size)
        std::fprintf(stderr, "warning: the list has %d rows, the floor's %d, of %d\n", programRows,
                     floorRows, 2 * size);
    dlg.DestroyWindow();
    Pump(0);
    ScratchRoot::Leave();
    Row r;
    r.measure = "Day list, half of it occurrences of series from other days";
    r.n = std::to_string(size) + "+" + std::to_string(size);
    r.program = Summarise(program);
    r.floor = Summarise(floor);
    r.limit = 1.5;
    r.floorName = "bare fill of as many rows";
    rows.push_back(r);
    r.measure = "Variant: the same list the first time";
    r.program = Summarise({firstList});
    r.limit = 0;
    rows.push_back(r);
}

// --- repeating appointments in the reminder scan ----------------------------

// Lists `day` as the main window asks for it, into a view that counts the
// rows; the time it took, in milliseconds.
double ListDay(const CalendarDate& day) {
    struct Counter : IAppointmentView {
        int rows = 0;
        void AppendAppointmentRow(const char*, const char*, int) override { ++rows; }
        void AppendAppointment(const Row&) override { ++rows; }
        void ShowDetailNotes(const char*) override {}
    } view;
    const double t = NowMs();
    CCalendarRegistry().ListAppointments(ListMode::Fill, "", FormatDateText(day), view);
    return NowMs() - t;
}

// Find over the same store as the series scan: the words read once (the
// worker's first walk), then a search as each keystroke makes one, against a
// bare substring search over the same texts held in memory as read. Two
// words: one a handful of appointments hold, one that all of them hold (each
// found one is dated, the repeating ones on their next occurrence).
void MeasureFind(const Options& options, std::vector<Row>& rows) {
    const CalendarDate today = Today();
    ScratchRoot scratch("find");
    bench::WriteScanStore(scratch.Key(), options.seriesSize, today, false);
    bench::WriteRepeatValues(scratch.Key(), 10);
    scratch.Enter();
    std::vector<double> walk;
    CWordCatalog words;
    std::vector<std::string> bare;
    {
        fw::unique_hkey root;
        OpenCalendarRoot(KEY_READ, root);
        const double t = NowMs();
        std::vector<CWordCatalog::Entry> entries = CWordCatalog::Walk(root.get(), today);
        walk.push_back(NowMs() - t);
        for (const CWordCatalog::Entry& entry : entries)
            bare.push_back(entry.event + "\n" + entry.notes);
        words.Install(std::move(entries));
    }
    ScratchRoot::Leave();
    const struct {
        const char* word;
        const char* bareWord;
        const char* measure;
    } kSearches[] = {
        {"meeting 4999", "Meeting 4999",
         "Find, a word a few appointments hold (after the first walk)"},
        {"OFFICE", "office", "Find, a word every appointment holds (after the first walk)"},
    };
    for (const auto& search : kSearches) {
        std::vector<double> program, floor;
        std::size_t found = 0, bareFound = 0;
        for (int run = 0; run < MoreRuns(options.runs); ++run) {
            double t = NowMs();
            found = words.Find(search.word, today, 500).size();
            program.push_back(NowMs() - t);
            t = NowMs();
            bareFound = 0;
            for (const std::string& text : bare)
                bareFound += text.find(search.bareWord) != std::string::npos ? 1 : 0;
            floor.push_back(NowMs() - t);
        }
        std::printf("find (%d): \"%s\" listed %zu, the bare search found %zu\n", options.seriesSize,
                    search.word, found, bareFound);
        Row r;
        r.n = std::to_string(options.seriesSize);
        r.measure = search.measure;
        r.program = Summarise(program);
        r.floor = Summarise(floor);
        r.limit = 50;
        r.absolute = true;
        r.floorName = "bare substring search in memory";
        rows.push_back(r);
    }
    Row w;
    w.n = std::to_string(options.seriesSize);
    w.measure = "Find's first walk (on its worker thread)";
    w.program = Summarise(walk);
    rows.push_back(w);
}

// A store of `seriesSize` appointments of which every tenth repeats by one
// of ten assorted rules: a fresh scanner's first walk against the bare walk
// (which reads REPEAT of every appointment, and SKIP DATES and TIME where it
// is there, and asks the same rules), then the same scanner again over the
// unchanged store.
void MeasureSeriesScan(const Options& options, std::vector<Row>& rows) {
    const CalendarDate today = Today();
    const std::atomic<bool> noStop{false};
    ScratchRoot scratch("series");
    bench::WriteScanStore(scratch.Key(), options.seriesSize, today, false);
    const int given = bench::WriteRepeatValues(scratch.Key(), 10);
    scratch.Enter();
    std::vector<double> first, firstFloor, repeated, catalogWalk, catalogDay, afterSave, plainList,
        firstList;
    int bad = 0;
    size_t lines = 0, occurrences = 0;
    for (int run = 0; run < options.runs; ++run) {
        std::unique_ptr<CCalendarScanner> scanner;
        auto firstScan = [&] {
            scanner = std::make_unique<CCalendarScanner>();
            return scanner->CurrentNotes(today, noStop).size();
        };
        auto bareWalk = [&] { return bench::BareWalk(false, today).size(); };
        auto timed = [](auto&& job, std::vector<double>& into) {
            const double t = NowMs();
            const auto result = job();
            into.push_back(NowMs() - t);
            return result;
        };
        size_t floorLines = 0;
        if (run % 2 == 1) {
            floorLines = timed(bareWalk, firstFloor);
            lines = timed(firstScan, first);
        } else {
            lines = timed(firstScan, first);
            floorLines = timed(bareWalk, firstFloor);
        }
        for (int again = 0; again < MoreRuns(options.runs); ++again)
            if (timed([&] { return scanner->CurrentNotes(today, noStop).size(); }, repeated) !=
                lines)
                ++bad;
        if (lines != floorLines || scanner->Walks() != 1)
            ++bad;
        // The day list where the scanner's walk filled the series: right
        // after this process wrote into today's day key (the write is
        // noted, not made: the scratch store is volatile, where no save can
        // make its key), when the list reads that day's series again, and
        // the same list with nothing written since.
        const int catalogWalks = CSeriesCatalog::Shared().Walks();
        // The first list after the walk came in reads what the rows of the
        // day's occurrences show.
        firstList.push_back(ListDay(today));
        {
            const StoreWriteScope writesTo(FormatDateText(today));
            NoteStoreWrite();
        }
        afterSave.push_back(ListDay(today));
        plainList.push_back(ListDay(today));
        if (CSeriesCatalog::Shared().Walks() != catalogWalks)
            ++bad;
        // Without a scanner (a command-line run) the list walks by itself
        // after a change; then the day's occurrences from memory.
        scanner.reset();
        NoteStoreWrite();
        const double t = NowMs();
        CSeriesCatalog::Shared().Covering(today, "");
        catalogWalk.push_back(NowMs() - t);
        const double t2 = NowMs();
        occurrences = CSeriesCatalog::Shared().Covering(today, "").size();
        catalogDay.push_back(NowMs() - t2);
    }
    ScratchRoot::Leave();
    std::printf("series (%d): %zu occurrences today\n", options.seriesSize, occurrences);
    std::printf("series (%d): %d appointments repeat, %zu current today\n", options.seriesSize,
                given, lines);
    if (bad != 0)
        std::fprintf(stderr, "warning (%d): %d series scans differed or walked again\n",
                     options.seriesSize, bad);
    Row r;
    r.n = std::to_string(options.seriesSize);
    r.measure = "Reminder scan, first, 1 in 10 repeating (SCAN_REMIND)";
    r.program = Summarise(first);
    r.floor = Summarise(firstFloor);
    r.floorName = "bare walk reading REPEAT";
    r.limit = 1.1;
    rows.push_back(r);
    r.measure = "Reminder scan, repeated, 1 in 10 repeating (store unchanged)";
    r.program = Summarise(repeated);
    r.floor = Stats{};
    r.floorName.clear();
    r.limit = 1;
    r.absolute = true;
    rows.push_back(r);
    r.absolute = false;
    r.measure = "Day list right after this process wrote into the day (series from the scan)";
    r.program = Summarise(afterSave);
    r.floor = Summarise(plainList);
    r.floorName = "the same list, nothing written";
    r.limit = 1.5;
    rows.push_back(r);
    r.limit = 0;
    r.measure =
        "Variant: the day's first list after the walk came in (reads its occurrences' rows)";
    r.program = Summarise(firstList);
    rows.push_back(r);
    r.measure = "Variant: without a scanner, the day list's own walk after a change";
    r.program = Summarise(catalogWalk);
    r.floor = Summarise(firstFloor);
    r.floorName = "bare walk reading REPEAT";
    rows.push_back(r);
    r.measure = "Variant: a day's occurrences from the day list's memory (no walk)";
    r.program = Summarise(catalogDay);
    r.floor = Stats{};
    r.floorName.clear();
    rows.push_back(r);
}

// --- editing an appointment in a full day ----------------------------------

// An edit swaps a complete new key in for the old one, so the day must be an
// ordinary key: the registry makes no lasting key below a volatile one. It
// lives in a root of its own, removed before and after.
void MeasureEdit(int size, int runs, std::vector<Row>& rows) {
    const char* const path = "Software\\QuillmereBenchLasting";
    RegDeleteTreeA(HKEY_CURRENT_USER, path);
    fw::unique_hkey root;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, path, 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_ALL_ACCESS, nullptr, root.put(), nullptr) != ERROR_SUCCESS) {
        std::fprintf(stderr, "the edit measure's root could not be made\n");
        return;
    }
    RegOverridePredefKey(HKEY_LOCAL_MACHINE, root.get());
    const std::string day = FormatDateText(CalendarDate{2001, 3, 14});
    CCalendarRegistry registry;
    ical::AppointmentValues values;
    values.from = day;
    values.to = day;
    values.event = ical::kEventNames[3];
    values.eventIndex = 3;
    values.detailNotes = "Bring the referral letter.";
    std::string edited; // the key the edits go to, in the middle of the day
    bool filed = true;
    for (int i = 0; i < size && filed; ++i) {
        values.notes = "Meeting " + std::to_string(i) + " at the office";
        std::string keyName;
        filed = registry.AddAppointment(day, values, &keyName);
        if (i == size / 2)
            edited = keyName;
    }
    std::vector<double> program, floor;
    if (filed && !edited.empty()) {
        const std::string keyPath = "SOFTWARE\\Calendar\\" + day + "\\" + edited;
        for (int run = 0; run < MoreRuns(runs); ++run) {
            // Each run writes other values than the last, as a user's edit does.
            values.notes = "Dentist, visit " + std::to_string(run);
            values.time.minuteOfDay = 14 * 60 + 30 + run % 2 * 30;
            values.time.duration = 45 + run % 2 * 15;
            values.time.remindBefore = 15;
            double t = NowMs();
            const bool replaced = registry.ReplaceAppointment(day, edited, values);
            program.push_back(NowMs() - t);
            if (!replaced) {
                std::fprintf(stderr, "warning: the edit failed\n");
                program.clear();
                break;
            }

            // The floor: the same nine values written straight into the key.
            t = NowMs();
            fw::unique_hkey key;
            if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, KEY_SET_VALUE, key.put()) ==
                ERROR_SUCCESS) {
                WriteFixedText(key.get(), kValueFrom, values.from, kDateFieldBytes);
                WriteFixedText(key.get(), kValueTo, values.to, kDateFieldBytes);
                WriteFixedText(key.get(), kValueNotes, values.notes, kNotesFieldBytes);
                WriteFixedText(key.get(), kValueEvent, values.event, kEventFieldBytes);
                WriteDwordValue(key.get(), kValueEventIndex, values.eventIndex);
                WriteFixedText(key.get(), kValueDetailNotes, values.detailNotes, kNotesFieldBytes);
                const std::string time = FormatTimeOfDay(*values.time.minuteOfDay);
                RegSetValueExA(key.get(), "TIME", 0, REG_SZ,
                               reinterpret_cast<const BYTE*>(time.c_str()),
                               static_cast<DWORD>(time.size() + 1));
                WriteDwordValue(key.get(), "DURATION", *values.time.duration);
                WriteDwordValue(key.get(), "REMIND BEFORE", *values.time.remindBefore);
            }
            floor.push_back(NowMs() - t);
        }
    } else {
        std::fprintf(stderr, "warning: the day of %d could not be filed\n", size);
    }
    RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
    root.reset();
    RegDeleteTreeA(HKEY_CURRENT_USER, path);
    Row r;
    r.measure = "Edit an appointment (all or nothing, with its time)";
    r.n = std::to_string(size);
    r.program = Summarise(program);
    r.floor = Summarise(floor);
    r.limit = 1.5;
    r.floorName = "bare writes";
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
    int indexAnswers = 0;
    for (int run = 0; run < runs; ++run) {
        // The window's scanner would answer a second "Show Reminder" from its
        // index; an option changed and changed back makes it walk. (Writing
        // the same value again is no change: the registry tells no one.)
        {
            fw::unique_hkey options;
            if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kOptionsKeyPath, 0, KEY_SET_VALUE,
                              options.put()) == ERROR_SUCCESS) {
                WriteDwordValue(options.get(), kValueTimeoutValue, 6);
                WriteDwordValue(options.get(), kValueTimeoutValue, 5);
            }
        }
        const int walksBefore = dlg.Reminders().Scanner().Walks();
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
        if (dlg.Reminders().Scanner().Walks() != walksBefore + 1)
            ++indexAnswers;
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
    if (indexAnswers != 0)
        std::fprintf(stderr, "warning: %d of the answer-time runs did not walk the store\n",
                     indexAnswers);
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
    HWND exclude = nullptr;
    const char* caption = nullptr; // any caption when null
    DWORD exStyle = 0;             // extended style bits the window must have
    HWND found = nullptr;
};

BOOL CALLBACK FindDialogWindow(HWND window, LPARAM param) {
    auto* state = reinterpret_cast<FindState*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid != state->pid || window == state->exclude || !IsWindowVisible(window))
        return TRUE;
    char cls[32] = "";
    char caption[64] = "";
    GetClassNameA(window, cls, sizeof cls);
    GetWindowTextA(window, caption, sizeof caption);
    const auto exStyle = static_cast<DWORD>(GetWindowLongPtrA(window, GWL_EXSTYLE));
    if (std::strcmp(cls, "#32770") == 0 && (exStyle & state->exStyle) == state->exStyle &&
        (state->caption == nullptr || std::strcmp(caption, state->caption) == 0)) {
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

double PeakWorkingSetMb(HANDLE process) {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    if (!GetProcessMemoryInfo(process, &counters, sizeof counters))
        return 0;
    return static_cast<double>(counters.PeakWorkingSetSize) / 1048576.0;
}

struct LaunchResult {
    bool ok = false;
    int listRows = -1; // rows in the main window's day list, when it has one
    double firstPaintMs = 0;
    double peakWorkingSetMb = 0;
};

// What a launch does once the main window is painted, before the peak working
// set is read: false when it did not get what it waited for.
using AfterPaint = std::function<bool(HANDLE process, DWORD pid, HWND window)>;

// Starts `exe`, waits for its visible main window to be painted, optionally
// reads its peak working set once it has settled (after `afterPaint`, when
// given); then ends it.
LaunchResult Launch(const std::string& exe, bool readMemory = true,
                    const AfterPaint& afterPaint = nullptr) {
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
    state.caption = "Quillmere";
    for (;;) {
        if (NowMs() - t0 > 60000 || WaitForSingleObject(process.get(), 0) == WAIT_OBJECT_0)
            break;
        if (state.found == nullptr)
            EnumWindows(FindDialogWindow, reinterpret_cast<LPARAM>(&state));
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
    if (result.ok && afterPaint)
        result.ok = afterPaint(process.get(), info.dwProcessId, state.found);
    if (result.ok && readMemory) {
        // Let the last work settle before reading the peak.
        Sleep(500);
        result.peakWorkingSetMb = PeakWorkingSetMb(process.get());
    } else if (!result.ok) {
        std::fprintf(stderr, "%s showed no painted main window\n", exe.c_str());
    }
    TerminateProcess(process.get(), 0);
    WaitForSingleObject(process.get(), 10000);
    return result;
}

// A copy of the program already running in the prefix would take every
// launch's place (one copy per sign-in): the launch would only bring it
// forward and end.
bool ProgramAlreadyRunning() {
    fw::unique_handle mutex(OpenMutexA(SYNCHRONIZE, FALSE, CSingleInstance::kMutexName));
    if (!mutex && CSingleInstance::FindMarkedWindow() == nullptr)
        return false;
    std::fprintf(stderr, "a copy of the program runs in the bench prefix: the launches are not "
                         "measured\n");
    return true;
}

void MeasureStartup(const Options& options, int n, std::vector<Row>& rows) {
    ScratchRoot::Leave();
    if (ProgramAlreadyRunning())
        return;
    std::vector<double> program, floor, bare, programMem, floorMem;
    // One unmeasured launch of each warms the file cache and Wine's own
    // start-up work, which all pay the same.
    Launch(options.programExe, false);
    Launch(options.startupFloorExe, false);
    Launch(options.floorExe, false);
    // A launch is short and swings with the machine's load: more runs. The
    // three alternate, so that all see the same conditions.
    const int runs = MoreRuns(options.runs);
    int wrongRows = 0;
    for (int run = 0; run < runs; ++run) {
        const LaunchResult p = Launch(options.programExe);
        // The generated store files five appointments under today; a start-up
        // that listed none would not have read the store.
        if (p.ok && p.listRows != 5)
            ++wrongRows;
        if (p.ok) {
            program.push_back(p.firstPaintMs);
            programMem.push_back(p.peakWorkingSetMb);
        }
        const LaunchResult f = Launch(options.startupFloorExe);
        if (f.ok && f.listRows != 5)
            ++wrongRows;
        if (f.ok) {
            floor.push_back(f.firstPaintMs);
            floorMem.push_back(f.peakWorkingSetMb);
        }
        const LaunchResult b = Launch(options.floorExe, false);
        if (b.ok)
            bare.push_back(b.firstPaintMs);
    }
    if (wrongRows != 0)
        std::fprintf(stderr, "warning: %d launches did not list today's 5 appointments\n",
                     wrongRows);
    Row r;
    r.measure = "Start-up to first paint (splash off)";
    r.n = std::to_string(n);
    r.program = Summarise(program);
    r.floor = Summarise(floor);
    r.limit = 1.15;
    r.floorName = "start-up floor";
    rows.push_back(r);
    r.measure = "Start-up to first paint, against an empty dialog";
    r.floor = Summarise(bare);
    r.limit = 0;
    r.floorName = "bare dialog";
    rows.push_back(r);
    rows.push_back(MemoryRow("Peak working set after start-up", n, programMem, floorMem));
}

// The launched program with "TIMEOUT DELETE" 1: its start-up purges the whole
// store on the window's thread before the first paint, and its peak working
// set is read as after the plain start-up, so that whatever the purge held
// for a moment is in it. Each launch starts from the whole store: the ended
// appointments it deleted are written back (not timed). Floor: the start-up
// floor program's peak, as for the plain start-up.
void MeasureStartupPurge(const Options& options, const Store& store, std::vector<Row>& rows) {
    ScratchRoot::Leave();
    if (ProgramAlreadyRunning())
        return;
    const CalendarDate today = Today();
    // The store's first day lies so far back (in a store of 1,500 or more)
    // that all its appointments have ended, each range being at most 30
    // days: a launch that left one there did not purge.
    const bench::GeneratedAppointment first = bench::Generate(store.n, today).front();
    const bool checkable = store.n >= 1500;
    const std::string firstDay = std::string(kCalendarRootPath) + "\\" + FormatDateText(first.day);
    auto setPurge = [](DWORD purge) {
        fw::unique_hkey key;
        return RegOpenKeyExA(HKEY_LOCAL_MACHINE, kOptionsKeyPath, 0, KEY_SET_VALUE, key.put()) ==
                   ERROR_SUCCESS &&
               WriteDwordValue(key.get(), kValueTimeoutDelete, purge);
    };
    auto firstDayCount = [&] {
        fw::unique_hkey key;
        DWORD count = 0;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, firstDay.c_str(), 0, KEY_READ, key.put()) ==
            ERROR_SUCCESS)
            RegQueryInfoKeyA(key.get(), nullptr, nullptr, nullptr, &count, nullptr, nullptr,
                             nullptr, nullptr, nullptr, nullptr, nullptr);
        return count;
    };
    std::vector<double> program, floor, paint;
    int notPurged = 0;
    for (int run = 0; run < options.runs; ++run) {
        if (!setPurge(1))
            break;
        const LaunchResult p = Launch(options.programExe);
        setPurge(0);
        if (p.ok) {
            program.push_back(p.peakWorkingSetMb);
            paint.push_back(p.firstPaintMs);
            if (checkable && firstDayCount() != 0)
                ++notPurged;
        }
        bench::WriteScanStore(store.Root(), store.n, today, true);
        const LaunchResult f = Launch(options.startupFloorExe);
        if (f.ok)
            floor.push_back(f.peakWorkingSetMb);
    }
    if (notPurged != 0)
        std::fprintf(stderr, "warning: %d launches with the purge on left ended appointments\n",
                     notPurged);
    rows.push_back(MemoryRow("Peak working set after start-up with its purge (TIMEOUT DELETE 1)",
                             store.n, program, floor));
    Row t;
    t.measure = "Start-up with its purge to first paint";
    t.n = std::to_string(store.n);
    t.program = Summarise(paint);
    rows.push_back(t);
}

// The launched program over the whole store: once its window is painted it is
// sent "Show Reminder", which scans every appointment on its reminder thread;
// its peak working set is read once the pop-up is up. Floor: the start-up
// floor program's peak after its first paint.
void MeasureMemoryAfterScan(const Options& options, const Store& store, std::vector<Row>& rows) {
    ScratchRoot::Leave();
    if (ProgramAlreadyRunning())
        return;
    if (store.current == 0) {
        std::fprintf(stderr, "no appointment is current today: no pop-up to wait for\n");
        return;
    }
    std::vector<double> program, floor, scans;
    const AfterPaint scan = [&scans](HANDLE process, DWORD pid, HWND window) {
        const double t = NowMs();
        PostMessageA(window, WM_COMMAND, MAKEWPARAM(ID_TRAY_SHOW_REMINDER, 0), 0);
        FindState popup;
        popup.pid = pid;
        popup.exclude = window;
        // The pop-up is a tool window; a message box would not be.
        popup.exStyle = WS_EX_TOOLWINDOW;
        while (popup.found == nullptr) {
            if (NowMs() - t > 120000 || WaitForSingleObject(process, 0) == WAIT_OBJECT_0) {
                std::fprintf(stderr, "the program showed no reminder pop-up\n");
                return false;
            }
            EnumWindows(FindDialogWindow, reinterpret_cast<LPARAM>(&popup));
            Sleep(1);
        }
        scans.push_back(NowMs() - t);
        return true;
    };
    for (int run = 0; run < options.runs; ++run) {
        const LaunchResult p = Launch(options.programExe, true, scan);
        if (p.ok)
            program.push_back(p.peakWorkingSetMb);
        const LaunchResult f = Launch(options.startupFloorExe);
        if (f.ok)
            floor.push_back(f.peakWorkingSetMb);
    }
    rows.push_back(MemoryRow("Peak working set after a scan (the program, Show Reminder to pop-up)",
                             store.n, program, floor));
    Row s;
    s.measure = "Show Reminder to pop-up in the launched program";
    s.n = std::to_string(store.n);
    s.program = Summarise(scans);
    rows.push_back(s);
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
    std::fprintf(
        stderr,
        "usage: bench_driver [--smoke] [--runs R] [--sizes N,N,...] [--list N]\n"
        "                    [--launch N] [--answer N] [--alerts N] [--series N] [--peer FILE]\n"
        "                    [--only "
        "scan,alerts,list,edit,answer,startup,purge,memory,series,find]\n"
        "                    [--program EXE] [--floor EXE] [--startup-floor EXE]\n"
        "       bench_driver --write-remind N FILE\n"
        "       bench_driver --add-appointment HKLM|PATH-BELOW-HKCU\n");
    return 2;
}

std::vector<std::string> ParseNames(const char* text) {
    std::vector<std::string> names;
    std::string name;
    for (const char* p = text;; ++p) {
        if (*p == ',' || *p == '\0') {
            if (!name.empty())
                names.push_back(name);
            name.clear();
            if (*p == '\0')
                break;
        } else {
            name += *p;
        }
    }
    return names;
}

// The second process of the outside-change measure: files one appointment
// below the given store root and ends.
int AddAppointment(const std::string& where) {
    fw::unique_hkey opened;
    HKEY root = HKEY_LOCAL_MACHINE;
    if (where != "HKLM") {
        if (RegOpenKeyExA(HKEY_CURRENT_USER, where.c_str(), 0, KEY_ALL_ACCESS, opened.put()) !=
            ERROR_SUCCESS)
            return 1;
        root = opened.get();
    }
    return bench::WriteOutsideAppointment(root, Today()) ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    char self[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, self, sizeof self);
    Options options;
    options.self = self;
    options.floorExe = Directory(self) + "\\bench_floor_dialog.exe";
    options.startupFloorExe = Directory(self) + "\\bench_floor_startup.exe";
    options.programExe = Directory(Directory(self)) + "\\quillmere.exe";
    std::string addWhere;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--write-remind" && i + 2 < argc) {
            const int n = std::atoi(argv[i + 1]);
            return bench::WriteRemindFile(argv[i + 2], n, Today()) ? 0 : 1;
        } else if (arg == "--add-appointment" && hasValue) {
            addWhere = argv[++i];
        } else if (arg == "--smoke") {
            options.scanSizes = {50};
            options.listSize = 50;
            options.launchSize = 50;
            options.answerSize = 50;
            options.variantSize = 50;
            options.alertSize = 50;
            options.seriesSize = 50;
            options.runs = 1;
        } else if (arg == "--runs" && hasValue) {
            options.runs = std::max(1, std::atoi(argv[++i]));
        } else if (arg == "--sizes" && hasValue) {
            options.scanSizes = ParseSizes(argv[++i]);
        } else if (arg == "--list" && hasValue) {
            options.listSize = std::atoi(argv[++i]);
        } else if (arg == "--launch" && hasValue) {
            options.launchSize = std::atoi(argv[++i]);
        } else if (arg == "--alerts" && hasValue) {
            options.alertSize = std::atoi(argv[++i]);
        } else if (arg == "--series" && hasValue) {
            options.seriesSize = std::atoi(argv[++i]);
        } else if (arg == "--answer" && hasValue) {
            options.answerSize = std::atoi(argv[++i]);
        } else if (arg == "--only" && hasValue) {
            options.only = ParseNames(argv[++i]);
        } else if (arg == "--peer" && hasValue) {
            options.peerFile = argv[++i];
        } else if (arg == "--program" && hasValue) {
            options.programExe = argv[++i];
        } else if (arg == "--floor" && hasValue) {
            options.floorExe = argv[++i];
        } else if (arg == "--startup-floor" && hasValue) {
            options.startupFloorExe = argv[++i];
        } else {
            return Usage();
        }
    }
    if (!InPrivatePrefix()) {
        std::fprintf(stderr, "bench_driver writes HKEY_LOCAL_MACHINE: run it through "
                             "scripts/bench.sh, in the build's private Wine prefix\n");
        return 2;
    }
    if (!addWhere.empty())
        return AddAppointment(addWhere);

    INITCOMMONCONTROLSEX icc{};
    icc.dwSize = sizeof icc;
    icc.dwICC = ICC_WIN95_CLASSES | ICC_DATE_CLASSES | ICC_USEREX_CLASSES | ICC_STANDARD_CLASSES;
    InitCommonControlsEx(&icc);

    const CalendarDate today = Today();
    // The prefix's own store is the launched program's workload; a store
    // left by an earlier, broken run would add to it.
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, kCalendarRootPath);

    std::vector<int> sizes;
    if (options.Runs("scan"))
        sizes = options.scanSizes;
    if (options.Runs("answer"))
        sizes.push_back(options.answerSize);
    if (options.Runs("alerts"))
        sizes.push_back(options.alertSize);
    if (options.Runs("startup") || options.Runs("purge") || options.Runs("memory"))
        sizes.push_back(options.launchSize);
    std::map<int, Store> stores;
    for (int n : sizes) {
        if (stores.count(n) != 0)
            continue;
        Store& store = stores[n];
        store.n = n;
        if (n != options.launchSize)
            store.scratch = std::make_unique<ScratchRoot>("store-" + std::to_string(n));
        const double t = NowMs();
        const bench::WorkloadCounts counts = bench::WriteScanStore(store.Root(), n, today, false);
        store.current = counts.current;
        std::printf("store of %d: %d current today, %d ended, %d upcoming; written in %.1f s\n",
                    counts.appointments, counts.current, counts.ended, counts.upcoming,
                    (NowMs() - t) / 1000.0);
    }

    std::vector<Row> rows;
    const std::map<int, Stats> peer = ReadPeer(options.peerFile);
    if (options.Runs("scan")) {
        BenchCalendarDlg scanner;
        for (int n : options.scanSizes)
            MeasureScan(options, stores[n], n == options.variantSize, scanner, rows, peer);
    }
    if (options.Runs("list")) {
        MeasureListFill(options.listSize, options.runs, rows);
        MeasureSeriesListFill(options.listSize, options.runs, rows);
    }
    if (options.Runs("series"))
        MeasureSeriesScan(options, rows);
    if (options.Runs("find"))
        MeasureFind(options, rows);
    if (options.Runs("edit"))
        MeasureEdit(options.listSize, options.runs, rows);
    if (options.Runs("answer"))
        MeasureAnswerTime(stores[options.answerSize], options.runs, rows);
    if (options.Runs("startup"))
        MeasureStartup(options, options.launchSize, rows);
    if (options.Runs("purge"))
        MeasureStartupPurge(options, stores[options.launchSize], rows);
    if (options.Runs("memory"))
        MeasureMemoryAfterScan(options, stores[options.launchSize], rows);
    // Last: it gives the store's appointments alerts, which the others do not
    // expect.
    if (options.Runs("alerts"))
        MeasureAlerts(options, stores[options.alertSize], rows);

    stores.clear();
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, kCalendarRootPath);
    PrintTable(rows);
    return 0;
}
