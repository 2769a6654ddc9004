#!/usr/bin/env python3
"""Runs kerro-cli --preview on a copy of the demo board and checks the picture as a user
would see it: it parses as SVG (xml.etree), its panels come in sheet order, and rendered by
rsvg-convert a changed label and an unchanged one show at their marks, in different colours.

Usage: check_preview.py KERRO_CLI DEMO_FOLDER WORK_FOLDER
"""
import shutil
import subprocess
import sys
import xml.etree.ElementTree as ElementTree
import zlib
from pathlib import Path

SVG = "{http://www.w3.org/2000/svg}"


def fail(message):
    sys.exit("check_preview: " + message)


def read_png(path):
    """Pixels of an 8-bit RGB or RGBA PNG without interlace, as rows of (r, g, b)."""
    data = Path(path).read_bytes()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        fail("not a PNG")
    at, idat = 8, b""
    while at < len(data):
        length = int.from_bytes(data[at:at + 4], "big")
        kind, body = data[at + 4:at + 8], data[at + 8:at + 8 + length]
        if kind == b"IHDR":
            width, height = int.from_bytes(body[0:4], "big"), int.from_bytes(body[4:8], "big")
            depth, colour, interlace = body[8], body[9], body[12]
            if depth != 8 or colour not in (2, 6) or interlace:
                fail("unexpected PNG form")
            channels = 4 if colour == 6 else 3
        elif kind == b"IDAT":
            idat += body
        at += 12 + length
    raw, stride, rows, previous = zlib.decompress(idat), width * channels, [], None
    for y in range(height):
        line = raw[y * (stride + 1):(y + 1) * (stride + 1)]
        kind, line, row = line[0], line[1:], bytearray(stride)
        for i in range(stride):
            left = row[i - channels] if i >= channels else 0
            up = previous[i] if previous else 0
            corner = previous[i - channels] if previous and i >= channels else 0
            if kind == 0:
                predicted = 0
            elif kind == 1:
                predicted = left
            elif kind == 2:
                predicted = up
            elif kind == 3:
                predicted = (left + up) // 2
            else:
                p = left + up - corner
                pa, pb, pc = abs(p - left), abs(p - up), abs(p - corner)
                predicted = left if pa <= pb and pa <= pc else up if pb <= pc else corner
            row[i] = (line[i] + predicted) & 0xFF
        previous = row
        rows.append([tuple(row[x * channels:x * channels + 3]) for x in range(width)])
    return rows


def ink(rows, left, top, right, bottom):
    """The pixels in the box that are not the white of a panel."""
    return [rows[y][x] for y in range(top, bottom) for x in range(left, right)
            if sum(rows[y][x]) < 600]


def mean(pixels):
    return tuple(sum(p[c] for p in pixels) / len(pixels) for c in range(3))


def main():
    cli, demo, work = sys.argv[1], Path(sys.argv[2]), Path(sys.argv[3])
    shutil.rmtree(work, ignore_errors=True)
    shutil.copytree(demo, work / "demo")
    picture = work / "demo.svg"
    run = subprocess.run([cli, "--auto", "--dry-run", "--quiet", "--preview", str(picture),
                          "DEMO.CE2"], cwd=work / "demo", capture_output=True, text=True)
    if run.returncode != 0 or run.stderr:
        fail(f"kerro-cli: status {run.returncode}\n{run.stderr}")

    root = ElementTree.parse(picture).getroot()
    if root.tag != SVG + "svg" or root.find(f".//{SVG}script") is not None:
        fail("not a plain SVG picture")
    panels = [g for g in root.findall(f"{SVG}g") if g.get("transform", "").startswith("translate")]
    titles = [p.find(f"{SVG}text").text for p in panels]
    if titles != ["DEMO.CE2, sheet 1 of 2: 28 components", "DEMO.CE2, sheet 2 of 2: 15 components"]:
        fail(f"panels {titles}")
    tops = [int(p.get("transform")[len("translate(0,"):-1]) for p in panels]
    if tops != sorted(tops):
        fail(f"panels out of order: {tops}")

    first, top = panels[0], tops[0]
    marks = {(int(u.get("x")), int(u.get("y"))) for u in first.iter(f"{SVG}use")}

    def label(style, reference):
        group = next(g for g in first.findall(f"{SVG}g") if g.get("class") == style)
        text = next(t for t in group.findall(f"{SVG}text") if t.text == reference)
        x, y = int(text.get("x")), int(text.get("y"))
        if (x - 4, y + 3) not in marks:
            fail(f"{reference}: no mark at its label")
        return x, y + top

    # The demo's first sheet: R12 becomes R1 and C5 stays C5.
    changed, unchanged = label("c", "R1"), label("n", "C5")

    rendered = work / "demo.png"
    subprocess.run(["rsvg-convert", "-o", str(rendered), str(picture)], check=True)
    rows = read_png(rendered)
    colours = []
    for name, (x, y) in (("changed", changed), ("unchanged", unchanged)):
        pixels = ink(rows, x, y - 9, x + 16, y + 2)
        if len(pixels) < 10:
            fail(f"the {name} label does not show at ({x}, {y}): {len(pixels)} pixels of ink")
        colours.append(mean(pixels))
        mark = ink(rows, x - 6, y + 1, x - 2, y + 5)
        if len(mark) < 8:
            fail(f"the {name} mark does not show at ({x - 4}, {y + 3})")
    (r1, g1, b1), (r2, g2, b2) = colours
    distance = ((r1 - r2) ** 2 + (g1 - g2) ** 2 + (b1 - b2) ** 2) ** 0.5
    if not (b1 - r1 > 60 and abs(b2 - r2) < 30 and distance > 60):
        fail(f"changed {colours[0]} and unchanged {colours[1]} labels do not differ as drawn")
    print("check_preview: panels", titles, "colours", colours)


main()
