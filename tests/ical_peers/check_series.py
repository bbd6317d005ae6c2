#!/usr/bin/python3
"""Repeating appointments' occurrences against python-dateutil's.

  check_series.py --tool NATIVE/series_tool [--rules 10000] [--seed 25]

Makes random rules of every form an appointment may repeat by (FREQ DAILY,
WEEKLY, MONTHLY, YEARLY; INTERVAL; BYDAY, with ordinals in MONTHLY and
YEARLY rules; BYMONTHDAY, negatives too; BYMONTH; COUNT or UNTIL; WKST),
each from a random first day, some with skipped dates, and compares the
first days of their occurrences over ten years, date for date, as
series_tool answers them and as dateutil's rrulestr expands them. As RFC
5545 has it, the first day is always the first occurrence and COUNT counts
it, whether the rule gives it or not; dateutil gives only the days the rule
gives, so such a first day is added to its answer.
"""
import argparse
import datetime
import random
import subprocess
import sys
import time

from dateutil import rrule

WEEKDAYS = ["MO", "TU", "WE", "TH", "FR", "SA", "SU"]
FIRST = datetime.date(2020, 1, 1)
LAST = datetime.date(2029, 12, 31)


def fail(message):
    print("check_series: FAILED: " + message, file=sys.stderr)
    sys.exit(1)


def some(rng, items, most):
    return sorted(rng.sample(items, rng.randint(1, most)), key=items.index)


def random_rule(rng):
    freq = rng.choice(["DAILY", "WEEKLY", "MONTHLY", "YEARLY"])
    parts = ["FREQ=" + freq]
    if rng.random() < 0.5:
        parts.append("INTERVAL=%d" % rng.choice([1, 2, 3, 4, 5, 7, 13, 52]))
    ordinal = freq in ("MONTHLY", "YEARLY") and rng.random() < 0.6
    by_month = freq == "YEARLY" and (ordinal or rng.random() < 0.5) or \
        freq != "YEARLY" and rng.random() < 0.2
    if rng.random() < (0.9 if freq == "WEEKLY" else 0.5):
        days = some(rng, WEEKDAYS, 3)
        if ordinal:
            days = ["%d%s" % (rng.choice([1, 2, 3, 4, 5, -1, -2]), d) for d in days[:2]]
        parts.append("BYDAY=" + ",".join(days))
    if freq != "WEEKLY" and rng.random() < 0.4 and not (freq == "YEARLY" and ordinal and
                                                        not by_month):
        parts.append("BYMONTHDAY=" + ",".join(
            str(rng.choice([1, 2, 13, 15, 28, 29, 30, 31, -1, -2, -7])) for _ in range(rng.randint(1, 2))))
    if by_month:
        parts.append("BYMONTH=" + ",".join(str(m) for m in some(rng, list(range(1, 13)), 3)))
    end = rng.random()
    if end < 0.3:
        parts.append("COUNT=%d" % rng.choice([1, 2, 5, 10, 40, 300]))
    elif end < 0.6:
        until = FIRST + datetime.timedelta(days=rng.randint(-2000, 4000))
        parts.append("UNTIL=" + until.strftime("%Y%m%d"))
    if rng.random() < 0.3:
        parts.append("WKST=" + rng.choice(WEEKDAYS))
    rng.shuffle(parts[1:])
    return ";".join(parts)


def dateutil_days(start, rule_text, skips):
    dtstart = datetime.datetime.combine(start, datetime.time())
    rule = rrule.rrulestr(rule_text, dtstart=dtstart)
    first = next(iter(rule), None)
    if first != dtstart:
        # The first day stands first, and uses one of COUNT.
        count = rule._count
        if count is not None and count <= 1:
            rule = []
        elif count is not None:
            rule = rule.replace(count=count - 1)
        days = [start]
        if rule:
            days += [d.date() for d in rule.between(
                dtstart, datetime.datetime.combine(LAST, datetime.time()), inc=True)
                if d.date() > start]
    else:
        days = [d.date() for d in rule.between(
            datetime.datetime.combine(FIRST, datetime.time()),
            datetime.datetime.combine(LAST, datetime.time()), inc=True)]
    return [d for d in days if FIRST <= d <= LAST and d not in skips]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--tool", required=True)
    parser.add_argument("--rules", type=int, default=10000)
    parser.add_argument("--seed", type=int, default=25)
    args = parser.parse_args()
    rng = random.Random(args.seed)
    cases = []
    for _ in range(args.rules):
        start = FIRST + datetime.timedelta(days=rng.randint(-3650, 3650))
        cases.append((start, random_rule(rng)))
    # Skipped dates: a few of each rule's own days, and a day it never has.
    expected = []
    lines = []
    for start, rule in cases:
        days = dateutil_days(start, rule, set())
        skips = set(rng.sample(days, min(len(days), rng.choice([0, 0, 1, 3])))) if days else set()
        if rng.random() < 0.2:
            skips.add(start + datetime.timedelta(days=1))
        expected.append([d for d in days if d not in skips])
        lines.append("%s %s %s" % (start.strftime("%Y%m%d"), rule,
                                   ",".join(sorted(d.strftime("%Y%m%d") for d in skips))))
    began = time.monotonic()
    result = subprocess.run([args.tool, "dates", FIRST.strftime("%Y%m%d"),
                             LAST.strftime("%Y%m%d")], input="\n".join(lines) + "\n",
                            capture_output=True, text=True, timeout=600)
    tool_seconds = time.monotonic() - began
    if result.returncode != 0:
        fail("series_tool: %s" % result.stderr)
    answers = result.stdout.splitlines()
    if len(answers) != len(cases):
        fail("series_tool answered %d of %d rules" % (len(answers), len(cases)))
    occurrences = 0
    forms = set()
    for (start, rule), line, answer, want in zip(cases, lines, answers, expected):
        if answer in ("unfollowed", "over-budget"):
            fail("%s: %s" % (line, answer))
        words = answer.split()
        got = words[:words.index("end")] if "end" in words else words
        want = [d.strftime("%Y%m%d") for d in want]
        if got != want:
            missing = sorted(set(want) - set(got))[:5]
            extra = sorted(set(got) - set(want))[:5]
            fail("%s: Quillmere and dateutil differ: missing %s, extra %s" % (line, missing, extra))
        occurrences += len(got)
        forms.add(rule.split(";")[0])
    print("check_series: %d random rules (%s) over %s..%s: the same %d occurrences as "
          "python-dateutil's rrulestr, date for date (series_tool took %.1f s)"
          % (len(cases), ", ".join(sorted(forms)), FIRST, LAST, occurrences, tool_seconds))


if __name__ == "__main__":
    main()
