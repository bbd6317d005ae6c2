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
import shutil
import subprocess
import sys
import tempfile

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
            window = (datetime.datetime.combine(today, datetime.time()) - span,
                      datetime.datetime.combine(last, datetime.time(23, 59, 59)))
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


def filed_days(path):
    """(day, notes) for each day the appointments of the program's export
    cover: an all-day event's days, a timed one's start and each day of its
    daily range, on the wall clock it is written in."""
    days = set()
    for event in events_of(path):
        first = event.decoded("DTSTART")
        if isinstance(first, datetime.datetime):
            rule = event.get("RRULE")
            last = first
            if rule is not None:
                until = rule["UNTIL"][0]
                last = until.astimezone(first.tzinfo) if first.tzinfo else until
            final = last.date() if last.time() >= first.time() else \
                last.date() - datetime.timedelta(days=1)
            first = first.date()
        else:
            final = event.decoded("DTEND") - datetime.timedelta(days=1) \
                if "DTEND" in event else first
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
    expected, filed = expected_days(theirs, today), filed_days(back)
    if expected != filed:
        fail("calcurse's export through /import: missing %s, extra %s"
             % (sorted(expected - filed)[:5], sorted(filed - expected)[:5]))
    again = program.must(0, "/import", windows_path(theirs))
    if " 0 appointments filed" not in again:
        fail("a second /import of calcurse's export filed more: %s" % again)
    print("quillmere.exe: /import of calcurse's own export (%d events: one-off, timed over two "
          "days (on its first, at its time), weekly, two-monthly, yearly, past) files the %d days and notes python-dateutil "
          "expands, %s; a second /import files none"
          % (len(events_of(theirs)), len(filed), summary_of(output)))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--exe", required=True)
    parser.add_argument("--tool", required=True)
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
    finally:
        program.empty_store()
        shutil.rmtree(scratch)


if __name__ == "__main__":
    main()
