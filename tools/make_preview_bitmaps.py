#!/usr/bin/env python3
"""Draws the two small bitmaps built into velmora for the preview window and
the about box: MAIN, a 76 x 42 landscape, and REFLECT, five 76 x 36 frames of
its rippling reflection side by side (380 x 36). Both are written as 24-bit
BMP files to display/resources/. Run it again only to change the pictures; the
output is committed.

Usage: python3 tools/make_preview_bitmaps.py [output-folder]
"""

import math
import os
import struct
import sys

WIDTH = 76
MAIN_HEIGHT = 42
REFLECT_HEIGHT = 36
FRAMES = 5


def mix(a, b, t):
    return tuple(round(x + (y - x) * t) for x, y in zip(a, b))


def landscape():
    """Returns MAIN as rows of (r, g, b), top row first."""
    sky_top, sky_low = (40, 90, 190), (170, 205, 240)
    sun, far_hill, near_hill = (255, 215, 60), (70, 110, 130), (50, 130, 55)
    rows = []
    for y in range(MAIN_HEIGHT):
        row = []
        for x in range(WIDTH):
            colour = mix(sky_top, sky_low, y / (MAIN_HEIGHT - 1))
            if (x - 57) ** 2 + (y - 10) ** 2 <= 36:
                colour = sun
            far = 24 - 6 * math.sin(x / 9.0) - 3 * math.cos(x / 4.0)
            if y >= far:
                colour = mix(far_hill, (40, 70, 90), (y - far) / 20)
            near = 33 - 7 * math.exp(-((x - 20) / 11.0) ** 2)
            if y >= near:
                colour = mix(near_hill, (30, 80, 30), (y - near) / 12)
            # A small house on the near hill: the asymmetry shows any flip.
            if 14 <= x <= 21 and 23 <= y <= 27:
                colour = (225, 220, 200)
            if 13 <= x <= 22 and 19 <= y <= 22 and abs(x - 17.5) <= (y - 18) * 1.6:
                colour = (180, 40, 35)
            if y == MAIN_HEIGHT - 1:
                colour = (90, 80, 60)  # the shore line
            row.append(colour)
        rows.append(row)
    return rows


def reflection(main, frame):
    """One reflection frame: the landscape mirrored at its bottom edge,
    darkened towards the water's blue, each row shifted by a wave that moves
    one fifth of its period per frame."""
    water = (20, 50, 90)
    rows = []
    for i in range(REFLECT_HEIGHT):
        source = main[MAIN_HEIGHT - 1 - i]
        amplitude = 1.0 + i / 10.0
        shift = round(amplitude * math.sin(2 * math.pi * (i / 7.0 - frame / FRAMES)))
        row = []
        for x in range(WIDTH):
            colour = source[min(max(x + shift, 0), WIDTH - 1)]
            row.append(mix(colour, water, 0.35 + 0.25 * i / REFLECT_HEIGHT))
        rows.append(row)
    return rows


def write_bmp(path, rows):
    height, width = len(rows), len(rows[0])
    stride = (width * 3 + 3) // 4 * 4
    pixels = bytearray()
    for row in reversed(rows):  # BMP rows run bottom-up
        line = bytearray()
        for r, g, b in row:
            line += bytes((b, g, r))
        pixels += line + bytes(stride - len(line))
    header = struct.pack("<2sIHHI", b"BM", 54 + len(pixels), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    with open(path, "wb") as out:
        out.write(header + info + pixels)


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
        os.path.dirname(os.path.abspath(__file__)), "..", "app", "resources")
    picture = landscape()
    frames = [reflection(picture, f) for f in range(FRAMES)]
    for a in range(FRAMES):
        for b in range(a + 1, FRAMES):
            assert frames[a] != frames[b], "reflection frames must differ from each other"
    strip = [sum((frame[y] for frame in frames), []) for y in range(REFLECT_HEIGHT)]
    write_bmp(os.path.join(folder, "MAIN.bmp"), picture)
    write_bmp(os.path.join(folder, "REFLECT.bmp"), strip)


if __name__ == "__main__":
    main()
