#!/usr/bin/env bash
# Checks the Linux release artefacts as their users meet them: in a freshly
# bootstrapped Debian 12 root (nothing but git), scripts/release_check_debian.sh
# installs the .deb with apt (dependencies from the package alone), runs
# riser-meter and its manual, validates /usr/lib/vst3/riser.vst3 with the
# SDK's validator, removes the package and checks nothing is left, then
# unpacks the tarball with only the runtime packages it names and runs it.
# The artefacts and the validator are bound read-only into the root.
#   scripts/check_release_linux.sh DIST VALIDATOR
# Needs root (sudo otherwise), debootstrap (installed when missing) and the
# fresh-debian tool (scripts/fresh_debian_location.sh says where from).
# The whole output is kept in build/release-check-linux.log.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
dist=$(realpath "$1")
validator=$(realpath "$2")
fail() { echo "release check (Linux): $*" >&2; exit 1; }
[ -x "$validator" ] || fail "no validator at $validator"

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
# shellcheck source=scripts/fresh_debian_location.sh
source "$root/scripts/fresh_debian_location.sh"
tool=$(find_fresh_debian "$root") || exit 1
ensure_debootstrap

mkdir -p "$root/build"
log=$root/build/release-check-linux.log
echo "release check (Linux): the .deb and the tarball in a fresh Debian 12 root (log: $log)"
status=0
$sudo "$tool" --bind "$dist:/dist" --bind "$validator:/opt/check/validator" "$root" -- \
  scripts/release_check_debian.sh /dist /opt/check/validator 2>&1 | tee "$log" || status=$?
[ "$status" -eq 0 ] || fail "failed with status $status (see $log)"
grep -q '^release check (Debian): passed$' "$log" || fail "the check in the root did not finish (see $log)"
