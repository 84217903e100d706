#!/usr/bin/env bash
# Builds the release of HEAD twice, from scratch each time, and fails unless
# the two runs wrote byte-identical artefacts.
#   scripts/release_reproducible.sh
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
out=$root/build/reproducible
rm -rf "$out"
for run in 1 2; do
  echo "== release run $run"
  # The installation checks do not change the artefacts: run them elsewhere.
  RISER_DIST="$out/$run" RISER_CHECK_WINDOWS=0 RISER_CHECK_LINUX=0 "$root/scripts/release.sh"
done
status=0
for f in "$out"/1/*; do
  name=$(basename "$f")
  if cmp -s "$f" "$out/2/$name"; then
    echo "reproducible: $name ($(stat -c %s "$f") bytes) is identical in both runs"
  else
    echo "reproducible: $name differs between the runs" >&2
    status=1
  fi
done
exit $status
