"""A headless sway session of its own, started the way a user's session is.

sway refuses to run as root: as root the session belongs to `nobody`, with a
temporary home and a private runtime folder (0700, owned by that user), and
without an X server. The first output is made at the first size given, the
others are created and placed to its right, in the order given. Used by the
Wayland end-to-end tests and the show benchmark; ends every process it
started.
"""

import glob
import json
import os
import pwd
import shutil
import signal
import subprocess
import tempfile
import time


def wait_until(seconds, condition, step=0.1):
    end = time.monotonic() + seconds
    while True:
        if condition():
            return True
        if time.monotonic() > end:
            return False
        time.sleep(step)


class SwaySession:
    def __init__(self, outputs):
        """outputs: {"HEADLESS-1": (width, height), "HEADLESS-2": ...}."""
        self.outputs = dict(outputs)
        self.tmp = tempfile.mkdtemp(prefix="velmora-sway-")
        os.chmod(self.tmp, 0o755)
        self.processes = []
        self.user = "nobody" if os.getuid() == 0 else pwd.getpwuid(os.getuid()).pw_name
        entry = pwd.getpwnam(self.user)
        self.uid = entry.pw_uid
        self.home = os.path.join(self.tmp, "home")
        self.shots = os.path.join(self.tmp, "screenshots")
        runtime = os.path.join(self.tmp, "runtime")
        for folder in (self.home, self.shots, runtime):
            os.mkdir(folder, 0o700)
            os.chown(folder, entry.pw_uid, entry.pw_gid)
        self.environment = {"HOME": self.home, "USER": self.user, "LOGNAME": self.user,
                            "XDG_RUNTIME_DIR": runtime, "XDG_SESSION_TYPE": "wayland",
                            "PATH": "/usr/sbin:/usr/bin:/sbin:/bin"}
        names = list(self.outputs)
        width, height = self.outputs[names[0]]
        config = os.path.join(self.tmp, "sway.config")
        with open(config, "w") as f:
            f.write(f"xwayland disable\noutput {names[0]} mode {width}x{height} position 0 0\n")
        os.chmod(config, 0o644)
        try:
            self.start(["sway", "-c", config], WLR_BACKENDS="headless", WLR_RENDERER="pixman",
                       WLR_LIBINPUT_NO_DEVICES="1")

            def sockets():
                return (glob.glob(os.path.join(runtime, "wayland-[0-9]")),
                        glob.glob(os.path.join(runtime, "sway-ipc.*.sock")))
            if not wait_until(20, lambda: all(sockets())):
                raise RuntimeError("sway did not start: " + self.log("sway"))
            wayland, ipc = sockets()
            self.environment["WAYLAND_DISPLAY"] = os.path.basename(wayland[0])
            self.environment["SWAYSOCK"] = ipc[0]
            left = width
            for name in names[1:]:
                self.swaymsg("create_output")
                w, h = self.outputs[name]
                self.swaymsg(f"output {name} mode {w}x{h} position {left} 0")
                left += w
            made = {o["name"]: (o["rect"]["width"], o["rect"]["height"])
                    for o in json.loads(self.swaymsg("-t", "get_outputs"))}
            if made != self.outputs:
                raise RuntimeError(f"sway's outputs are {made}")
        except BaseException:
            self.close()
            raise

    def end_programs(self, compositor_too=False):
        """Ends the programs started in the session, last first."""
        keep = 0 if compositor_too else 1
        while len(self.processes) > keep:
            process = self.processes.pop()
            if process.poll() is None:
                process.send_signal(signal.SIGTERM)
                try:
                    process.wait(5)
                except subprocess.TimeoutExpired:
                    process.kill()
                    process.wait()

    def close(self, keep=None):
        """Ends every process started; copies the screenshots to the folder
        `keep` when given."""
        self.end_programs(compositor_too=True)
        if keep:
            os.makedirs(keep, exist_ok=True)
            for path in glob.glob(os.path.join(self.shots, "*.png")):
                shutil.copy(path, os.path.join(keep, "sway_" + os.path.basename(path)))
        shutil.rmtree(self.tmp, ignore_errors=True)

    def as_user(self, command, extra=None):
        environment = dict(self.environment, **(extra or {}))
        prefix = ["env", "-i"] + [f"{k}={v}" for k, v in environment.items()]
        if os.getuid() == 0:
            prefix = ["runuser", "-u", self.user, "--"] + prefix
        return prefix + command

    def start(self, command, **extra):
        """Starts a program in the session; its output goes to its log."""
        with open(self.log_path(command[0]), "a") as log:
            process = subprocess.Popen(self.as_user(command, extra), stdout=log, stderr=log,
                                       cwd=self.tmp)
        self.processes.append(process)
        return process

    def run(self, *command, timeout=30, **extra):
        """Runs a program in the session to its end."""
        return subprocess.run(self.as_user(list(command), extra), capture_output=True,
                              text=True, timeout=timeout)

    def log_path(self, program):
        return os.path.join(self.tmp, os.path.basename(program) + ".log")

    def log(self, program):
        try:
            with open(self.log_path(program)) as f:
                return f.read()
        except OSError:
            return ""

    def swaymsg(self, *arguments):
        result = self.run("swaymsg", *arguments)
        if result.returncode != 0:
            raise RuntimeError(f"swaymsg {arguments}: {result.stdout}{result.stderr}")
        return result.stdout

    def views(self):
        """The windows sway shows, as (output, app id or title, full screen)."""
        found = []

        def walk(node, output):
            if node.get("type") == "output":
                output = node["name"]
            if node.get("pid"):
                found.append((output, node.get("app_id") or node.get("name"),
                              node.get("fullscreen_mode") == 1))
            for child in node.get("nodes", []) + node.get("floating_nodes", []):
                walk(child, output)

        walk(json.loads(self.swaymsg("-t", "get_tree")), None)
        return found

    def screenshot(self, output, name):
        """The output's picture as a PNG file."""
        path = os.path.join(self.shots, name)
        result = self.run("grim", "-o", output, path)
        if result.returncode != 0:
            raise RuntimeError("grim: " + result.stderr)
        return path
