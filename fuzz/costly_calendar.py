#!/usr/bin/env python3
"""Writes iCalendar files that are as costly to import as the reader's limits
allow, one kind of cost a file, for timing the import plan per megabyte
(`ical_tool time FILE`) and `quillmere.exe /import FILE`.

Usage: costly_calendar.py KIND OUT.ics [--mb 24] [--events N] [--today 2026-12-08]

Every file stays within the import's limits (64 MiB, 200,000 events, lines
of 256 KiB). The kinds:
  yearly_monday    FREQ=YEARLY;BYDAY=MO with a COUNT, from year 1: the rule
                   that once walked every year since then
  yearly_every_day YEARLY with all seven weekdays, from year 1
  monthly_ordinals MONTHLY with BYDAY ordinals, from year 1
  monthly_step     MONTHLY;INTERVAL=7 with BYMONTHDAY, from year 1
  daily_filtered   DAILY with BYMONTH and BYMONTHDAY, from year 1
  daily_step       DAILY;INTERVAL=2;BYMONTH, from year 1
  weekly_step      WEEKLY;INTERVAL=2 with BYMONTH, from year 1
  long_span        DAILY events that each last ~80 years, so that their
                   occurrences overlap today from far back
  zone_years       events in a zone with a VTIMEZONE, each in another year
  same_texts       equal events under their own UIDs
Each event's COUNT is picked so that its rule ends before today: nothing is
filed, and the time is the reading and the working out alone.
"""

import argparse
import sys

WEEKDAYS = ["MO", "TU", "WE", "TH", "FR", "SA", "SU"]

NEW_YORK = (
    "BEGIN:VTIMEZONE\r\nTZID:America/New_York\r\n"
    "BEGIN:DAYLIGHT\r\nTZOFFSETFROM:-0500\r\nTZOFFSETTO:-0400\r\n"
    "DTSTART:19700308T020000\r\nRRULE:FREQ=YEARLY;BYMONTH=3;BYDAY=2SU\r\nEND:DAYLIGHT\r\n"
    "BEGIN:STANDARD\r\nTZOFFSETFROM:-0400\r\nTZOFFSETTO:-0500\r\n"
    "DTSTART:19701101T020000\r\nRRULE:FREQ=YEARLY;BYMONTH=11;BYDAY=1SU\r\nEND:STANDARD\r\n"
    "END:VTIMEZONE\r\n")


def event(i, kind, today_year):
    """One VEVENT of the kind; `i` varies it so that no two are alike."""
    years = today_year - 20  # the rules end about twenty years before today
    wd = WEEKDAYS[i % 7]
    lines = ["BEGIN:VEVENT", "UID:%d" % i, "SUMMARY:e%d" % i]
    if kind == "yearly_monday":
        lines += ["DTSTART:00010101", "RRULE:FREQ=YEARLY;BYDAY=%s;COUNT=%d" % (wd, 52 * years - i % 50)]
    elif kind == "yearly_every_day":
        lines += ["DTSTART:00010101",
                  "RRULE:FREQ=YEARLY;BYDAY=MO,TU,WE,TH,FR,SA,SU;COUNT=%d" % (365 * years - i % 50)]
    elif kind == "monthly_ordinals":
        lines += ["DTSTART:00010101",
                  "RRULE:FREQ=MONTHLY;BYDAY=1%s,2TU,-1FR,3SA;COUNT=%d" % (wd, 48 * years - i % 50)]
    elif kind == "monthly_step":
        lines += ["DTSTART:00010101",
                  "RRULE:FREQ=MONTHLY;INTERVAL=7;BYMONTHDAY=1,15,-1;COUNT=%d" % (5 * years - i % 50)]
    elif kind == "daily_filtered":
        lines += ["DTSTART:00010101",
                  "RRULE:FREQ=DAILY;BYMONTH=1,3,%d;BYMONTHDAY=1,-1;COUNT=%d" % (5 + i % 7, 6 * years - i % 50)]
    elif kind == "daily_step":
        lines += ["DTSTART:00010101",
                  "RRULE:FREQ=DAILY;INTERVAL=2;BYMONTH=%d;COUNT=%d" % (1 + i % 12, 15 * years - i % 50)]
    elif kind == "weekly_step":
        lines += ["DTSTART:00010101",
                  "RRULE:FREQ=WEEKLY;INTERVAL=2;BYMONTH=6,%d;BYDAY=MO,%s;COUNT=%d"
                  % (7 + i % 5, wd, 4 * years - i % 50)]
    elif kind == "long_span":
        lines += ["DTSTART:19000101", "DURATION:P%dD" % (29000 + i % 100), "RRULE:FREQ=DAILY"]
    elif kind == "zone_years":
        lines += ["DTSTART;TZID=America/New_York:%04d0610T090000" % (1 + i % 9999),
                  "RRULE:FREQ=YEARLY;COUNT=2"]
    elif kind == "same_texts":
        lines += ["DTSTART;VALUE=DATE:20020601"]
        lines[2] = "SUMMARY:the same"
    else:
        sys.exit("unknown kind " + kind)
    lines.append("END:VEVENT")
    return "\r\n".join(lines) + "\r\n"


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("kind")
    parser.add_argument("out")
    parser.add_argument("--mb", type=float, default=24.0)
    parser.add_argument("--events", type=int, default=200000)
    parser.add_argument("--today", default="2026-12-08")
    args = parser.parse_args()
    today_year = int(args.today.split("-")[0])
    limit = int(args.mb * 1024 * 1024)
    head = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//costly//EN\r\n"
    if args.kind == "zone_years":
        head += NEW_YORK
    tail = "END:VCALENDAR\r\n"
    parts = [head]
    size = len(head) + len(tail)
    count = 0
    while count < args.events:
        text = event(count, args.kind, today_year)
        if size + len(text) > limit:
            break
        parts.append(text)
        size += len(text)
        count += 1
    # Fill up to the size asked for with a comment the reader passes over:
    # the events stay as dense as they are, the file as large as asked.
    pad = limit - size
    if pad > 64:
        parts.append("BEGIN:VJOURNAL\r\n")
        pad -= len("BEGIN:VJOURNAL\r\nEND:VJOURNAL\r\n")
        line = "X-PAD:" + "x" * 1000 + "\r\n"
        while pad >= len(line):
            parts.append(line)
            pad -= len(line)
        parts.append("END:VJOURNAL\r\n")
    parts.append(tail)
    with open(args.out, "w", newline="") as f:
        f.write("".join(parts))
    print("%s: %d events, %.1f MB" % (args.out, count, sum(map(len, parts)) / 1048576))


if __name__ == "__main__":
    main()
