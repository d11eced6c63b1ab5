#!/usr/bin/env python3
"""The organiser builds its tasks window from its interface file and saves a picture of it:
the listing shows the sample tasks as the table's rows, and the picture shows rows of text
where the table's records are and none in the empty part below them.

  organiser_window.py ORGANISER
"""

import os
import struct
import subprocess
import sys
import tempfile
import zlib


def read_png(path):
    """(width, height, rows of (r, g, b) tuples) of an 8-bit RGB or RGBA PNG."""
    with open(path, "rb") as f:
        data = f.read()
    assert data[:8] == b"\x89PNG\r\n\x1a\n", "not a PNG file"
    pos, idat, header = 8, b"", None
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        pos += 12 + length
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat += body
    width, height, depth, colour, _, _, interlace = header
    assert depth == 8 and colour in (2, 6) and interlace == 0, f"unexpected PNG form {header}"
    step = 3 if colour == 2 else 4
    raw, stride, rows, previous = zlib.decompress(idat), width * step, [], bytearray(width * step)
    for y in range(height):
        kind, line = raw[y * (stride + 1)], bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            left = line[i - step] if i >= step else 0
            up, corner = previous[i], previous[i - step] if i >= step else 0
            if kind == 1:
                line[i] = (line[i] + left) & 0xFF
            elif kind == 2:
                line[i] = (line[i] + up) & 0xFF
            elif kind == 3:
                line[i] = (line[i] + (left + up) // 2) & 0xFF
            elif kind == 4:
                p = left + up - corner
                pa, pb, pc = abs(p - left), abs(p - up), abs(p - corner)
                line[i] = (line[i] + (left if pa <= pb and pa <= pc else up if pb <= pc else corner)) & 0xFF
        rows.append([tuple(line[x * step:x * step + 3]) for x in range(width)])
        previous = line
    return width, height, rows


def dark_rows(rows, x0, x1):
    """Indices of pixel rows holding text-dark pixels between x0 and x1."""
    return [y for y, row in enumerate(rows) if any(sum(p) < 240 for p in row[x0:x1])]


def main():
    organiser = sys.argv[1]
    failures = []
    with tempfile.TemporaryDirectory() as work:
        env = dict(os.environ, QT_QPA_PLATFORM="offscreen", LC_ALL="C.UTF-8", HOME=work,
                   XDG_DATA_HOME=os.path.join(work, "data"), XDG_CONFIG_HOME=os.path.join(work, "config"))
        picture = os.path.join(work, "tasks.png")
        run = subprocess.run([organiser, "--tasks-window", picture], env=env, capture_output=True,
                             text=True, timeout=120)
        out = run.stdout
        if run.returncode != 0:
            failures.append(f"organiser ended with {run.returncode}: {run.stderr}")
        listing = out.split("Tasks window: ", 1)[-1].splitlines()
        if not listing or listing[0] != "4 tasks":
            failures.append("no tasks window listing of 4 tasks")
        titles = [line.strip().split(" | ")[0] for line in listing[1:5]]
        if sorted(titles) != ["Book train tickets", "Buy stamps", "Call the dentist", "Return library books"]:
            failures.append(f"the window's rows are {titles}")
        if "  counter: 4" not in listing:
            failures.append("the record counter does not show 4")
        if not os.path.exists(picture):
            failures.append("no picture was saved")
        else:
            width, height, rows = read_png(picture)
            if width < 400 or height < 250:
                failures.append(f"the picture is {width}x{height}")
            # The title column above the button row: the search field, the header and a band
            # of text per record (a wrapped title gives two), then only empty table.
            text_rows = [y for y in dark_rows(rows, 30, 110) if y < height - 45]
            bands = sum(1 for i, y in enumerate(text_rows) if i == 0 or y != text_rows[i - 1] + 1)
            if bands < 6:
                failures.append(f"only {bands} bands of text in the title column: the table shows no records")
            lowest = max(text_rows, default=0)
            if lowest > height * 0.65:
                failures.append(f"text reaches row {lowest} of {height}: below the records the table should be empty")
    if failures:
        print("\n".join(failures))
        print(out)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
