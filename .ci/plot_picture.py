#!/usr/bin/env python3
"""Checks a screenshot of the calculator's SVG plot of SIN and COS over a
period: a long black horizontal line (the zero line) and, right of the legend's
samples, pixels of each of the first two series' colours on both sides of it
and on it, so both curves cross the axis. Reads the PNG with the standard
library only (8-bit RGB or RGBA, not interlaced, as browsers write them)."""
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
    main(sys.argv[1])
