#!/usr/bin/env bash
# tests/wine_in_xvfb.sh and its private X server: the program runs with the
# server's DISPLAY and its status is the script's, and the server is stopped
# afterwards, also when starting it failed half-way (Xvfb up, the root atom
# not set). The program here is a shell command instead of Wine.
#   tests/scripts_private_xvfb_test.sh SOURCE_DIR WORK_DIR
set -euo pipefail
src=$1
work=$2
rm -rf "$work"
mkdir -p "$work/bin"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
export RISER_WINEPREFIX="$work/wine"
# The server's pipe and the screenshot folder are made here and must go.
export TMPDIR="$work/tmp"
mkdir -p "$TMPDIR"

# Every Xvfb the script starts notes its process id (exec keeps it).
real_xvfb=$(command -v Xvfb)
printf '#!/bin/sh\necho $$ >> "%s"\nexec "%s" "$@"\n' "$work/xvfb.pids" "$real_xvfb" > "$work/bin/Xvfb"
chmod +x "$work/bin/Xvfb"
export PATH="$work/bin:$PATH"
left_running() {  # the servers started so far that still run
  local pid
  [ -f "$work/xvfb.pids" ] || return 0
  while read -r pid; do
    # A stopped server no parent reaps stays a zombie: that is stopped too.
    [ -d "/proc/$pid" ] && [ "$(cut -d' ' -f3 "/proc/$pid/stat")" != Z ] && echo "$pid"
  done < "$work/xvfb.pids"
  return 0
}

# 1. The program gets a display, its status comes back, the server goes.
status=0
"$src/tests/wine_in_xvfb.sh" sh -c 'xprop -root _XEMBED_INFO > "$0/atom" && exit 7' "$work" \
  > "$work/1.log" 2>&1 || status=$?
[ $status -eq 7 ] || fail "the program's status 7 came back as $status: $(cat "$work/1.log")"
grep -q "_XEMBED_INFO" "$work/atom" 2>/dev/null || fail "the program had no display with the root atom set"
[ -s "$work/xvfb.pids" ] || fail "no Xvfb was started"
[ -z "$(left_running)" ] || fail "Xvfb left running after the program ended: $(left_running)"
[ -z "$(ls -A "$TMPDIR")" ] || fail "temporary files left: $(ls -A "$TMPDIR")"

# 2. Setting the root atom fails after Xvfb started: a failure with a
#    message, the program not run, and no server left behind.
printf '#!/bin/sh\necho "xprop: cannot set it" >&2\nexit 1\n' > "$work/bin/xprop"
chmod +x "$work/bin/xprop"
: > "$work/xvfb.pids"
if "$src/tests/wine_in_xvfb.sh" touch "$work/ran" > "$work/2.log" 2>&1; then
  fail "a failed start of the X server was reported as success"
fi
grep -q "no X server" "$work/2.log" || fail "no message about the X server: $(cat "$work/2.log")"
[ ! -e "$work/ran" ] || fail "the program ran without an X server"
[ -s "$work/xvfb.pids" ] || fail "Xvfb was not started in the failing case"
running=$(left_running)
[ -z "$running" ] || { fail "a failed start left Xvfb running: $running"; kill $running; }
[ -z "$(ls -A "$TMPDIR")" ] || fail "temporary files left after a failed start: $(ls -A "$TMPDIR")"

[ $failures -eq 0 ] || exit 1
echo "private X server: all checks passed"
