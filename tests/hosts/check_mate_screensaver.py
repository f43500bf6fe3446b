#!/usr/bin/env python3
"""Velmora under the real mate-screensaver, installed as a user would have it.

    check_mate_screensaver.py BUILD_DIR

mate-screensaver runs in a session bus of its own for an ordinary user whose
settings choose Velmora as the only saver, found through the installed
copy's screensavers/velmora.desktop (the prefix's share folder is first in
XDG_DATA_DIRS) and run through a link in the daemon's folder of savers.
Run as root. Activating shows the demo scene at the geometry
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
        if os.getuid() != 0:
            self.skipTest("the daemon's folder of savers is replaced in a mount namespace, as root")
        super().setUp()
        bus_file = os.path.join(self.runtime, "bus")
        self.environment["XDG_DATA_DIRS"] = os.path.join(self.prefix, "share") + ":/usr/share"
        # As in a MATE session, which the saver's entry is shown in.
        self.environment["XDG_CURRENT_DESKTOP"] = "MATE"
        # The daemon runs a saver only from its own folders of savers, where
        # the package puts a link to the program. Here the daemon sees such a
        # folder holding only a link to the installed copy, in a mount
        # namespace of its own: the machine's folder is left as it is.
        savers = os.path.join(self.tmp, "savers")
        os.mkdir(savers)
        os.symlink(self.program, os.path.join(savers, "velmora"))
        namespace = ["unshare", "--mount", "--propagation", "private", "sh", "-c",
                     'mount --bind "$0" /usr/libexec/xscreensaver && exec "$@"', savers]
        # The daemon reads its settings as it starts. The session bus lives as
        # long as the daemon; its address is written where the test's
        # commands find it.
        settings = " && ".join(
            f"gsettings set org.mate.screensaver {key} \"{value}\"" for key, value in (
                ("lock-enabled", "false"), ("idle-activation-enabled", "false"),
                ("mode", "single"), ("themes", "['screensavers-velmora']")))
        self.daemon = self.start(["dbus-run-session", "--", "sh", "-c",
                                  f'{settings} && echo "$DBUS_SESSION_BUS_ADDRESS" > {bus_file}.new '
                                  f'&& mv {bus_file}.new {bus_file} '
                                  f'&& exec mate-screensaver --no-daemon'], "mate-screensaver",
                                 namespace)
        self.assertTrue(wait_until(10, lambda: os.path.exists(bus_file)), "no session bus")
        with open(bus_file) as f:
            self.environment["DBUS_SESSION_BUS_ADDRESS"] = f.read().strip()
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
