#!/usr/bin/env bash
# Installs the Debian packages that hold real test files and extracts what the
# tests read into testdata/ (or $VESK_TESTDATA). Each scripts/testdata.d/*.sh
# adds one set; they run in name order with $TESTDATA and $APT_INSTALL set.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
export TESTDATA=${VESK_TESTDATA:-$root/testdata}
mkdir -p "$TESTDATA"

apt_install() {
    local missing=()
    for p in "$@"; do dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p"); done
    [ ${#missing[@]} -eq 0 ] && return 0
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo=sudo
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
}
export -f apt_install

for s in "$root"/scripts/testdata.d/*.sh; do
    [ -e "$s" ] || continue
    echo "== test data: $(basename "$s")"
    bash "$s"
done
