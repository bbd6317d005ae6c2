#!/usr/bin/python3
"""Times a first CalDAV sync and counts the requests of later ones:
quillmere.exe /sync under Wine beside Debian's vdirsyncer natively, on the
same calendar of Debian's Radicale on loopback, and the floor of the local
half (the same appointments written to the registry with bare calls).

  WINEPREFIX=... bench/sync_timing.py --exe build/quillmere.exe \
      --floor build/bench/bench_floor_sync_write.exe [--runs 3] [1000 10000 ...]

The prefix's store and sync account are emptied before each run, so use a
prefix of its own. Requests are counted by the tests' proxy
(tests/sync/fault_proxy.py) between each client and Radicale. Each calendar
holds N all-day events, five a day from 2030 on, with a summary, a
description, a category and a UID. Prints a markdown table: medians with the
fastest and slowest run; Wine times include starting a Wine process, shown on
its own as "Wine process start".
"""
import argparse
import base64
import datetime
import http.client
import os
import shutil
import socket
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
PROXY = os.path.join(HERE, "..", "tests", "sync", "fault_proxy.py")
USER = "anna"
# Debian's Python, which has Radicale; another python3 may come first on PATH.
PYTHON = "/usr/bin/python3"


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_for_port(port, seconds=30):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        try:
            with socket.create_connection(("127.0.0.1", port), timeout=1):
                return
        except OSError:
            time.sleep(0.2)
    raise SystemExit("nothing answers on port %d" % port)


def calendar_text(count, stamp="20300101T000000Z", changed=None):
    lines = ["BEGIN:VCALENDAR", "VERSION:2.0", "PRODID:-//Quillmere bench//EN"]
    first = datetime.date(2030, 1, 1)
    for i in range(count):
        day = first + datetime.timedelta(days=i // 5)
        end = day + datetime.timedelta(days=1 + i % 3)
        summary = "Meeting %d at the office" % i
        if changed == i:
            summary += " (moved)"
        lines += ["BEGIN:VEVENT", "UID:bench-%d@quillmere" % i, "DTSTAMP:" + stamp,
                  "DTSTART;VALUE=DATE:" + day.strftime("%Y%m%d"),
                  "DTEND;VALUE=DATE:" + end.strftime("%Y%m%d"),
                  "SUMMARY:" + summary,
                  "DESCRIPTION:Generated appointment %d: bring the papers\\, call ahead\\, and "
                  "leave early enough for the traffic." % i,
                  "CATEGORIES:Others", "END:VEVENT"]
    lines.append("END:VCALENDAR")
    return "\r\n".join(lines) + "\r\n"


def one_event(i, summary):
    text = calendar_text(i + 1)
    start = text.index("BEGIN:VEVENT", text.index("UID:bench-%d@" % i) - 20)
    event = text[start:text.index("END:VEVENT", start) + len("END:VEVENT")]
    event = event.replace("SUMMARY:Meeting %d at the office" % i, "SUMMARY:" + summary)
    return ("BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Quillmere bench//EN\r\n" + event +
            "\r\nEND:VCALENDAR\r\n")


class Server:
    """Radicale with htpasswd authentication, and the counting proxy."""

    def __init__(self, scratch):
        self.password = "pw-%d" % os.getpid()
        with open(os.path.join(scratch, "users"), "w") as f:
            f.write("%s:%s\n" % (USER, self.password))
        self.port, self.proxy_port = free_port(), free_port()
        self.log = open(os.path.join(scratch, "servers.log"), "w")
        self.processes = [
            subprocess.Popen([PYTHON, "-m", "radicale", "--server-hosts",
                              "127.0.0.1:%d" % self.port, "--storage-filesystem-folder",
                              os.path.join(scratch, "radicale"), "--auth-type", "htpasswd",
                              "--auth-htpasswd-filename", os.path.join(scratch, "users"),
                              "--auth-htpasswd-encryption", "plain", "--auth-delay", "0"],
                             stdout=self.log, stderr=self.log),
            subprocess.Popen([PYTHON, PROXY, "--port", str(self.proxy_port),
                              "--upstream", "127.0.0.1:%d" % self.port],
                             stdout=self.log, stderr=self.log)]
        wait_for_port(self.port)
        wait_for_port(self.proxy_port)

    def stop(self):
        for p in self.processes:
            p.terminate()
        for p in self.processes:
            try:
                p.wait(10)
            except subprocess.TimeoutExpired:
                p.kill()

    def request(self, method, path, body=b"", headers=None):
        connection = http.client.HTTPConnection("127.0.0.1", self.port, timeout=600)
        auth = base64.b64encode(("%s:%s" % (USER, self.password)).encode()).decode()
        all_headers = {"Authorization": "Basic " + auth}
        all_headers.update(headers or {})
        connection.request(method, path, body, all_headers)
        response = connection.getresponse()
        data = response.read()
        connection.close()
        return response.status, data

    def fill(self, name, count):
        # One PUT of a whole calendar makes the collection with every event.
        status, data = self.request("PUT", "/%s/%s/" % (USER, name), calendar_text(count).encode(),
                                    {"Content-Type": "text/calendar"})
        if status not in (200, 201, 204):
            raise SystemExit("Radicale refused the calendar: %d %s" % (status, data[:300]))

    def requests(self):
        connection = http.client.HTTPConnection("127.0.0.1", self.proxy_port, timeout=30)
        connection.request("GET", "/__fault__/count")
        count = int(connection.getresponse().read().decode().strip())
        connection.close()
        return count - 1  # this request itself

    def url(self, name, proxied=True):
        return "http://127.0.0.1:%d/%s/%s/" % (self.proxy_port if proxied else self.port, USER,
                                              name)


def timed(command, stdin_text=None, check=True):
    # Output to files, not pipes: Wine's service processes keep a pipe open.
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err, \
            tempfile.TemporaryFile() as inp:
        if stdin_text is not None:
            inp.write(stdin_text.encode())
            inp.seek(0)
        start = time.monotonic()
        result = subprocess.run(command, stdin=inp, stdout=out, stderr=err, close_fds=False)
        elapsed = time.monotonic() - start
        out.seek(0)
        err.seek(0)
        stdout, stderr = out.read().decode(errors="replace"), err.read().decode(errors="replace")
    if check and result.returncode != 0:
        raise SystemExit("%s: exit code %d: %s %s" % (command, result.returncode, stdout[-500:],
                                                        stderr[-500:]))
    return elapsed, stdout, result.returncode


def wine(args):
    return ["wine"] + args


def reset_program(exe):
    for key in ("HKLM\\SOFTWARE\\Calendar", "HKCU\\Software\\Quillmere\\Sync"):
        subprocess.run(wine(["reg", "delete", key, "/f"]), stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)


def quillmere_first_sync(server, exe, name):
    reset_program(exe)
    timed(wine([exe, "/sync-account", server.url(name), USER]),
          server.password + "\n")
    before = server.requests()
    elapsed, out, _ = timed(wine([exe, "/sync"]))
    return elapsed, server.requests() - before, out


def quillmere_count(server, exe, command=("/sync",)):
    before = server.requests()
    _, out, code = timed(wine([exe] + list(command)), check=False)
    return server.requests() - before, out, code


def vdirsyncer_first_sync(server, scratch, name):
    root = os.path.join(scratch, "vdir-" + name)
    shutil.rmtree(root, ignore_errors=True)
    os.makedirs(os.path.join(root, "local"))
    config = os.path.join(root, "config")
    with open(config, "w") as f:
        f.write("""[general]
status_path = "%s/status/"

[pair bench]
a = "server"
b = "local"
collections = null

[storage server]
type = "caldav"
url = "%s"
username = "%s"
password = "%s"

[storage local]
type = "filesystem"
path = "%s/local/"
fileext = ".ics"
""" % (root, server.url(name), USER, server.password, root))
    # The pair is set up first, as its users do once; only the sync is timed.
    timed(["vdirsyncer", "-c", config, "discover", "bench"], "y\n" * 4)
    before = server.requests()
    elapsed, out, _ = timed(["vdirsyncer", "-c", config, "sync"])
    files = len(os.listdir(os.path.join(root, "local")))
    return elapsed, server.requests() - before, files


def summary(values):
    return "%.2f (%.2f-%.2f)" % (statistics.median(values), min(values), max(values))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--exe", required=True)
    parser.add_argument("--floor", required=True)
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("sizes", nargs="*", type=int, default=[1000, 10000])
    args = parser.parse_args()
    os.environ["no_proxy"] = os.environ["NO_PROXY"] = "127.0.0.1,localhost"
    if "WINEPREFIX" not in os.environ:
        raise SystemExit("set WINEPREFIX to a prefix of the benchmark's own")
    scratch = tempfile.mkdtemp(prefix="quillmere-sync-bench-")
    server = Server(scratch)
    rows = []
    try:
        start_times = [timed(wine([args.floor, "0"]))[0] for _ in range(args.runs)]
        rows.append(("Wine process start (no work)", "-", summary(start_times), "", "", ""))
        for n in args.sizes:
            name = "bench-%d" % n
            server.fill(name, n)
            ours, ours_requests, theirs, theirs_requests, floor = [], [], [], [], []
            out = ""
            for _ in range(args.runs):
                elapsed, count, out = quillmere_first_sync(server, args.exe, name)
                ours.append(elapsed)
                ours_requests.append(count)
                elapsed, count, files = vdirsyncer_first_sync(server, scratch, name)
                if files != n:
                    raise SystemExit("vdirsyncer fetched %d of %d events" % (files, n))
                theirs.append(elapsed)
                theirs_requests.append(count)
                wall, printed, _ = timed(wine([args.floor, str(n)]))
                floor.append(wall)
            rows.append(("First sync", n, summary(ours), "%d" % max(ours_requests),
                         summary(theirs), "%d" % max(theirs_requests)))
            rows.append(("Floor: the same appointments by bare registry calls", n,
                         summary(floor), "", "", ""))
            print("Last /sync of %d said: %s" % (n, out.strip().replace("\n", " / ")),
                  file=sys.stderr)
            # After the last first sync: a poll, then one change on each side.
            poll, _, _ = quillmere_count(server, args.exe)
            rows.append(("Poll, nothing changed", n, "", "%d" % poll, "", ""))
            status, _ = server.request(
                "PUT", "/%s/%s/bench-%d@quillmere.ics" % (USER, name, n - 1),
                one_event(n - 1, "Changed on the server").encode(),
                {"Content-Type": "text/calendar"})
            key = find_appointment(0)
            subprocess.run(wine(["reg", "add", key, "/v", "NOTES", "/t", "REG_SZ", "/d",
                                 "Changed here", "/f"]), stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL)
            both, said, code = quillmere_count(server, args.exe)
            rows.append(("One change on each side", n, "", "%d" % both, "", ""))
            print("One change each side (server PUT %d, exit %d): %s" %
                  (status, code, said.strip().replace("\n", " / ")), file=sys.stderr)
    finally:
        server.stop()
        shutil.rmtree(scratch, ignore_errors=True)
    print("| Measure | N | Quillmere /sync, s: median (min-max) | requests | "
          "vdirsyncer sync, s | requests |")
    print("|---|---|---|---|---|---|")
    for row in rows:
        print("| %s | %s | %s | %s | %s | %s |" % row)


def find_appointment(i):
    """The registry path of the appointment whose UID is bench-<i>@quillmere,
    read from the prefix's saved HKEY_LOCAL_MACHINE once Wine has written it."""
    subprocess.run(["wineserver", "-w"])
    wanted = '"UID"="bench-%d@quillmere"' % i
    section = None
    with open(os.path.join(os.environ["WINEPREFIX"], "system.reg"), encoding="utf-8",
              errors="replace") as f:
        for line in f:
            if line.startswith("["):
                section = line[1:line.index("]")].replace("\\\\", "\\")
            elif line.strip() == wanted and section is not None:
                return "HKLM\\" + section
    raise SystemExit("no appointment holds bench-%d@quillmere" % i)


if __name__ == "__main__":
    main()
