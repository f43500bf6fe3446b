#!/usr/bin/env python3
"""Makes the benchmark pictures in a folder (given as the only argument).

Nothing here is committed as a binary: every run draws the same pictures
again from fixed seeds. A file that already exists is kept, so a second run
of bench/run starts at once.

  photo_24mp.jpg     6000 x 4000 photograph-like JPEG (quality 90)
  scale_<n>mp.jpg    the same scene drawn at n megapixels (3:2), for the scaling plot
  tiny.jpg           64 x 48, the process's own floor for the memory figure
  gif_photo.gif      4000 x 2250 photo reduced to 256 colours, one frame
  gif_interlaced.gif the same, interlaced
  gif_anim100.gif    100 frames of 480 x 270, one global colour table
  gif_local.gif      8 frames of 800 x 600, each with a local colour table
  photo_1200x800.jpg a camera-sized photo for the F12 export's file size
"""

import os
import random
import sys

from PIL import Image, ImageDraw, ImageFilter

SCALE_MEGAPIXELS = (1, 2, 4, 8, 12, 16, 20, 24)


def scene(width, height, seed):
    """A landscape with sky, hills, a lake and fine grain: smooth areas,
    edges and noise, as a camera gives them."""
    rnd = random.Random(seed)
    small_w, small_h = max(width // 8, 16), max(height // 8, 16)
    img = Image.new("RGB", (small_w, small_h))
    draw = ImageDraw.Draw(img)
    for y in range(small_h):
        t = y / small_h
        draw.line([(0, y), (small_w, y)],
                  fill=(int(90 + 120 * t), int(140 + 80 * t), int(230 - 60 * t)))
    for _ in range(40):
        x, y = rnd.randrange(small_w), rnd.randrange(small_h // 2)
        r = rnd.randrange(small_w // 30 + 2, small_w // 8 + 3)
        shade = rnd.randrange(200, 256)
        draw.ellipse([x - 2 * r, y - r, x + 2 * r, y + r], fill=(shade, shade, shade))
    for k in range(6):
        base = small_h // 2 + k * small_h // 40
        pts = [(0, small_h)]
        for x in range(0, small_w + 8, 8):
            pts.append((x, base - rnd.randrange(small_h // 6 + 1)))
        pts.append((small_w, small_h))
        g = rnd.randrange(60, 140)
        draw.polygon(pts, fill=(g // 2, g, g // 3))
    draw.rectangle([0, int(small_h * 0.72), small_w, small_h], fill=(40, 70, 110))
    img = img.filter(ImageFilter.GaussianBlur(1.2))
    img = img.resize((width, height), Image.BICUBIC)
    grain = Image.effect_noise((width, height), 18).convert("RGB")
    return Image.blend(img, grain, 0.12)


def save_if_missing(path, make):
    if not os.path.exists(path):
        tmp = path + ".part"
        make(tmp)
        os.replace(tmp, path)


def main():
    folder = sys.argv[1]
    os.makedirs(folder, exist_ok=True)
    photo = None

    def big():
        nonlocal photo
        if photo is None:
            photo = scene(6000, 4000, 13)
        return photo

    save_if_missing(os.path.join(folder, "photo_24mp.jpg"),
                    lambda p: big().save(p, "JPEG", quality=90))
    for mp in SCALE_MEGAPIXELS:
        w = int(round((mp * 1e6 * 1.5) ** 0.5))
        h = int(round(w / 1.5))
        # Drawn at its own size, so every size has the same grain per pixel
        # (a reduced copy of the big one would be smoother and decode faster).
        save_if_missing(os.path.join(folder, f"scale_{mp}mp.jpg"),
                        lambda p, w=w, h=h: (big() if mp == 24 else scene(w, h, 13))
                        .save(p, "JPEG", quality=90))
    save_if_missing(os.path.join(folder, "tiny.jpg"),
                    lambda p: scene(64, 48, 5).save(p, "JPEG", quality=90))

    gif_photo = None

    def photo256():
        nonlocal gif_photo
        if gif_photo is None:
            gif_photo = big().resize((4000, 2250), Image.BILINEAR).quantize(
                256, dither=Image.Dither.FLOYDSTEINBERG)
        return gif_photo

    save_if_missing(os.path.join(folder, "gif_photo.gif"),
                    lambda p: photo256().save(p, "GIF", interlace=False))
    save_if_missing(os.path.join(folder, "gif_interlaced.gif"),
                    lambda p: photo256().save(p, "GIF", interlace=True))

    def anim(p):
        base = scene(960, 540, 21).resize((480, 270), Image.BILINEAR)
        first = base.quantize(256)
        frames = []
        for k in range(100):
            f = base.copy()
            d = ImageDraw.Draw(f)
            x = 20 + k * 4
            d.ellipse([x, 100 + (k % 20) * 3, x + 60, 160 + (k % 20) * 3], fill=(250, 220, 40))
            frames.append(f.quantize(palette=first, dither=Image.Dither.NONE))
        frames[0].save(p, "GIF", save_all=True, append_images=frames[1:], duration=40,
                       loop=0, interlace=False, optimize=False, disposal=1)

    save_if_missing(os.path.join(folder, "gif_anim100.gif"), anim)

    def local(p):
        frames = []
        for k in range(8):
            img = scene(800, 600, 100 + k)
            # A tint per frame, so each frame's own palette differs.
            tint = Image.new("RGB", img.size, ((k * 37) % 256, (k * 91) % 256, (k * 53) % 256))
            frames.append(Image.blend(img, tint, 0.35).quantize(256))
        frames[0].save(p, "GIF", save_all=True, append_images=frames[1:], duration=100,
                       loop=0, interlace=False, optimize=False)

    save_if_missing(os.path.join(folder, "gif_local.gif"), local)

    save_if_missing(os.path.join(folder, "photo_1200x800.jpg"),
                    lambda p: scene(1200, 800, 13).save(p, "JPEG", quality=90))


if __name__ == "__main__":
    main()
