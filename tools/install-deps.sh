#!/bin/sh
# Installs the Debian 12 packages Velmora needs to build, run and test.
# Uses sudo only when not already root; installs nothing that is present.
# fonts-urw-base35 is only a recommendation of libwmf, but without it libwmf
# cannot draw a metafile at all. clang with its runtime libraries builds the
# sanitizer build and the fuzzing harnesses; llvm's symbolizer names the
# lines in their reports.
set -e
PACKAGES="cmake ninja-build g++ pkg-config qt6-base-dev qt6-base-dev-tools qt6-svg-dev
libjpeg62-turbo-dev libwmf-dev libemf2svg-dev librsvg2-dev libcrypt-dev libxcb1-dev libxcb-xtest0-dev
libgtest-dev libgmock-dev libgif-dev giflib-tools imagemagick python3 python3-pil xvfb
x11-utils fonts-dejavu-core fonts-urw-base35 clang-format
clang libclang-rt-14-dev llvm"
# WebP and TIFF pictures are read by Qt's image-format plugins.
PACKAGES="$PACKAGES qt6-image-formats-plugins"
missing=""
for p in $PACKAGES; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
if [ -n "$missing" ]; then
$SUDO apt-get update
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends $missing
fi
# Installation and package checks, and the end-to-end tests under XScreenSaver
# and on two monitors.
PACKAGES="desktop-file-utils man-db dpkg-dev file xscreensaver x11-xserver-utils"
missing=""
for p in $PACKAGES; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
if [ -n "$missing" ]; then
$SUDO apt-get update
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends $missing
fi
