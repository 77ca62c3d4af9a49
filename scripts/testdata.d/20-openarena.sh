#!/usr/bin/env bash
# openarena-data: real MD3 players, skins, animation.cfg, weapons and TGA files.
set -euo pipefail
apt_install openarena-data unzip
pak=/usr/share/games/openarena/baseoa/pak0.pk3
out="$TESTDATA/openarena"
mkdir -p "$out"
# Only what the tests read: player models, weapons, and the sprites (the
# archive's top-down TGA images live there).
unzip -q -o "$pak" 'models/players/*' 'models/weapons2/*' 'sprites/*' -d "$out"
