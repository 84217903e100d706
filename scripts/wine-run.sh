#!/usr/bin/env bash
# Runs a Windows program of the cross build under Wine, headless, with its
# own Wine prefix in the build tree (RISER_WINEPREFIX, else build/windows/wine
# beside this checkout's build folder). Used as CMake's cross-compiling
# emulator, so the tests and build-time tools run through it.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export WINEPREFIX=$(realpath -m "${RISER_WINEPREFIX:-$root/build/windows/wine}")
export WINEARCH=${WINEARCH:-win64}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
mkdir -p "$WINEPREFIX"
wine=/usr/lib/wine/wine64
[ -x "$wine" ] || wine=$(command -v wine64 || command -v wine)
exec "$wine" "$@"
