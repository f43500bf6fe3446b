#!/usr/bin/env python3
"""Velmora as the saver of the real xsecurelock, installed as a user would
have it.

    check_xsecurelock.py BUILD_DIR

xsecurelock locks the screen of an ordinary user with XSECURELOCK_SAVER
naming the installed program. Under the lock shows the demo scene at the
geometry velmora-render computes, the reflection moving. A key opens the
password prompt; when the prompt gives up, xsecurelock sends its saver
SIGUSR1, which the same Velmora process survives; the locker logs no
request of ours meant for a window manager. Ending the locker leaves
no Velmora process running.
"""

import os
import signal
import subprocess
import sys

import host_session
from host_session import HostSession, wait_until

# Seconds the password prompt waits for a key before it closes.
PROMPT_TIMEOUT = 2


class XSecureLock(HostSession):
    NAME = "xsecurelock"

    def test_locks_on_the_moving_scene_survives_the_prompt_and_ends_with_the_locker(self):
        self.environment.update({
            "XSECURELOCK_SAVER": self.program,
            "XSECURELOCK_SAVER_RESET_ON_AUTH_CLOSE": "1",
            "XSECURELOCK_AUTH_TIMEOUT": str(PROMPT_TIMEOUT),
            # The locker's own black screen, not the X server's blanking.
            "XSECURELOCK_BLANK_TIMEOUT": "-1",
        })
        self.start(["xsecurelock"])
        self.assertTrue(wait_until(10, self.velmora_processes), "xsecurelock started no velmora")
        self.expect_moving_scene(self.settings_file(), "locked")
        [saver] = self.velmora_processes()

        # A key opens the prompt, which closes by itself after its timeout,
        # and SIGUSR1 goes to the saver.
        subprocess.run(["xdotool", "key", "shift"], env={"DISPLAY": self.display}, check=True)
        self.assertTrue(wait_until(5, lambda: self.processes("auth_x11")),
                        "the password prompt did not open")
        self.assertTrue(wait_until(PROMPT_TIMEOUT + 8, lambda: not self.processes("auth_x11")),
                        "the password prompt did not close")
        self.assertTrue(wait_until(2, lambda: self.velmora_processes() == [saver], 0.2))
        self.expect_moving_scene(self.settings_file(), "after_prompt")
        self.assertEqual(self.velmora_processes(), [saver], "the saver was started again")
        with open(self.log_path("xsecurelock")) as f:
            log = f.read()
        self.assertNotIn("killed by signal", log)
        # A hosted run asks nothing of window managers, which the locker
        # would take for a fault of its own windows.
        self.assertNotIn("unexpected ClientMessage", log)

        # The locker ends its savers as it goes (SIGTERM unlocks it).
        [locker] = self.processes("xsecurelock")
        os.kill(locker, signal.SIGTERM)
        self.assertTrue(wait_until(5, lambda: not self.processes("xsecurelock")))
        self.assertTrue(wait_until(3, lambda: not self.velmora_processes(False)),
                        "velmora still runs three seconds after the locker ended")


if __name__ == "__main__":
    host_session.main(sys.argv)
