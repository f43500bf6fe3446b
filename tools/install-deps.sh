#!/bin/sh
# Installs the Debian 12 packages Velmora needs to build, run and test.
# Uses sudo only when not already root; installs nothing that is present.
set -e
# Build and run.
PACKAGES="cmake ninja-build g++ pkg-config qt6-base-dev qt6-base-dev-tools qt6-svg-dev
libjpeg62-turbo-dev libwmf-dev libemf2svg-dev librsvg2-dev libcrypt-dev libxcb1-dev
python3 python3-pil fonts-dejavu-core"
# libwmf only recommends its fonts, but cannot draw any metafile without them.
PACKAGES="$PACKAGES fonts-urw-base35"
# The saver and the dialogs in a Wayland session.
PACKAGES="$PACKAGES qt6-wayland"
# WebP and TIFF pictures.
PACKAGES="$PACKAGES qt6-image-formats-plugins"
# Tests: GoogleTest, the GIF peer checks, the private X servers and key
# presses, the format check.
PACKAGES="$PACKAGES libgtest-dev libgmock-dev libgif-dev giflib-tools imagemagick xvfb x11-utils
libxcb-xtest0-dev clang-format"
# The GIF peer checks: a second decoder of our LZW files (and the LZW size
# reference of the benchmarks).
PACKAGES="$PACKAGES gifsicle"
# The sanitizer build and the fuzzing harnesses (clang with its runtime
# libraries; llvm's symbolizer names the lines in their reports).
PACKAGES="$PACKAGES clang libclang-rt-14-dev llvm"
# Installation and package checks, and the end-to-end tests under
# XScreenSaver and on two monitors.
PACKAGES="$PACKAGES desktop-file-utils man-db dpkg-dev file xscreensaver x11-xserver-utils"
# The package's check, and the end-to-end tests under the other hosts: the
# xsecurelock locker (a key through xdotool opens its prompt), mate-screensaver
# in a session bus of its own with its settings in dconf, and Xorg on the
# dummy driver, whose RandR monitors make two monitors of one desktop.
PACKAGES="$PACKAGES lintian xsecurelock xdotool mate-screensaver dbus-daemon libglib2.0-bin
dconf-service dconf-gsettings-backend xserver-xorg-core xserver-xorg-video-dummy"
# The dialogs and the saver under a real window manager.
PACKAGES="$PACKAGES openbox"
# The end-to-end tests in a Wayland session: a headless compositor, its
# screenshots, key presses and idle daemon.
PACKAGES="$PACKAGES sway grim wtype swayidle"

missing=""
for p in $PACKAGES; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
[ -z "$missing" ] && exit 0
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
$SUDO apt-get update
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends $missing
