#!/usr/bin/env bash
# Main job: builds the library and runs a host program that loads it by name,
# as an engine does, and prints what a few exports compute.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh" build
build=${VESK_BUILD:-$root/build-release}
cmake -G Ninja -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DVESK_TESTS=OFF >/dev/null
ninja -C "$build" -j "${VESK_JOBS:-2}" VeskMathLIB vesk_host_demo
LD_LIBRARY_PATH="$build${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}" "$build/tools/vesk_host_demo" "$@"
