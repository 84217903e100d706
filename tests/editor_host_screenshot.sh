#!/usr/bin/env bash
# End to end: the SDK's editor host opens riser.vst3's editor on a private X
# server; a screenshot of the editor's window must be 214 x 620 and show the
# main page. The picture stays in OUTPUT_DIR/editor_host.png.
#   editor_host_screenshot.sh EDITORHOST BUNDLE OUTPUT_DIR
# Starts and stops its own Xvfb; every process it starts is stopped on exit.
set -uo pipefail
editorhost=$1 bundle=$2 out=$3
mkdir -p "$out"
shot="$out/editor_host.png"
log="$out/editor_host.log"
rm -f "$shot"

# shellcheck source=scripts/private_xvfb.sh
source "$(dirname "${BASH_SOURCE[0]}")/../scripts/private_xvfb.sh"
host_pid=''
cleanup() {
  [ -n "$host_pid" ] && kill "$host_pid" 2>/dev/null && wait "$host_pid" 2>/dev/null
  stop_private_xvfb
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; [ -f "$log" ] && tail -n 20 "$log"; exit 1; }

start_private_xvfb || fail "no X server for the editor host"

"$editorhost" "$bundle" >"$log" 2>&1 &
host_pid=$!

# Wait for a mapped window of the editor's size.
geometry=''
for _ in $(seq 1 100); do
  kill -0 "$host_pid" 2>/dev/null || fail "the editor host exited"
  geometry=$(xwininfo -root -tree 2>/dev/null | awk '/ 214x620\+/ {print $0; exit}')
  [ -n "$geometry" ] && break
  sleep 0.1
done
[ -n "$geometry" ] || fail "no 214x620 window appeared"
window=$(echo "$geometry" | awk '{print $1}')
echo "editor window: $geometry"

# Let the window draw (its redraw timer runs in the host's loop), then take
# the window's absolute position and capture it from the screen.
sleep 1.5
read -r x y < <(xwininfo -id "$window" | awk '/Absolute upper-left X/ {x=$4} /Absolute upper-left Y/ {y=$4} END {print x, y}')
import -window root -crop "214x620+${x}+${y}" +repage "$shot" || fail "screenshot"

size=$(identify -format '%wx%h' "$shot")
[ "$size" = "214x620" ] || fail "screenshot is $size"

# Pixel checks, in the editor's own coordinates.
px() { convert "$shot" -format "%[fx:int(255*p{$1,$2}.r)],%[fx:int(255*p{$1,$2}.g)],%[fx:int(255*p{$1,$2}.b)]" info:; }
near() {  # near X Y R G B [TOL] LABEL
  local got r g b tol=${6:-3}
  got=$(px "$1" "$2"); IFS=, read -r r g b <<<"$got"
  if (( ${r}-$3 > tol || $3-${r} > tol || ${g}-$4 > tol || $4-${g} > tol || ${b}-$5 > tol || $5-${b} > tol )); then
    fail "${7:-pixel} at ($1,$2) is ($got), expected ($3,$4,$5)"
  fi
  echo "ok: ${7:-pixel} at ($1,$2) = ($got)"
}
near 200 8 50 50 50 3 "panel"
near 24 100 60 60 60 3 "gain slider back"
near 24 300 100 100 100 3 "gain slider value at 0 dB"
# The host has processed nothing: the meters show silence on the default
# settings, unlit segments, the scales' numbers and "---" in the readouts.
near 76 300 80 80 80 3 "RMS bar unlit segment"
near 96 300 80 80 80 3 "peak bar unlit segment"
near 126 300 56 56 56 3 "level scale background"
near 184 300 56 56 56 3 "crest scale background"
near 46 100 56 56 56 3 "gain scale background"
near 75 23 60 60 60 3 "held peak readout"
near 210 598 50 50 50 3 "status line area"
# Pixels of a colour (within 10 %) in a box WxH+X+Y.
ink() { convert "$shot" -crop "$1" +repage -fill black -fuzz 10% +opaque "$2" -format '%[fx:int(mean*w*h*3)]' info:; }
labels=$(ink 24x528+114+54 'rgb(192,192,192)')
(( labels > 100 )) || fail "level scale without numbers ($labels pixels)"
echo "ok: level scale number pixels = $labels"
dashes=$(ink 32x14+72+16 'rgb(180,217,106)')
(( dashes > 3 )) || fail "held peak readout without its text ($dashes pixels)"
echo "ok: held peak readout text pixels = $dashes"
body=$(px 20 397); IFS=, read -r r g b <<<"$body"
(( r == g && g == b && r >= 58 && r <= 82 )) || fail "+1.0 button body is ($body)"
echo "ok: +1.0 button body = ($body)"
# The gear icon: some pixel of its 17 x 17 square is its mid grey.
gear=$(convert "$shot" -crop 17x17+16+564 +repage -fill black -fuzz 6% +opaque 'rgb(154,154,154)' -format '%[fx:int(mean*w*h*3)]' info:)
(( gear > 0 )) || fail "no gear icon"
echo "ok: gear icon pixels = $gear"
echo "PASS: $shot"
