#!/usr/bin/env bash
# Draws the manual's pictures, docs/images/<page>.png: each page of the
# editor at the end of riser-meter's built-in demo signal, as the current
# build draws it. tools_manual_pictures_test fails when they differ.
#   scripts/make_manual_pictures.sh [riser-meter]
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
meter=${1:-}
if [ -z "$meter" ]; then
  cmake -S "$root" -B "$root/build/release" -G Ninja -DCMAKE_BUILD_TYPE=Release > /dev/null
  cmake --build "$root/build/release" --target riser-meter > /dev/null
  meter=$root/build/release/bin/riser-meter
fi
for page in main settings loudness; do
  "$meter" --summary-only --png "$root/docs/images/$page.png" --png-page "$page" > /dev/null
done
echo "manual pictures written to $root/docs/images"
