#!/usr/bin/env bash
# Installs the Linux release as its users would and checks it. Runs as root
# inside a fresh Debian 12 root (scripts/check_release_linux.sh starts it
# there); on any other machine it would install and remove packages.
#  1. `apt-get install ./riser_*.deb` pulls what the package needs by itself;
#     riser-meter answers --version, meters the demo signal, has its manual;
#     /usr/lib/vst3/riser.vst3 lacks no library and the SDK's validator
#     loads it, asks its factory and passes;
#  2. `apt-get remove riser` leaves none of its files or folders behind;
#  3. the tarball, unpacked with only the runtime packages its INSTALL.txt
#     names: riser-meter runs and the bundle, moved to ~/.vst3, validates.
#   scripts/release_check_debian.sh DIST VALIDATOR
set -euo pipefail
dist=$1
validator=$2
fail() { echo "release check (Debian): $*" >&2; exit 1; }
say() { echo "release check (Debian): $*"; }
export DEBIAN_FRONTEND=noninteractive
apt_get() { apt-get -q -y -o Dpkg::Use-Pty=0 "$@" > /tmp/apt.log 2>&1 || { tail -n 30 /tmp/apt.log; return 1; }; }

debs=("$dist"/riser_*_amd64.deb)
tars=("$dist"/riser-*-linux-x86_64.tar.gz)
[ -f "${debs[0]}" ] || fail "no riser_*_amd64.deb in $dist"
[ -f "${tars[0]}" ] || fail "no riser-*-linux-x86_64.tar.gz in $dist"
version=$(dpkg-deb -f "${debs[0]}" Version)
version=${version%-*}

# No library missing, and the validator loads the bundle and passes.
libraries_found() {  # binary...
  local missing
  missing=$(ldd "$@" | grep 'not found' || true)
  [ -z "$missing" ] || fail "missing libraries: $missing"
}
validate() {  # bundle, log
  "$validator" "$1" > "$2" 2>&1 || { tail -n 30 "$2"; fail "the validator failed on $1"; }
  grep -q 'Result: [0-9]* tests passed, 0 tests failed' "$2" \
    || { tail -n 30 "$2"; fail "the validator did not report 0 failed tests on $1"; }
  say "the validator passes on $1 ($(grep -o '[0-9]* tests passed' "$2"))"
}
meter_runs() {  # riser-meter binary
  local out
  out=$("$1" --version) || fail "$1 --version failed"
  grep -qF "$version" <<< "$out" || fail "$1 --version does not name $version: $out"
  "$1" > /tmp/demo.txt 2>&1 || { cat /tmp/demo.txt; fail "$1 on the demo signal failed"; }
  grep -qE '^maxima ' /tmp/demo.txt || { cat /tmp/demo.txt; fail "$1 printed no maxima for the demo signal"; }
  say "$1: --version and the demo signal"
}

say "apt-get update"
apt_get update || fail "apt-get update failed"

# 1. The package.
say "apt-get install ${debs[0]}"
apt_get install "${debs[0]}" || fail "apt-get install of the package failed"
bundle=/usr/lib/vst3/riser.vst3
so=$bundle/Contents/x86_64-linux/riser.so
{ [ -f "$so" ] && [ -x /usr/bin/riser-meter ]; } || fail "the package did not install $so and /usr/bin/riser-meter"
[ -f /usr/share/doc/riser/copyright ] || fail "no /usr/share/doc/riser/copyright"
libraries_found "$so" /usr/bin/riser-meter
meter_runs riser-meter
validate "$bundle" /tmp/validator-deb.log
apt_get install --no-install-recommends man-db || fail "installing man-db failed"
man -P cat riser-meter 2> /dev/null | grep -q 'riser-meter' || fail "man riser-meter shows no manual"
say "man riser-meter shows the manual"

# 2. Removal leaves nothing of the package.
files=$(dpkg -L riser)
apt_get remove riser || fail "apt-get remove riser failed"
status=$(dpkg-query -W -f='${Status}' riser 2> /dev/null || true)
case $status in ""|*not-installed) ;; *) fail "after removal dpkg still knows riser: $status" ;; esac
left=()
while IFS= read -r f; do
  case $f in ""|/.) continue ;; esac
  if [ -d "$f" ] && [ ! -L "$f" ]; then
    # Folders shared with other packages stay; riser's own must go.
    dpkg -S "$f" > /dev/null 2>&1 && continue
    left+=("$f")
  elif [ -e "$f" ] || [ -L "$f" ]; then
    left+=("$f")
  fi
done <<< "$files"
[ ${#left[@]} -eq 0 ] || fail "apt-get remove left: ${left[*]}"
say "apt-get remove left nothing of riser's $(wc -l <<< "$files") paths"
apt_get autoremove --purge || fail "apt-get autoremove failed"

# 3. The tarball, with the runtime packages its INSTALL.txt names.
home=$HOME/tarball-user   # a user's home of its own inside the root
mkdir -p "$home/.vst3"
tar -xzf "${tars[0]}" -C "$home"
tree=$(find "$home" -maxdepth 1 -type d -name 'riser-*-linux-x86_64' | head -n 1)
[ -n "$tree" ] || fail "the tarball holds no riser-*-linux-x86_64 folder"
runtime=$(sed -n 's/^Both need these runtime libraries (Debian 12 package names): //p' "$tree/INSTALL.txt")
[ -n "$runtime" ] || fail "INSTALL.txt names no runtime packages"
# shellcheck disable=SC2086
apt_get install --no-install-recommends $runtime || fail "installing the runtime packages failed: $runtime"
say "installed the runtime packages INSTALL.txt names: $runtime"
mv "$tree/riser.vst3" "$home/.vst3/"
libraries_found "$home/.vst3/riser.vst3/Contents/x86_64-linux/riser.so" "$tree/riser-meter"
meter_runs "$tree/riser-meter"
validate "$home/.vst3/riser.vst3" /tmp/validator-tar.log
say "passed"
