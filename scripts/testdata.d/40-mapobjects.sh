#!/usr/bin/env bash
# openarena-data: the game's own map objects (ASE files with many objects) for
# the static loader tests and the side-by-side benchmark.
set -euo pipefail
apt_install openarena-data unzip
pak=/usr/share/games/openarena/baseoa/pak0.pk3
out="$TESTDATA/openarena"
mkdir -p "$out"
# -n: files already extracted stay as they are.
unzip -q -n -C "$pak" 'models/mapobjects/*.ase' -d "$out"
