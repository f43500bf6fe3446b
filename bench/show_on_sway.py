#!/usr/bin/env python3
"""Processor use while the saver shows in a Wayland session, beside X11.

    show_on_sway.py SHOW_HARNESS PICTURE [SECONDS]

Runs the show harness (velmora_show_bench) on a 1920 x 1080 headless sway
(software rendering, started as a user's session by tools/sway_session.py)
and, for the figure beside it, on an Xvfb of the same size, each at the
large viewing size and at Fit Screen, one after the other. Prints the
processor-use rows as Markdown table rows; the harness names its server
"Xvfb" whatever it runs on, so the sway rows are relabelled here.
"""

import os
import shutil
import subprocess
import sys
import tempfile

sys.dont_write_bytecode = True  # the source tree stays as it is
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tools"))
from sway_session import SwaySession  # noqa: E402

SIZE = (1920, 1080)
RES_CODES = (("large", "2"), ("Fit Screen", "3"))


def rows(output, label):
    found = []
    for line in output.splitlines():
        if line.startswith("SHOW|processor use"):
            figure, ours, reference, _, target, met = line.split("|")[1:]
            found.append(f"| {figure.replace('Xvfb', label)} | {ours} | {reference} | "
                         f"{target} | {met} |")
    return found


def on_xvfb(harness, picture, seconds, code):
    read, write = os.pipe()
    server = subprocess.Popen(["Xvfb", "-displayfd", str(write), "-screen", "0",
                               f"{SIZE[0]}x{SIZE[1]}x24", "-nolisten", "tcp"],
                              pass_fds=(write,), stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL)
    os.close(write)
    with os.fdopen(read) as f:
        display = ":" + f.readline().strip()
    home = tempfile.mkdtemp(prefix="velmora-bench-home-")
    try:
        env = dict(os.environ, DISPLAY=display, QT_QPA_PLATFORM="xcb", HOME=home,
                   XDG_RUNTIME_DIR=home)
        env.pop("WAYLAND_DISPLAY", None)
        return subprocess.run([harness, picture, seconds, code], capture_output=True,
                              text=True, env=env, timeout=300).stdout
    finally:
        server.terminate()
        server.wait()
        shutil.rmtree(home, ignore_errors=True)


def main():
    harness, picture = (os.path.abspath(a) for a in sys.argv[1:3])
    seconds = sys.argv[3] if len(sys.argv) > 3 else "20"
    lines = []
    for _, code in RES_CODES:
        lines += rows(on_xvfb(harness, picture, seconds, code), "Xvfb")
        sway = SwaySession({"HEADLESS-1": SIZE})
        try:
            # The harness and the picture must be readable by the session's user.
            shared = os.path.join(sway.tmp, os.path.basename(picture))
            shutil.copy(picture, shared)
            os.chmod(shared, 0o644)
            result = sway.run(harness, shared, seconds, code, timeout=300,
                              QT_QPA_PLATFORM="wayland")
            found = rows(result.stdout, "sway, pixman")
            lines += found or [f"| show harness failed on sway | {result.stderr[-200:]} | | | |"]
        finally:
            sway.close()
    print("| figure | ours | reference | target | met? |")
    print("|---|---|---|---|---|")
    print("\n".join(lines))


if __name__ == "__main__":
    main()
