#!/bin/sh
# Installs what is missing, builds the programs (not the tests and
# benchmarks) with the demo scene of the first start, and starts velmora with
# the given switch (default /s: the full-screen saver).
set -e
cd "$(dirname "$0")/.."
sh tools/install-deps.sh
sh tools/build.sh velmora velmora-render velmora_demo
if [ $# -eq 0 ]; then set -- /s; fi
exec build/velmora "$@"
