#!/bin/sh
# Configures and builds Velmora into build/ at the repository root.
set -e
cd "$(dirname "$0")/.."
cmake -S . -B build -G Ninja -DVELMORA_WERROR=${VELMORA_WERROR:-ON} >/dev/null
cmake --build build
