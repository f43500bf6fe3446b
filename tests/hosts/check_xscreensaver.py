#!/usr/bin/env python3
"""Velmora under the real XScreenSaver, installed as a user would have it.

    check_xscreensaver.py BUILD_DIR

The XScreenSaver daemon runs as an ordinary user whose ~/.xscreensaver lists
only Velmora. Activating shows the demo scene of the installed copy's first
start at the geometry velmora-render computes, the reflection moving;
deactivating leaves no Velmora process running.
"""

import os
import sys

import host_session
from host_session import HostSession, wait_until


class XScreenSaver(HostSession):
    NAME = "xscreensaver"

    def setUp(self):
        super().setUp()
        with open(os.path.join(self.home, ".xscreensaver"), "w") as f:
            f.write("mode:\t\tone\nselected:\t0\ntimeout:\t0:30:00\nlock:\t\tFalse\n"
                    "fade:\t\tFalse\nunfade:\t\tFalse\nsplash:\t\tFalse\n"
                    "dpmsEnabled:\tFalse\n"
                    f"programs:\t{self.program} --root \\n\\\n\n")
        self.own(self.home)
        self.daemon = self.start(["xscreensaver", "--no-splash"])
        self.assertTrue(wait_until(10, lambda: self.command("-version").returncode == 0),
                        "the daemon did not answer")

    def tearDown(self):
        self.command("-exit")
        super().tearDown()

    def command(self, switch):
        return self.run_as_user(["xscreensaver-command", switch])

    def test_activates_on_the_demo_scene_moving_and_ends_at_deactivation(self):
        self.assertEqual(self.command("-activate").returncode, 0)
        self.assertTrue(wait_until(10, self.velmora_processes),
                        "the daemon did not start velmora")
        self.expect_moving_scene(self.settings_file(), "activated")

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
    host_session.main(sys.argv)
