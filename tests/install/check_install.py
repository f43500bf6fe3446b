#!/usr/bin/env python3
"""Installs the build into a temporary prefix and checks every installed file;
builds the Debian package and checks what it holds; checks that the Quick
start builds only the programs.

    check_install.py BUILD_DIR [Installed|Package|QuickStart]

The installed set must be exactly the expected one; the desktop entry must
pass desktop-file-validate and start the installed program; the manual pages
must render without warnings; the XScreenSaver description must parse and
every option it offers must be one the installed programs accept; the icons
must have their sizes. The installed copy keeps its settings in the user's
~/.config, whoever runs it, and the install can be removed again.
"""

import gzip
import os
import pwd
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest
import xml.etree.ElementTree as ET

BUILD = None
SOURCE = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
ICON_SIZES = (16, 22, 24, 32, 48, 64, 128, 256)
# Where screen-saver hosts look for savers: links to bin/velmora.
HOST_LINKS = {"libexec/xscreensaver/velmora", "lib/xscreensaver/velmora"}
EXPECTED = {
    "bin/velmora",
    "bin/velmora-render",
    "lib/velmora/velmora-images.so",
    "lib/velmora/velmora-metafiles.so",
    "share/man/man6/velmora.6.gz",
    "share/man/man1/velmora-render.1.gz",
    "share/applications/velmora.desktop",
    "share/icons/hicolor/scalable/apps/velmora.svg",
    "share/xscreensaver/config/velmora.xml",
    "share/velmora/demo_lake.bmp",
    "share/velmora/demo_boat.bmp",
    "share/velmora/velmora.INI",
    "share/doc/velmora/copyright",
    "share/doc/velmora/changelog.gz",
    "share/applications/screensavers/velmora.desktop",
} | {f"share/icons/hicolor/{n}x{n}/apps/velmora.png" for n in ICON_SIZES} | HOST_LINKS
# A cmake --install, not a package, also keeps its manifest for the uninstall.
KEPT_MANIFEST = "share/velmora/install_manifest.txt"


def installed_files(prefix):
    found = set()
    for folder, _, files in os.walk(prefix):
        for name in files:
            found.add(os.path.relpath(os.path.join(folder, name), prefix))
    return found


def run(command, **kwargs):
    return subprocess.run(command, capture_output=True, text=True, **kwargs)


def metafile_scene(program, folder):
    """The scene listing the render tool prints for a WMF picture, which it
    draws through the metafile plugin it finds from its own folder."""
    picture = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "data", "pictures",
                           "f.wmf")
    env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "QT_QPA_PLATFORM")}
    result = run([program, "--config", os.path.join(folder, "absent.INI"), "--picture", picture,
                  "--edge", "5", "--print-scene"], env=env)
    return result.stdout + result.stderr


class Installed(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.mkdtemp(prefix="velmora-install-")
        os.chmod(cls.tmp, 0o755)  # an ordinary user runs the installed copy too
        cls.prefix = os.path.join(cls.tmp, "prefix")
        result = run(["cmake", "--install", BUILD, "--prefix", cls.prefix])
        if result.returncode != 0:
            raise RuntimeError("cmake --install failed:\n" + result.stdout + result.stderr)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.tmp, ignore_errors=True)

    def path(self, relative):
        return os.path.join(self.prefix, relative)

    def test_installs_exactly_the_expected_files(self):
        self.assertEqual(installed_files(self.prefix), EXPECTED | {KEPT_MANIFEST})
        for program in ("bin/velmora", "bin/velmora-render"):
            self.assertTrue(os.access(self.path(program), os.X_OK), program)
        self.assertIn("PictureWidth=", metafile_scene(self.path("bin/velmora-render"), self.tmp))

    def test_desktop_entries_are_valid_and_start_the_installed_program(self):
        # The settings menu's entry opens the configuration; mate-screensaver
        # lists the one in screensavers/ and runs it in its window. A saver
        # category is none of the menu's main ones, which the validator
        # only hints at.
        # mate-screensaver runs a saver given by its full path only from its
        # own folders: that entry names the program alone.
        for entry, command, categories in (
                ("velmora.desktop", self.path("bin/velmora") + " /c", "Settings;DesktopSettings;"),
                ("screensavers/velmora.desktop", "velmora --root", "Screensaver;")):
            path = self.path("share/applications/" + entry)
            result = run(["desktop-file-validate", path])
            self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
            self.assertEqual([line for line in (result.stdout + result.stderr).splitlines()
                              if " hint: " not in line], [], entry)
            with open(path) as f:
                lines = dict(line.split("=", 1) for line in f if "=" in line)
            self.assertEqual(lines["Exec"].strip(), command)
            self.assertEqual(lines["Categories"].strip(), categories)
            self.assertEqual(lines["Icon"].strip(), "velmora")
            self.assertTrue(lines["Comment"].strip(), entry)

    def test_hosts_find_the_program_in_their_folders(self):
        for link in HOST_LINKS:
            # Relative, so that the link holds wherever the prefix is moved.
            self.assertEqual(os.readlink(self.path(link)), "../../bin/velmora", link)
            self.assertTrue(os.path.samefile(self.path(link), self.path("bin/velmora")))

    def test_manual_pages_render_without_warnings(self):
        for page, title in (("share/man/man6/velmora.6.gz", "VELMORA(6)"),
                            ("share/man/man1/velmora-render.1.gz", "VELMORA-RENDER(1)")):
            result = run(["man", "--warnings", "-l", self.path(page)],
                         env=dict(os.environ, MANWIDTH="80", MAN_KEEP_FORMATTING="0"))
            self.assertEqual(result.returncode, 0, page)
            self.assertEqual(result.stderr, "", page)
            text = re.sub(".\b", "", result.stdout)  # bold and underline overstrikes
            self.assertIn(title, text, page)
            for heading in ("SYNOPSIS", "DESCRIPTION", "OPTIONS", "FILES", "EXAMPLES"):
                self.assertIn("\n" + heading + "\n", text, page)

    def test_manual_pages_name_every_switch_the_programs_take(self):
        render_help = run([self.path("bin/velmora-render"), "--help"])
        self.assertEqual(render_help.returncode, 0)
        text = gzip.open(self.path("share/man/man1/velmora-render.1.gz"), "rt").read()
        switches = {w.rstrip(",") for w in render_help.stdout.split() if w.startswith("--")}
        for switch in switches:
            self.assertIn(switch.replace("-", "\\-"), text, switch)

    def test_manual_pages_name_every_viewing_size(self):
        root = ET.parse(self.path("share/xscreensaver/config/velmora.xml")).getroot()
        sizes = [o.get("arg-set").split()[1] for o in root.iter("option")
                 if (o.get("arg-set") or "").startswith("--size ")]
        self.assertIn("fit", sizes)
        for page in ("share/man/man6/velmora.6.gz", "share/man/man1/velmora-render.1.gz"):
            text = gzip.open(self.path(page), "rt").read()
            line = next(t for t in text.splitlines() if t.startswith(".BI \\-\\-size "))
            for size in sizes:
                self.assertIn(size, line.split('"')[1].replace("\\fR|\\fP", " ").split(), page)
            self.assertIn("Fit Screen", text, page)
        text = gzip.open(self.path("share/man/man6/velmora.6.gz"), "rt").read()
        self.assertIn("3 Fit Screen", text)

    def test_xscreensaver_options_are_accepted_by_the_program(self):
        root = ET.parse(self.path("share/xscreensaver/config/velmora.xml")).getroot()
        self.assertEqual(root.tag, "screensaver")
        self.assertEqual(root.get("name"), "velmora")
        self.assertEqual(root.find("command").get("arg"), "--root")
        # Each option's command-line form, at both ends of a number's range.
        lines = []
        for number in root.iter("number"):
            for value in (number.get("low"), number.get("high"), number.get("default")):
                lines.append(number.get("arg").replace("%", value).split())
        for option in root.iter("option"):
            if option.get("arg-set"):
                lines.append(option.get("arg-set").split())
        for boolean in root.iter("boolean"):
            lines.append(boolean.get("arg-set").split())
        for chooser in root.iter("file"):
            lines.append(chooser.get("arg").replace("%", "/tmp/some picture.jpg").split(" ", 1))
        self.assertGreaterEqual(len(lines), 20)
        empty = os.path.join(self.tmp, "empty.INI")
        open(empty, "w").close()
        for line in lines:
            result = run([self.path("bin/velmora-render"), "--config", empty, "--print-settings"]
                         + line)
            self.assertEqual(result.returncode, 0, f"{line}: {result.stderr}")
        # The sliders offer the ranges the saver keeps its values in.
        ranges = {n.get("id"): (int(n.get("low")), int(n.get("high")))
                  for n in root.iter("number")}
        self.assertEqual(ranges["frames"], (3, 15))
        self.assertEqual(ranges["heightpercent"], (5, 100))
        self.assertEqual(ranges["brightness"], (-200, 200))
        self.assertEqual(ranges["waveshape"], (-100, 100))
        self.assertEqual(ranges["windspeed"], (-100, 100))

    def test_icons_have_their_sizes(self):
        for n in ICON_SIZES:
            with open(self.path(f"share/icons/hicolor/{n}x{n}/apps/velmora.png"), "rb") as f:
                head = f.read(24)
            self.assertEqual(head[:8], b"\x89PNG\r\n\x1a\n")
            self.assertEqual(struct.unpack(">II", head[16:24]), (n, n))
        ET.parse(self.path("share/icons/hicolor/scalable/apps/velmora.svg"))

    def test_demo_scene_settings_name_the_installed_pictures(self):
        with open(self.path("share/velmora/velmora.INI")) as f:
            ini = f.read()
        self.assertIn("ImageFileName=demo_lake.bmp", ini)
        self.assertIn("OverlayFileName=demo_boat.bmp", ini)
        for picture in ("demo_lake.bmp", "demo_boat.bmp"):
            with open(self.path("share/velmora/" + picture), "rb") as f:
                self.assertEqual(f.read(2), b"BM")

    def test_settings_go_to_the_users_config_folder_whoever_runs_it(self):
        # Root, and an ordinary user with a prefix of their own (~/.local):
        # both could write the program's folder, neither may.
        users = ["root", "nobody"] if os.getuid() == 0 else [pwd.getpwuid(os.getuid()).pw_name]
        for user in users:
            with self.subTest(user=user):
                entry = pwd.getpwnam(user)
                base = os.path.join(self.tmp, "run-" + user)
                prefix, home = os.path.join(base, "prefix"), os.path.join(base, "home")
                shutil.copytree(self.prefix, prefix, symlinks=True)
                os.mkdir(home)
                for folder, folders, files in os.walk(base):
                    for name in [folder] + [os.path.join(folder, f) for f in files]:
                        os.chown(name, entry.pw_uid, entry.pw_gid)
                command = ["env", "-i", f"HOME={home}", "PATH=/usr/bin:/bin"]
                if os.getuid() == 0 and user != "root":
                    command = ["runuser", "-u", user, "--"] + command
                # Without a display the hosted start ends at once, after the
                # first start's settings are written.
                started = run(command + [os.path.join(prefix, "bin/velmora"), "--root"])
                self.assertEqual(started.returncode, 1, started.stderr)
                self.assertEqual(sorted(os.listdir(os.path.join(prefix, "bin"))),
                                 ["velmora", "velmora-render"])
                settings = os.path.join(home, ".config/velmora/velmora.INI")
                self.assertEqual(os.stat(settings).st_uid, entry.pw_uid)
                shown = run(command + [os.path.join(prefix, "bin/velmora-render"),
                                       "--print-settings"])
                self.assertEqual(shown.returncode, 0, shown.stderr)
                self.assertIn(f"ImageFileName={prefix}/share/velmora/demo_lake.bmp\n",
                              shown.stdout)

    def test_the_kept_manifest_removes_every_installed_file(self):
        prefix = os.path.join(self.tmp, "again")
        result = run(["cmake", "--install", BUILD, "--prefix", prefix])
        self.assertEqual(result.returncode, 0, result.stderr)
        manifest = os.path.join(prefix, KEPT_MANIFEST)
        with open(manifest) as f:
            listed = {os.path.relpath(line.strip(), prefix) for line in f if line.strip()}
        self.assertEqual(listed, installed_files(prefix))
        removed = run(["cmake", "-D", "MANIFEST=" + manifest, "-P",
                       os.path.join(SOURCE, "dist/uninstall.cmake")])
        self.assertEqual(removed.returncode, 0, removed.stderr)
        self.assertEqual(installed_files(prefix), set())
        self.assertFalse(os.path.exists(os.path.join(prefix, "share/velmora")))


class Package(unittest.TestCase):
    """cpack -G DEB: the package holds the installed files under /usr, and its
    dependencies are those of the libraries the programs link."""

    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.mkdtemp(prefix="velmora-package-")
        result = run(["cpack", "-G", "DEB", "-B", cls.tmp,
                      "--config", os.path.join(BUILD, "CPackConfig.cmake")], cwd=BUILD)
        if result.returncode != 0:
            raise RuntimeError("cpack failed:\n" + result.stdout + result.stderr)
        debs = [f for f in os.listdir(cls.tmp) if f.endswith(".deb")]
        if len(debs) != 1:
            raise RuntimeError(f"cpack made {debs}")
        cls.deb = os.path.join(cls.tmp, debs[0])

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.tmp, ignore_errors=True)

    def field(self, name):
        return run(["dpkg-deb", "--field", self.deb, name]).stdout.strip()

    def test_name_version_and_architecture(self):
        architecture = run(["dpkg", "--print-architecture"]).stdout.strip()
        version = self.field("Version")
        self.assertRegex(version, r"^\d+\.\d+\.\d+$")
        self.assertEqual(os.path.basename(self.deb), f"velmora_{version}_{architecture}.deb")
        self.assertEqual(self.field("Package"), "velmora")
        self.assertEqual(self.field("Architecture"), architecture)
        info = run(["dpkg-deb", "--info", self.deb])
        self.assertEqual(info.returncode, 0, info.stderr)
        self.assertIn("water reflection", self.field("Description"))

    def test_dependencies_come_from_the_linked_libraries(self):
        depends = {d.split()[0] for d in self.field("Depends").split(", ")}
        for library in ("libc6", "libstdc++6", "libqt6core6", "libqt6gui6", "libqt6widgets6",
                        "libqt6svg6", "libjpeg62-turbo", "libxcb1", "libcrypt1", "qt6-wayland"):
            self.assertIn(library, depends)

    def test_holds_the_installed_files_under_usr(self):
        listing = run(["dpkg-deb", "--contents", self.deb]).stdout.splitlines()
        # A link's line ends "name -> target".
        files = {line.split(" -> ")[0].split()[-1][len("./usr/"):] for line in listing
                 if not line.startswith("d")}
        self.assertEqual(files, EXPECTED)
        links = {line.split(" -> ")[0].split()[-1][len("./usr/"):] for line in listing
                 if line.startswith("l")}
        self.assertEqual(links, HOST_LINKS)
        unpacked = os.path.join(self.tmp, "root")
        self.assertEqual(run(["dpkg-deb", "--extract", self.deb, unpacked]).returncode, 0)
        with open(os.path.join(unpacked, "usr/share/applications/velmora.desktop")) as f:
            self.assertIn("Exec=/usr/bin/velmora /c\n", f.read())
        # The programs are stripped but still run.
        program = os.path.join(unpacked, "usr/bin/velmora-render")
        self.assertNotIn("not stripped", run(["file", program]).stdout)
        self.assertEqual(run([program, "--help"]).returncode, 0)
        self.assertIn("PictureWidth=", metafile_scene(program, self.tmp))

    def test_lintian_finds_no_error_and_no_hardening_gap(self):
        # Errors and the hardening tags (shown at the information level):
        # the programs are built with Debian's hardening flags, but for the
        # sanitizer build, whose package is never shipped.
        with open(os.path.join(BUILD, "CMakeCache.txt")) as f:
            sanitized = "VELMORA_SANITIZE:BOOL=ON" in f.read()
        result = run(["lintian", "--display-info", "--tag-display-limit", "0", self.deb])
        tags = result.stdout.splitlines()
        self.assertEqual([t for t in tags if t.startswith("E:")
                          or (" hardening-" in t and not sanitized)], [],
                         result.stdout + result.stderr)
        self.assertIn(result.returncode, (0, 1), result.stderr)


class QuickStart(unittest.TestCase):
    """tools/run.sh builds the programs it runs and the demo scene of the
    first start, and nothing of the tests or benchmarks."""

    def test_run_builds_only_the_programs(self):
        with open(os.path.join(SOURCE, "tools/run.sh")) as f:
            build = next(line for line in f if line.startswith("sh tools/build.sh"))
        targets = build.split()[2:]
        self.assertTrue(targets, "tools/run.sh builds every target")
        result = run(["ninja", "-C", BUILD, "-t", "commands"] + targets)
        self.assertEqual(result.returncode, 0, result.stderr)
        commands = result.stdout
        for needed in ("-o velmora ", "-o velmora-render ", "make_demo_pictures.py"):
            self.assertIn(needed, commands)
        for unwanted in ("/tests/", "/bench/", "gtest"):
            self.assertNotIn(unwanted, commands)


if __name__ == "__main__":
    BUILD = sys.argv.pop(1)
    unittest.main(verbosity=2)
