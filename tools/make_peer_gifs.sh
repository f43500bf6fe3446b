#!/bin/sh
# Makes the GIF files other encoders wrote, for the reader's peer checks
# (tests/peer). The output is committed under tests/data/gif/peer, so CI
# never runs this; run it again only to change the set, and review the diff.
# Needs: imagemagick (convert), giflib-tools (gif2rgb, giftool), python3-pil.
set -e
out="$(cd "$(dirname "$0")/.." && pwd)/tests/data/gif/peer"
mkdir -p "$out"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cd "$work"

# --- ImageMagick: its own LZW encoder, local tables, offsets, interlacing.
convert -size 37x23 gradient:red-blue -colors 50 "$out/im_gradient.gif"
convert -size 41x29 gradient:yellow-navy -colors 200 -interlace GIF "$out/im_interlaced.gif"
convert -size 20x20 pattern:checkerboard -fill red -draw 'circle 10,10 10,4' \
    -transparent white "$out/im_transparent.gif"
convert -delay 10 -size 30x20 gradient:green-white \
    \( -size 30x20 gradient:blue-orange \) \( -size 30x20 pattern:gray50 \) \
    -loop 0 "$out/im_animated_local_tables.gif"
# A first frame smaller than the screen, placed at an offset.
convert -size 9x6 gradient:purple-cyan -colors 16 -repage 33x21+7+5 "$out/im_offset_frame.gif"
convert -size 1x1 xc:orange "$out/im_one_pixel.gif"

# --- giflib's own encoder, then its frame tool for interlacing and a
# graphic control extension.
/usr/bin/python3 - <<'PY'
w, h = 27, 19
with open("rgb.raw", "wb") as f:
    for y in range(h):
        for x in range(w):
            f.write(bytes(((x * 9) % 256, (y * 13) % 256, ((x ^ y) * 17) % 256)))
PY
gif2rgb -s 27 19 -1 rgb.raw > "$work/giflib.gif"
cp "$work/giflib.gif" "$out/giflib_plain.gif"
giftool -i on < "$work/giflib.gif" > "$out/giflib_interlaced.gif"
giftool -d 25 -x 2 < "$work/giflib.gif" > "$out/giflib_delay.gif"

# --- PIL: interlaced by default above 16 rows, optimised animation frames.
/usr/bin/python3 - "$out" <<'PY'
import sys
from PIL import Image, ImageDraw

out = sys.argv[1]

def scene(w, h, shift):
    im = Image.new("RGB", (w, h))
    px = im.load()
    for y in range(h):
        for x in range(w):
            px[x, y] = ((x * 7 + shift * 40) % 256, (y * 11) % 256, ((x + y + shift) * 5) % 256)
    return im

scene(40, 30, 0).quantize(colors=100).save(f"{out}/pil_interlaced.gif")
scene(33, 17, 1).quantize(colors=7).save(f"{out}/pil_plain_7_colours.gif", interlace=False)
scene(64, 40, 2).quantize(colors=60).save(f"{out}/pil_plain_large.gif", interlace=False)
frames = []
for i in range(3):
    im = Image.new("P", (24, 20), 0)
    im.putpalette([0, 0, 0, 255, 255, 255, 255, 0, 0, 0, 0, 255] + [0] * (252 * 3))
    d = ImageDraw.Draw(im)
    d.rectangle([2 + i * 4, 3, 9 + i * 4, 12], fill=2)
    d.ellipse([12, 8 + i, 21, 17], fill=3)
    frames.append(im)
frames[0].save(f"{out}/pil_animated_transparent.gif", save_all=True, append_images=frames[1:],
               duration=80, loop=0, transparency=0, disposal=2)
PY

# --- A file cut in the middle of its image data, a few sub-blocks in.
size=$(stat -c %s "$out/pil_plain_large.gif")
head -c $((size * 3 / 4)) "$out/pil_plain_large.gif" > "$out/truncated_pil_plain.gif"
ls -l "$out"
