#!/usr/bin/env bash
# Runs the Windows editor picture test under Wine:
#   windows_picture_run.sh PREFIX WINE-RUNNER PROGRAM
# - in a Wine prefix of its own (PREFIX), with a private X server: Wine's
#   Direct2D renders through wined3d, which needs a display even for
#   offscreen bitmaps, and a prefix whose Wine server other tests started
#   without a display gives none;
# - with the toolkit's font, Arial, taken from Liberation Sans (the font
#   fontconfig gives the Linux drawing for Arial, same metrics): without a
#   font DirectWrite can find, Wine draws no text at all.
set -uo pipefail
prefix=$1 runner=$2 program=$3
font=/usr/share/fonts/truetype/liberation/LiberationSans-Regular.ttf
[ -f "$font" ] || { echo "$font is missing (Debian: fonts-liberation)" >&2; exit 1; }
wineserver=/usr/lib/wine/wineserver
[ -x "$wineserver" ] || wineserver=$(command -v wineserver) || { echo "wineserver not found" >&2; exit 1; }
export RISER_WINEPREFIX=$prefix
mkdir -p "$prefix"
# A Wine server left from an earlier run knows only that run's display.
WINEPREFIX=$prefix "$wineserver" -w

# shellcheck source=scripts/private_xvfb.sh
source "$(dirname "${BASH_SOURCE[0]}")/../scripts/private_xvfb.sh"
finish() {
  WINEPREFIX=$prefix "$wineserver" -w
  stop_private_xvfb
}
trap finish EXIT
start_private_xvfb || { echo "no X server for $program" >&2; exit 1; }
"$runner" reg add 'HKCU\Software\Wine\Fonts\Replacements' /v Arial /t REG_SZ /d 'Liberation Sans' /f > /dev/null \
  || { echo "cannot set Wine's font replacement for Arial" >&2; exit 1; }
"$runner" "$program"
