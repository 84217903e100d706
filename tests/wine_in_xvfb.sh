#!/usr/bin/env bash
# Runs a Windows test program that opens real windows: Wine inside a private
# X server. Usage: wine_in_xvfb.sh <emulator> <program> [arguments]
# Wine's desktop belongs to the first program of a prefix and keeps that
# program's X server, so these programs get a prefix of their own
# (<RISER_WINEPREFIX>-x11), whose Wine is stopped before its X server.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=scripts/private_xvfb.sh
source "$here/../scripts/private_xvfb.sh"
prefix=$(realpath -m "${RISER_WINEPREFIX:-$here/../build/windows/wine}")
export RISER_WINEPREFIX="$prefix-x11"
export RISER_TEST_WINDOWS=1  # the program must get its windows
wineserver=/usr/lib/wine/wineserver64
[ -x "$wineserver" ] || wineserver=$(command -v wineserver)

finish() {
  WINEPREFIX="$RISER_WINEPREFIX" "$wineserver" -k 2>/dev/null || true
  stop_private_xvfb
}
start_private_xvfb || { echo "FAIL: no X server for Wine's windows" >&2; exit 1; }
trap finish EXIT
"$@"
