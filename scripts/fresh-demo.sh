#!/usr/bin/env bash
# The README's demo command as a newcomer runs it: scripts/demo.sh in a freshly
# bootstrapped Debian 12 root (nothing but git) holding a fresh clone of what
# is committed in this checkout, so set-up has to install every Debian package
# the build needs by itself. The VST3 SDK cache is bound read-only at its
# default place in the root, so nothing is fetched. Fails unless the demo
# prints its readouts and writes its pictures. CI runs this after scripts/test.sh.
#   scripts/fresh-demo.sh
# Needs root (sudo otherwise), debootstrap (installed when missing) and the
# fresh-debian tool: $FRESH_DEBIAN, else fresh-debian on PATH, else
# shared/tools/fresh-debian beside the checkout (../shared/tools), nowhere else.
# The whole output is kept in build/fresh-demo.log.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# shellcheck source=scripts/sdk_location.sh
source "$root/scripts/sdk_location.sh"
fail() { echo "fresh-demo: $*" >&2; exit 1; }

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"

# shellcheck source=scripts/fresh_debian_location.sh
source "$root/scripts/fresh_debian_location.sh"
tool=$(find_fresh_debian "$root") || exit 1

ensure_debootstrap

# The SDK cache on this machine (made by set-up when missing), and the place
# set-up looks for it inside the root, where HOME is /root.
[ -f "$VST3_SDK_ROOT_RESOLVED/.riser-sdk-complete" ] || "$root/scripts/setup.sh"
guest_sdk=$(env -u VST3_SDK_ROOT -u XDG_CACHE_HOME HOME=/root bash -c \
  'source "$1" && echo "$VST3_SDK_ROOT_RESOLVED"' _ "$root/scripts/sdk_location.sh")

# Inside the root, after the demo: each picture it writes must be a PNG file.
check_pngs='for f in build/riser-demo.png build/riser-history.png; do
  test -s "$f" || { echo "fresh-demo: no $f"; exit 1; }
  sig=$(od -An -tx1 -N16 "$f" | tr -d " \n")
  [ "$sig" = 89504e470d0a1a0a0000000d49484452 ] || { echo "fresh-demo: $f is not a PNG ($sig)"; exit 1; }
  echo "fresh-demo: $f is a PNG of $(stat -c %s "$f") bytes"
done'

mkdir -p "$root/build"
log="$root/build/fresh-demo.log"
echo "fresh-demo: scripts/demo.sh in a fresh Debian 12 root with $tool (log: $log)"
status=0
$sudo "$tool" --bind "$VST3_SDK_ROOT_RESOLVED:$guest_sdk" "$root" -- \
  bash -c "scripts/demo.sh || exit
$check_pngs" 2>&1 | tee "$log" || status=$?
[ "$status" -eq 0 ] || fail "failed with status $status (see $log)"

# The readouts: one line a second of the 10 s demo signal, each with the
# live loudness, then the maxima.
number='(-?[0-9]+\.[0-9]|---)'
peak='(-?[0-9]+\.[0-9]{2}|---)'
line=" \\| [LR] +$number +$number +$number \\| now +$number +$number"
loudness=" \\| LUFS +$number +$number +$number \\| dBTP +$peak +$peak"
lines=$(grep -cE "^ +[0-9]+\.[0-9]{3}$line$line$loudness\$" "$log" || true)
grep -qE "^ +10\.000$line$line$loudness\$" "$log" || fail "no readout line at 10 s in the demo's output ($lines lines)"
grep -qE "^maxima +$line$line\$" "$log" || fail "no maxima line in the demo's output"
for f in riser-demo riser-history; do
  grep -q "^fresh-demo: build/$f.png is a PNG" "$log" || fail "build/$f.png was not checked"
done
echo "fresh-demo: passed ($lines readout lines and the maxima, both pictures written)"
