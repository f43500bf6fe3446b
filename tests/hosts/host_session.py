"""What the end-to-end tests under real screen-saver hosts share.

Each test installs the build into a temporary prefix and runs a host as an
ordinary user (nobody, when the test runs as root) with a temporary home on
a private X server, then compares screenshots with the frames velmora-render
builds for the same screen from the same settings.
"""

import os
import pwd
import shutil
import signal
import subprocess
import tempfile
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from scene_pictures import expected_scene, rgb  # noqa: E402

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools"))
from sway_session import wait_until  # noqa: E402


class HostSession(unittest.TestCase):
    """An installed copy, an ordinary user with a temporary home, and an Xvfb
    screen of WIDTH x HEIGHT. Subclasses write the host's settings into the
    home (own() hands them to the user) and start the host with start()."""

    WIDTH, HEIGHT = 1280, 1024
    NAME = "host"

    def setUp(self):
        self.tmp = tempfile.mkdtemp(prefix=f"velmora-{self.NAME}-")
        os.chmod(self.tmp, 0o755)
        self.started = []
        self.expected = {}
        self.prefix = os.path.join(self.tmp, "prefix")
        subprocess.run(["cmake", "--install", BUILD, "--prefix", self.prefix],
                       capture_output=True, check=True)
        self.program = os.path.join(self.prefix, "bin", "velmora")

        # Hosts refuse to run as root: an ordinary user runs them.
        self.user = "nobody" if os.getuid() == 0 else pwd.getpwuid(os.getuid()).pw_name
        entry = pwd.getpwnam(self.user)
        self.uid, self.gid = entry.pw_uid, entry.pw_gid
        self.home = os.path.join(self.tmp, "home")
        self.runtime = os.path.join(self.tmp, "run")
        os.mkdir(self.home)
        os.mkdir(self.runtime, 0o700)
        self.own(self.home)
        self.own(self.runtime)

        read, write = os.pipe()
        self.server = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write), "-screen", "0",
             f"{self.WIDTH}x{self.HEIGHT}x24", "-nolisten", "tcp"], pass_fds=(write,),
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write)
        with os.fdopen(read) as f:
            number = f.readline().strip()
        self.assertTrue(number, "Xvfb did not start")
        self.display = ":" + number
        self.environment = {"HOME": self.home, "DISPLAY": self.display, "USER": self.user,
                            "LOGNAME": self.user, "XDG_RUNTIME_DIR": self.runtime,
                            "PATH": "/usr/sbin:/usr/bin:/sbin:/bin"}

    def tearDown(self):
        for process in reversed(self.started + [self.server]):
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
            for name in os.listdir(self.tmp):
                if name.endswith(".png"):
                    shutil.copy(os.path.join(self.tmp, name),
                                os.path.join(keep, f"{self.NAME}_{name}"))
        shutil.rmtree(self.tmp, ignore_errors=True)

    def own(self, path):
        """Hands the file or folder (and all inside it) to the test's user."""
        for folder, _, files in os.walk(path):
            for name in [folder] + [os.path.join(folder, f) for f in files]:
                os.chown(name, self.uid, self.gid)

    def as_user(self, command):
        if os.getuid() == 0:
            return ["runuser", "-u", self.user, "--", "env", "-i"] + [
                f"{k}={v}" for k, v in self.environment.items()] + command
        return command

    def start(self, command, log=None, wrapper=()):
        """Starts a program as the user (through WRAPPER, run as the test's
        own user); its output goes to LOG.log."""
        with open(self.log_path(log or os.path.basename(command[0])), "w") as out:
            process = subprocess.Popen(list(wrapper) + self.as_user(command), stdout=out, stderr=out,
                                       env=self.environment, cwd=self.tmp)
        self.started.append(process)
        return process

    def run_as_user(self, command):
        return subprocess.run(self.as_user(command), capture_output=True, text=True,
                              env=self.environment)

    def log_path(self, name):
        return os.path.join(self.tmp, name + ".log")

    def processes(self, name, live_only=True):
        """Process ids of the programs called NAME that the test started,
        directly or through others (so that hosts of other tests on the
        machine do not count); ended ones not yet reaped (zombies) count
        only when live_only is False."""
        result = subprocess.run(["ps", "-e", "-o", "pid=,ppid=,stat=,comm="],
                                capture_output=True, text=True)
        table = [line.split(None, 3) for line in result.stdout.splitlines()]
        ours = {p.pid for p in self.started}
        grown = True
        while grown:
            before = len(ours)
            ours |= {int(pid) for pid, ppid, _, _ in table if int(ppid) in ours}
            grown = len(ours) > before
        return [int(pid) for pid, _, stat, comm in table
                if int(pid) in ours and comm == name
                and not (live_only and stat.startswith("Z"))]

    def velmora_processes(self, live_only=True):
        return self.processes("velmora", live_only)

    def screenshot(self, name):
        path = os.path.join(self.tmp, name)
        subprocess.run(["import", "-display", self.display, "-window", "root", path],
                       check=True, capture_output=True)
        return path

    def settings_file(self):
        """The settings the installed copy's first start wrote for the user,
        naming the demo scene (the program's folder is not the user's)."""
        settings = os.path.join(self.home, ".config", "velmora", "velmora.INI")
        self.assertTrue(wait_until(10, lambda: os.path.exists(settings)),
                        "the saver wrote no settings")
        with open(settings) as f:
            self.assertIn(f"ImageFileName={self.prefix}/share/velmora/demo_lake.bmp", f.read())
        self.assertEqual(os.stat(settings).st_uid, self.uid)
        return settings

    def expected_scene(self, settings, width, height):
        """The geometry and the panel's pictures (one per reflection frame)
        velmora-render builds for a screen of that size."""
        if (settings, width, height) in self.expected:
            return self.expected[(settings, width, height)]
        frames = os.path.join(self.tmp, f"frames-{width}x{height}")
        scene, pictures = expected_scene(os.path.join(self.prefix, "bin", "velmora-render"),
                                         settings, (width, height), frames)
        self.assertGreaterEqual(len(pictures), 3)
        self.expected[(settings, width, height)] = scene, pictures
        return scene, pictures

    def expect_moving_scene(self, settings, name):
        """The scene velmora-render builds for the screen shows at its place,
        its reflection moving through the built frames, on black."""
        scene, frames = self.expected_scene(settings, self.WIDTH, self.HEIGHT)
        panel = (scene["PanelLeft"], scene["PanelTop"], scene["PanelWidth"],
                 scene["PanelHeight"])

        def shown_frame():
            shot = rgb(self.screenshot(name + ".png"), panel)
            return frames.index(shot) + 1 if shot in frames else 0

        seen = set()
        self.assertTrue(wait_until(20, lambda: shown_frame() > 0, 0.2),
                        f"{name}: the scene did not appear at its place")
        self.assertTrue(wait_until(10, lambda: seen.add(shown_frame()) or
                                   len(seen - {0}) >= 2, 0.1),
                        f"{name}: the reflection did not move (frames seen: {seen})")
        whole = rgb(self.screenshot(name + "_whole.png"))
        for x, y in ((panel[0] - 1, panel[1]), (panel[0] + panel[2], panel[1] + 10),
                     (0, 0), (self.WIDTH - 1, panel[1])):
            offset = (y * self.WIDTH + x) * 3
            self.assertEqual(whole[offset:offset + 3], b"\0\0\0", f"{name}: {(x, y)}")


BUILD = None


def main(argv):
    """Runs the test module's cases on the build folder given first."""
    global BUILD
    BUILD = argv.pop(1)
    unittest.main(verbosity=2)
