#!/usr/bin/python3
"""Times iCalendar import and export: quillmere.exe /import and /export under
Wine beside calcurse -i and calcurse -x ical natively, on the same files.

  WINEPREFIX=... bench/ical_timing.py --exe build/quillmere.exe [--runs 3] [10000 50000 ...]

The prefix's store is emptied before each import, so use a prefix of its
own (not one that keeps appointments). Each file holds N all-day events,
five a day, with notes, detailed notes and a type, as exports of the
program look. Prints a table of medians with the fastest and slowest run;
the Wine figures include starting a Wine process, shown on its own as
"empty store".
"""
import argparse
import datetime
import os
import shutil
import statistics
import subprocess
import tempfile
import time


def write_calendar(path, count):
    lines = ["BEGIN:VCALENDAR", "VERSION:2.0", "PRODID:-//Quillmere bench//EN"]
    first = datetime.date(2030, 1, 1)
    for i in range(count):
        day = first + datetime.timedelta(days=i // 5)
        end = day + datetime.timedelta(days=1 + i % 3)
        lines += ["BEGIN:VEVENT", "UID:bench-%d@quillmere" % i, "DTSTAMP:20300101T000000Z",
                  "DTSTART;VALUE=DATE:" + day.strftime("%Y%m%d"),
                  "DTEND;VALUE=DATE:" + end.strftime("%Y%m%d"),
                  "SUMMARY:Meeting %d at the office" % i,
                  "DESCRIPTION:Generated appointment %d: bring the papers\\, call ahead\\, and "
                  "leave early enough for the traffic." % i,
                  "CATEGORIES:Others", "END:VEVENT"]
    lines.append("END:VCALENDAR")
    with open(path, "w", newline="") as f:
        f.write("\r\n".join(lines) + "\r\n")


def timed(command, **kwargs):
    # The output goes to files, not pipes: a pipe's end is also held by the
    # service processes Wine starts beside the first process of a prefix,
    # which linger after it, and waiting for its end counted 2.3 s of theirs
    # as the program's (measured).
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        start = time.monotonic()
        result = subprocess.run(command, stdout=out, stderr=err, close_fds=False, **kwargs)
        elapsed = time.monotonic() - start
        out.seek(0)
        err.seek(0)
        stdout, stderr = out.read(), err.read()
    if result.returncode != 0:
        raise SystemExit("%s: exit code %d: %s %s" % (command, result.returncode,
                                                        stdout[-300:], stderr[-300:]))
    return elapsed, stdout


def hold_low_latency():
    """Keeps idle CPUs ready while the file stays open, as scripts/low_latency.sh
    does for the other benchmarks: every registry call under Wine is a round
    trip to wineserver, which a halted CPU slows tenfold. None without root."""
    try:
        held = open("/dev/cpu_dma_latency", "w")
        held.write("0")
        held.flush()
        return held
    except OSError:
        return None


def windows_path(path):
    return "Z:" + path.replace("/", "\\")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--exe", required=True)
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("counts", nargs="*", type=int, default=[10000, 50000])
    args = parser.parse_args()
    exe = os.path.abspath(args.exe)
    latency = hold_low_latency()
    load_before = os.getloadavg()
    env = dict(os.environ, WINEDEBUG="-all")
    scratch = tempfile.mkdtemp(prefix="quillmere-ical-timing-")

    def empty_store():
        subprocess.run(["wine", "reg", "delete", r"HKLM\SOFTWARE\Calendar", "/f"],
                       capture_output=True, env=env)

    # A wine server that stays between the runs, and one run to warm it, so
    # that each figure is the program's and not the server's start.
    subprocess.run(["wineserver", "-p30"], env=env, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)
    try:
        out = os.path.join(scratch, "out.ics")
        empty_store()
        timed(["wine", exe, "/export", windows_path(out)], env=env)
        startup = statistics.median(
            timed(["wine", exe, "/export", windows_path(out)], env=env)[0]
            for _ in range(args.runs))
        rows = []
        for count in args.counts:
            source = os.path.join(scratch, "events-%d.ics" % count)
            write_calendar(source, count)
            q_import, q_export, c_import, c_export = [], [], [], []
            for _ in range(args.runs):
                empty_store()
                seconds, report = timed(["wine", exe, "/import", windows_path(source)], env=env)
                if ("%d appointments filed" % count).encode() not in report:
                    raise SystemExit("quillmere.exe /import: %s" % report[:300])
                q_import.append(seconds)
                seconds, report = timed(["wine", exe, "/export", windows_path(out)], env=env)
                if ("Exported %d appointments" % count).encode() not in report:
                    raise SystemExit("quillmere.exe /export: %s" % report[:300])
                q_export.append(seconds)
                data = os.path.join(scratch, "calcurse")
                shutil.rmtree(data, ignore_errors=True)
                os.makedirs(data)
                c_import.append(timed(["calcurse", "-D", data, "-q", "-i", source])[0])
                c_export.append(timed(["calcurse", "-D", data, "--export=ical"])[0])
            rows.append((count, q_import, q_export, c_import, c_export))
        empty_store()
    finally:
        shutil.rmtree(scratch)

    def cell(times):
        return "%.2f (%.2f-%.2f)" % (statistics.median(times), min(times), max(times))

    print("Seconds: median (fastest-slowest) of %d runs. Quillmere: quillmere.exe under Wine (a "
          "Wine process alone, /export of an empty store: %.2f s). calcurse: native. Idle CPUs "
          "held ready: %s. Load average %.2f / %.2f / %.2f before, %.2f / %.2f / %.2f after."
          % ((args.runs, startup, "yes" if latency else "no") + load_before + os.getloadavg()))
    print()
    print("| Events | Quillmere /import | calcurse -i | Quillmere /export | calcurse -x ical |")
    print("|---:|---:|---:|---:|---:|")
    for count, qi, qe, ci, ce in rows:
        print("| %d | %s | %s | %s | %s |" % (count, cell(qi), cell(ci), cell(qe), cell(ce)))


if __name__ == "__main__":
    main()
