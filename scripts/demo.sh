#!/usr/bin/env bash
# The main job in one command: set-up if needed, build riser-meter, meter the
# built-in demo signal (or the files given) and write the editor's picture of
# the final meter state to build/riser-demo.png.
#   scripts/demo.sh [riser-meter options] [FILE]
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
"$root/scripts/setup.sh" > /dev/null
cmake -S "$root" -B "$root/build/release" -G Ninja -DCMAKE_BUILD_TYPE=Release > /dev/null
cmake --build "$root/build/release" --target riser-meter > /dev/null
meter="$root/build/release/bin/riser-meter"
"$meter" --png "$root/build/riser-demo.png" --plot "$root/build/riser-history.png" "$@"
echo "picture of the meters: $root/build/riser-demo.png, level history: $root/build/riser-history.png"
