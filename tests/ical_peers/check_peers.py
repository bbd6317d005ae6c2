#!/usr/bin/python3
"""Checks an .ics file that Quillmere exported against two other readers.

  check_peers.py --tool ICAL_TOOL FILE.ics

(a) Python's icalendar parses the file without error, and each event's
    SUMMARY, DESCRIPTION, dates and CATEGORIES are what Quillmere's own
    import reads from it.
(b) calcurse imports the file, and what it exports again, read back by
    Quillmere, covers the same days with the same notes and detailed notes
    (what both programs can express: calcurse has no event types, and files
    a range of days as a daily repetition).
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
        if isinstance(start, datetime.datetime) or "RRULE" in event or "RDATE" in event:
            fail("%s is not an export of Quillmere's: an event has a time of day or repeats"
                 % path)
        end = event.decoded("DTEND") if "DTEND" in event else start + datetime.timedelta(days=1)
        last = max(start, end - datetime.timedelta(days=1))
        categories = event.get("CATEGORIES")
        if categories is None:
            names = []
        elif hasattr(categories, "cats"):
            names = [str(c) for c in categories.cats]
        else:
            names = [str(c) for c in str(categories.to_ical().decode()).split(",")]
        expected.append({
            "from": str(event.get("X-QUILLMERE-FROM", date_text(start))),
            "to": str(event.get("X-QUILLMERE-TO", date_text(last))),
            "day": str(event.get("X-QUILLMERE-DAY", date_text(start))),
            "notes": str(event.get("SUMMARY", "")),
            "detail": str(event.get("DESCRIPTION", "")),
            "categories": [n.lower() for n in names],
        })
    plan = quillmere_reads(tool, path, "1-1-1", "9999-12-31")
    ours = plan["appointments"]
    if len(ours) != len(expected):
        fail("icalendar finds %d dated events, Quillmere files %d" % (len(expected), len(ours)))
    for theirs, mine in zip(expected, ours):
        for key in ("day", "from", "to", "notes", "detail"):
            if theirs[key] != mine[key]:
                fail("%s: icalendar reads %r, Quillmere %r" % (key, theirs[key], mine[key]))
        if theirs["categories"] and mine["event"].lower() not in theirs["categories"]:
            fail("CATEGORIES %r, Quillmere's type %r" % (theirs["categories"], mine["event"]))
    print("python3-icalendar %s: parsed %s, %d events, all equal to Quillmere's reading"
          % (icalendar.__version__, os.path.basename(path), len(expected)))


def covered_days(plan):
    """(day, notes, detail) for every day that an appointment covers."""
    days = set()
    for a in plan["appointments"]:
        day, last = parse_date_text(a["from"]), parse_date_text(a["to"])
        while day <= last:
            days.add((date_text(day), a["notes"], a["detail"]))
            day += datetime.timedelta(days=1)
    return days


def calcurse_export(data_dir):
    result = subprocess.run(["calcurse", "-D", data_dir, "--export=ical"], check=True,
                            capture_output=True)
    return result.stdout


def check_calcurse_import(tool, path, scratch):
    data = os.path.join(scratch, "import")
    os.makedirs(data)
    result = subprocess.run(["calcurse", "-D", data, "-i", path], capture_output=True, text=True)
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
          "of notes and detailed notes back" % (os.path.basename(path),
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
    rows = sorted((a["from"], a["to"], a["notes"]) for a in plan["appointments"])
    weekly = [date_text(datetime.date(2002, 5, 10) + datetime.timedelta(weeks=w))
              for w in range(34)]  # Fridays to 27 December
    expected = sorted(
        [("2002-5-7", "2002-5-7", "Lunch with Anna"), ("2002-5-8", "2002-5-9", "Trip, two days"),
         ("2002-5-20", "2002-5-20", "Anniversary")]
        + [(d, d, "Weekly thing") for d in weekly]
        + [(d, d, "Every other month") for d in
           ("2002-5-11", "2002-7-11", "2002-9-11", "2002-11-11", "2003-1-11", "2003-3-11")])
    if rows != expected:
        fail("calcurse's own export reads as %s" % rows)
    print("calcurse: its own export of %d events (weekly, every other month, yearly, two days) "
          "reads as the %d appointments it means, none refused" % (plan["events"], len(rows)))


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
