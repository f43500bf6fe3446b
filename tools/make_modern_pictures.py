#!/usr/bin/env python3
"""Writes the PNG, WebP, TIFF and camera-turned JPEG test pictures of
tests/data/pictures/ (the other formats come from make_test_pictures.py).

Every picture shows the same F as the other test pictures: red strokes on
blue over 6 x 5 cells of 8 x 8 pixels, 48 x 40 when upright.
  f.png, f.webp (lossless), f.tiff   the F, exactly
  f_alpha.png                        the F's red strokes; the blue is fully
                                     transparent
  f_exif_N.jpg (N = 1..8)            the F stored turned or mirrored so that
                                     EXIF orientation N shows it upright;
                                     odd N little-endian, even N big-endian
Needs ImageMagick's convert. Run from anywhere:
python3 tools/make_modern_pictures.py
"""
import os
import struct
import subprocess
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "..", "tests", "data", "pictures")
W, H = 48, 40
RED, BLUE = (255, 0, 0), (0, 0, 255)
CELLS = [".FFFF.", ".F....", ".FFF..", ".F....", ".F...."]


def f_colour(x, y):
    return RED if CELLS[y * 5 // H][x * 6 // W] == "F" else BLUE


def stored_position(n, x, y):
    """Where upright pixel (x, y) lies in a picture stored with orientation n
    (the inverse of the turn a viewer applies)."""
    return {
        1: (x, y),
        2: (W - 1 - x, y),
        3: (W - 1 - x, H - 1 - y),
        4: (x, H - 1 - y),
        5: (y, x),
        6: (y, W - 1 - x),
        7: (H - 1 - y, W - 1 - x),
        8: (H - 1 - y, x),
    }[n]


def stored_ppm(n):
    sw, sh = (W, H) if n <= 4 else (H, W)
    pixels = [[None] * sw for _ in range(sh)]
    for y in range(H):
        for x in range(W):
            sx, sy = stored_position(n, x, y)
            pixels[sy][sx] = f_colour(x, y)
    return b"P6 %d %d 255\n" % (sw, sh) + b"".join(bytes(p) for row in pixels for p in row)


def exif_segment(orientation, little):
    e = "<" if little else ">"
    make = struct.pack(e + "HHI", 0x010F, 2, 4) + b"Cam\0"  # a tag before it
    turn = struct.pack(e + "HHIH", 0x0112, 3, 1, orientation) + b"\0\0"
    tiff = (b"II*\0" if little else b"MM\0*") + struct.pack(e + "I", 8)
    tiff += struct.pack(e + "H", 2) + make + turn + struct.pack(e + "I", 0)
    body = b"Exif\0\0" + tiff
    return b"\xFF\xE1" + struct.pack(">H", len(body) + 2) + body


def convert(source, target, *options):
    subprocess.run(["convert", source, *options, os.path.join(OUT, target)], check=True)


def main():
    os.makedirs(OUT, exist_ok=True)
    with tempfile.TemporaryDirectory() as tmp:
        upright = os.path.join(tmp, "f.ppm")
        with open(upright, "wb") as f:
            f.write(stored_ppm(1))
        convert(upright, "f.png", "-strip")
        convert(upright, "f.webp", "-define", "webp:lossless=true", "-strip")
        convert(upright, "f.tiff", "-compress", "lzw", "-strip")

        pam = os.path.join(tmp, "f_alpha.pam")
        with open(pam, "wb") as f:
            f.write(b"P7\nWIDTH %d\nHEIGHT %d\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n"
                    % (W, H))
            for y in range(H):
                for x in range(W):
                    c = f_colour(x, y)
                    f.write(bytes(c) + bytes([255 if c == RED else 0]))
        convert(pam, "f_alpha.png", "-strip")

        for n in range(1, 9):
            source = os.path.join(tmp, "f_%d.ppm" % n)
            with open(source, "wb") as f:
                f.write(stored_ppm(n))
            plain = os.path.join(tmp, "f_%d.jpg" % n)
            subprocess.run(["convert", source, "-quality", "95", "-sampling-factor", "1x1",
                            "-strip", plain], check=True)
            with open(plain, "rb") as f:
                jpeg = f.read()
            with open(os.path.join(OUT, "f_exif_%d.jpg" % n), "wb") as f:
                f.write(jpeg[:2] + exif_segment(n, little=n % 2 == 1) + jpeg[2:])


if __name__ == "__main__":
    main()
