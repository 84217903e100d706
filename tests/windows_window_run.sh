#!/usr/bin/env bash
# Runs the editor window test under Wine in a private X server
# (wine_in_xvfb.sh):   windows_window_run.sh PREFIX WINE-RUNNER PROGRAM
# in a prefix of its own (PREFIX-x11), set up first:
# - wined3d's Vulkan renderer. With its OpenGL renderer, what Direct2D
#   presents into a child window (the editor's, inside the host's) never
#   reaches the X server: Wine renders such a window offscreen and the host's
#   window shows black there. The Vulkan renderer finds no Vulkan surface for
#   Xvfb and presents through GDI instead, which shows.
# - Arial, the toolkit's font, taken from Liberation Sans: without a font
#   DirectWrite can find, Wine draws no text at all.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
if [ "${1:-}" = --inside ]; then
  runner=$2 program=$3
  "$runner" reg add 'HKCU\Software\Wine\Direct3D' /v renderer /t REG_SZ /d vulkan /f > /dev/null \
    || { echo "cannot set wined3d's renderer" >&2; exit 1; }
  "$runner" reg add 'HKCU\Software\Wine\Fonts\Replacements' /v Arial /t REG_SZ /d 'Liberation Sans' /f > /dev/null \
    || { echo "cannot set Wine's font replacement for Arial" >&2; exit 1; }
  exec "$runner" "$program"
fi
prefix=$1 runner=$2 program=$3
font=/usr/share/fonts/truetype/liberation/LiberationSans-Regular.ttf
[ -f "$font" ] || { echo "$font is missing (Debian: fonts-liberation)" >&2; exit 1; }
export RISER_WINEPREFIX=$prefix
exec "$here/wine_in_xvfb.sh" "$here/windows_window_run.sh" --inside "$runner" "$program"
