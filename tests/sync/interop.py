#!/usr/bin/env python3
"""The other client of the interop test: Debian's python3-caldav.

  seed   writes a weekly timed event with attendees, two alarms, its own
         X- property and an overridden occurrence into the calendars
         "interop" (for the engine's test) and "interop-store" (for the
         store's) on Radicale and on Xandikos (URLs from QM_SYNC_*_URL)
  check  after Quillmere changed that event's summary in each: reads it
         back and checks that everything else is as it was written
"""
import os
import sys

import caldav
import icalendar

UID = "interop-weekly@example.org"
EVENT = """BEGIN:VCALENDAR
VERSION:2.0
PRODID:-//Other client//EN
BEGIN:VEVENT
UID:%s
DTSTAMP:20260101T000000Z
DTSTART:20270105T090000Z
DTEND:20270105T093000Z
RRULE:FREQ=WEEKLY;COUNT=10
SUMMARY:Weekly planning
DESCRIPTION:%s
ATTENDEE;CN=Bob;PARTSTAT=ACCEPTED:mailto:bob@example.org
ATTENDEE;CN=Eve;PARTSTAT=TENTATIVE:mailto:eve@example.org
X-OTHER-CLIENT-COLOUR:teal
BEGIN:VALARM
ACTION:DISPLAY
DESCRIPTION:Ten minutes
TRIGGER:-PT10M
END:VALARM
BEGIN:VALARM
ACTION:AUDIO
TRIGGER:-PT1M
END:VALARM
END:VEVENT
BEGIN:VEVENT
UID:%s
DTSTAMP:20260101T000000Z
RECURRENCE-ID:20270112T090000Z
DTSTART:20270112T100000Z
DTEND:20270112T103000Z
SUMMARY:Weekly planning (moved)
END:VEVENT
END:VCALENDAR
""" % (UID, "A description longer than a field holds. " * 15, UID)


def servers():
    yield "radicale", os.environ["QM_SYNC_RADICALE_URL"], os.environ["QM_SYNC_RADICALE_USER"], \
        os.environ["QM_SYNC_RADICALE_PASSWORD"]
    yield "xandikos", os.environ["QM_SYNC_XANDIKOS_URL"], None, None


CALENDARS = ("interop", "interop-store")


def calendar_of(url, user, password, name):
    client = caldav.DAVClient(url=url, username=user, password=password)
    principal = client.principal()
    for calendar in principal.calendars():
        if str(calendar.url).rstrip("/").endswith("/" + name):
            return calendar
    return principal.make_calendar(name=name, cal_id=name)


def components(text):
    """Every property of every component, except SUMMARY of the main event
    and the stamps a server may renew, as comparable lines."""
    calendar = icalendar.Calendar.from_ical(text)
    lines = []
    for component in calendar.walk():
        main = component.name == "VEVENT" and "RECURRENCE-ID" not in component
        for name, value in component.property_items(recursive=False):
            if name in ("DTSTAMP", "LAST-MODIFIED", "SEQUENCE", "PRODID", "BEGIN", "END"):
                continue
            if main and name == "SUMMARY":
                continue
            lines.append((component.name, name, value.to_ical() if hasattr(value, "to_ical")
                          else value))
    return sorted(lines, key=repr)


def main():
    action = sys.argv[1]
    failures = 0
    for server, url, user, password in servers():
        for name in CALENDARS:
            calendar = calendar_of(url, user, password, name)
            if action == "seed":
                for event in calendar.events():
                    event.delete()
                calendar.save_event(EVENT)
                continue
            event = calendar.event_by_uid(UID)
            text = event.data
            main_event = [c for c in icalendar.Calendar.from_ical(text).walk("VEVENT")
                          if "RECURRENCE-ID" not in c][0]
            summary = str(main_event.get("SUMMARY"))
            same = components(text) == components(EVENT)
            ok = summary == "Edited in Quillmere" and same
            print("interop %s %s: summary %r, every other property as written: %s"
                  % (server, name, summary, "yes" if same else "NO"))
            failures += 0 if ok else 1
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
