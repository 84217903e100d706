#!/usr/bin/env bash
# `cmake --install` as a packager and a user run it: everything lands under
# the prefix (lib/vst3, bin, share/man) inside DESTDIR, nothing in the home
# folder; the per-user component puts the bundle straight into its prefix.
#   tests/scripts_install_test.sh BUILD_DIR WORK_DIR
set -euo pipefail
build=$1
work=$2
rm -rf "$work"
mkdir -p "$work/home"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
export HOME="$work/home"

# A package's staged install: DESTDIR + /usr.
DESTDIR="$work/stage" cmake --install "$build" --prefix /usr > "$work/install.log" 2>&1 \
  || { cat "$work/install.log"; exit 1; }
for f in usr/lib/vst3/riser.vst3/Contents/x86_64-linux/riser.so usr/bin/riser-meter \
         usr/share/man/man1/riser-meter.1; do
  [ -f "$work/stage/$f" ] || fail "no $f under DESTDIR"
done
[ -x "$work/stage/usr/bin/riser-meter" ] || fail "riser-meter is not executable"
outside=$(sed -n 's/^-- \(Installing\|Up-to-date\): //p' "$work/install.log" | grep -v "^$work/stage/usr/" || true)
[ -z "$outside" ] || fail "files installed outside DESTDIR/prefix: $outside"
[ ! -e "$HOME/.vst3" ] || fail "a system install wrote into the home folder"

# One user's plug-in folder.
cmake --install "$build" --component riser_vst3_user --prefix "$HOME/.vst3" > "$work/user.log" 2>&1 \
  || { cat "$work/user.log"; exit 1; }
[ -f "$HOME/.vst3/riser.vst3/Contents/x86_64-linux/riser.so" ] || fail "the per-user install did not put riser.vst3 into ~/.vst3"
[ "$(find "$HOME/.vst3" -mindepth 1 -maxdepth 1 | wc -l)" -eq 1 ] || fail "the per-user install wrote more than riser.vst3"

[ $failures -eq 0 ] || exit 1
echo "install rules: all checks passed"
