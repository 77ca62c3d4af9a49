#!/usr/bin/env bash
# Regenerates the README's picture, docs/demo.png: the demo's contact sheet at
# a small size, from the same fixed clock every time.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
VESK_DEMO_OUT="$tmp" "$root/scripts/run.sh" --size 480x360 --frames 4 --sheet-width 168 >/dev/null
mkdir -p "$root/docs"
cp "$tmp/contact-sheet.png" "$root/docs/demo.png"
echo "docs/demo.png: $(stat -c %s "$root/docs/demo.png") bytes"
