#!/usr/bin/env python3
"""Draws the demo scene that a fresh build shows: a lake landscape and a boat.

    make_demo_pictures.py OUTDIR          writes demo_lake.bmp and demo_boat.bmp
    make_demo_pictures.py --ini OUTDIR    writes OUTDIR/velmora.INI naming them,
                                          only when no velmora.INI exists there

Standard library only; the pictures are 24-bit BMP files written byte by byte.
"""

import math
import os
import struct
import sys

LAKE_W, LAKE_H = 800, 600
WATER_EDGE = 420  # first row of the lake
BOAT_W, BOAT_H = 120, 64
BOAT_FOOTING = 10  # hull rows below the waterline
BOAT_X = 200
BOAT_ZOOM = 150  # percent
BOAT_BACKGROUND = (255, 0, 255)


def write_bmp(path, width, height, pixel):
    """Writes a 24-bit bottom-up BMP; pixel(x, y) gives (r, g, b), y = 0 at the top."""
    row_bytes = (width * 3 + 3) // 4 * 4
    image_size = row_bytes * height
    header = struct.pack("<2sIHHI", b"BM", 14 + 40 + image_size, 0, 0, 14 + 40)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, image_size, 2835, 2835, 0, 0)
    rows = []
    for y in range(height - 1, -1, -1):
        row = bytearray()
        for x in range(width):
            r, g, b = pixel(x, y)
            row += bytes((b, g, r))
        row += bytes(row_bytes - len(row))
        rows.append(bytes(row))
    tmp = path + ".tmp"
    with open(tmp, "wb") as f:
        f.write(header + info + b"".join(rows))
    os.replace(tmp, path)


def mix(a, b, t):
    t = max(0.0, min(1.0, t))
    return tuple(int(round(a[i] + (b[i] - a[i]) * t)) for i in range(3))


def ridge(x, base, parts):
    return base - sum(a * math.sin(x * f + p) for a, f, p in parts)


def lake_pixel_function():
    sun_x, sun_y, sun_r = 560, 250, 38
    far = [ridge(x, 300, [(45, 0.011, 0.4), (22, 0.029, 1.7), (9, 0.071, 0.2)]) for x in range(LAKE_W)]
    near = [ridge(x, 372, [(24, 0.008, 2.1), (12, 0.023, 0.5), (5, 0.09, 1.0)]) for x in range(LAKE_W)]
    # Conifers along the shore: (centre x, height, half width)
    trees = [(18 + 37 * i + (i * 53) % 17, 38 + (i * 29) % 34, 9 + (i * 7) % 6)
             for i in range(22) if not 300 <= 18 + 37 * i <= 470]

    def pixel(x, y):
        if y >= WATER_EDGE:
            # The lake below the edge: the display cuts it off and shows the
            # rippling reflection instead.
            depth = (y - WATER_EDGE) / (LAKE_H - WATER_EDGE)
            return mix((40, 70, 110), (10, 25, 45), depth)
        if y >= WATER_EDGE - 8:
            return (150, 128, 88) if (x + y) % 7 else (130, 110, 75)  # sandy shore
        for cx, height, half in trees:
            top = WATER_EDGE - 8 - height
            if top <= y and abs(x - cx) <= half * (y - top) / height:
                shade = 30 + (x - cx) * 2
                return (15, max(40, min(90, 60 + shade // 3)), 30)
        if y >= near[x]:
            return mix((45, 95, 55), (25, 60, 35), (y - near[x]) / 60)
        if y >= far[x]:
            return mix((95, 105, 150), (70, 85, 125), (y - far[x]) / 90)
        d = math.hypot(x - sun_x, y - sun_y)
        sky = mix((25, 55, 135), (250, 190, 140), y / 330)
        if d <= sun_r:
            return (255, 236, 160)
        if d <= sun_r * 2.5:
            return mix((255, 220, 150), sky, (d - sun_r) / (sun_r * 1.5))
        return sky

    return pixel


def boat_pixel(x, y):
    hull_top = 40
    if hull_top <= y < BOAT_H:
        # The hull narrows towards the keel.
        inset = (y - hull_top) * 16 // (BOAT_H - hull_top)
        if 5 + inset <= x < BOAT_W - 5 - inset // 2:
            if y in (hull_top, hull_top + 1):
                return (235, 235, 225)
            if y in (hull_top + 5, hull_top + 6):
                return (190, 40, 30)
            return (115, 62, 30)
    if 57 <= x <= 59 and 4 <= y < hull_top:
        return (70, 45, 25)  # mast
    if 4 <= y <= 10 and 60 <= x <= 60 + (y - 4) * 2:
        return (220, 30, 30)  # pennant
    if 12 <= y < hull_top - 2:
        # Mainsail behind the mast, jib in front of it.
        if 61 <= x <= 61 + (y - 12) * 44 // 26:
            return (245, 243, 232)
        if 56 - (y - 12) * 38 // 26 <= x <= 55:
            return (232, 228, 214)
    return BOAT_BACKGROUND


INI = """[Setup]
ImageFileName=demo_lake.bmp
ReflectionHeightPercent=80
DelayTimeMS=70
WaveFactor1=17
WaveFactor2=30
Overlay=True
OverlayFileName=demo_boat.bmp
XOffSet={x}
YOffSet={y}
ShiftHorizon=True
ShiftPixels={shift}
MultipleMode=False
NumMultipleImages=0
MultDelayTime=10
DisableReflection=False
NumberOfReflectedImages=12
OverlayReflection=True
OverlayZoomFactor={zoom}
OverlayXparentColor=-1
Overlay24BitXparentColor=-1
AutoOverlayXparentColor=True
FlipOverlay=False
BrightnessLevel=-20
ImageResCode=2
OverlayBrightnessLevel=1
OverlayShiftPixels={footing}
UseImageBottom=False
OverlayWaveAdjustment=0
"""


def write_ini(outdir):
    path = os.path.join(outdir, "velmora.INI")
    if os.path.exists(path):
        return  # the user's own settings stay as they are
    # The boat's waterline (the top of its footing) sits on the water edge.
    text = INI.format(x=BOAT_X, y=WATER_EDGE - (BOAT_H - BOAT_FOOTING) * BOAT_ZOOM // 100,
                      shift=LAKE_H - WATER_EDGE, footing=BOAT_FOOTING, zoom=BOAT_ZOOM)
    with open(path, "x", newline="\r\n") as f:
        f.write(text)


def main(argv):
    if len(argv) == 3 and argv[1] == "--ini":
        write_ini(argv[2])
        return 0
    if len(argv) != 2:
        sys.stderr.write(__doc__)
        return 2
    outdir = argv[1]
    os.makedirs(outdir, exist_ok=True)
    write_bmp(os.path.join(outdir, "demo_lake.bmp"), LAKE_W, LAKE_H, lake_pixel_function())
    write_bmp(os.path.join(outdir, "demo_boat.bmp"), BOAT_W, BOAT_H, boat_pixel)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
