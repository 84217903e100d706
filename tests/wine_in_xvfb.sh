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

# Screenshots of the X server on request, for programs that check what their
# windows show (Wine's own screen device context does not see what Direct2D
# presents into a child window): the program creates <name>.want in
# $RISER_X_SCREENSHOTS and waits for <name>.png there.
shots='' watcher=''
take_screenshots() {
  while sleep 0.1; do
    for want in "$shots"/*.want; do
      [ -e "$want" ] || continue
      name=${want%.want}
      if import -display "$DISPLAY" -window root "$name.tmp.png" 2>"$name.log"; then
        mv "$name.tmp.png" "$name.png"
      else
        echo "import failed: $(cat "$name.log")" >&2
      fi
      rm -f "$want"
    done
  done
}

finish() {
  WINEPREFIX="$RISER_WINEPREFIX" "$wineserver" -k 2>/dev/null || true
  if [ -n "$watcher" ]; then kill "$watcher" 2>/dev/null; wait "$watcher" 2>/dev/null || true; fi
  [ -z "$shots" ] || rm -rf "$shots"
  stop_private_xvfb
}
# The clean-up first: a start that fails half-way leaves nothing running.
trap finish EXIT
start_private_xvfb || { echo "FAIL: no X server for Wine's windows" >&2; exit 1; }
shots=$(mktemp -d)
export RISER_X_SCREENSHOTS=$shots
take_screenshots &
watcher=$!
"$@"
