#!/bin/sh
# Installs what is missing, builds, and runs every test.
set -e
cd "$(dirname "$0")/.."
sh tools/install-deps.sh
sh tools/build.sh
cd build
ctest --output-on-failure -j2 --timeout 300
