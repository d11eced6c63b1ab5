#!/usr/bin/env python3
"""The organiser's listings of generated folders show what the generator says they hold:
every person with its fields, every occurrence of the year (repeating, excluded and moved
ones, in named zones, UTC, floating and all-day) and every open to-do.

  organiser_listing.py ORGANISER GENERATOR
"""

import collections
import datetime as dt
import os
import subprocess
import sys
import tempfile
from zoneinfo import ZoneInfo

FAILURES = []


def instant(text):
    """A listed start as an instant: an all-day event starts at local midnight."""
    if "T" in text:
        return dt.datetime.strptime(text, "%Y-%m-%dT%H:%M:%SZ").replace(tzinfo=dt.timezone.utc)
    return dt.datetime.fromisoformat(text).replace(tzinfo=ZoneInfo("Europe/Berlin"))


def check(condition, message):
    if not condition:
        FAILURES.append(message)


def fields_of(line):
    """uid and {key: value} of a contact line."""
    uid, *pairs = line.split("\t")
    return uid, dict(pair.split("=", 1) for pair in pairs)


def manifest(path, kind):
    with open(path, encoding="utf-8") as f:
        return [fields_of(line.rstrip("\n").split("\t", 1)[1]) for line in f if line.startswith(kind + "\t")]


def main():
    organiser, generator = sys.argv[1], sys.argv[2]
    with tempfile.TemporaryDirectory() as tmp:
        env = dict(os.environ, HOME=tmp, XDG_CONFIG_HOME=os.path.join(tmp, "config"),
                   XDG_DATA_HOME=os.path.join(tmp, "data"), XDG_CACHE_HOME=os.path.join(tmp, "cache"),
                   XDG_RUNTIME_DIR=tmp, TZ="Europe/Berlin", QT_QPA_PLATFORM="offscreen")
        contacts, calendars = os.path.join(tmp, "contacts"), os.path.join(tmp, "calendars")
        subprocess.run([sys.executable, generator, "contacts", contacts, "60", "--seed", "5",
                        "--manifest", contacts + ".tsv"], check=True)
        # Enough files for every kind of event, rule, exclusion and moved occurrence.
        subprocess.run([sys.executable, generator, "calendars", calendars, "700", "--seed", "5",
                        "--manifest", calendars + ".tsv"], check=True)

        def listing(*args, code=0):
            run = subprocess.run([organiser, *args], env=env, capture_output=True, text=True)
            check(run.returncode == code, f"{' '.join(args)}: exit {run.returncode}, stderr {run.stderr[-400:]}")
            check("skipped" not in run.stderr, f"{' '.join(args)}: {run.stderr[-400:]}")
            return run.stdout.splitlines()

        # People: one line each, with the fields the cards hold.
        people = dict(fields_of(line) for line in listing("--contacts", contacts, "--list-contacts"))
        expected = dict(manifest(contacts + ".tsv", "contact"))
        check(sorted(people) == sorted(expected), f"people {len(people)}, generated {len(expected)}")
        for uid, fields in expected.items():
            for key, value in fields.items():
                got = people.get(uid, {}).get(key)
                check(got == value, f"{uid} {key}: {got!r}, generated {value!r}")
        some = sorted(expected)[7]
        shown = listing("--contacts", contacts, "--show-contact", some)
        check(len(shown) == 1 and fields_of(shown[0]) == (some, people.get(some)),
              f"--show-contact {some}: {shown}")
        check(listing("--contacts", contacts, "--show-contact", "no-such-uid", code=1) == [],
              "an unknown uid printed something")

        # Occurrences of the year, as (start, end, uid, calendar); titles of moved ones differ.
        events = listing("--calendars", calendars, "--list-events", "2025-01-01", "2026-01-01")
        got = collections.Counter(tuple(line.split("\t")[:4]) for line in events)
        want = collections.Counter((f["start"], f["end"], uid, f["calendar"])
                                   for uid, f in manifest(calendars + ".tsv", "event"))
        check(got == want, f"occurrences {sum(got.values())}, generated {sum(want.values())}; "
                           f"listed only: {sorted(got - want)[:5]}; generated only: {sorted(want - got)[:5]}")
        check(events == sorted(events, key=lambda line: (instant(line.split("\t")[0]), line.split("\t")[2])),
              "occurrences out of order")

        todos = listing("--calendars", calendars, "--list-todos")
        got = sorted(tuple(line.split("\t")[2:5]) for line in todos)
        want = sorted((uid, f["calendar"], f["title"]) for uid, f in manifest(calendars + ".tsv", "todo"))
        check(got == want, f"open to-dos {len(got)}, generated {len(want)}; "
                           f"listed only: {sorted(set(got) - set(want))[:3]}; generated only: {sorted(set(want) - set(got))[:3]}")

        # A listing never makes the folder it is given, and says what is missing.
        missing = os.path.join(tmp, "missing")
        listing("--calendars", missing, "--list-todos", code=2)
        check(not os.path.exists(missing), "a listing made the folder it was given")
        listing("--list-todos", code=2)
        listing("--calendars", calendars, "--list-events", "2025-01-01", code=1)

    for failure in FAILURES[:40]:
        print("FAIL:", failure)
    print(f"{len(FAILURES)} failure(s)")
    return 1 if FAILURES else 0


if __name__ == "__main__":
    sys.exit(main())
