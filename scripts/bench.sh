#!/usr/bin/env bash
# Builds and runs the benchmarks (Release). Extra arguments go to the
# benchmark runner, e.g. --benchmark_filter=Collision.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh" test
"$root/scripts/fetch-testdata.sh" >/dev/null
build=${VESK_BUILD:-$root/build-bench}
cmake -G Ninja -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DVESK_TESTS=OFF -DVESK_BENCH=ON >/dev/null
ninja -C "$build" -j "${VESK_JOBS:-2}" vesk_bench
"$build/bench/vesk_bench" "$@"
