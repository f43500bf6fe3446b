#!/bin/sh
# Configures and builds Velmora into build/ at the repository root: every
# target, or only the targets given (tools/run.sh builds just what it runs).
set -e
cd "$(dirname "$0")/.."
cmake -S . -B build -G Ninja -DVELMORA_WERROR=${VELMORA_WERROR:-ON} >/dev/null
if [ $# -eq 0 ]; then
    cmake --build build
else
    cmake --build build --target "$@"
fi
