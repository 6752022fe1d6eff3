#!/usr/bin/env python3
"""Checks a screenshot of the calculator's SVG plot.

plot_picture.py PNG: the plot of SIN and COS over a period: a long black
horizontal line (the zero line) and, right of the legend's samples, pixels of
each of the first two series' colours on both sides of it and on it, so both
curves cross the axis.

plot_picture.py PNG --readable LINES: any plot: nothing is drawn at the
picture's edges (no label runs out of it), and below the plot frame the text
lies in LINES separate lines (the x labels, the axis title, each legend line),
so that none runs into another.

Reads the PNG with the standard library only (8-bit RGB or RGBA, not
interlaced, as browsers write them)."""
import struct
import sys
import zlib

SERIES = {"first series (blue)": (0x1F, 0x77, 0xB4), "second series (red)": (0xD6, 0x27, 0x28)}
LEGEND_RIGHT = 120  # the legend's line samples end left of this column
NEAR = 60           # how far a pixel's colour may lie from the series colour (antialiasing)
MOST_DARK = 60      # channels below this make a pixel black


def read_png(path):
    data = open(path, "rb").read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise SystemExit(f"{path}: not a PNG")
    at, idat, header = 8, b"", None
    while at < len(data):
        length, kind = struct.unpack(">I4s", data[at:at + 8])
        body = data[at + 8:at + 8 + length]
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat += body
        at += 12 + length
    width, height, depth, colour, _, _, interlace = header
    if depth != 8 or colour not in (2, 6) or interlace:
        raise SystemExit(f"{path}: unexpected PNG format {header}")
    channels = 3 if colour == 2 else 4
    raw = zlib.decompress(idat)
    stride = width * channels
    rows, previous, at = [], bytearray(stride), 0
    for _ in range(height):
        kind, line = raw[at], bytearray(raw[at + 1:at + 1 + stride])
        at += 1 + stride
        for i in range(stride):
            left = line[i - channels] if i >= channels else 0
            up = previous[i]
            corner = previous[i - channels] if i >= channels else 0
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
        rows.append([tuple(line[x * channels:x * channels + 3]) for x in range(width)])
        previous = line
    return rows


EDGE = 4            # pixels at each edge of the picture that must stay blank
MOST_BLANK = 230    # channels above this make a pixel blank


def readable(path, lines):
    rows = read_png(path)
    height, width = len(rows), len(rows[0])
    blank = lambda pixel: min(pixel) > MOST_BLANK
    inked = [x for y in range(height) for x in list(range(EDGE)) + list(range(width - EDGE, width))
             if not blank(rows[y][x])]
    if inked:
        raise SystemExit(f"{len(inked)} pixels drawn at the left or right edge: a text runs out of the picture")
    # The frame's bottom edge: the lowest row drawn without a break across the picture's middle half.
    frame = max(y for y in range(height) if not any(blank(pixel) for pixel in rows[y][width // 4:3 * width // 4]))
    bands, inside = 0, False
    for y in range(frame + 6, height):  # past the frame line and its antialiasing
        has_text = any(max(pixel) < 160 for pixel in rows[y][:width])
        if has_text and not inside:
            bands += 1
        inside = has_text
    print(f"{bands} lines of text below the plot frame (row {frame}); nothing at the edges")
    if bands != lines:
        raise SystemExit(f"expected {lines} separate lines of text below the plot, found {bands}: some run together")


def main(path):
    rows = read_png(path)
    dark = [sum(1 for pixel in row if max(pixel) < MOST_DARK) for row in rows]
    axis = max(range(len(rows)), key=lambda y: dark[y])
    if dark[axis] < len(rows[0]) // 2:
        raise SystemExit(f"no zero line: the darkest row {axis} has {dark[axis]} black pixels")
    failures = []
    for name, colour in SERIES.items():
        above = below = on = 0
        for y, row in enumerate(rows):
            for pixel in row[LEGEND_RIGHT:]:
                if sum(abs(a - b) for a, b in zip(pixel, colour)) > NEAR:
                    continue
                if abs(y - axis) <= 3:
                    on += 1
                elif y < axis:
                    above += 1
                else:
                    below += 1
        print(f"{name}: {above} pixels above the zero line (row {axis}), {below} below, {on} on it")
        if min(above, below) < 100 or on == 0:
            failures.append(name)
    if failures:
        raise SystemExit("the rendered plot does not show these curves crossing the axis: " + ", ".join(failures))
    print("the rendered plot shows both curves crossing the axis")


if __name__ == "__main__":
    if len(sys.argv) == 4 and sys.argv[2] == "--readable":
        readable(sys.argv[1], int(sys.argv[3]))
    else:
        main(sys.argv[1])
