#!/usr/bin/env bash
# Installs what building, testing and benchmarking need on a fresh Debian 12.
# Usage: scripts/setup.sh [build|test|bench|package|windows]   (default: test;
# bench adds the peer loaders that only the side-by-side benchmark links)
set -euo pipefail
what=${1:-test}
# The demo renders off-screen with Mesa, writes PNG files with stb and reads
# the game's .pk3 archives with libzip.
packages=(g++ cmake ninja-build binutils pkg-config libosmesa6-dev libstb-dev libzip-dev)
if [ "$what" = test ] || [ "$what" = bench ]; then
    packages+=(libgtest-dev libbenchmark-dev python3 unzip
               g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine64
               clang libclang-rt-14-dev)
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
    sudo=""
    [ "$(id -u)" -ne 0 ] && sudo=sudo
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
