#!/usr/bin/env bash
# Cross-builds both Windows DLLs and checks them: the x86 DLL statically
# (ordinals, names, stdcall argument bytes), the x86-64 DLL by running a host
# program under wine64 that loads it by name, and the x86 DLL by the same
# host program under wine32 where Debian's i386 packages install (else one
# line says why; the 32-bit Linux build of scripts/check-32bit.sh still runs).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=${VESK_WIN_BUILD:-$root/build-windows}
jobs=${VESK_JOBS:-2}

for arch in i686 x86_64; do
    cmake -G Ninja -S "$root" -B "$out/$arch" -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-$arch.cmake" -DVESK_WERROR=ON >/dev/null
    ninja -C "$out/$arch" -j "$jobs" VeskMathLIB vesk_win_host vesk_host_demo vesk_q3bsp_digest
done

python3 "$root/scripts/check_x86_dll.py" "$out/i686/VeskMathLIB.dll" "$out/i686/generated/exports_built.txt"

export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export VESK_TESTDATA=${VESK_TESTDATA:-$root/testdata}
# A real player for the thread check, as a Windows path (Z: is the root under wine).
player="$VESK_TESTDATA/openarena/models/players/sarge"
map="$VESK_TESTDATA/openarena/maps/oa_dm1.bsp"
data=$(cd "$VESK_TESTDATA" && pwd -P)  # the golden calls and the level read files under the test data

# The same level through the Linux library: counts and visible faces must agree.
cmake -G Ninja -S "$root" -B "$out/native" -DCMAKE_BUILD_TYPE=Release -DVESK_TESTS=OFF -DVESK_WERROR=ON >/dev/null
ninja -C "$out/native" -j "$jobs" VeskMathLIB vesk_q3bsp_digest
linux_line=$("$out/native/tools/vesk_q3bsp_digest" "$map")
echo "linux:   $linux_line"

# run_host <arch> <wine loader> <prefix> [prefix arch]: the host program
# beside the DLL, as an engine finds it by name; its level line must be the
# Linux one.
run_host() {
    local arch=$1 wine=$2 log="$out/win_host_$1.log"
    cp "$out/$arch/VeskMathLIB.dll" "$out/$arch/tools/"
    (cd "$out/$arch/tools" && env WINEPREFIX="$3" ${4:+WINEARCH=$4} "$wine" ./vesk_win_host.exe \
        "Z:${player//\//\\}" "Z:${data//\//\\}") | tee "$log"
    local windows_line
    windows_line=$(tr -d '\r' <"$log" | grep '^q3bsp ' || true)
    echo "windows $arch: $windows_line"
    if [ -z "$windows_line" ] || [ "$linux_line" != "$windows_line" ]; then
        echo "Q3 BSP level differs between the Linux build and the $arch DLL" >&2
        exit 1
    fi
}

wine64=/usr/lib/wine/wine64
[ -x "$wine64" ] || wine64=wine64
run_host x86_64 "$wine64" "$out/wineprefix"

# wine32 needs Debian's i386 architecture; scripts/setup.sh tries it and takes
# the architecture away again where apt refuses the packages.
if ! why=$("$root/scripts/setup.sh" wine32 2>&1); then
    echo "x86 DLL not run under wine32: ${why##*$'\n'}"
elif ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
    # wine32's loader is a 32-bit program, which some kernels cannot run.
    echo "x86 DLL not run under wine32: this kernel cannot execute 32-bit programs ($(uname -r))"
else
    # A 32-bit prefix of its own: a 64-bit one made before wine32 lacks its DLLs.
    run_host i686 /usr/lib/wine/wine "$out/wineprefix32" win32
fi
