#!/usr/bin/env bash
# Builds the packages into dist/ with CPack: the Debian package of the library
# (header, library, CMake package, pkg-config file, copyright) and a Windows
# zip with both DLLs (x86 and x86-64), their import libraries, .def files and
# the header. Installs what it needs on a fresh Debian 12.
# Usage: scripts/package.sh [deb] [zip]   (default: both)
# Environment: VESK_PACKAGE_BUILD (default build-package), VESK_WIN_BUILD
# (default build-windows, shared with scripts/check-windows.sh), VESK_JOBS.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
jobs=${VESK_JOBS:-2}
what=("$@")
[ ${#what[@]} -gt 0 ] || what=(deb zip)
mkdir -p "$root/dist"
for kind in "${what[@]}"; do
    case $kind in
    deb)
        "$root/scripts/setup.sh" package
        build=${VESK_PACKAGE_BUILD:-$root/build-package}
        cmake -G Ninja -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
            -DVESK_TESTS=OFF -DVESK_WERROR=ON >/dev/null
        ninja -C "$build" -j "$jobs" VeskMathLIB
        rm -f "$build"/*.deb
        (cd "$build" && cpack -G DEB >cpack.log 2>&1) || { cat "$build/cpack.log" >&2; exit 1; }
        cp "$build"/libveskmathlib_*.deb "$root/dist/" ;;
    zip)
        "$root/scripts/setup.sh" windows
        out=${VESK_WIN_BUILD:-$root/build-windows}
        for arch in i686 x86_64; do
            cmake -G Ninja -S "$root" -B "$out/$arch" -DCMAKE_BUILD_TYPE=Release \
                -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-$arch.cmake" -DVESK_WERROR=ON >/dev/null
            ninja -C "$out/$arch" -j "$jobs" VeskMathLIB
        done
        # Each architecture is a complete prefix of its own inside the zip.
        rm -f "$out/x86_64"/VeskMathLIB-*-windows.zip
        (cd "$out/x86_64" && cpack -G ZIP --config CPackConfig.cmake >cpack.log 2>&1 \
            -D "CPACK_INSTALL_CMAKE_PROJECTS=$out/i686;VeskMathLIB;ALL;/x86;$out/x86_64;VeskMathLIB;ALL;/x64") ||
            { cat "$out/x86_64/cpack.log" >&2; exit 1; }
        cp "$out/x86_64"/VeskMathLIB-*-windows.zip "$root/dist/" ;;
    *)
        echo "unknown package kind: $kind (deb or zip)" >&2
        exit 2 ;;
    esac
done
ls -l "$root/dist"
