#!/usr/bin/env python3
"""Velmora under the real XScreenSaver, installed as a user would have it.

    check_xscreensaver.py BUILD_DIR

Installs the build into a temporary prefix, starts a private X server and
the XScreenSaver daemon as an ordinary user (nobody, when the test runs as
root) with a temporary home whose ~/.xscreensaver lists only Velmora. Then:
activating shows the demo scene of the installed copy's first start at the
geometry velmora-render computes, the reflection moving; deactivating leaves
no Velmora process running.
"""

import os
import pwd
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest

sys.dont_write_bytecode = True  # the source tree stays as it is
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from scene_pictures import expected_scene, rgb  # noqa: E402

BUILD = None
WIDTH, HEIGHT = 1280, 1024


def wait_until(seconds, condition, step=0.05):
    end = time.monotonic() + seconds
    while True:
        if condition():
            return True
        if time.monotonic() > end:
            return False
        time.sleep(step)


class XScreenSaver(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.mkdtemp(prefix="velmora-xscreensaver-")
        os.chmod(self.tmp, 0o755)
        self.processes = []
        self.prefix = os.path.join(self.tmp, "prefix")
        subprocess.run(["cmake", "--install", BUILD, "--prefix", self.prefix],
                       capture_output=True, check=True)
        self.program = os.path.join(self.prefix, "bin", "velmora")

        # The daemon refuses to run as root: an ordinary user runs it.
        self.user = "nobody" if os.getuid() == 0 else pwd.getpwuid(os.getuid()).pw_name
        entry = pwd.getpwnam(self.user)
        self.uid = entry.pw_uid
        self.home = os.path.join(self.tmp, "home")
        os.mkdir(self.home)
        with open(os.path.join(self.home, ".xscreensaver"), "w") as f:
            f.write("mode:\t\tone\nselected:\t0\ntimeout:\t0:30:00\nlock:\t\tFalse\n"
                    "fade:\t\tFalse\nunfade:\t\tFalse\nsplash:\t\tFalse\n"
                    "dpmsEnabled:\tFalse\n"
                    f"programs:\t{self.program} --root \\n\\\n\n")
        for folder, _, files in os.walk(self.home):
            for name in [folder] + [os.path.join(folder, f) for f in files]:
                os.chown(name, entry.pw_uid, entry.pw_gid)

        read, write = os.pipe()
        self.server = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write), "-screen", "0", f"{WIDTH}x{HEIGHT}x24",
             "-nolisten", "tcp"], pass_fds=(write,), stdout=subprocess.DEVNULL,
            stderr=subprocess.DEVNULL)
        os.close(write)
        with os.fdopen(read) as f:
            number = f.readline().strip()
        self.assertTrue(number, "Xvfb did not start")
        self.display = ":" + number
        self.environment = {"HOME": self.home, "DISPLAY": self.display, "USER": self.user,
                            "LOGNAME": self.user, "PATH": "/usr/sbin:/usr/bin:/sbin:/bin"}
        self.daemon = self.start(["xscreensaver", "--no-splash"])
        self.assertTrue(wait_until(10, lambda: self.command("-version").returncode == 0),
                        "the daemon did not answer")

    def tearDown(self):
        self.command("-exit")
        for process in self.processes + [self.server]:
            if process.poll() is None:
                process.send_signal(signal.SIGTERM)
                try:
                    process.wait(5)
                except subprocess.TimeoutExpired:
                    process.kill()
                    process.wait()
        keep = os.environ.get("VELMORA_KEEP_SCREENSHOTS")
        if keep:
            os.makedirs(keep, exist_ok=True)
            for name in ("first.png", "later.png"):
                if os.path.exists(os.path.join(self.tmp, name)):
                    shutil.copy(os.path.join(self.tmp, name), os.path.join(keep, "xscreensaver_" + name))
        shutil.rmtree(self.tmp, ignore_errors=True)

    def as_user(self, command):
        if os.getuid() == 0:
            return ["runuser", "-u", self.user, "--", "env", "-i"] + [
                f"{k}={v}" for k, v in self.environment.items()] + command
        return command

    def start(self, command):
        with open(os.path.join(self.tmp, command[0] + ".log"), "w") as log:
            process = subprocess.Popen(self.as_user(command), stdout=log, stderr=log,
                                       env=self.environment, cwd=self.tmp)
        self.processes.append(process)
        return process

    def command(self, switch):
        return subprocess.run(self.as_user(["xscreensaver-command", switch]),
                              capture_output=True, text=True, env=self.environment)

    def velmora_processes(self, live_only=True):
        """Velmora processes of the daemon's user; ended ones not yet reaped
        by the daemon (zombies) count only when live_only is False."""
        result = subprocess.run(["ps", "-u", str(self.uid), "-o", "stat=,comm="],
                                capture_output=True, text=True)
        return [line for line in result.stdout.splitlines()
                if line.split()[-1] == "velmora" and not (live_only and line.startswith("Z"))]

    def screenshot(self, name):
        path = os.path.join(self.tmp, name)
        subprocess.run(["import", "-display", self.display, "-window", "root", path],
                       check=True, capture_output=True)
        return path

    def expected_scene(self, settings):
        """The geometry and the panel's pictures velmora-render builds for the
        screen from the saver's settings."""
        return expected_scene(os.path.join(self.prefix, "bin", "velmora-render"), settings,
                              (WIDTH, HEIGHT), os.path.join(self.tmp, "frames"))

    def test_activates_on_the_demo_scene_moving_and_ends_at_deactivation(self):
        self.assertEqual(self.command("-activate").returncode, 0)
        self.assertTrue(wait_until(10, lambda: self.velmora_processes()),
                        "the daemon did not start velmora")
        # The installed copy's first start named the demo scene in the
        # user's settings (the program's folder is not the user's to write).
        settings = os.path.join(self.home, ".config", "velmora", "velmora.INI")
        self.assertTrue(wait_until(10, lambda: os.path.exists(settings)))
        with open(settings) as f:
            text = f.read()
        self.assertIn(f"ImageFileName={self.prefix}/share/velmora/demo_lake.bmp", text)
        self.assertEqual(os.stat(settings).st_uid, self.uid)

        scene, frames = self.expected_scene(settings)
        self.assertGreaterEqual(len(frames), 3)
        panel = (scene["PanelLeft"], scene["PanelTop"], scene["PanelWidth"],
                 scene["PanelHeight"])

        def shown_frame(name):
            shot = rgb(self.screenshot(name), panel)
            return frames.index(shot) + 1 if shot in frames else 0

        seen = set()
        self.assertTrue(wait_until(20, lambda: shown_frame("first.png") > 0, 0.2),
                        "the scene did not appear at its place")
        self.assertTrue(wait_until(10, lambda: seen.add(shown_frame("later.png")) or
                                   len(seen - {0}) >= 2, 0.1),
                        f"the reflection did not move (frames seen: {seen})")
        # Around the panel the screen is black.
        whole = rgb(self.screenshot("whole.png"))
        for x, y in ((panel[0] - 1, panel[1]), (panel[0] + panel[2], panel[1] + 10),
                     (0, 0), (WIDTH - 1, panel[1])):
            offset = (y * WIDTH + x) * 3
            self.assertEqual(whole[offset:offset + 3], b"\0\0\0", (x, y))

        # Unloaded, velmora is gone about 0.2 s after the command returns; the
        # daemon's own way to its SIGTERM takes longer on a busy machine, so
        # the test allows it three seconds.
        self.assertEqual(self.command("-deactivate").returncode, 0)
        self.assertTrue(wait_until(3, lambda: not self.velmora_processes()),
                        "velmora still runs three seconds after deactivation")
        # The daemon reaps it soon after.
        self.assertTrue(wait_until(5, lambda: not self.velmora_processes(False)))
        self.assertEqual(self.daemon.poll(), None, "the daemon ended")


if __name__ == "__main__":
    BUILD = sys.argv.pop(1)
    unittest.main(verbosity=2)
