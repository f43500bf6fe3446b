#!/usr/bin/env python3
"""Velmora under the real mate-screensaver, installed as a user would have it.

    check_mate_screensaver.py BUILD_DIR

mate-screensaver runs in a session bus of its own for an ordinary user whose
settings choose Velmora as the only saver, found through the installed
copy's screensavers/velmora.desktop (the prefix's share folder is first in
XDG_DATA_DIRS). Activating shows the demo scene at the geometry
velmora-render computes, the reflection moving; deactivating leaves no
Velmora process running.
"""

import os
import sys

import host_session
from host_session import HostSession, wait_until


class MateScreensaver(HostSession):
    NAME = "mate-screensaver"

    def setUp(self):
        super().setUp()
        bus_file = os.path.join(self.tmp, "bus")
        self.environment["XDG_DATA_DIRS"] = os.path.join(self.prefix, "share") + ":/usr/share"
        # The session bus lives as long as the daemon; its address is written
        # where the commands of the test find it.
        self.daemon = self.start(["dbus-run-session", "--", "sh", "-c",
                                  f'echo "$DBUS_SESSION_BUS_ADDRESS" > {bus_file}.new && '
                                  f'mv {bus_file}.new {bus_file} && '
                                  f'exec mate-screensaver --no-daemon'], "mate-screensaver")
        self.assertTrue(wait_until(10, lambda: os.path.exists(bus_file)), "no session bus")
        with open(bus_file) as f:
            self.environment["DBUS_SESSION_BUS_ADDRESS"] = f.read().strip()
        for key, value in (("lock-enabled", "false"), ("idle-activation-enabled", "false"),
                           ("mode", "single"), ("themes", "['screensavers-velmora']")):
            result = self.run_as_user(["gsettings", "set", "org.mate.screensaver", key, value])
            self.assertEqual(result.returncode, 0, result.stderr)
        self.assertTrue(wait_until(10, lambda: self.command("--query").returncode == 0),
                        "the daemon did not answer")

    def command(self, switch):
        return self.run_as_user(["mate-screensaver-command", switch])

    def test_activates_on_the_demo_scene_moving_and_ends_at_deactivation(self):
        self.assertEqual(self.command("--activate").returncode, 0)
        self.assertTrue(wait_until(10, self.velmora_processes),
                        "mate-screensaver did not start velmora")
        self.expect_moving_scene(self.settings_file(), "activated")

        self.assertEqual(self.command("--deactivate").returncode, 0)
        self.assertTrue(wait_until(3, lambda: not self.velmora_processes(False)),
                        "velmora still runs three seconds after deactivation")
        self.assertEqual(self.daemon.poll(), None, "the daemon ended")


if __name__ == "__main__":
    host_session.main(sys.argv)
