#!/usr/bin/env bash
# Main job: builds the library and the demo host, which loads the library by
# name, as an engine does, renders its scenes off-screen with OpenGL from real
# game data, and writes the frames, a contact sheet and a per-call timing table.
# Arguments go to the demo (see --help); VESK_DEMO_OUT sets the output folder.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh" build
"$root/scripts/fetch-testdata.sh" >/dev/null
build=${VESK_BUILD:-$root/build-release}
cmake -G Ninja -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DVESK_TESTS=OFF >/dev/null
ninja -C "$build" -j "${VESK_JOBS:-2}" VeskMathLIB vesk_demo
out=${VESK_DEMO_OUT:-$root/demo-out}
LD_LIBRARY_PATH="$build${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}" \
    "$build/demo/vesk_demo" --data "${VESK_TESTDATA:-$root/testdata}" --out "$out" "$@"
