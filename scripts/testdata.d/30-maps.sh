#!/usr/bin/env bash
# openarena-081-maps: real Q3 BSP levels (oa_dm1 and ctf_inyard) for the level tests and the demo.
set -euo pipefail
apt_install openarena-081-maps unzip
pak=$(dpkg -L openarena-081-maps | grep -m1 '/pak1-maps\.pk3$')
out="$TESTDATA/openarena"
mkdir -p "$out"
unzip -q -o "$pak" 'maps/oa_dm1.bsp' 'maps/ctf_inyard.bsp' -d "$out"
