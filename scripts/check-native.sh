#!/usr/bin/env bash
# Builds the library and the golden-results test with -march=native and runs
# the test: the same hashes as the default build. Also checks that the
# library's own code holds no fused multiply-add. Skipped where the processor
# lacks FMA, since the default build then already is the native one.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${VESK_NATIVE_BUILD:-$root/build-native}
if ! grep -qw fma /proc/cpuinfo; then
    echo "native build check skipped: this processor has no FMA"
    exit 0
fi
cmake -G Ninja -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVESK_WERROR=ON \
    -DCMAKE_CXX_FLAGS=-march=native -DVESK_TESTDATA_DIR="$root/testdata" >/dev/null
ninja -C "$build" -j "${VESK_JOBS:-2}" VeskMathLIB vesk_tests_host
fused=$(objdump -d "$build/libVeskMathLIB.so" | grep -cE 'vfn?m(add|sub)' || true)
if [ "$fused" -ne 0 ]; then
    echo "libVeskMathLIB.so built with -march=native holds $fused fused multiply-add instructions" >&2
    exit 1
fi
# One process per test, as ctest runs them: the MDL clock is module-wide, so its
# family's hash holds for the first run in a process.
for test in $("$build/tests/vesk_tests_host" --gtest_list_tests --gtest_filter='GoldenResults.*' | sed -n 's/^  //p'); do
    LD_LIBRARY_PATH="$build" "$build/tests/vesk_tests_host" --gtest_filter="GoldenResults.$test"
done
echo "native build: no fused multiply-add, golden results match"
