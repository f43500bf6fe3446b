#!/usr/bin/env python3
"""Writes the seed corpora of the fuzzing harnesses into tests/fuzz/corpus/.

The seeds are small files that reach the parsers' branches: the test
pictures, GIFs of every kind the reader knows (interlaced, transparent,
animated with local tables, with application and comment extensions),
settings files with every key, and metafiles using the common record types
(shapes, pens, brushes, fonts, text, bitmaps, clipping, paths), because
the libraries that draw them are not built with coverage instrumentation
and mutations can only reach what the seeds already touch.

Run it again after changing it; the corpora it writes are committed. It
needs cjpeg (libjpeg-turbo-progs) for the JPEG seeds.
"""
import os
import shutil
import struct
import subprocess
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
CORPUS = os.path.join(HERE, "corpus")
PICTURES = os.path.join(ROOT, "tests", "data", "pictures")
PEER_GIFS = os.path.join(ROOT, "tests", "data", "gif", "peer")


def write(harness, name, data):
    folder = os.path.join(CORPUS, harness)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def read(path):
    with open(path, "rb") as f:
        return f.read()


# --- GIF ---------------------------------------------------------------------

def gif_seeds():
    for name in sorted(os.listdir(PEER_GIFS)):
        if name.startswith("im_") or name == "pil_animated_transparent.gif":
            write("gif", name, read(os.path.join(PEER_GIFS, name)))
    # A comment, a plain text block and an unknown application extension
    # before a 2 x 2 frame with a local table.
    data = b"GIF89a" + struct.pack("<HHBBB", 2, 2, 0x80, 0, 0) + bytes(6)
    data += b"\x21\xFE\x03abc\x00"
    data += b"\x21\x01\x0C" + bytes(12) + b"\x02hi\x00"
    data += b"\x21\xFF\x0BXMP DataXMP\x02zz\x00"
    data += b"\x21\xFF\x0BNETSCAPE2.0\x03\x01\x00\x00\x05\x02\x10\x00\x00\x00\x00"
    data += b"\x2C" + struct.pack("<HHHHB", 0, 0, 2, 2, 0x81) + bytes([255, 0, 0, 0, 0, 255] * 2)
    data += b"\x02\x02\x84\x51\x00\x3B"
    write("gif", "extensions.gif", data)


# --- GIF writer round trip: bytes that drive the harness's choices ------------

def round_trip_seeds():
    write("gif_round_trip", "one_frame", bytes([0, 3, 2, 1, 255, 0, 0, 0, 0, 255, 0, 1, 1, 0, 1, 0, 0]))
    write("gif_round_trip", "global_and_local",
          bytes([0x07, 1, 10, 20, 30, 40, 50, 60]) + bytes(range(0, 200)))
    write("gif_round_trip", "merged", bytes([0x0E]) + bytes((i * 37) % 256 for i in range(600)))


# --- Settings ------------------------------------------------------------------

def settings_seeds():
    full = "\r\n".join([
        "[Setup]", "ImageDir=/home/u/pics", "WaveFactor2=30", "ImageFileName=pond.jpg",
        "Overlay=True", "OverlayFileName=/pics/boat.bmp", "ReflectionHeightPercent=80",
        "DelayTimeMS=70", "WaveFactor1=17", "XOffSet=-20", "YOffSet=300", "ShiftHorizon=TRUE",
        "ShiftPixels=12", "MultipleMode=true", "NumMultipleImages=3", "ImageNumber_01=a.jpg",
        "ImageNumber_02=/x/b.gif", "ImageNumber_03=\" spaced \"", "ImageShiftNumber_01=4",
        "ImageShiftNumber_02=0", "UseImageBottom_01=True", "UseImageBottom_03=1",
        "MultDelayTime=10", "DisableReflection=False", "NumberOfReflectedImages=12",
        "OverlayReflection=True", "OverlayZoomFactor=150", "OverlayXparentColor=-1",
        "Overlay24BitXparentColor=16777215", "AutoOverlayXparentColor=False", "FlipOverlay=True",
        "BrightnessLevel=-40", "ImageResCode=2", "OverlayBrightnessLevel=1",
        "OverlayShiftPixels=3", "UseImageBottom=False", "OverlayWaveAdjustment=-5",
        "InstallDir=/opt/velmora/", ""])
    write("settings", "full.INI", full.encode())
    write("settings", "hand_edited.INI",
          b"\xEF\xBB\xBF; comment\n[other]\nA=1\n[ setup ]\n  delaytimems = 250 \r\r\n"
          b"ImageDir=/p\x00rest\nImageNumber_100=z.jpg\nNumMultipleImages=+100\n[SETUP]\nX=1")
    write("settings", "empty.INI", b"")


# --- JPEG --------------------------------------------------------------------

def jpeg_seeds():
    for name in ("f.jpg", "f_gray.jpeg", "f_cmyk.jpg"):
        write("jpeg", name, read(os.path.join(PICTURES, name)))
    with tempfile.TemporaryDirectory() as tmp:
        source = os.path.join(tmp, "s.ppm")
        w, h = 24, 16
        with open(source, "wb") as f:
            f.write(b"P6 %d %d 255\n" % (w, h) + b"".join(
                bytes((x * 10 % 256, y * 15 % 256, (x + y) * 5 % 256))
                for y in range(h) for x in range(w)))
        # cjpeg (libjpeg-turbo-progs) writes the codings the decoder must
        # know: progressive, arithmetic, restart intervals, 4:4:4 sampling.
        for name, options in (("progressive.jpg", ["-progressive"]),
                              ("arithmetic.jpg", ["-arithmetic"]),
                              ("restart.jpg", ["-restart", "1"]),
                              ("full_sampling.jpg", ["-sample", "1x1"]),
                              ("grey_progressive.jpg", ["-grayscale", "-progressive"])):
            target = os.path.join(tmp, name)
            with open(target, "wb") as out:
                if subprocess.run(["cjpeg", "-quality", "60", *options, source],
                                  stdout=out).returncode != 0:
                    raise SystemExit("cjpeg failed for " + name)
            write("jpeg", name, read(target))


# --- Pictures by extension: first byte 0 BMP, 1 ICO, 2 WMF, 3 EMF ------------

def picture(kind, name, data):
    write("picture", name, bytes([kind]) + data)


def wmf_record(function, payload=b""):
    if len(payload) % 2:
        payload += b"\0"
    return struct.pack("<IH", 3 + len(payload) // 2, function) + payload


def words(*values):
    return struct.pack("<%dh" % len(values), *values)


def wmf_file(records, placeable=True):
    records = records + [wmf_record(0)]
    body = b"".join(records)
    largest = max(struct.unpack_from("<I", r)[0] for r in records)
    header = struct.pack("<HHHIHIH", 1, 9, 0x300, 9 + len(body) // 2, 4, largest, 0)
    if not placeable:
        return header + body
    head = struct.pack("<IHhhhhHI", 0x9AC6CDD7, 0, 0, 0, 960, 720, 1440, 0)
    checksum = 0
    for (w,) in struct.iter_unpack("<H", head):
        checksum ^= w
    return head + struct.pack("<H", checksum) + header + body


def dib(width, height, bits=24):
    stride = (width * bits + 31) // 32 * 4
    colours = 2 ** bits if bits <= 8 else 0
    header = struct.pack("<IiiHHIIiiII", 40, width, height, 1, bits, 0, stride * height, 0, 0, colours, 0)
    palette = b"".join(struct.pack("<BBBB", i * 255 // max(colours - 1, 1), 0, 255, 0) for i in range(colours))
    pixels = bytes((x * 40 + y * 7) % 256 for y in range(height) for x in range(stride))
    return header + palette + pixels


def wmf_seeds():
    font = words(-200, 0, 0, 0, 700) + bytes([1, 1, 0, 0, 0, 0, 0, 0]) + b"Arial\0"
    text = b"Water & <sky>"
    shapes = [
        wmf_record(0x0103, words(8)), wmf_record(0x020B, words(0, 0)), wmf_record(0x020C, words(720, 960)),
        wmf_record(0x0102, words(1)), wmf_record(0x0201, struct.pack("<I", 0x00FFFF)),
        wmf_record(0x0106, words(2)), wmf_record(0x0104, words(13)),
        wmf_record(0x02FA, words(0, 20, 0) + struct.pack("<I", 0x0000FF)),  # pen
        wmf_record(0x012D, words(0)),
        wmf_record(0x02FC, words(0) + struct.pack("<I", 0xFF0000) + words(0)),  # brush
        wmf_record(0x012D, words(1)),
        wmf_record(0x02FC, words(2) + struct.pack("<I", 0x00FF00) + words(3)),  # hatched brush
        wmf_record(0x041B, words(300, 400, 20, 20)),  # rectangle
        wmf_record(0x061C, words(40, 40, 600, 900, 320, 420)),  # round rectangle
        wmf_record(0x0418, words(700, 950, 400, 500)),  # ellipse
        wmf_record(0x0817, words(100, 100, 700, 700, 500, 700, 200, 500)),  # arc
        wmf_record(0x081A, words(100, 100, 700, 700, 500, 700, 200, 500)),  # pie
        wmf_record(0x0830, words(100, 100, 700, 700, 500, 700, 200, 500)),  # chord
        wmf_record(0x0214, words(10, 10)), wmf_record(0x0213, words(700, 900)),  # move, line
        wmf_record(0x0324, words(4, 10, 10, 500, 20, 300, 600, 20, 700)),  # polygon
        wmf_record(0x0325, words(3, 900, 10, 100, 500, 900, 700)),  # polyline
        wmf_record(0x0538, words(2, 3, 3, 0, 0, 100, 0, 0, 100, 200, 200, 300, 200, 200, 300)),
        wmf_record(0x001E), wmf_record(0x0416, words(600, 800, 100, 100)),  # save, clip
        wmf_record(0x041F, struct.pack("<I", 0x123456) + words(50, 50)),  # set pixel
        wmf_record(0x061D, struct.pack("<I", 0x00F00021) + words(100, 100, 10, 10)),  # pattern blit
        wmf_record(0x0127, words(-1)),  # restore
        wmf_record(0x02FB, font), wmf_record(0x012D, words(2)),
        wmf_record(0x0209, struct.pack("<I", 0x0000FF)), wmf_record(0x012E, words(24)),
        wmf_record(0x0521, words(len(text)) + text + (b"\0" if len(text) % 2 else b"") + words(300, 100)),
        wmf_record(0x0A32, words(500, 100, 4, 0) + b"ext!"),  # ext text out
    ]
    picture(2, "shapes_text.wmf", wmf_file(shapes))
    bitmaps = shapes[:3] + [
        wmf_record(0x0B41, struct.pack("<I", 0x00CC0020) + words(4, 6, 0, 0, 200, 300, 50, 60) + dib(6, 4)),
        wmf_record(0x0F43, struct.pack("<I", 0x00CC0020) + words(0, 4, 6, 0, 0, 200, 300, 300, 500) + dib(6, 4, 8)),
        wmf_record(0x0940, struct.pack("<I", 0x00CC0020) + words(0, 0, 4, 6, 400, 10) + dib(6, 4, 1)),
        wmf_record(0x0142, words(5, 0) + dib(8, 8, 1)), wmf_record(0x012D, words(0)),
        wmf_record(0x041B, words(700, 950, 500, 600)),
    ]
    picture(2, "bitmaps.wmf", wmf_file(bitmaps))
    picture(2, "no_placeable.wmf", wmf_file(shapes[:3] + shapes[8:14], placeable=False))
    picture(2, "f.wmf", read(os.path.join(PICTURES, "f.wmf")))


def emf_record(kind, payload=b""):
    return struct.pack("<II", kind, 8 + len(payload)) + payload


def emf_file(records, w=64, h=48):
    records = records + [emf_record(14, struct.pack("<III", 0, 16, 20))]
    body = b"".join(records)
    total = 108 + len(body)
    header = struct.pack("<iiii iiii IIII HH III ii ii III II", 0, 0, w - 1, h - 1, 0, 0,
                         round(w * 2540 / 96), round(h * 2540 / 96), 0x464D4520, 0x10000,
                         total, len(records) + 1, 8, 0, 0, 0, 0, 1920, 1080, 508, 286,
                         0, 0, 0, 508000, 285750)
    return emf_record(1, header) + body


def emf_text(kind, text, wide):
    data = text.encode("utf-16-le") if wide else text.encode("latin-1")
    data += b"\0" * ((4 - len(data) % 4) % 4)
    offset = 8 + 16 + 12 + 40
    emrtext = struct.pack("<iiIIIiiiiI", 2, 30, len(text), offset, 0, 0, 0, 0, 0, offset + len(data))
    return emf_record(kind, struct.pack("<iiii", 0, 0, 64, 48) + struct.pack("<Iff", 1, 1.0, 1.0)
                      + emrtext + data + struct.pack("<%di" % len(text), *([7] * len(text))))


def emf_seeds():
    face = "DejaVu Sans".encode("utf-16-le").ljust(64, b"\0")
    logfont = struct.pack("<iiiiiBBBBBBBB", -14, 0, 0, 0, 400, 0, 0, 0, 0, 0, 0, 0, 0) + face
    points = struct.pack("<iiii", 0, 0, 64, 48) + struct.pack("<I", 4) + struct.pack("<8h", 2, 2, 60, 4, 30, 44, 4, 30)
    records = [
        emf_record(17, struct.pack("<I", 1)), emf_record(18, struct.pack("<I", 1)),
        emf_record(24, struct.pack("<I", 0x0000FF)), emf_record(19, struct.pack("<I", 2)),
        emf_record(38, struct.pack("<IIiiI", 1, 0, 3, 0, 0x00FF00)),  # pen
        emf_record(37, struct.pack("<I", 1)),
        emf_record(39, struct.pack("<IIII", 2, 0, 0xFF0000, 0)),  # brush
        emf_record(37, struct.pack("<I", 2)),
        emf_record(39, struct.pack("<IIII", 3, 2, 0x00FFFF, 4)),  # hatched brush
        emf_record(43, struct.pack("<iiii", 2, 2, 30, 20)),  # rectangle
        emf_record(44, struct.pack("<iiiiii", 30, 2, 62, 20, 6, 6)),  # round rectangle
        emf_record(42, struct.pack("<iiii", 2, 22, 30, 46)),  # ellipse
        emf_record(45, struct.pack("<iiiiiiii", 30, 22, 62, 46, 62, 34, 30, 34)),  # arc
        emf_record(47, struct.pack("<iiiiiiii", 30, 22, 62, 46, 62, 34, 30, 34)),  # pie
        emf_record(27, struct.pack("<ii", 0, 0)), emf_record(54, struct.pack("<ii", 63, 47)),
        emf_record(86, points), emf_record(87, points), emf_record(85, points[:20] + struct.pack("<8h", 0, 0, 20, 40, 40, 0, 63, 47)),
        emf_record(33), emf_record(30, struct.pack("<iiii", 10, 10, 50, 40)),
        emf_record(59), emf_record(27, struct.pack("<ii", 5, 5)), emf_record(54, struct.pack("<ii", 50, 10)),
        emf_record(54, struct.pack("<ii", 20, 40)), emf_record(60), emf_record(62, struct.pack("<iiii", 0, 0, 64, 48)),
        emf_record(34, struct.pack("<i", -1)),
        emf_record(35, struct.pack("<6f", 1.0, 0.1, 0.0, 1.0, 2.0, 3.0)),  # world transform
        emf_record(82, struct.pack("<I", 4) + logfont + bytes(332 - 100)), emf_record(37, struct.pack("<I", 4)),
        emf_text(84, "Lake & <shore>", True), emf_text(83, "ansi > text", False),
    ]
    picture(3, "shapes_text.emf", emf_file(records))
    bmi = dib(6, 4)
    header = bmi[:40]
    bits = bmi[40:]
    # EMR_STRETCHDIBITS: bounds, dest x y, src x y cx cy, offBmi cbBmi offBits cbBits, usage, rop, dest cx cy
    fixed = 8 + 72
    stretch = struct.pack("<iiii iiiiii IIII IIii", 0, 0, 64, 48, 10, 10, 0, 0, 6, 4,
                          fixed, len(header), fixed + len(header), len(bits), 0, 0x00CC0020, 30, 20) + header + bits
    brush_fixed = 8 + 24
    brush = struct.pack("<IIIIII", 5, 0, brush_fixed, len(header), brush_fixed + len(header), len(bits)) + header + bits
    picture(3, "bitmaps.emf", emf_file(records[:4] + [emf_record(81, stretch), emf_record(94, brush),
                                                     emf_record(37, struct.pack("<I", 5)),
                                                     emf_record(43, struct.pack("<iiii", 40, 30, 60, 46))]))
    picture(3, "clip.emf", read(os.path.join(PICTURES, "clip.emf")))


def raster_seeds():
    for name in ("f_24bit.bmp", "f_8bit.bmp"):
        picture(0, name, read(os.path.join(PICTURES, name)))
    for name in ("f_alpha.ico", "f_two_sizes.ico"):
        picture(1, name, read(os.path.join(PICTURES, name)))
    # A 4-bit run-length BMP.
    rle = bytes([4, 0x12, 0, 0, 0, 3, 0x34, 0x50, 0, 0, 2, 0x77, 0, 1])
    header = struct.pack("<IiiHHIIiiII", 40, 6, 2, 1, 4, 2, len(rle), 0, 0, 16, 0)
    palette = b"".join(struct.pack("<BBBB", i * 16, 255 - i * 16, i * 8, 0) for i in range(16))
    data = header + palette + rle
    picture(0, "rle4.bmp", b"BM" + struct.pack("<IHHI", 14 + len(data), 0, 0, 14 + 40 + 64) + data)


def main():
    if os.path.isdir(CORPUS):
        shutil.rmtree(CORPUS)
    gif_seeds()
    round_trip_seeds()
    settings_seeds()
    jpeg_seeds()
    wmf_seeds()
    emf_seeds()
    raster_seeds()


if __name__ == "__main__":
    main()
