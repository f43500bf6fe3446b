#!/usr/bin/env python3
"""Writes the small test pictures of tests/data/pictures/.

Every picture shows the same asymmetric "F": red strokes on blue, on a grid
of 6 x 5 cells, so a flipped, mirrored, transposed or red-blue swapped decode
shows at once. BMP, ICO, WMF and EMF files are written byte by byte here;
the JPEG files are made from a PPM by ImageMagick's `convert`.

Run from anywhere: python3 tools/make_test_pictures.py
"""
import os
import struct
import subprocess
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "..", "tests", "data", "pictures")

RED = (255, 0, 0)
BLUE = (0, 0, 255)
F_CELLS = [
    ".FFFF.",
    ".F....",
    ".FFF..",
    ".F....",
    ".F....",
]


def f_colour(x, y, w, h):
    """The colour of pixel (x, y) of the F drawn over w x h pixels."""
    return RED if F_CELLS[y * 5 // h][x * 6 // w] == "F" else BLUE


def write(name, data):
    with open(os.path.join(OUT, name), "wb") as f:
        f.write(data)


# --- BMP --------------------------------------------------------------------

def bmp_info_header(w, h, bits, colours=0, image_size=0):
    # BITMAPINFOHEADER: size, width, height (positive: bottom-up rows),
    # planes, bit count, compression (BI_RGB), image size, pixels per metre
    # x and y, colours used, colours important.
    return struct.pack("<IiiHHIIiiII", 40, w, h, 1, bits, 0, image_size, 2835, 2835,
                       colours, 0)


def bmp_rows_24(w, h, colour):
    stride = (w * 3 + 3) // 4 * 4
    rows = b""
    for y in reversed(range(h)):  # bottom row first
        row = b"".join(bytes((b, g, r)) for r, g, b in (colour(x, y) for x in range(w)))
        rows += row + b"\0" * (stride - len(row))
    return rows


def bmp_file(info, palette, pixels):
    offset = 14 + len(info) + len(palette)
    # BITMAPFILEHEADER: "BM", file size, two reserved words, pixel offset.
    return struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset) + info + palette + pixels


def make_bmps():
    w, h = 6, 5
    pixels = bmp_rows_24(w, h, lambda x, y: f_colour(x, y, w, h))
    write("f_24bit.bmp", bmp_file(bmp_info_header(w, h, 24, 0, len(pixels)), b"", pixels))

    # The same F as an 8-bit picture: palette entry 0 blue, 1 red (BGRA order).
    palette = bytes((255, 0, 0, 0, 0, 0, 255, 0))
    stride = (w + 3) // 4 * 4
    rows = b""
    for y in reversed(range(h)):
        row = bytes(1 if f_colour(x, y, w, h) == RED else 0 for x in range(w))
        rows += row + b"\0" * (stride - w)
    write("f_8bit.bmp", bmp_file(bmp_info_header(w, h, 8, 2, len(rows)), palette, rows))


# --- ICO --------------------------------------------------------------------

def icon_image(size, bits, transparent):
    """One icon image: a BITMAPINFOHEADER of double height, the colour rows
    and the AND mask (1 = transparent), both bottom-up."""
    colour_rows = b""
    mask_rows = b""
    mask_stride = (size + 31) // 32 * 4
    for y in reversed(range(size)):
        row = b""
        mask = 0
        for x in range(size):
            clear = transparent(x, y)
            # Under a set mask bit the colour is XOR-ed onto the background:
            # black leaves it as it is.
            r, g, b = (0, 0, 0) if clear and bits < 32 else f_colour(x, y, size, size)
            if bits == 32:
                row += bytes((b, g, r, 0 if clear else 255))
            else:
                row += bytes((b, g, r))
            mask = (mask << 1) | (1 if clear else 0)
        stride = (len(row) + 3) // 4 * 4
        colour_rows += row + b"\0" * (stride - len(row))
        mask_bytes = mask.to_bytes((size + 7) // 8, "big")
        mask_rows += mask_bytes + b"\0" * (mask_stride - len(mask_bytes))
    header = bmp_info_header(size, 2 * size, bits, 0, len(colour_rows) + len(mask_rows))
    return header + colour_rows + mask_rows


def ico_file(images):
    # ICONDIR: reserved, type 1 (icon), count; then one 16-byte entry per
    # image: width, height, colour count, reserved, planes, bit count, bytes,
    # offset.
    data = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    blobs = b""
    for size, bits, blob in images:
        data += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, bits, len(blob), offset)
        offset += len(blob)
        blobs += blob
    return data + blobs


def make_icos():
    # 16 x 16 with alpha: the two left columns are fully transparent.
    alpha = icon_image(16, 32, lambda x, y: x < 2)
    write("f_alpha.ico", ico_file([(16, 32, alpha)]))
    # Two sizes; the larger one (24-bit with an AND mask clearing the top
    # row, except for its last pixel, which is red XOR-ed onto the background
    # and so shows cyan) is the one shown.
    small = icon_image(16, 32, lambda x, y: False)
    large = icon_image(32, 24, lambda x, y: y == 0)
    # The last pixel of the top row: colour red under a set mask bit. Rows
    # are 96 bytes, stored bottom-up after the 40-byte header.
    large = bytearray(large)
    top_row = 40 + 31 * 96
    large[top_row + 31 * 3: top_row + 32 * 3] = bytes((0, 0, 255))
    large = bytes(large)
    write("f_two_sizes.ico", ico_file([(16, 32, small), (32, 24, large)]))


# --- WMF --------------------------------------------------------------------

def wmf_record(function, *words):
    # Record size in 16-bit words (6 bytes of size and function included).
    return struct.pack("<IH", 3 + len(words), function) + struct.pack("<%dh" % len(words), *words)


def wmf_colour(rgb):
    r, g, b = rgb
    value = r | (g << 8) | (b << 16)
    return [value & 0xFFFF, value >> 16]


def to_s16(words):
    return [w - 0x10000 if w >= 0x8000 else w for w in words]


def make_wmf():
    # A 64 x 48 pixel picture at 96 dpi: 960 x 720 twips (1440 per inch).
    # Logical units are twips too, so the F's cells are 160 x 144 twips.
    cw, ch = 160, 144
    records = [
        wmf_record(0x0103, 8),  # META_SETMAPMODE MM_ANISOTROPIC
        wmf_record(0x020B, 0, 0),  # META_SETWINDOWORG y, x
        wmf_record(0x020C, 720, 960),  # META_SETWINDOWEXT y, x
        # META_CREATEPENINDIRECT: PS_NULL, width 0, colour black -> object 0
        wmf_record(0x02FA, 5, 0, 0, 0, 0),
        wmf_record(0x012D, 0),  # META_SELECTOBJECT 0
        # META_CREATEBRUSHINDIRECT: BS_SOLID, blue, hatch 0 -> object 1
        wmf_record(0x02FC, *to_s16([0] + wmf_colour(BLUE) + [0])),
        wmf_record(0x012D, 1),
        wmf_record(0x041B, 720, 960, 0, 0),  # META_RECTANGLE bottom, right, top, left
        wmf_record(0x01F0, 1),  # META_DELETEOBJECT 1
        wmf_record(0x02FC, *to_s16([0] + wmf_colour(RED) + [0])),  # red brush -> object 1
        wmf_record(0x012D, 1),
    ]
    # The F's strokes as filled rectangles (a renderer drawing outlines would
    # leave the strokes' insides blue).
    for cy, line in enumerate(F_CELLS):
        for cx, cell in enumerate(line):
            if cell == "F":
                records.append(wmf_record(0x041B, (cy + 1) * ch, (cx + 1) * cw, cy * ch, cx * cw))
    records.append(wmf_record(0x0000))  # META_EOF
    body = b"".join(records)
    largest = max(struct.unpack_from("<I", r)[0] for r in records)
    # META_HEADER: memory metafile, 9-word header, version 3.0, size in
    # words, 2 objects, largest record in words, no parameters.
    header = struct.pack("<HHHIHIH", 1, 9, 0x0300, 9 + len(body) // 2, 2, largest, 0)
    # Placeable header: key, handle, bounding box (left, top, right, bottom),
    # units per inch, reserved, checksum (XOR of the first ten words).
    placeable = struct.pack("<IHhhhhHI", 0x9AC6CDD7, 0, 0, 0, 960, 720, 1440, 0)
    checksum = 0
    for (word,) in struct.iter_unpack("<H", placeable):
        checksum ^= word
    write("f.wmf", placeable + struct.pack("<H", checksum) + header + body)


# --- EMF --------------------------------------------------------------------

def emf_record(kind, payload):
    return struct.pack("<II", kind, 8 + len(payload)) + payload


def emf_colour(rgb):
    r, g, b = rgb
    return r | (g << 8) | (b << 16)


def make_emf():
    # A 64 x 48 pixel picture in MM_TEXT (one logical unit per pixel). The
    # frame is the picture's size in 0.01 mm at 96 dpi.
    w, h = 64, 48
    frame = (0, 0, round(w * 2540 / 96), round(h * 2540 / 96))
    null_pen = 0x80000008
    records = [
        emf_record(17, struct.pack("<I", 1)),  # EMR_SETMAPMODE MM_TEXT
        emf_record(37, struct.pack("<I", null_pen)),  # EMR_SELECTOBJECT
        # EMR_CREATEBRUSHINDIRECT: handle 1, BS_SOLID, blue, hatch 0
        emf_record(39, struct.pack("<IIII", 1, 0, emf_colour(BLUE), 0)),
        emf_record(37, struct.pack("<I", 1)),
        emf_record(43, struct.pack("<iiii", 0, 0, w, h)),  # EMR_RECTANGLE
        emf_record(39, struct.pack("<IIII", 2, 0, emf_colour(RED), 0)),  # red brush, handle 2
        emf_record(37, struct.pack("<I", 2)),
        # Clip to the middle (16..48 x 12..36), then fill the whole picture
        # red: only the clipped part may turn red.
        emf_record(30, struct.pack("<iiii", 16, 12, 48, 36)),  # EMR_INTERSECTCLIPRECT
        emf_record(43, struct.pack("<iiii", 0, 0, w, h)),
        emf_record(14, struct.pack("<III", 0, 16, 20)),  # EMR_EOF
    ]
    body = b"".join(records)
    header_size = 108
    total = header_size + len(body)
    header = struct.pack(
        "<iiii iiii IIII HH III ii ii III II",
        0, 0, w - 1, h - 1,  # bounds, inclusive device pixels
        *frame,  # frame in 0.01 mm
        0x464D4520, 0x10000, total, len(records) + 1,  # signature, version, bytes, records
        3, 0,  # handles (2 brushes + 1), reserved
        0, 0, 0,  # description length and offset, palette entries
        1920, 1080,  # reference device in pixels
        508, 286,  # and in millimetres (96 dpi)
        0, 0, 0,  # pixel format size and offset, OpenGL
        508000, 285750,  # reference device in micrometres
    )
    write("clip.emf", emf_record(1, header) + body)


# --- JPEG -------------------------------------------------------------------

def make_jpegs():
    w, h = 48, 40  # 8 x 8 cells, so each cell is a whole JPEG block
    ppm = b"P6 %d %d 255\n" % (w, h) + b"".join(
        bytes(f_colour(x, y, w, h)) for y in range(h) for x in range(w))
    with tempfile.TemporaryDirectory() as tmp:
        source = os.path.join(tmp, "f.ppm")
        with open(source, "wb") as f:
            f.write(ppm)

        def convert(name, *options):
            subprocess.run(["convert", source, *options, "-strip", os.path.join(OUT, name)],
                           check=True)

        convert("f.jpg", "-quality", "95", "-sampling-factor", "1x1")
        convert("f_gray.jpeg", "-colorspace", "Gray", "-quality", "95")
        convert("f_cmyk.jpg", "-colorspace", "CMYK", "-quality", "95", "-sampling-factor", "1x1")


if __name__ == "__main__":
    os.makedirs(OUT, exist_ok=True)
    make_bmps()
    make_icos()
    make_wmf()
    make_emf()
    make_jpegs()
