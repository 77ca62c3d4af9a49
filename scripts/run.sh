#!/usr/bin/env bash
# Main job: builds the library and the demo host, which loads the library by
# name, as an engine does, renders its scenes off-screen with OpenGL from real
# game data, and writes the frames, a contact sheet and a per-call timing table.
# The players and levels come straight from the installed game's .pk3
# archives (through the library's file handler); only the other models are
# extracted as test data. Arguments go to the demo (see --help; --game points
# it at another game folder); VESK_DEMO_OUT sets the output folder.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh" build
testdata=${VESK_TESTDATA:-$root/testdata}
mkdir -p "$testdata"
sudo=""
[ "$(id -u)" -ne 0 ] && sudo=sudo
missing=()
for p in openarena-data openarena-081-maps openarena-081-textures assimp-testmodels; do dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p"); done
if [ ${#missing[@]} -gt 0 ]; then
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
# The static models and the Half-Life model (not game archives).
[ -d "$testdata/assimp" ] || { mkdir -p "$testdata/assimp" && cp -a /usr/share/assimp/models/. "$testdata/assimp/"; }
build=${VESK_BUILD:-$root/build-release}
cmake -G Ninja -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DVESK_TESTS=OFF >/dev/null
ninja -C "$build" -j "${VESK_JOBS:-2}" VeskMathLIB vesk_demo
out=${VESK_DEMO_OUT:-$root/demo-out}
LD_LIBRARY_PATH="$build${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}" \
    "$build/demo/vesk_demo" --data "$testdata" --out "$out" "$@"
