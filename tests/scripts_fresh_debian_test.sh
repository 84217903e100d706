#!/usr/bin/env bash
# Where scripts/fresh-demo.sh takes the fresh-debian tool (run as root) from:
# $FRESH_DEBIAN, PATH, or ../shared/tools beside the checkout, never a copy
# found anywhere else (one planted in a folder above, say).
#   tests/scripts_fresh_debian_test.sh SCRIPTS_DIR WORK_DIR
set -euo pipefail
scripts=$1
work=$2
rm -rf "$work"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
tool() {  # path: an executable stand-in for the tool
  mkdir -p "$(dirname "$1")" && printf '#!/bin/sh\nexit 0\n' > "$1" && chmod +x "$1"
}
checkout="$work/ci/jobs/riser"
mkdir -p "$checkout"
planted="$work/shared/tools/fresh-debian"   # in a folder above, not beside
tool "$planted"
bin="$work/bin"
mkdir -p "$bin"
# shellcheck source=scripts/fresh_debian_location.sh
source "$scripts/fresh_debian_location.sh"
find_in() { env -u FRESH_DEBIAN PATH="$1:/usr/bin:/bin" bash -c \
  'source "$1/fresh_debian_location.sh" && find_fresh_debian "$2"' _ "$scripts" "$checkout"; }

# Nothing chosen: refused with a message naming the place beside the checkout.
if found=$(find_in "$bin" 2> "$work/err"); then fail "took $found, which nobody chose"; fi
grep -qF "$work/ci/jobs/shared/tools/fresh-debian" "$work/err" || fail "the message does not name the place beside the checkout: $(cat "$work/err")"

# Beside the checkout.
tool "$work/ci/jobs/shared/tools/fresh-debian"
[ "$(find_in "$bin")" = "$work/ci/jobs/shared/tools/fresh-debian" ] || fail "the tool beside the checkout was not taken"

# PATH comes before it, FRESH_DEBIAN before both.
tool "$bin/fresh-debian"
[ "$(find_in "$bin")" = "$bin/fresh-debian" ] || fail "the tool on PATH was not taken"
tool "$work/chosen/fresh-debian"
[ "$(FRESH_DEBIAN=$work/chosen/fresh-debian find_fresh_debian "$checkout")" = "$work/chosen/fresh-debian" ] \
  || fail "FRESH_DEBIAN was not taken"
if FRESH_DEBIAN=$work/none find_fresh_debian "$checkout" 2> /dev/null; then fail "a missing FRESH_DEBIAN was accepted"; fi

[ $failures -eq 0 ] || exit 1
echo "fresh-debian location: all checks passed"
