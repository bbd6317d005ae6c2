#!/usr/bin/python3
"""The peer checks through the program itself: quillmere.exe under Wine.

  check_program.py --exe BUILD/quillmere.exe --tool NATIVE/ical_tool [--wine LAUNCHER]

WINEPREFIX names the prefix whose store is used; its appointments are
deleted (use the build's test prefix, never a user's).

(a) A store seeded by `/import` of the sample export (texts in several
    scripts, escapes, folded lines, ranges of several days) is written out
    again by `/export`: every event comes back with the same dates, texts,
    type and day, its time as the same instant (in the zone of the computer
    the program runs on), its daily range and its alarm, and the file passes check_peers.py's checks (Python's
    icalendar parses it and reads what Quillmere reads; calcurse imports it
    and exports it again with nothing lost).
(b) calcurse's export of a calendar around today (one-off days, a timed
    event over two days, filed at its time on its first day, weekly and two-monthly and yearly repeats, one in
    the past) goes through `/import` into an empty store and out again
    through `/export`: the days and notes the program filed are exactly the
    occurrences that python-dateutil expands from calcurse's file, from
    today to a year ahead (repeats) or whenever they fall (one-offs); a
    second `/import` files nothing.
"""
import argparse
import datetime
import os
import re
import shutil
import subprocess
import sys
import tempfile
from zoneinfo import ZoneInfo

import icalendar
from dateutil import rrule

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import check_peers  # noqa: E402
from check_peers import date_text, fail  # noqa: E402


class Program:
    def __init__(self, wine, exe):
        self.wine = wine
        self.exe = exe

    def run(self, *arguments):
        # The output goes to a file: Wine's service processes, started beside
        # the prefix's first process, inherit a pipe's end and hold it for
        # seconds after the program has ended.
        with tempfile.TemporaryFile() as out:
            result = subprocess.run(self.wine + [self.exe] + list(arguments), stdout=out,
                                    stderr=subprocess.DEVNULL, close_fds=False)
            out.seek(0)
            return result.returncode, out.read().decode("utf-8", "replace").strip()

    def run_tool(self, command):
        """A program of Wine's own (reg.exe), its exit code and output."""
        result = subprocess.run(self.wine + command, capture_output=True)
        return result.returncode, result.stdout.decode("utf-8", "replace")

    def must(self, expected_code, *arguments):
        code, output = self.run(*arguments)
        if code != expected_code:
            fail("quillmere.exe %s: exit code %d, not %d: %s"
                 % (" ".join(arguments), code, expected_code, output))
        return output

    def empty_store(self):
        subprocess.run(self.wine + ["reg", "delete", r"HKLM\SOFTWARE\Calendar", "/f"],
                       capture_output=True)


def summary_of(report):
    """The counts of an import's report: "3 appointments filed, ..."."""
    return report.splitlines()[0].split(": ", 1)[1].rstrip(".")


def windows_path(path):
    return "Z:" + path.replace("/", "\\")


def events_of(path):
    with open(path, "rb") as f:
        return icalendar.Calendar.from_ical(f.read()).walk("VEVENT")


def moment(event, key):
    """A DTSTART- or DTEND-like value as what it means: a date, a floating
    time, or an instant in UTC, whatever zone it was written in."""
    if key not in event:
        return ""
    value = event.decoded(key)
    if isinstance(value, datetime.datetime) and value.tzinfo is not None:
        return value.astimezone(datetime.timezone.utc).isoformat()
    return value.isoformat()


def content(event):
    """An event as the user's data: everything but UID and DTSTAMP; times as
    instants, since the program writes them in the zone of the computer it
    runs on; the last start of a daily range; the alarm's minutes."""
    keys = ("SUMMARY", "DESCRIPTION", "CATEGORIES", "X-QUILLMERE-DAY", "X-QUILLMERE-FROM",
            "X-QUILLMERE-TO", "X-QUILLMERE-ZONE")
    rule = event.get("RRULE")
    until = ""
    if rule is not None and "UNTIL" in rule:
        last = rule["UNTIL"][0]
        until = last.astimezone(datetime.timezone.utc).isoformat() \
            if isinstance(last, datetime.datetime) else last.isoformat()
    return (moment(event, "DTSTART"), moment(event, "DTEND"), until,
            str(check_peers.first_alarm_minutes(event))) + \
        tuple(event[k].to_ical().decode() if k in event else "" for k in keys)


def check_round_trip(program, tool, scratch):
    sample = os.path.join(scratch, "sample.ics")
    subprocess.run([tool, "sample", sample], check=True)
    exported = os.path.join(scratch, "exported.ics")
    program.empty_store()
    output = program.must(0, "/import", windows_path(sample))
    program.must(0, "/export", windows_path(exported))
    before = sorted(content(e) for e in events_of(sample))
    after = sorted(content(e) for e in events_of(exported))
    if before != after:
        fail("the store's round trip changed events: %s" % (set(before) ^ set(after)))
    print("quillmere.exe: /import of the sample (%s) and /export again give the same %d events"
          % (summary_of(output), len(after)))
    check_peers.check_python_icalendar(tool, exported)
    check_peers.check_calcurse_import(tool, exported, scratch)


def calcurse_calendar(today):
    """A calcurse apts file around `today`."""
    def day(offset):
        return (today + datetime.timedelta(days=offset)).strftime("%m/%d/%Y")
    return "\n".join([
        "%s [1] Lunch with Anna, caf\u00e9 \u2014 12:30" % day(3),
        "%s @ 10:00 -> %s @ 11:30 |Trip; two days" % (day(5), day(6)),
        "%s [1] {1W -> %s} Weekly thing" % (day(-14), day(60)),
        "%s @ 18:00 -> %s @ 19:00 {2M} |Every other month" % (day(2), day(2)),
        "%s [1] {1Y} Anniversary" % day(20),
        "%s [1] Long past" % day(-30),
    ]) + "\n"


def expected_days(path, today):
    """(day, notes) for each day an event of calcurse's file covers, as the
    program files it: one-offs whenever they fall, repeats from today to a
    year ahead (both ends included)."""
    # One year on; 29 February gives 28 February.
    try:
        last = today.replace(year=today.year + 1)
    except ValueError:
        last = today.replace(year=today.year + 1, day=28)
    days = set()
    for event in events_of(path):
        start = event.decoded("DTSTART")
        timed = isinstance(start, datetime.datetime)
        if "DURATION" in event:
            span = event.decoded("DURATION")
        elif "DTEND" in event:
            span = event.decoded("DTEND") - start
        else:
            span = datetime.timedelta(days=1)
        begin = start if timed else datetime.datetime.combine(start, datetime.time())
        if "RRULE" in event:
            rule = rrule.rrulestr(event["RRULE"].to_ical().decode(), dtstart=begin)
            zone = begin.tzinfo
            window = (datetime.datetime.combine(today, datetime.time(), zone) - span,
                      datetime.datetime.combine(last, datetime.time(23, 59, 59), zone))
            starts = [s for s in rule.between(*window, inc=True)
                      if (s + span - datetime.timedelta(seconds=1)).date() >= today
                      and s.date() <= last]
        else:
            starts = [begin]
        for s in starts:
            # A timed event is an appointment at its start, however long it
            # lasts; an all-day one covers its days.
            first = s.date()
            final = first if timed else \
                max(first, (s + span - datetime.timedelta(seconds=1)).date())
            d = first
            while d <= final:
                days.add((date_text(d), str(event["SUMMARY"])))
                d += datetime.timedelta(days=1)
    return days


def check_calcurse_to_program(program, scratch):
    today = datetime.date.today()
    data = os.path.join(scratch, "calcurse-own")
    os.makedirs(data)
    with open(os.path.join(data, "apts"), "w", encoding="utf-8") as f:
        f.write(calcurse_calendar(today))
    theirs = os.path.join(scratch, "calcurse-own.ics")
    with open(theirs, "wb") as f:
        f.write(check_peers.calcurse_export(data))
    program.empty_store()
    output = program.must(0, "/import", windows_path(theirs))
    back = os.path.join(scratch, "program-back.ics")
    program.must(0, "/export", windows_path(back))
    # The program keeps each repeating event as one with its rule, which
    # dateutil expands over the same year.
    expected, filed = expected_days(theirs, today), expected_days(back, today)
    if expected != filed:
        fail("calcurse's export through /import: missing %s, extra %s"
             % (sorted(expected - filed)[:5], sorted(filed - expected)[:5]))
    again = program.must(0, "/import", windows_path(theirs))
    if " 0 appointments filed" not in again:
        fail("a second /import of calcurse's export filed more: %s" % again)
    print("quillmere.exe: /import of calcurse's own export (%d events: one-off, timed over two "
          "days (on its first, at its time), weekly, two-monthly, yearly, past) files the %d days and notes python-dateutil "
          "expands, %s, from one appointment for each repeating event; a second /import files none"
          % (len(events_of(theirs)), len(filed), summary_of(output)))


SERIES_RULES = [
    # (summary, rule, timed: (zone or "", "HHMM", minutes) or None, days, skip the nth)
    ("Birthday on the last of February", "FREQ=YEARLY;BYMONTH=2;BYMONTHDAY=-1", None, 1, None),
    ("Plants every three days", "FREQ=DAILY;INTERVAL=3;COUNT=10",
     ("America/New_York", "1830", 90), 1, None),
    ("Choir Tuesday and Thursday", "FREQ=WEEKLY;BYDAY=TU,TH;UNTIL=%(until)s",
     ("Europe/Berlin", "0900", 60), 1, 3),
    ("Gym every other week", "FREQ=WEEKLY;INTERVAL=2;BYDAY=MO,WE,FR;WKST=SU", None, 1, 2),
    ("Rent at the end of the month", "FREQ=MONTHLY;BYMONTHDAY=-1", None, 2, None),
    ("Club on the last Friday", "FREQ=MONTHLY;BYDAY=-1FR", None, 1, None),
    ("Council every other second Tuesday", "FREQ=MONTHLY;INTERVAL=2;BYDAY=2TU",
     ("", "1900", 120), 1, None),
    ("Thanksgiving", "FREQ=YEARLY;BYMONTH=11;BYDAY=4TH", None, 1, None),
    ("Anniversary", "FREQ=YEARLY", None, 1, None),
]


def series_calendar(today):
    """A calendar of repeating events of every form Quillmere keeps as a
    rule, each starting on a day its rule gives (as calcurse wants) shortly
    before today, some with an EXDATE, timed ones in zones and floating."""
    lines = ["BEGIN:VCALENDAR", "VERSION:2.0", "PRODID:-//Peers//Series//EN"]
    for number, (summary, rule, timed, days, skip) in enumerate(SERIES_RULES):
        rule = rule % {"until": (today + datetime.timedelta(days=200)).strftime("%Y%m%d")}
        plain = ";".join(p for p in rule.split(";") if not p.startswith(("COUNT=", "UNTIL=")))
        anchor = datetime.datetime.combine(today - datetime.timedelta(days=12), datetime.time())
        first = rrule.rrulestr(plain, dtstart=anchor)[0].date()
        lines += ["BEGIN:VEVENT", "UID:series-%d@peers" % number, "DTSTAMP:20200101T000000Z",
                  "SUMMARY:" + summary]
        alarm = []
        if timed:
            zone, hhmm, minutes = timed
            tzid = ";TZID=" + zone if zone else ""
            start = datetime.datetime.combine(first, datetime.time(int(hhmm[:2]), int(hhmm[2:])))
            if "UNTIL=" in rule:  # a zoned start's UNTIL is in UTC
                until = datetime.datetime.combine(
                    today + datetime.timedelta(days=200), datetime.time(23, 59, 59),
                    ZoneInfo(zone)).astimezone(datetime.timezone.utc)
                rule = rule.replace(rule.split("UNTIL=")[1].split(";")[0],
                                    until.strftime("%Y%m%dT%H%M%SZ"))
            lines += ["DTSTART%s:%s" % (tzid, start.strftime("%Y%m%dT%H%M%S")),
                      "DURATION:PT%dM" % minutes]
            alarm = ["BEGIN:VALARM", "ACTION:DISPLAY", "DESCRIPTION:" + summary,
                     "TRIGGER:-PT15M", "END:VALARM"]
        else:
            start = datetime.datetime.combine(first, datetime.time())
            lines += ["DTSTART;VALUE=DATE:" + first.strftime("%Y%m%d"),
                      "DTEND;VALUE=DATE:" +
                      (first + datetime.timedelta(days=days)).strftime("%Y%m%d")]
        lines.append("RRULE:" + rule)
        if skip:
            occurrence = rrule.rrulestr(plain, dtstart=start)[skip]
            lines.append("EXDATE%s:%s" % (tzid, occurrence.strftime("%Y%m%dT%H%M%S"))
                         if timed else "EXDATE;VALUE=DATE:" + occurrence.strftime("%Y%m%d"))
        lines += alarm + ["END:VEVENT"]
    lines.append("END:VCALENDAR")
    return "\r\n".join(lines) + "\r\n"


def stored_series(program):
    """(notes, FROM, REPEAT, SKIP DATES) of each appointment in the store, as
    reg.exe lists them."""
    code, out = program.run_tool(["reg", "query", r"HKLM\SOFTWARE\Calendar", "/s"])
    found, current = [], None
    for line in out.splitlines():
        if line.startswith("HKEY_"):
            current = {}
            found.append(current)
            continue
        parts = line.strip().split(None, 2)
        if current is not None and len(parts) == 3 and parts[1].startswith("REG_"):
            current[parts[0]] = parts[2]
        elif current is not None and len(parts) >= 2 and parts[0] == "SKIP" and \
                parts[1] == "DATES":
            current["SKIP DATES"] = line.strip().split(None, 3)[3] \
                if len(line.strip().split(None, 3)) == 4 else ""
    return [(a.get("NOTES", ""), a.get("FROM", ""), a.get("REPEAT", ""), a.get("SKIP DATES", ""))
            for a in found if "REPEAT" in a]


def dateutil_starts(event, first, last):
    """The first days of an exported series' occurrences in first..last, on
    its start's wall clock, as icalendar and dateutil's rrulestr read them."""
    start = event.decoded("DTSTART")
    timed = isinstance(start, datetime.datetime)
    begin = start if timed else datetime.datetime.combine(start, datetime.time())
    rule = rrule.rrulestr(event["RRULE"].to_ical().decode(), dtstart=begin)
    excluded = set()
    exdates = event.get("EXDATE", [])
    for exdate in exdates if isinstance(exdates, list) else [exdates]:
        for value in exdate.dts:
            moment = value.dt
            if isinstance(moment, datetime.datetime) and moment.tzinfo and begin.tzinfo:
                moment = moment.astimezone(begin.tzinfo)
            excluded.add(moment.date() if isinstance(moment, datetime.datetime) else moment)
    low = datetime.datetime.combine(first, datetime.time(), begin.tzinfo)
    high = datetime.datetime.combine(last, datetime.time(23, 59, 59), begin.tzinfo)
    return [d.date() for d in rule.between(low, high, inc=True) if d.date() not in excluded]


def check_series_through_program(program, series_tool, scratch):
    today = datetime.date.today()
    last = today + datetime.timedelta(days=730)
    source = os.path.join(scratch, "series.ics")
    with open(source, "w", encoding="utf-8", newline="") as f:
        f.write(series_calendar(today))
    program.empty_store()
    output = program.must(0, "/import", windows_path(source))
    if not summary_of(output).startswith("%d appointments filed" % len(SERIES_RULES)):
        fail("/import of %d repeating events: %s" % (len(SERIES_RULES), output))
    exported = os.path.join(scratch, "series-back.ics")
    program.must(0, "/export", windows_path(exported))
    events = {str(e["SUMMARY"]): e for e in events_of(exported)}
    stored = stored_series(program)
    if sorted(events) != sorted(s[0] for s in stored) or any("RRULE" not in e
                                                             for e in events.values()):
        fail("the export's events %s are not the stored series %s"
             % (sorted(events), sorted(s[0] for s in stored)))

    # Quillmere's own dates, from the stored rules.
    def compact(text):
        y, m, d = (int(x) for x in text.split("-"))
        return "%04d%02d%02d" % (y, m, d)
    lines = ["%s %s %s" % (compact(f), repeat, skips) for _, f, repeat, skips in stored]
    answer = subprocess.run([series_tool, "dates", today.strftime("%Y%m%d"),
                             last.strftime("%Y%m%d")], input="\n".join(lines) + "\n",
                            capture_output=True, text=True, check=True).stdout.splitlines()
    occurrences = 0
    for (notes, _, repeat, _), words in zip(stored, answer):
        words = words.split()
        mine = [datetime.datetime.strptime(w, "%Y%m%d").date()
                for w in words[:words.index("end") if "end" in words else len(words)]]
        theirs = dateutil_starts(events[notes], today, last)
        if mine != theirs:
            fail("%r (%s): Quillmere shows %s, dateutil expands the export to %s"
                 % (notes, repeat, mine[:6], theirs[:6]))
        occurrences += len(mine)
    print("quillmere.exe: /import of %d repeating events (%s) files one appointment each; "
          "/export writes each as one event that python3-icalendar and dateutil's rrulestr "
          "expand to the %d occurrences Quillmere shows from %s to %s"
          % (len(SERIES_RULES), summary_of(output), occurrences, today, last))

    # calcurse takes every series, and means by it the same days.
    data = os.path.join(scratch, "calcurse-series")
    os.makedirs(data)
    result = subprocess.run(["calcurse", "-D", data, "-i", exported], capture_output=True,
                            text=True, env=check_peers.CALCURSE_ENV)
    if result.returncode != 0 or " 0 skipped" not in result.stdout:
        fail("calcurse import of the series: %s %s" % (result.stdout, result.stderr))
    back = os.path.join(scratch, "calcurse-series.ics")
    with open(back, "wb") as f:
        # calcurse writes an all-day EXDATE with a time (its date is meant),
        # and an alarm's seconds without the T that icalendar wants.
        text = re.sub(rb"(EXDATE;VALUE=DATE:\d{8})T\d{6}", rb"\1",
                      check_peers.calcurse_export(data))
        f.write(re.sub(rb"TRIGGER:-P(\d+)S", rb"TRIGGER:-PT\1S", text))
    utc = datetime.timezone.utc

    def utc_days(event, first, final):
        start = event.decoded("DTSTART")
        days = dateutil_starts(event, first - datetime.timedelta(days=1),
                               final + datetime.timedelta(days=1))
        if not isinstance(start, datetime.datetime) or start.tzinfo is None:
            return {d for d in days if first <= d <= final}
        moments = [datetime.datetime.combine(d, start.timetz()).astimezone(utc).date()
                   for d in days]
        return {d for d in moments if first <= d <= final}
    ours = {(n, d) for n, e in events.items() for d in utc_days(e, today, last)}
    theirs = {(str(e["SUMMARY"]), d) for e in events_of(back)
              for d in utc_days(e, today, last)}
    if ours != theirs:
        fail("through calcurse the series lost %s, gained %s"
             % (sorted(ours - theirs)[:5], sorted(theirs - ours)[:5]))
    print("calcurse: imported the %d series (%s), and its export of them means the same %d "
          "days (in UTC)" % (len(events), result.stdout.strip().splitlines()[-1], len(ours)))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--exe", required=True)
    parser.add_argument("--tool", required=True)
    parser.add_argument("--series-tool", required=True)
    parser.add_argument("--wine", default="wine", help="the command that runs a Windows program")
    args = parser.parse_args()
    if "wine-test-prefix" not in os.environ.get("WINEPREFIX", ""):
        fail("run this in the build's test prefix (WINEPREFIX=.../wine-test-prefix): "
             "it deletes the store's appointments")
    program = Program(args.wine.split(), os.path.abspath(args.exe))
    scratch = tempfile.mkdtemp(prefix="quillmere-program-peers-")
    try:
        check_round_trip(program, os.path.abspath(args.tool), scratch)
        check_calcurse_to_program(program, scratch)
        check_series_through_program(program, os.path.abspath(args.series_tool), scratch)
    finally:
        program.empty_store()
        shutil.rmtree(scratch)


if __name__ == "__main__":
    main()
