#!/usr/bin/env bash
# One-command set-up for building and testing Riser on Debian 12.
#  - installs the Debian packages the build and the tests need (skipped when present);
#  - obtains the VST3 SDK 3.7.4 with the submodules Riser builds against, into a
#    cache outside the checkout (scripts/sdk_deps.sh; skipped when the cache is
#    complete). Set-up never deletes a folder it did not make: a folder of
#    yours at VST3_SDK_ROOT (or RISER_WINDOWS_DEPS, RISER_PLUGINVAL_ROOT) is
#    used as it is when complete, refused otherwise (scripts/cache_folder.sh);
#    concurrent set-ups wait for each other.
#  - with --windows also what the Windows x64 cross build needs: MinGW-w64,
#    Wine, zlib for Windows, and Lua and libspng built for Windows
#    (scripts/windows_deps.sh; their sources: scripts/windows_location.sh).
#  - with --release also what scripts/release.sh needs: the tools that make
#    the .deb, the zip and the installer (dpkg-dev, fakeroot, zip, NSIS,
#    lintian) and everything --windows sets up.
#  - with --bench also what the benchmarks compare with: ffmpeg (never a
#    build or test dependency).
#  - with --pluginval also Tracktion's pluginval, built once into a cache
#    outside the checkout (scripts/pluginval_deps.sh; its sources:
#    scripts/pluginval_location.sh). scripts/test.sh runs it on riser.vst3.
# Environment:
#   VST3_SDK_ROOT  where the SDK lives (default: ${XDG_CACHE_HOME:-~/.cache}/riser/vst3sdk-3.7.4)
#   VST3_SDK_URL   the vst3sdk repository to clone (default: the official public one);
#                  its submodules resolve relative to it, as the SDK's .gitmodules say.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=scripts/sdk_location.sh
source "$here/sdk_location.sh"

packages=(
  build-essential cmake ninja-build pkg-config git ca-certificates
  libgtest-dev libgmock-dev libbenchmark-dev
  liblua5.4-dev libspng-dev libsndfile1-dev libebur128-dev
  libx11-dev libx11-xcb-dev libxcb1-dev libxcb-util-dev libxcb-cursor-dev
  libxcb-keysyms1-dev libxcb-xkb-dev libxkbcommon-dev libxkbcommon-x11-dev
  libcairo2-dev libpango1.0-dev libfontconfig1-dev libfreetype-dev libglib2.0-dev
  libgtkmm-3.0-dev libsqlite3-dev
  xvfb x11-utils imagemagick fonts-liberation
  clang libclang-rt-14-dev llvm
  ladspa-sdk libasound2-dev libxrandr-dev libxinerama-dev libxcursor-dev
  libxcomposite-dev libxext-dev libxrender-dev
)
windows_packages=(g++-mingw-w64-x86-64-posix mingw-w64-tools wine64 libz-mingw-w64-dev)
release_packages=(dpkg-dev fakeroot zip nsis lintian binutils)

windows=0 pluginval=0
for arg in "$@"; do
  case "$arg" in
    --windows) windows=1; packages+=("${windows_packages[@]}") ;;
    --release) windows=1; packages+=("${windows_packages[@]}" "${release_packages[@]}") ;;
    --pluginval) pluginval=1 ;;
    --bench) packages+=(ffmpeg) ;;
    *) echo "usage: $0 [--windows] [--release] [--pluginval] [--bench]" >&2; exit 2 ;;
  esac
done

install_packages() {
  local missing=()
  for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "setup: installing ${missing[*]}"
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo apt-get update -q
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q "${missing[@]}"
}

install_packages
"$here/sdk_deps.sh"
if [ $windows -eq 1 ]; then "$here/windows_deps.sh"; fi
if [ $pluginval -eq 1 ]; then "$here/pluginval_deps.sh"; fi
echo "setup: ready (VST3 SDK at $VST3_SDK_ROOT_RESOLVED)"
