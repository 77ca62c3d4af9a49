#!/usr/bin/env bash
# Installs what building, testing and benchmarking need on a fresh Debian 12.
# Usage: scripts/setup.sh [build|test|bench|package|windows|wine32]   (default:
# test; bench adds the peer loaders that only the side-by-side benchmark links;
# wine32, the x86 DLL's runtime, is tried by scripts/check-windows.sh)
set -euo pipefail
what=${1:-test}
sudo=""
[ "$(id -u)" -ne 0 ] && sudo=sudo
apt_get() { DEBIAN_FRONTEND=noninteractive $sudo apt-get -o DPkg::Lock::Timeout=300 "$@"; }

# wine32 comes from Debian's i386 architecture. Where the i386 index does not
# match the installed amd64 packages, apt-get update fails or apt refuses the
# packages: then the architecture is taken away again (apt-get update must keep
# working) and the last line of output says why, with a non-zero exit.
if [ "$what" = wine32 ]; then
    [ -x /usr/lib/wine/wine ] && dpkg -s wine32 >/dev/null 2>&1 && exit 0
    added=0
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
        $sudo dpkg --add-architecture i386
        added=1
    fi
    log=$(mktemp)
    why=""
    if ! apt_get update -qq >"$log" 2>&1 || grep -q '^E:' "$log"; then
        why="apt-get update fails with the i386 architecture: $(grep -m1 '^E:' "$log" || tail -n1 "$log")"
    elif ! apt_get install -y -qq --no-install-recommends wine32 >"$log" 2>&1; then
        why="apt refuses Debian's i386 packages for wine32: $(grep -m1 '^E:' "$log" || tail -n1 "$log")"
    fi
    rm -f "$log"
    [ -z "$why" ] && exit 0
    if [ $added = 1 ]; then
        $sudo dpkg --remove-architecture i386 || why="$why (i386 packages remain, so i386 stays enabled)"
        apt_get update -qq >/dev/null 2>&1 || why="$why (apt-get update still fails)"
    fi
    echo "$why"
    exit 1
fi
# The demo renders off-screen with Mesa, writes PNG files with stb and reads
# the game's .pk3 archives with libzip.
packages=(g++ cmake ninja-build binutils pkg-config libosmesa6-dev libstb-dev libzip-dev)
if [ "$what" = test ] || [ "$what" = bench ]; then
    packages+=(libgtest-dev libbenchmark-dev python3 unzip
               g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine64
               clang libclang-rt-14-dev
               g++-multilib googletest ccache)  # the -m32 suites, GoogleTest from source
fi
if [ "$what" = bench ]; then
    packages+=(libassimp-dev libtinyobjloader-dev)
fi
# Packages (scripts/package.sh: deb, zip) and the consumer check of the tests.
case $what in test | package) packages+=(dpkg-dev file pkgconf) ;; esac
case $what in windows) packages+=(g++-mingw-w64-i686 g++-mingw-w64-x86-64) ;; esac
missing=()
for p in "${packages[@]}"; do dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p"); done
if [ ${#missing[@]} -gt 0 ]; then
    apt_get update -qq
    apt_get install -y -qq --no-install-recommends "${missing[@]}"
fi
