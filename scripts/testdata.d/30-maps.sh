#!/usr/bin/env bash
# openarena-081-maps: real Q3 BSP levels for the level tests and the demo:
# oa_dm1 and ctf_inyard, and oa_shouse and oa_spirit3 for their many curved
# patches; with the level shots, to compare the demo's frames with the game.
set -euo pipefail
apt_install openarena-081-maps unzip
pak=$(dpkg -L openarena-081-maps | grep -m1 '/pak1-maps\.pk3$')
out="$TESTDATA/openarena"
mkdir -p "$out"
maps=(oa_dm1 ctf_inyard oa_shouse oa_spirit3)
files=()
for m in "${maps[@]}"; do files+=("maps/$m.bsp" "levelshots/$m.*"); done
unzip -q -o "$pak" "${files[@]}" -d "$out"
