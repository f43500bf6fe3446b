"""What the saver should show, from velmora-render, and what a screenshot
shows, as bytes to compare: shared by the end-to-end tests under real hosts
and compositors."""

import os
import subprocess


def rgb(png, crop=None):
    """The picture's pixels as RGB bytes, optionally a (x, y, w, h) part of it."""
    command = ["convert", png]
    if crop:
        x, y, w, h = crop
        command += ["-crop", f"{w}x{h}+{x}+{y}", "+repage"]
    return subprocess.run(command + ["-depth", "8", "rgb:-"], capture_output=True,
                          check=True).stdout


def expected_scene(render, settings, size, frames):
    """The geometry (name: number) and the panel's pictures (one per
    reflection frame, written to the folder `frames`) that the program
    `render` builds from the saver's settings for a screen of `size`."""
    result = subprocess.run(
        [render, "--config", settings, "--screen", f"{size[0]}x{size[1]}", "--print-scene",
         "--frames-dir", frames], capture_output=True, text=True)
    if result.returncode != 0:
        raise AssertionError(result.stderr)
    scene = {k: int(v) for k, v in (line.split("=") for line in result.stdout.split())
             if k != "ScaleFactor"}
    pictures = [rgb(os.path.join(frames, f"frame_{k:02d}.png"))
                for k in range(1, scene["FramesBuilt"] + 1)]
    return scene, pictures
