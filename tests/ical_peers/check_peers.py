#!/usr/bin/python3
"""Checks an .ics file that Quillmere exported against two other readers.

  check_peers.py --tool ICAL_TOOL FILE.ics

(a) Python's icalendar parses the file without error, and each event's
    SUMMARY, DESCRIPTION, dates, CATEGORIES, time (the same instant, in
    whatever zone), duration and alarm are what Quillmere's own import reads
    from it.
(b) calcurse imports the file, and what it exports again, read back by
    Quillmere, covers the same days with the same notes, detailed notes and
    times (what both programs can express: calcurse has no event types and
    no zones, keeps times in the zone it runs in, here UTC, and files a range
    of days as a daily repetition).
(c) calcurse's own export of a calendar of its own (calcurse_apts beside this
    script) is read by Quillmere with nothing refused, as calcurse means it.

Prints one line per check and exits non-zero on the first that fails.
"""
import argparse
import datetime
import json
import os
import shutil
import subprocess
import sys
import tempfile
from zoneinfo import ZoneInfo

import icalendar

HERE = os.path.dirname(os.path.abspath(__file__))


def fail(message):
    print("FAILED: " + message)
    sys.exit(1)


def date_text(d):
    return "%d-%d-%d" % (d.year, d.month, d.day)


def parse_date_text(text):
    y, m, d = (int(x) for x in text.split("-"))
    return datetime.date(y, m, d)


UTC = datetime.timezone.utc


def appointment_start(a, day=None):
    """The UTC instant of a timed appointment that Quillmere read, on its
    first day or on `day`: its time in its zone, or in UTC (the tool's)."""
    hour, minute = (int(x) for x in a["time"].split(":"))
    date = day or parse_date_text(a["from"])
    zone = ZoneInfo(a["zone"]) if a["zone"] else UTC
    return datetime.datetime.combine(date, datetime.time(hour, minute), zone).astimezone(UTC)


def first_alarm_minutes(event):
    """The first DISPLAY alarm's minutes before the start, as icalendar reads it."""
    for alarm in event.walk("VALARM"):
        if str(alarm.get("ACTION", "")).upper() == "DISPLAY":
            return int(-alarm.decoded("TRIGGER").total_seconds() // 60)
    return None


def quillmere_reads(tool, path, first, last):
    out = subprocess.run([tool, "read", path, first, last], check=True,
                         capture_output=True).stdout
    plan = json.loads(out.decode("utf-8"))
    if not plan["accepted"]:
        fail("Quillmere refused %s: %s" % (path, plan["error"]))
    return plan


def check_python_icalendar(tool, path):
    with open(path, "rb") as f:
        calendar = icalendar.Calendar.from_ical(f.read())
    expected = []
    for event in calendar.walk("VEVENT"):
        start = event.decoded("DTSTART")
        timed = isinstance(start, datetime.datetime)
        rule = event.get("RRULE")
        if "RDATE" in event or (rule is not None and not timed):
            fail("%s is not an export of Quillmere's: an all-day event repeats" % path)
        categories = event.get("CATEGORIES")
        if categories is None:
            names = []
        elif hasattr(categories, "cats"):
            names = [str(c) for c in categories.cats]
        else:
            names = [str(c) for c in str(categories.to_ical().decode()).split(",")]
        item = {
            "notes": str(event.get("SUMMARY", "")),
            "detail": str(event.get("DESCRIPTION", "")),
            "categories": [n.lower() for n in names],
            "remind": first_alarm_minutes(event),
        }
        if timed:
            # The day is the start's in the zone the time is kept in: its own,
            # else the reader's (UTC); a range ends with the last start before
            # UNTIL.
            own = str(event.get("X-QUILLMERE-ZONE", ""))
            zone = ZoneInfo(own) if own else UTC
            local = start.astimezone(zone)
            last = local.date()
            if rule is not None:
                if [str(f) for f in rule["FREQ"]] != ["DAILY"] or set(rule) != {"FREQ", "UNTIL"}:
                    fail("%s: a timed event repeats other than daily until a day" % path)
                until = rule["UNTIL"][0].astimezone(zone)
                last = until.date() if until.time() >= local.time() else \
                    until.date() - datetime.timedelta(days=1)
            end = event.decoded("DTEND") if "DTEND" in event else None
            item.update({
                "start": start.astimezone(UTC),
                "duration": int((end - start).total_seconds() // 60) if end else None,
                "from": date_text(local.date()),
                "to": date_text(last),
                "day": str(event.get("X-QUILLMERE-DAY", date_text(local.date()))),
            })
        else:
            end = event.decoded("DTEND") if "DTEND" in event else start + datetime.timedelta(days=1)
            last = max(start, end - datetime.timedelta(days=1))
            item.update({
                "from": str(event.get("X-QUILLMERE-FROM", date_text(start))),
                "to": str(event.get("X-QUILLMERE-TO", date_text(last))),
                "day": str(event.get("X-QUILLMERE-DAY", date_text(start))),
            })
        expected.append(item)
    plan = quillmere_reads(tool, path, "1-1-1", "9999-12-31")
    ours = plan["appointments"]
    if len(ours) != len(expected):
        fail("icalendar finds %d dated events, Quillmere files %d" % (len(expected), len(ours)))
    timed = 0
    for theirs, mine in zip(expected, ours):
        for key in ("day", "from", "to", "notes", "detail", "remind"):
            if theirs[key] != mine[key]:
                fail("%s: icalendar reads %r, Quillmere %r" % (key, theirs[key], mine[key]))
        if theirs["categories"] and mine["event"].lower() not in theirs["categories"]:
            fail("CATEGORIES %r, Quillmere's type %r" % (theirs["categories"], mine["event"]))
        if ("start" in theirs) != (mine["time"] is not None):
            fail("%r: icalendar and Quillmere disagree on whether it has a time" % mine["notes"])
        if "start" in theirs:
            timed += 1
            if theirs["start"] != appointment_start(mine) or \
                    theirs["duration"] != mine["duration"]:
                fail("%r: icalendar reads %s for %s minutes, Quillmere %s for %s"
                     % (mine["notes"], theirs["start"], theirs["duration"],
                        appointment_start(mine), mine["duration"]))
    print("python3-icalendar %s: parsed %s, %d events (%d at a time of day), all equal to "
          "Quillmere's reading, times, durations and alarms included"
          % (icalendar.__version__, os.path.basename(path), len(expected), timed))


def covered_days(plan):
    """(day, UTC time or None, notes, detail) for every day that an
    appointment covers; a timed one's day and time are its start's in UTC."""
    days = set()
    for a in plan["appointments"]:
        day, last = parse_date_text(a["from"]), parse_date_text(a["to"])
        while day <= last:
            if a["time"] is None:
                days.add((date_text(day), None, a["notes"], a["detail"]))
            else:
                start = appointment_start(a, day)
                days.add((date_text(start.date()), start.strftime("%H:%M"), a["notes"],
                          a["detail"]))
            day += datetime.timedelta(days=1)
    return days


# calcurse keeps times in the zone it runs in; here that is UTC, the zone
# ical_tool reads floating times in.
CALCURSE_ENV = dict(os.environ, TZ="UTC")


def calcurse_export(data_dir):
    result = subprocess.run(["calcurse", "-D", data_dir, "--export=ical"], check=True,
                            capture_output=True, env=CALCURSE_ENV)
    return result.stdout


def check_calcurse_import(tool, path, scratch):
    data = os.path.join(scratch, "import")
    os.makedirs(data)
    result = subprocess.run(["calcurse", "-D", data, "-i", path], capture_output=True, text=True,
                            env=CALCURSE_ENV)
    if result.returncode != 0 or " 0 skipped" not in result.stdout:
        fail("calcurse import: %s %s" % (result.stdout, result.stderr))
    exported = os.path.join(scratch, "calcurse.ics")
    with open(exported, "wb") as f:
        f.write(calcurse_export(data))
    mine = quillmere_reads(tool, path, "1-1-1", "9999-12-31")
    dates = [parse_date_text(a["from"]) for a in mine["appointments"]]
    dates += [parse_date_text(a["to"]) for a in mine["appointments"]]
    first, last = date_text(min(dates)), date_text(max(dates))
    back = quillmere_reads(tool, exported, first, last)
    if back["refused"]:
        fail("Quillmere refused events of calcurse's export: %s" % back["refused"])
    lost = covered_days(mine) - covered_days(back)
    added = covered_days(back) - covered_days(mine)
    if lost or added:
        fail("through calcurse, lost %s, added %s" % (sorted(lost)[:5], sorted(added)[:5]))
    print("calcurse: imported %s (%s), exported it again; Quillmere reads the same %d days "
          "of notes, detailed notes and times back" % (os.path.basename(path),
                                                       result.stdout.strip().splitlines()[-1],
                                                       len(covered_days(mine))))


def check_calcurse_export(tool, scratch):
    data = os.path.join(scratch, "own")
    os.makedirs(data)
    shutil.copy(os.path.join(HERE, "calcurse_apts"), os.path.join(data, "apts"))
    exported = os.path.join(scratch, "calcurse_own.ics")
    with open(exported, "wb") as f:
        f.write(calcurse_export(data))
    plan = quillmere_reads(tool, exported, "2002-5-7", "2003-5-7")
    if plan["refused"]:
        fail("Quillmere refused events of calcurse's own export: %s" % plan["refused"])
    rows = sorted((a["from"], a["to"], a["time"] or "", a["duration"] or 0, a["notes"])
                  for a in plan["appointments"])
    weekly = [date_text(datetime.date(2002, 5, 10) + datetime.timedelta(weeks=w))
              for w in range(34)]  # Fridays to 27 December
    expected = sorted(
        [("2002-5-7", "2002-5-7", "", 0, "Lunch with Anna"),
         ("2002-5-8", "2002-5-8", "10:00", 25 * 60 + 30, "Trip, two days"),
         ("2002-5-20", "2002-5-20", "", 0, "Anniversary")]
        + [(d, d, "", 0, "Weekly thing") for d in weekly]
        + [(d, d, "18:00", 60, "Every other month") for d in
           ("2002-5-11", "2002-7-11", "2002-9-11", "2002-11-11", "2003-1-11", "2003-3-11")])
    if rows != expected:
        fail("calcurse's own export reads as %s" % rows)
    print("calcurse: its own export of %d events (weekly, every other month at 18:00, yearly, "
          "from 10:00 over two days) reads as the %d appointments it means, at their times, "
          "none refused" % (plan["events"], len(rows)))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--tool", required=True)
    parser.add_argument("ics")
    args = parser.parse_args()
    check_python_icalendar(args.tool, args.ics)
    scratch = tempfile.mkdtemp(prefix="quillmere-peers-")
    try:
        check_calcurse_import(args.tool, args.ics, scratch)
        check_calcurse_export(args.tool, scratch)
    finally:
        shutil.rmtree(scratch)


if __name__ == "__main__":
    main()
