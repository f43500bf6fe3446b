#!/usr/bin/env python3
"""Velmora in a Wayland session: a headless sway with two outputs.

    check_sway.py BUILD_DIR

Installs the build into a temporary prefix and runs it in a headless sway
started as a user's session starts (tools/sway_session.py). Then: `velmora
/s` covers each output full screen with the scene velmora-render builds for
that output's size, the reflection moving, and a key ends it; swayidle starts
it after two seconds without input; `velmora /c` opens its window; the
saver password set with `velmora /a` is asked for, and typed, there.
"""

import os
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.dont_write_bytecode = True  # the source tree stays as it is
sys.path[:0] = [os.path.join(HERE, "..", "..", "tools"), os.path.join(HERE, "..", "support")]
from scene_pictures import expected_scene, rgb  # noqa: E402
from sway_session import SwaySession, wait_until  # noqa: E402

BUILD = None
OUTPUTS = {"HEADLESS-1": (1280, 1024), "HEADLESS-2": (1024, 768)}


class Sway(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.prefix = tempfile.mkdtemp(prefix="velmora-prefix-")
        os.chmod(cls.prefix, 0o755)
        subprocess.run(["cmake", "--install", BUILD, "--prefix", cls.prefix],
                       capture_output=True, check=True)
        cls.program = os.path.join(cls.prefix, "bin", "velmora")
        try:
            cls.sway = SwaySession(OUTPUTS)
        except BaseException:
            shutil.rmtree(cls.prefix, ignore_errors=True)
            raise

    @classmethod
    def tearDownClass(cls):
        cls.sway.close(os.environ.get("VELMORA_KEEP_SCREENSHOTS"))
        shutil.rmtree(cls.prefix, ignore_errors=True)

    def tearDown(self):
        self.sway.end_programs()

    def expected_scene(self, settings, size):
        """The panel's place and its pictures (one per reflection frame) that
        velmora-render builds from the saver's settings for a screen size."""
        scene, pictures = expected_scene(
            os.path.join(self.prefix, "bin", "velmora-render"), settings, size,
            os.path.join(self.sway.tmp, f"frames_{size[0]}x{size[1]}"))
        return (scene["PanelLeft"], scene["PanelTop"], scene["PanelWidth"],
                scene["PanelHeight"]), pictures

    def assert_scene_on_every_output(self, tag):
        # The installed copy's first start named the demo scene in the
        # user's settings.
        settings = os.path.join(self.sway.home, ".config", "velmora", "velmora.INI")
        self.assertTrue(wait_until(10, lambda: os.path.exists(settings)))
        for output, size in OUTPUTS.items():
            panel, frames = self.expected_scene(settings, size)

            def shown_frame(name):
                shot = rgb(self.sway.screenshot(output, name), panel)
                return frames.index(shot) + 1 if shot in frames else 0

            seen = set()
            self.assertTrue(wait_until(30, lambda: shown_frame(f"{tag}_{output}.png") > 0, 0.2),
                            f"no scene at its place on {output}: " + self.sway.log("velmora"))
            self.assertTrue(wait_until(10, lambda: seen.add(shown_frame(f"{tag}_later.png")) or
                                       len(seen - {0}) >= 2),
                            f"the reflection did not move on {output} (frames seen: {seen})")
            # Full screen, without decoration: black around the panel, up to
            # the output's corners.
            whole = rgb(self.sway.screenshot(output, f"{tag}_whole.png"))
            width, height = size
            for x, y in ((0, 0), (width - 1, 0), (panel[0] - 1, panel[1]),
                         (panel[0] + panel[2], panel[1] + 10)):
                offset = (y * width + x) * 3
                self.assertEqual(whole[offset:offset + 3], b"\0\0\0", (output, x, y))
        self.assertEqual(sorted((o, f) for o, _, f in self.sway.views()),
                         [(o, True) for o in sorted(OUTPUTS)])

    def type(self, *keys):
        # The compositor announces the new virtual keyboard first; the keys
        # follow once the program has taken it up.
        result = self.sway.run("wtype", "-s", "1000", *keys)
        self.assertEqual(result.returncode, 0, result.stderr)

    def test_1_saver_covers_both_outputs_and_a_key_ends_it(self):
        saver = self.sway.start([self.program, "/s"])
        self.assert_scene_on_every_output("saver")
        self.type("-k", "space")
        try:
            self.assertEqual(saver.wait(10), 0)
        except subprocess.TimeoutExpired:
            self.fail("a key did not end the saver")
        self.assertTrue(wait_until(5, lambda: not self.sway.views()))

    def test_2_swayidle_starts_it_after_two_seconds_without_input(self):
        begin = time.monotonic()
        self.sway.start(["swayidle", "-w", "timeout", "2", f"{self.program} /s"])
        self.assertTrue(wait_until(20, lambda: len(self.sway.views()) == len(OUTPUTS)),
                        "swayidle did not start the saver: " + self.sway.log("swayidle"))
        self.assertGreaterEqual(time.monotonic() - begin, 2)
        self.assert_scene_on_every_output("idle")
        self.type("-k", "space")
        self.assertTrue(wait_until(10, lambda: not self.sway.views()), "a key did not end it")

    def test_4_the_password_prompt_takes_the_keys(self):
        # Set with the password dialog, typed into as a user would.
        dialog = self.sway.start([self.program, "/a"])
        self.assertTrue(wait_until(20, lambda: self.sway.views()), "no password dialog")
        self.type("secret", "-k", "Tab", "secret", "-k", "Return")
        self.assertEqual(dialog.wait(10), 0)
        saver = self.sway.start([self.program, "/s"])
        self.assertTrue(wait_until(30, lambda: len(self.sway.views()) == len(OUTPUTS)))
        time.sleep(3)  # the scene is built before input counts
        for password, running in (("wrong", True), ("secret", False)):
            self.type("-k", "space")
            self.assertTrue(wait_until(10, lambda: len(self.sway.views()) > len(OUTPUTS)),
                            "no prompt")
            self.type(password, "-k", "Return")
            self.assertTrue(wait_until(10, lambda: (saver.poll() is None) == running and
                                       len(self.sway.views()) <= len(OUTPUTS)), password)
        self.assertEqual(saver.wait(5), 0)

    def test_3_configuration_opens_its_window(self):
        dialogs = self.sway.start([self.program, "/c"])
        self.assertTrue(wait_until(20, lambda: self.sway.views()),
                        "no configuration window: " + self.sway.log("velmora"))
        self.assertIsNone(dialogs.poll())
        dialogs.terminate()
        dialogs.wait(10)


if __name__ == "__main__":
    BUILD = sys.argv.pop(1)
    unittest.main(verbosity=2)
