#!/usr/bin/env python3
"""Another program on the kit's folders: a sync tool that edits, deletes and renames cards
and events while the kit works on them.

other_program.py CONTACTS CALENDAR SECONDS JOURNAL

It edits the shared items (c0..c9, e0..e9) by appending a token of its own to an X-OTHER
line, and deletes or renames the items only it touches (c10.., e10..). Every step that
landed is written to JOURNAL as one JSON line. Its own writes replace a file only if it
still holds what was read, and exchange it atomically so it sees what it displaced: a
step that displaced a write it did not read is journaled as "displaced", and the check
then blames this program, not the kit, for that item.
"""
import ctypes
import json
import os
import random
import sys
import time

AT_FDCWD = -100
RENAME_EXCHANGE = 2
libc = ctypes.CDLL(None, use_errno=True)


def exchange(a, b):
    if libc.renameat2(AT_FDCWD, a.encode(), AT_FDCWD, b.encode(), RENAME_EXCHANGE) != 0:
        raise OSError(ctypes.get_errno(), "renameat2")


def read(path):
    try:
        with open(path, "rb") as f:
            return f.read()
    except FileNotFoundError:
        return None


def items(folder, suffix):
    return sorted(n for n in os.listdir(folder) if n.endswith(suffix) and not n.startswith("."))


def uid_of(data):
    for line in data.split(b"\r\n"):
        if line.startswith(b"UID:"):
            return line[4:].decode()
    return None


def edit(path, token, end_marker):
    base = read(path)
    if base is None or end_marker not in base:
        return None
    new = base.replace(end_marker, b"X-OTHER:" + token.encode() + b"\r\n" + end_marker, 1)
    temp = os.path.join(os.path.dirname(path), ".other-" + os.path.basename(path))
    with open(temp, "wb") as f:
        f.write(new)
        f.flush()
        os.fsync(f.fileno())
    if read(path) != base:
        os.unlink(temp)
        return None
    try:
        exchange(temp, path)
    except OSError:
        os.unlink(temp)
        return None
    displaced = read(temp)
    os.unlink(temp)
    return "edited" if displaced == base else "displaced"


def main():
    contacts, calendar, seconds, journal_path = sys.argv[1], sys.argv[2], float(sys.argv[3]), sys.argv[4]
    rng = random.Random(int(os.environ.get("ZEM_STRESS_SEED", "7")))
    deadline = time.monotonic() + seconds
    n = 0
    with open(journal_path, "w") as journal:
        while time.monotonic() < deadline:
            n += 1
            folder, suffix, end = rng.choice([(contacts, ".vcf", b"END:VCARD"),
                                              (calendar, ".ics", b"END:VEVENT")])
            names = items(folder, suffix)
            if not names:
                continue
            name = rng.choice(names)
            path = os.path.join(folder, name)
            data = read(path)
            uid = uid_of(data) if data else None
            if uid is None:
                continue
            shared = int(uid[1:]) < 10
            token = "o%d" % n
            if shared:
                what = edit(path, token, end)
                if what:
                    journal.write(json.dumps({"step": what, "uid": uid, "token": token}) + "\n")
            elif rng.random() < 0.5:
                os.unlink(path)
                journal.write(json.dumps({"step": "deleted", "uid": uid}) + "\n")
            else:
                new_path = os.path.join(folder, "renamed-%d%s" % (n, suffix))
                os.rename(path, new_path)
                journal.write(json.dumps({"step": "renamed", "uid": uid}) + "\n")
            journal.flush()
            time.sleep(rng.random() * 0.004)


if __name__ == "__main__":
    main()
