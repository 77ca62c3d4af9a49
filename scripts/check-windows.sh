#!/usr/bin/env bash
# Cross-builds both Windows DLLs and checks them: the x86 DLL statically
# (ordinals, names, stdcall argument bytes), the x86-64 DLL by running a host
# program under wine64 that loads it by name.
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

# The host program finds the DLL by name beside itself, as an engine does.
cp "$out/x86_64/VeskMathLIB.dll" "$out/x86_64/tools/"
wine=/usr/lib/wine/wine64
[ -x "$wine" ] || wine=wine64
export WINEDEBUG=-all WINEPREFIX="$out/wineprefix" WINEDLLOVERRIDES="mscoree,mshtml="
export VESK_TESTDATA=${VESK_TESTDATA:-$root/testdata}
# A real player for the thread check, as a Windows path (Z: is the root under wine).
player="$VESK_TESTDATA/openarena/models/players/sarge"
map="$VESK_TESTDATA/openarena/maps/oa_dm1.bsp"
data=$(cd "$VESK_TESTDATA" && pwd -P)  # the golden calls and the level read files under the test data
(cd "$out/x86_64/tools" && "$wine" ./vesk_win_host.exe "Z:${player//\//\\}" "Z:${data//\//\\}") | tee "$out/win_host.log"

# The same level through the Linux library: counts and visible faces must agree.
cmake -G Ninja -S "$root" -B "$out/native" -DCMAKE_BUILD_TYPE=Release -DVESK_TESTS=OFF -DVESK_WERROR=ON >/dev/null
ninja -C "$out/native" -j "$jobs" VeskMathLIB vesk_q3bsp_digest
linux_line=$("$out/native/tools/vesk_q3bsp_digest" "$map")
windows_line=$(tr -d '\r' <"$out/win_host.log" | grep '^q3bsp ' || true)
echo "linux:   $linux_line"
echo "windows: $windows_line"
if [ -z "$windows_line" ] || [ "$linux_line" != "$windows_line" ]; then
    echo "Q3 BSP level differs between the Linux and Windows builds" >&2
    exit 1
fi
