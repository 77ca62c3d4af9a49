#!/usr/bin/env bash
# Packages and uses them as a host project would: builds dist/ (scripts/package.sh),
# then the consumer under examples/consumer (a) with find_package against an
# install into a scratch prefix, (b) with pkg-config, (c) with find_package and
# pkg-config against the .deb unpacked by dpkg -x. Each consumer links and runs.
# Also lists the Windows zip and checks it holds both DLLs, their import
# libraries and .def files, and the header.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${VESK_PACKAGE_BUILD:-$root/build-package}
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
"$root/scripts/package.sh" "$@" >/dev/null

with_cmake() {  # name prefix
    cmake -G Ninja -S "$root/examples/consumer" -B "$scratch/$1" -DCMAKE_PREFIX_PATH="$2" >/dev/null
    ninja -C "$scratch/$1" >/dev/null
    echo "$1: $("$scratch/$1/vesk_consumer")"
}
with_pkg_config() {  # name directory-of-veskmathlib.pc
    local flags libdir
    flags=$(PKG_CONFIG_PATH="$2" pkg-config --cflags --libs veskmathlib)
    libdir=$(PKG_CONFIG_PATH="$2" pkg-config --variable=libdir veskmathlib)
    # shellcheck disable=SC2086
    cc -std=c99 -Wall -Wextra -Werror "$root/examples/consumer/consumer.c" $flags -o "$scratch/$1"
    echo "$1: $(LD_LIBRARY_PATH="$libdir" "$scratch/$1")"
}

cmake --install "$build" --prefix "$scratch/prefix" >/dev/null
with_cmake find-package "$scratch/prefix"
with_pkg_config pkg-config "$(dirname "$(find "$scratch/prefix" -name veskmathlib.pc)")"

deb=$(ls "$root"/dist/libveskmathlib_*.deb)
dpkg -x "$deb" "$scratch/root"
with_cmake deb-find-package "$scratch/root/usr"
with_pkg_config deb-pkg-config "$(dirname "$(find "$scratch/root" -name veskmathlib.pc)")"

zip=$(ls "$root"/dist/VeskMathLIB-*-windows.zip 2>/dev/null || true)
if [ -n "$zip" ]; then
    listing=$(unzip -Z1 "$zip")
    for arch in x86 x64; do
        for file in bin/VeskMathLIB.dll lib/libVeskMathLIB.dll.a lib/VeskMathLIB.def include/VeskMathLIB.h; do
            grep -qx "[^/]*/$arch/$file" <<<"$listing" || { echo "$zip lacks $arch/$file" >&2; exit 1; }
        done
    done
    echo "$(basename "$zip"): both DLLs with import libraries, .def files and the header"
fi
echo "packages: ok"
