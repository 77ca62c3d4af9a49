#!/usr/bin/env bash
# Everything CI runs, from a fresh Debian 12: installs packages and test data,
# builds with warnings as errors, runs every suite plainly and under
# AddressSanitizer + UndefinedBehaviorSanitizer, fuzzes every file parser
# briefly, builds the benchmarks, cross-builds and checks both Windows DLLs,
# runs the suites built for 32-bit x86 Linux, checks a -march=native build's
# golden results, and builds the packages.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
jobs=${VESK_JOBS:-2}
"$root/scripts/setup.sh" test
"$root/scripts/fetch-testdata.sh"

run_suite() {
    local dir=$1
    shift
    cmake -G Ninja -S "$root" -B "$dir" -DVESK_WERROR=ON "$@" >/dev/null
    ninja -C "$dir" -j "$jobs"
    (cd "$dir" && ctest -j "$jobs" --output-on-failure --timeout 600)
}

echo "== release build and tests"
run_suite "$root/build-test" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVESK_BENCH=ON
echo "== -march=native build: golden results, no fused multiply-add"
"$root/scripts/check-native.sh"
echo "== sanitizer build and tests (ASan + UBSan)"
ASAN_OPTIONS=detect_leaks=1:strict_string_checks=1 UBSAN_OPTIONS=print_stacktrace=1 \
    run_suite "$root/build-sanitize" -DCMAKE_BUILD_TYPE=Debug -DVESK_SANITIZE=ON
echo "== fuzzing every file parser (libFuzzer, ASan + UBSan)"
"$root/scripts/fuzz.sh" 15
echo "== Windows DLLs"
"$root/scripts/check-windows.sh"
echo "== 32-bit x86 Linux build (-m32, SSE2): golden results and every suite"
"$root/scripts/check-32bit.sh"
echo "== packages (.deb, Windows zip) and a consumer project built against them"
"$root/scripts/check-package.sh"
echo "== all checks passed"
