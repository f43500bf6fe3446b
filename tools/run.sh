#!/bin/sh
# Installs what is missing, builds, and starts velmora with the given switch
# (default /s: the full-screen saver).
set -e
cd "$(dirname "$0")/.."
sh tools/install-deps.sh
sh tools/build.sh
if [ $# -eq 0 ]; then set -- /s; fi
exec build/velmora "$@"
