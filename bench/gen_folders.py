#!/usr/bin/env python3
"""Writes the folders the store benchmarks, bench/peers.sh and the organiser's listing test
read: a contacts folder (one vCard per file) and a calendars folder (one sub-folder per
calendar, one iCalendar file per event or to-do), as sync tools leave them on disk.

The data is what real clients write: vCard 3.0 and 4.0 with several e-mail addresses,
phones and addresses, labels and folded lines; events in named time zones with the
VTIMEZONE blocks the usual clients emit (Olson names and a Windows name), in UTC, floating
and all-day, some repeating (daily, weekly, monthly, yearly, with COUNT, UNTIL, EXDATE and a
moved occurrence); to-dos with status, due date and priority. Cancelled to-dos and groups are
left out on purpose: peers and kit disagree on them by design, and the counts must agree.

The same seed always gives the same bytes. With --manifest the generator also writes what a
listing of the folder must show: one line per person, per occurrence in the listed year and
per open to-do (see write_manifest()), computed here without any iCalendar library.

  gen_folders.py contacts DIR COUNT [--manifest FILE]
  gen_folders.py calendars DIR COUNT [--manifest FILE] [--year 2025]
"""

import argparse
import datetime as dt
import os
import random
import sys
import uuid
from zoneinfo import ZoneInfo

LOCAL_ZONE = ZoneInfo("Europe/Berlin")  # the listing's zone: peers.sh and the test set TZ to it
UTC = dt.timezone.utc

FIRST = ["Anna", "Ben", "Clara", "David", "Emma", "Felix", "Greta", "Hugo", "Ida", "Jonas",
         "Karla", "Lukas", "Marie", "Noah", "Olga", "Paul", "Quentin", "Rosa", "Sven", "Tilda",
         "José", "Zoë", "Łukasz", "Søren", "Ana María", "Chloé", "Yusuf", "Mei", "Priya", "Erik"]
MIDDLE = ["", "", "", "Maria", "Johann", "Lou", "Elisabeth", "Karl"]
LAST = ["Berg", "Adler", "Brandt", "Cole", "Dahl", "Engel", "Fischer", "Graf", "Hahn", "Ibsen",
        "Jung", "Koch", "Lang", "Meyer", "Nagel", "Otto", "Peters", "Quandt", "Roth", "Schulz",
        "Thiel", "Ulrich", "Vogel", "Wolf", "Müller", "Øster", "García", "O'Neill", "Nguyen",
        "Kowalski", "Yamada", "de la Cruz", "van Dijk", "Smith-Jones"]
COMPANIES = ["Berg & Söhne", "Acme Corp.", "Nordlicht GmbH", "Fischer, Graf und Partner",
             "Blue Harbour Ltd", "Café Central", "Universität Leipzig", "Studio 7"]
JOBS = ["Sales manager", "Engineer", "Head of accounts", "Designer", "Professor", "Nurse"]
STREETS = ["Hauptstraße", "Bahnhofstr.", "Main Street", "Rue de la Paix", "Via Roma",
           "Kungsgatan", "Lindenallee", "Oak Avenue"]
CITIES = [("Berlin", "", "10115", "Germany"), ("München", "Bayern", "80331", "Germany"),
          ("Springfield", "IL", "62701", "USA"), ("Paris", "", "75002", "France"),
          ("Roma", "RM", "00184", "Italy"), ("Stockholm", "", "111 57", "Sweden"),
          ("Wien", "", "1010", "Austria"), ("Portland", "OR", "97205", "USA")]
PRODIDS = ["-//Apple Inc.//iPhone OS 17.2//EN", "-//Sabre//Sabre VObject 4.5.3//EN",
           "-//Nextcloud Contacts v5.5.2", "-//Google Inc//Google Contacts//EN"]
TITLES = ["Team meeting", "Dentist", "Lunch with Clara", "Budget review", "Yoga", "Flight to Rome",
          "Parents' evening", "Release planning", "Piano lesson", "Call with the bank",
          "Stand-up", "Dinner at Café Central", "Code review", "Doctor, follow-up",
          "Grillfest bei Müllers", "Quarterly report; draft"]
PLACES = ["", "", "Room 4.12", "Hauptstraße 12, Berlin", "Online", "Café Central", "Zoom: 812 555"]
TODO_TITLES = ["Buy stamps", "Renew passport", "Pay the electricity bill", "Book train tickets",
               "Return library books", "Call the plumber", "Write thank-you cards",
               "Update CV", "Fix the bike light", "Send invoice #", "Steuererklärung abgeben"]

# VTIMEZONE blocks as clients write them: Thunderbird (X-LIC-LOCATION), Apple (2007 rule
# start), Outlook (a Windows name, 1601 start) and Google (a zone without daylight time).
VTIMEZONES = {
    "Europe/Berlin": """BEGIN:VTIMEZONE
TZID:Europe/Berlin
X-LIC-LOCATION:Europe/Berlin
BEGIN:DAYLIGHT
TZOFFSETFROM:+0100
TZOFFSETTO:+0200
TZNAME:CEST
DTSTART:19700329T020000
RRULE:FREQ=YEARLY;BYMONTH=3;BYDAY=-1SU
END:DAYLIGHT
BEGIN:STANDARD
TZOFFSETFROM:+0200
TZOFFSETTO:+0100
TZNAME:CET
DTSTART:19701025T030000
RRULE:FREQ=YEARLY;BYMONTH=10;BYDAY=-1SU
END:STANDARD
END:VTIMEZONE""",
    "America/New_York": """BEGIN:VTIMEZONE
TZID:America/New_York
BEGIN:DAYLIGHT
TZOFFSETFROM:-0500
RRULE:FREQ=YEARLY;BYMONTH=3;BYDAY=2SU
DTSTART:20070311T020000
TZNAME:EDT
TZOFFSETTO:-0400
END:DAYLIGHT
BEGIN:STANDARD
TZOFFSETFROM:-0400
RRULE:FREQ=YEARLY;BYMONTH=11;BYDAY=1SU
DTSTART:20071104T020000
TZNAME:EST
TZOFFSETTO:-0500
END:STANDARD
END:VTIMEZONE""",
    "W. Europe Standard Time": """BEGIN:VTIMEZONE
TZID:W. Europe Standard Time
BEGIN:STANDARD
DTSTART:16010101T030000
TZOFFSETFROM:+0200
TZOFFSETTO:+0100
RRULE:FREQ=YEARLY;INTERVAL=1;BYDAY=-1SU;BYMONTH=10
END:STANDARD
BEGIN:DAYLIGHT
DTSTART:16010101T020000
TZOFFSETFROM:+0100
TZOFFSETTO:+0200
RRULE:FREQ=YEARLY;INTERVAL=1;BYDAY=-1SU;BYMONTH=3
END:DAYLIGHT
END:VTIMEZONE""",
    "Asia/Tokyo": """BEGIN:VTIMEZONE
TZID:Asia/Tokyo
X-LIC-LOCATION:Asia/Tokyo
BEGIN:STANDARD
TZOFFSETFROM:+0900
TZOFFSETTO:+0900
TZNAME:JST
DTSTART:19700101T000000
END:STANDARD
END:VTIMEZONE""",
}
# The zone each TZID stands for when the manifest converts times.
ZONE_OF = {"Europe/Berlin": "Europe/Berlin", "America/New_York": "America/New_York",
           "W. Europe Standard Time": "Europe/Berlin", "Asia/Tokyo": "Asia/Tokyo"}
PRODID_ICS = {"Europe/Berlin": "-//Mozilla.org/NONSGML Mozilla Calendar V1.1//EN",
              "America/New_York": "-//Apple Inc.//macOS 14.2//EN",
              "W. Europe Standard Time": "-//Microsoft Corporation//Outlook 16.0 MIMEDIR//EN",
              "Asia/Tokyo": "-//Google Inc//Google Calendar 70.9054//EN"}
CALENDARS = [("home", "Home", "#3a87ad"), ("work", "Work", "#d9534f"),
             ("family", "Family", "#5cb85c"), ("tasks", "Tasks", "#f0ad4e")]
WEEKDAYS = ["MO", "TU", "WE", "TH", "FR", "SA", "SU"]


def fold(line):
    """Folds at 75 octets without cutting a UTF-8 sequence (RFC 5545 3.1, RFC 6350 3.2)."""
    data = line.encode("utf-8")
    if len(data) <= 75:
        return line
    parts, start, limit = [], 0, 75
    while start < len(data):
        end = min(start + limit, len(data))
        while end < len(data) and (data[end] & 0xC0) == 0x80:
            end -= 1
        parts.append(data[start:end].decode("utf-8"))
        start, limit = end, 74  # a continuation line starts with one space
    return "\r\n ".join(parts)


def escape(text):
    return (text.replace("\\", "\\\\").replace(";", "\\;").replace(",", "\\,")
            .replace("\n", "\\n"))


def write_file(path, lines):
    with open(path, "w", encoding="utf-8", newline="") as f:
        f.write("".join(fold(line) + "\r\n" for line in lines))


def new_uid(rng, upper=False):
    text = str(uuid.UUID(int=rng.getrandbits(128), version=4))
    return text.upper() if upper else text


def stamp(moment):
    return moment.astimezone(UTC).strftime("%Y%m%dT%H%M%SZ")


# ---- Contacts ---------------------------------------------------------------------------

def make_person(rng, index):
    first = rng.choice(FIRST)
    middle = rng.choice(MIDDLE)
    last = rng.choice(LAST)
    slug = (first.split()[0] + "." + last.replace(" ", "").replace("'", "")).lower()
    slug = slug.encode("ascii", "ignore").decode() or "someone"
    person = {"uid": new_uid(rng, upper=index % 3 == 0), "first": first, "middle": middle,
              "last": last, "version": "4.0" if index % 7 == 0 else "3.0"}
    person["emails"] = [("home", f"{slug}{index}@example.org")]
    if rng.random() < 0.6:
        person["emails"].append(("work", f"{slug}@{rng.choice(['acme.example', 'nordlicht.example', 'uni-leipzig.example'])}"))
    if rng.random() < 0.2:
        person["emails"].append(("other", f"{slug}{index}@mail.example.net"))
    person["phones"] = [("cell", f"+49 171 {5550000 + index}")]
    if rng.random() < 0.7:
        person["phones"].append(("home", f"+49 30 {1000000 + index}"))
    if rng.random() < 0.5:
        person["phones"].append(("work", f"+1 503 555 {index % 10000:04d}"))
    if rng.random() < 0.1:
        person["phones"].append(("fax", f"+49 30 {2000000 + index}"))
    person["addresses"] = []
    for kind in ("home", "work"):
        if kind == "home" or rng.random() < 0.4:
            city, region, code, country = rng.choice(CITIES)
            person["addresses"].append((kind, f"{rng.choice(STREETS)} {rng.randint(1, 200)}", city, region, code, country))
    person["company"] = rng.choice(COMPANIES) if rng.random() < 0.55 else ""
    person["job"] = rng.choice(JOBS) if person["company"] else ""
    person["birthday"] = dt.date(1940 + rng.randint(0, 65), rng.randint(1, 12), rng.randint(1, 28)) if rng.random() < 0.6 else None
    person["note"] = (f"Met at the {rng.choice(['conference', 'school fair', 'climbing gym'])}, "
                      f"follows up in spring.\nLikes tea; not coffee.") if rng.random() < 0.3 else ""
    person["url"] = f"https://{slug}.example.com/" if rng.random() < 0.25 else ""
    person["nickname"] = first[:3] if rng.random() < 0.15 else ""
    return person


def vcard_lines(person, rng):
    v4 = person["version"] == "4.0"
    name = " ".join(p for p in (person["first"], person["middle"], person["last"]) if p)
    lines = ["BEGIN:VCARD", "VERSION:" + person["version"], "PRODID:" + rng.choice(PRODIDS),
             "UID:" + person["uid"], "FN:" + escape(name),
             f"N:{escape(person['last'])};{escape(person['first'])};{escape(person['middle'])};;"]
    if person["nickname"]:
        lines.append("NICKNAME:" + escape(person["nickname"]))
    if person["company"]:
        lines.append("ORG:" + escape(person["company"]))
        lines.append("TITLE:" + escape(person["job"]))
    for i, (kind, address) in enumerate(person["emails"]):
        if v4:
            lines.append(f"EMAIL;TYPE={kind}{';PREF=1' if i == 0 else ''}:{address}")
        elif kind == "other":
            lines += [f"item{i + 1}.EMAIL;TYPE=INTERNET:{address}", f"item{i + 1}.X-ABLabel:_$!<Other>!$_"]
        else:
            lines.append(f"EMAIL;TYPE=INTERNET,{kind.upper()}{',pref' if i == 0 else ''}:{address}")
    for kind, number in person["phones"]:
        types = {"cell": "CELL", "home": "HOME,VOICE", "work": "WORK,VOICE", "fax": "HOME,FAX"}[kind]
        lines.append(f"TEL;TYPE={types.lower() if v4 else types}:{number}")
    for kind, street, city, region, code, country in person["addresses"]:
        lines.append(f"ADR;TYPE={kind if v4 else kind.upper()}:;;{escape(street)};{escape(city)};"
                     f"{escape(region)};{escape(code)};{escape(country)}")
    if person["url"]:
        lines += [f"item9.URL:{person['url']}", "item9.X-ABLabel:_$!<HomePage>!$_"]
    if person["birthday"]:
        lines.append("BDAY:" + (person["birthday"].strftime("%Y%m%d") if v4 else person["birthday"].isoformat()))
    if person["note"]:
        lines.append("NOTE:" + escape(person["note"]))
    lines += ["CATEGORIES:" + rng.choice(["friends", "work", "family,friends", "Kunden"]),
              "REV:" + stamp(dt.datetime(2024, 1, 1, tzinfo=UTC) + dt.timedelta(minutes=rng.randint(0, 500000))),
              "END:VCARD"]
    return lines


def write_contacts(folder, count, seed, manifest):
    rng = random.Random(seed)
    os.makedirs(folder, exist_ok=True)
    for index in range(count):
        person = make_person(rng, index)
        write_file(os.path.join(folder, person["uid"] + ".vcf"), vcard_lines(person, rng))
        if manifest is not None:
            fields = {"firstName": person["first"], "lastName": person["last"],
                      "middleName": person["middle"], "companyName": person["company"],
                      "phoneMobile": person["phones"][0][1]}
            for kind, address in person["emails"]:
                fields.setdefault(kind + "Email", address)
            for kind, street, city, region, code, country in person["addresses"]:
                fields[kind + "AddressCity"] = city
                fields[kind + "AddressZip"] = code
            manifest.append(("contact", person["uid"], fields))


# ---- Calendars --------------------------------------------------------------------------

class Series:
    """One VEVENT (and its moved occurrence) as written, and how it repeats."""

    def __init__(self):
        self.kind = "zone"      # zone, utc, floating, date
        self.tzid = None
        self.start = None       # naive wall time, or a date for all-day events
        self.length = None      # a timedelta (whole days for all-day events)
        self.freq = None        # DAILY, WEEKLY, MONTHLY, YEARLY
        self.interval = 1
        self.byday = []         # weekday numbers, for WEEKLY
        self.count = None
        self.until = None       # same kind as start
        self.exdates = []       # original starts
        self.moved = None       # (original start, new start)


def make_series(rng, year):
    s = Series()
    roll = rng.random()
    s.kind = "zone" if roll < 0.55 else "utc" if roll < 0.70 else "floating" if roll < 0.75 else "date"
    first_day = dt.date(year - 2, 1, 1) + dt.timedelta(days=rng.randint(0, 4 * 365 - 1))
    if s.kind == "date":
        s.start = first_day
        s.length = dt.timedelta(days=1 if rng.random() < 0.8 else rng.randint(2, 7))
    else:
        # Whole quarter hours away from the change to and from summer time.
        s.start = dt.datetime.combine(first_day, dt.time(rng.randint(7, 20), rng.choice([0, 15, 30, 45])))
        s.length = dt.timedelta(minutes=rng.choice([15, 30, 45, 60, 60, 90, 120, 480]))
    if s.kind == "zone":
        s.tzid = rng.choices(list(VTIMEZONES), weights=[70, 15, 10, 5])[0]
    if rng.random() < 0.12:
        s.freq = rng.choice(["DAILY", "WEEKLY", "WEEKLY", "WEEKLY", "MONTHLY", "YEARLY"])
        if s.kind == "date" and s.freq == "DAILY":
            s.freq = "YEARLY"  # a birthday, an anniversary
        if s.freq == "WEEKLY":
            s.interval = rng.choice([1, 1, 2])
            s.byday = sorted({s.start.weekday()} | ({(s.start.weekday() + 2) % 7} if rng.random() < 0.4 else set()))
        if s.freq == "MONTHLY" and s.start.day > 28:
            s.start = s.start.replace(day=28)
        end = rng.random()
        if s.freq == "DAILY" or end < 0.4:
            s.count = rng.randint(3, 30)
        elif end < 0.7:
            s.until = s.start + dt.timedelta(days=rng.randint(30, 500))
        if rng.random() < 0.3:
            second = expand_series(s, 2)
            if len(second) == 2:
                s.exdates.append(second[1])
        if rng.random() < 0.2:
            third = expand_series(s, 3)
            if len(third) == 3 and third[2] not in s.exdates:
                s.moved = (third[2], third[2] + dt.timedelta(days=1) if s.kind == "date"
                           else third[2] + dt.timedelta(hours=1))
    return s


def add_months(day, months):
    month = day.month - 1 + months
    return day.replace(year=day.year + month // 12, month=month % 12 + 1)


def candidates(s):
    """Every start the rule's pattern gives from the week or day of DTSTART on, unbounded."""
    k = 0
    while True:
        if s.freq == "WEEKLY":
            monday = s.start - dt.timedelta(days=s.start.weekday())
            for day in s.byday:
                yield monday + dt.timedelta(days=7 * k * s.interval + day)
        elif s.freq == "DAILY":
            yield s.start + dt.timedelta(days=k * s.interval)
        elif s.freq == "MONTHLY":
            yield add_months(s.start, k * s.interval)
        else:
            yield s.start.replace(year=s.start.year + k * s.interval)
        k += 1


def expand_series(s, limit=None, stop=None):
    """The series' original starts in order: all of them, the first \a limit, or those
    before the wall time (or day) \a stop. EXDATEs are not taken out here."""
    if s.freq is None:
        return [s.start]
    out = []
    for when in candidates(s):
        if when < s.start:
            continue  # days of DTSTART's week before it
        if s.until is not None and when > s.until:
            break
        if s.count is not None and len(out) >= s.count:
            break
        if limit is not None and len(out) >= limit:
            break
        if stop is not None and when >= stop:
            break
        out.append(when)
    return out


def ics_time(s, wall, name):
    """A DTSTART-style line for \a wall in the series' kind."""
    if s.kind == "date":
        return f"{name};VALUE=DATE:{wall.strftime('%Y%m%d')}"
    if s.kind == "utc":
        return f"{name}:{wall.strftime('%Y%m%dT%H%M%S')}Z"
    if s.kind == "floating":
        return f"{name}:{wall.strftime('%Y%m%dT%H%M%S')}"
    return f"{name};TZID={s.tzid}:{wall.strftime('%Y%m%dT%H%M%S')}"


def absolute(s, wall):
    """The instant (or, for all-day events, the local midnight) a wall time stands for."""
    if s.kind == "date":
        return dt.datetime.combine(wall, dt.time()).replace(tzinfo=LOCAL_ZONE)
    if s.kind == "utc":
        return wall.replace(tzinfo=UTC)
    if s.kind == "floating":
        return wall.replace(tzinfo=LOCAL_ZONE)
    return wall.replace(tzinfo=ZoneInfo(ZONE_OF[s.tzid]))


def rrule_text(s):
    parts = [f"FREQ={s.freq}"]
    if s.interval != 1:
        parts.append(f"INTERVAL={s.interval}")
    if s.byday:
        parts.append("BYDAY=" + ",".join(WEEKDAYS[d] for d in s.byday))
    if s.freq == "MONTHLY":
        parts.append(f"BYMONTHDAY={s.start.day}")
    if s.count is not None:
        parts.append(f"COUNT={s.count}")
    if s.until is not None:
        # UNTIL is a date for all-day series, a floating time for floating ones, else UTC.
        parts.append("UNTIL=" + (s.until.strftime("%Y%m%d") if s.kind == "date"
                                 else s.until.strftime("%Y%m%dT%H%M%S") if s.kind == "floating"
                                 else stamp(absolute(s, s.until))))
    return ";".join(parts)


def event_lines(rng, s, uid, title, created):
    common = [f"DTSTAMP:{stamp(created)}", f"CREATED:{stamp(created)}", f"LAST-MODIFIED:{stamp(created)}"]
    body = ["BEGIN:VEVENT", "UID:" + uid] + common + ["SUMMARY:" + escape(title),
            ics_time(s, s.start, "DTSTART"), ics_time(s, s.start + s.length, "DTEND")]
    place = rng.choice(PLACES)
    if place:
        body.append("LOCATION:" + escape(place))
    if rng.random() < 0.3:
        body.append("DESCRIPTION:" + escape("Agenda:\n1. Last week\n2. Next steps, owners; dates"))
    if s.freq:
        body.append("RRULE:" + rrule_text(s))
        for ex in s.exdates:
            body.append(ics_time(s, ex, "EXDATE"))
    body += ["TRANSP:" + ("TRANSPARENT" if s.kind == "date" else "OPAQUE"), "SEQUENCE:0"]
    if rng.random() < 0.25:
        body += ["ORGANIZER;CN=Clara Berg:mailto:clara.berg@example.org",
                 "ATTENDEE;CN=Ben Adler;PARTSTAT=ACCEPTED;ROLE=REQ-PARTICIPANT:mailto:ben@example.org"]
    if rng.random() < 0.3:
        body += ["BEGIN:VALARM", "ACTION:DISPLAY", "DESCRIPTION:Reminder", "TRIGGER:-PT15M", "END:VALARM"]
    body.append("END:VEVENT")
    if s.moved:
        original, moved = s.moved
        body += ["BEGIN:VEVENT", "UID:" + uid] + common + ["SUMMARY:" + escape(title + " (moved)"),
                 ics_time(s, original, "RECURRENCE-ID"), ics_time(s, moved, "DTSTART"),
                 ics_time(s, moved + s.length, "DTEND"), "SEQUENCE:1", "END:VEVENT"]
    return body


def todo_lines(rng, uid, title, created, year):
    state = rng.random()
    status = "NEEDS-ACTION" if state < 0.45 else "IN-PROCESS" if state < 0.6 else "COMPLETED"
    body = ["BEGIN:VTODO", "UID:" + uid, f"DTSTAMP:{stamp(created)}", f"CREATED:{stamp(created)}",
            f"LAST-MODIFIED:{stamp(created)}", "SUMMARY:" + escape(title)]
    due = dt.date(year - 1, 1, 1) + dt.timedelta(days=rng.randint(0, 3 * 365))
    roll = rng.random()
    tzid = None
    if roll < 0.4:
        body.append(f"DUE;VALUE=DATE:{due.strftime('%Y%m%d')}")
    elif roll < 0.8:
        tzid = "Europe/Berlin"
        body.append(f"DUE;TZID={tzid}:{due.strftime('%Y%m%d')}T170000")
    if rng.random() < 0.4:
        body.append(f"PRIORITY:{rng.choice([1, 5, 9])}")
    if status == "IN-PROCESS":
        body.append(f"PERCENT-COMPLETE:{rng.choice([10, 50, 80])}")
    if status == "COMPLETED":
        body += ["COMPLETED:" + stamp(created + dt.timedelta(days=rng.randint(1, 60))), "PERCENT-COMPLETE:100"]
    if rng.random() < 0.2:
        body.append("DESCRIPTION:" + escape("Needs the form from the office, and a copy of the ID."))
    body += ["STATUS:" + status, "END:VTODO"]
    return body, status != "COMPLETED", tzid


def write_calendars(folder, count, seed, year, manifest):
    rng = random.Random(seed)
    for cal, title, colour in CALENDARS:
        os.makedirs(os.path.join(folder, cal), exist_ok=True)
        with open(os.path.join(folder, cal, "displayname"), "w", encoding="utf-8") as f:
            f.write(title)
        with open(os.path.join(folder, cal, "color"), "w", encoding="utf-8") as f:
            f.write(colour)
    range_start = dt.datetime(year, 1, 1, tzinfo=LOCAL_ZONE)
    range_end = dt.datetime(year + 1, 1, 1, tzinfo=LOCAL_ZONE)
    for index in range(count):
        uid = new_uid(rng, upper=index % 4 == 0)
        created = dt.datetime(year - 2, 1, 1, tzinfo=UTC) + dt.timedelta(minutes=rng.randint(0, 1500000))
        is_todo = index % 7 in (3, 6)  # two of seven files are to-dos, as the 2,000 of 7,000
        if is_todo:
            cal = "tasks" if rng.random() < 0.5 else rng.choice(["home", "work"])
            title = f"{rng.choice(TODO_TITLES)} {index}"
            body, is_open, tzid = todo_lines(rng, uid, title, created, year)
            zones = [tzid] if tzid else []
            if manifest is not None and is_open:
                manifest.append(("todo", uid, {"calendar": cal, "title": title}))
        else:
            cal = rng.choice(["home", "work", "work", "family"])
            s = make_series(rng, year)
            title = f"{rng.choice(TITLES)} {index}"
            body = event_lines(rng, s, uid, title, created)
            zones = [s.tzid] if s.tzid else []
            if manifest is not None:
                stop = (range_end.astimezone(LOCAL_ZONE).date() if s.kind == "date"
                        else (range_end + dt.timedelta(days=2)).replace(tzinfo=None))
                for original in expand_series(s, stop=stop):
                    if original in s.exdates:
                        continue
                    start = s.moved[1] if s.moved and original == s.moved[0] else original
                    begin, end = absolute(s, start), absolute(s, start + s.length)
                    if begin < range_end and end > range_start:
                        manifest.append(("event", uid, {"calendar": cal, "start": listing_time(s, start),
                                                        "end": listing_time(s, start + s.length)}))
        prodid = PRODID_ICS[zones[0]] if zones else "-//Nextcloud calendar v4.6.0//EN"
        lines = ["BEGIN:VCALENDAR", "VERSION:2.0", "PRODID:" + prodid, "CALSCALE:GREGORIAN"]
        for zone in zones:
            lines += VTIMEZONES[zone].split("\n")
        write_file(os.path.join(folder, cal, uid + ".ics"), lines + body + ["END:VCALENDAR"])


def listing_time(s, wall):
    """How the organiser's listing prints a start or end: a date, or the instant in UTC."""
    if s.kind == "date":
        return wall.isoformat()
    return absolute(s, wall).astimezone(UTC).strftime("%Y-%m-%dT%H:%M:%SZ")


def write_manifest(path, manifest):
    """One line per expected listing line: kind, uid, then key=value fields."""
    with open(path, "w", encoding="utf-8") as f:
        for kind, uid, fields in manifest:
            f.write("\t".join([kind, uid] + [f"{k}={v}" for k, v in fields.items() if v]) + "\n")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("what", choices=["contacts", "calendars"])
    parser.add_argument("folder")
    parser.add_argument("count", type=int)
    parser.add_argument("--seed", type=int, default=13)
    parser.add_argument("--year", type=int, default=2025, help="the year a listing shows")
    parser.add_argument("--manifest", help="write what a listing must show to this file")
    args = parser.parse_args()
    manifest = [] if args.manifest else None
    if args.what == "contacts":
        write_contacts(args.folder, args.count, args.seed, manifest)
    else:
        write_calendars(args.folder, args.count, args.seed, args.year, manifest)
    if manifest is not None:
        write_manifest(args.manifest, manifest)
    return 0


if __name__ == "__main__":
    sys.exit(main())
