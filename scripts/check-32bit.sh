#!/usr/bin/env bash
# Builds the library and the test suites for 32-bit x86 Linux (g++-multilib,
# -m32 with SSE2 arithmetic, as the x86 DLL computes) and runs them: 4-byte
# pointers, callback cells and record layouts, executed on this machine.
# GoogleTest for -m32 is built from Debian's sources (/usr/src/googletest).
# Usage: scripts/check-32bit.sh [suite...]   (default: every suite that runs
# without off-screen GL; e.g. "host" for the golden and export checks only)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=${VESK_32BIT_BUILD:-$root/build-32bit}
jobs=${VESK_JOBS:-2}
flags="-m32 -msse2 -mfpmath=sse"
launcher=()
if command -v ccache >/dev/null; then
    launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
if ! echo 'int main() {}' | g++ -m32 -x c++ - -o /dev/null 2>/dev/null; then
    echo "g++ cannot build -m32 programs here (scripts/setup.sh installs g++-multilib)" >&2
    exit 1
fi

gtest="$out/googletest"
if [ ! -f "$gtest/install/lib/cmake/GTest/GTestConfig.cmake" ]; then
    cmake -G Ninja -S /usr/src/googletest -B "$gtest/build" -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" "${launcher[@]}" \
        -DBUILD_GMOCK=OFF -DINSTALL_GTEST=ON -DCMAKE_INSTALL_PREFIX="$gtest/install" \
        -DCMAKE_INSTALL_LIBDIR=lib >/dev/null
    ninja -C "$gtest/build" -j "$jobs" install >/dev/null
fi

# No pkg-config modules: the demo's off-screen GL exists here only as 64-bit.
# Tests are listed when ctest runs, not after each link: the build must not
# need to execute what it builds.
PKG_CONFIG_LIBDIR=/nonexistent cmake -G Ninja -S "$root" -B "$out/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE=PRE_TEST \
    -DVESK_WERROR=ON -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" "${launcher[@]}" \
    -DGTest_DIR="$gtest/install/lib/cmake/GTest" -DVESK_TESTDATA_DIR="${VESK_TESTDATA:-$root/testdata}" >/dev/null
if [ $# -gt 0 ]; then
    suites=("$@")
else
    suites=()
    for dir in "$root"/tests/*/; do
        name=$(basename "$dir")
        compgen -G "$dir*.cpp" >/dev/null && suites+=("$name")
    done
fi
targets=(VeskMathLIB vesk_header_c99 vesk_header_cxx)
for s in "${suites[@]}"; do targets+=("vesk_tests_$s"); done
ninja -C "$out/build" -j "$jobs" "${targets[@]}"
file -L "$out/build/libVeskMathLIB.so" | grep -q 'ELF 32-bit.*Intel 80386' || {
    echo "libVeskMathLIB.so is not a 32-bit x86 library" >&2
    exit 1
}
# Some kernels are built without 32-bit program support: there everything
# above is still compiled (warnings as errors), and the run is skipped with
# one line that says why.
probe="$out/run-probe"
echo 'int main() { return 0; }' | g++ -m32 -x c++ - -o "$probe"
if ! "$probe" 2>/dev/null; then
    echo "32-bit x86 Linux: library and ${#suites[@]} suites built; not run: this kernel cannot execute 32-bit programs ($(uname -r))"
    exit 0
fi
# One process per test, as ctest runs them (the golden MDL family holds for
# the first run in a process); suites not asked for were not built.
(cd "$out/build" && ctest -j "$jobs" --output-on-failure --timeout 600 -E '_NOT_BUILT$')
echo "32-bit x86 Linux: ${suites[*]} suites pass"
