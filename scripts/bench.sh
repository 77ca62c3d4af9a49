#!/usr/bin/env bash
# Builds and runs the benchmarks (Release). Extra arguments go to the
# benchmark runner, e.g. --benchmark_filter=Collision. With "peers" first, runs
# the side-by-side loader benchmark instead (installs Debian's Assimp and
# tinyobjloader for it), e.g. scripts/bench.sh peers
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
runner=vesk_bench
if [ "${1:-}" = peers ]; then
    runner=vesk_peer_bench
    shift
fi
"$root/scripts/setup.sh" bench
"$root/scripts/fetch-testdata.sh" >/dev/null
build=${VESK_BUILD:-$root/build-bench}
cmake -G Ninja -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DVESK_TESTS=OFF -DVESK_BENCH=ON >/dev/null
ninja -C "$build" -j "${VESK_JOBS:-2}" "$runner"
"$build/bench/$runner" "$@"
