#!/bin/sh
# Installs what is missing, builds, and runs every test: first the normal
# build, then the sanitizer build, run beside it.
set -e
cd "$(dirname "$0")/.."
root=$(pwd)
# Compiler caches shared by every clone of the repository.
export CCACHE_BASEDIR="$root"
sh tools/install-deps.sh
sh tools/build.sh
(cd build && ctest --output-on-failure -j2 --timeout 300)

# The sanitizer build (build-sanitize/): AddressSanitizer with
# LeakSanitizer and UndefinedBehaviorSanitizer, built by clang so that the
# same build holds the libFuzzer harnesses (every library also carries the
# fuzzer's coverage instrumentation). It runs the whole test suite, then
# every harness for a bounded time (tests/fuzz/run). VELMORA_SANITIZE=OFF in
# the environment leaves it out.
if [ "${VELMORA_SANITIZE:-ON}" = "OFF" ]; then
    exit 0
fi
CC=clang CXX=clang++ cmake -S . -B build-sanitize -G Ninja -DVELMORA_SANITIZE=ON -DVELMORA_FUZZ=ON \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link -Wno-unknown-warning-option" \
    -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -gline-tables-only" >/dev/null
cmake --build build-sanitize
. tests/sanitizer/environment.sh
(cd build-sanitize && ctest --output-on-failure -j2 --timeout 600)
sh tests/fuzz/run
