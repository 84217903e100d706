#!/usr/bin/env bash
# Builds the Windows x64 release of the committed tree (HEAD) into dist/:
#   riser-<version>-windows-x64.zip         riser.vst3 and the papers
#   riser-<version>-windows-x64-setup.exe   the NSIS installer
# Cross-built with MinGW-w64 from `git archive HEAD` in build/dist-windows
# (uncommitted changes are left out), source paths mapped to neutral names,
# the DLL stripped. The zip is reproducible: every time stamp is the
# commit's (SOURCE_DATE_EPOCH), entries sorted, no extra attributes.
# Then checks the installer under Wine (scripts/check_windows_installer.sh,
# with the SDK's validator from the same build) unless RISER_CHECK_WINDOWS=0.
# Called by scripts/release.sh; SHA256SUMS is written there.
#   RISER_JOBS   parallel build jobs (default: the number of cores)
#   RISER_DIST   where the artefacts go (default: dist/ in the checkout)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# shellcheck source=scripts/sdk_location.sh
source "$root/scripts/sdk_location.sh"
# shellcheck source=scripts/windows_location.sh
source "$root/scripts/windows_location.sh"
fail() { echo "release (Windows): $*" >&2; exit 1; }

jobs=${RISER_JOBS:-$(nproc)}
dist=${RISER_DIST:-$root/dist}
work=$root/build/dist-windows
"$root/scripts/setup.sh" --release
for tool in git zip makensis "$RISER_MINGW_HOST-strip" "$RISER_MINGW_HOST-g++-posix"; do
  command -v "$tool" > /dev/null \
    || fail "$tool is missing (Debian packages git, zip, nsis; scripts/setup.sh --windows for MinGW-w64)"
done
# shellcheck source=scripts/compiler_cache.sh
source "$root/scripts/compiler_cache.sh"  # (CCACHE_BASEDIR for the build)

# shellcheck source=scripts/release_source.sh
source "$root/scripts/release_source.sh"
release_source "$work"
mkdir -p "$dist"
echo "release (Windows): Riser $version from $commit"

# 1. The sources of HEAD, cross-built with release flags.
build=$work/build
echo "release (Windows): building in $build"
RISER_WINEPREFIX="$work/wine" "$root/scripts/release_configure.sh" windows "$work/src" "$build" "riser-$version" \
  > "$work/configure.log" 2>&1 || { cat "$work/configure.log"; fail "configuring failed"; }
RISER_WINEPREFIX="$work/wine" cmake --build "$build" -j "$jobs" --target riser > "$work/build.log" 2>&1 \
  || { tail -n 40 "$work/build.log"; fail "the build failed"; }

# 2. The bundle as Windows hosts expect it, the DLL stripped and checked.
stage=$work/stage
name=riser-$version-windows-x64
tree=$stage/$name
mkdir -p "$tree"
cp -r "$build/VST3/Release/riser.vst3" "$tree/"
dll=$tree/riser.vst3/Contents/x86_64-win/riser.vst3
[ -f "$dll" ] || fail "the build wrote no $dll"
"$RISER_MINGW_HOST-strip" --strip-unneeded "$dll"
"$root/scripts/check_windows_dll.sh" "$dll"
# shellcheck source=scripts/release_paths.sh
source "$root/scripts/release_paths.sh"
release_check_paths "$dll" "$root" "$work" "$VST3_SDK_ROOT_RESOLVED" "$RISER_WINDOWS_DEPS_RESOLVED" "${HOME:-}"
if "$RISER_MINGW_HOST-objdump" -h "$dll" | grep -q '\.debug_'; then fail "riser.vst3 has debug sections"; fi
# The papers, with Windows line ends so Notepad shows them as written.
for f in README.md LICENSE THIRD_PARTY_NOTICES CHANGELOG.md; do
  out=$tree/$f
  case $f in LICENSE|THIRD_PARTY_NOTICES) out=$out.txt ;; esac
  sed 's/$/\r/' "$work/src/$f" > "$out"
done
mkdir -p "$tree/docs/images"
for f in "$work/src/docs/"*.md; do sed 's/$/\r/' "$f" > "$tree/docs/$(basename "$f")"; done
cp "$work/src/docs/images/"*.png "$tree/docs/images/"
"$root/scripts/release_normalise.sh" "$stage"

# 3. The zip: sorted entries, the commit's time stamps, no extra attributes.
zipfile=$dist/$name.zip
rm -f "$zipfile"
(cd "$stage" && find "$name" | LC_ALL=C sort | TZ=UTC zip -X -9 -q "$zipfile" -@)

# 4. The installer.
exe=$dist/$name-setup.exe
makensis -V2 -INPUTCHARSET UTF8 "-DVERSION=$version" "-DSTAGE=$tree" "-DOUTFILE=$exe" \
  "$work/src/packaging/windows/riser.nsi" > "$work/makensis.log" 2>&1 \
  || { cat "$work/makensis.log"; fail "makensis failed"; }
touch -d "@$SOURCE_DATE_EPOCH" "$zipfile" "$exe"
echo "release (Windows): wrote $(basename "$zipfile") and $(basename "$exe")"

# 5. The installer installed, validated, upgraded and uninstalled under Wine.
[ "${RISER_CHECK_WINDOWS:-1}" != 0 ] || exit 0
RISER_WINEPREFIX="$work/wine" cmake --build "$build" -j "$jobs" --target validator >> "$work/build.log" 2>&1 \
  || { tail -n 40 "$work/build.log"; fail "building the validator failed"; }
validator=$(find "$build" -name validator.exe -type f | head -n 1)
[ -n "$validator" ] || fail "the build wrote no validator.exe"
"$root/scripts/check_windows_installer.sh" "$exe" "$validator"
