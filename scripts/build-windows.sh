#!/usr/bin/env bash
# The Windows x64 riser.vst3, cross-built with MinGW-w64 and checked under Wine:
#  1. set-up if needed (scripts/setup.sh --windows: MinGW-w64, Wine, the VST3
#     SDK cache, Lua and libspng built for Windows);
#  2. build/windows: the bundle build/windows/VST3/Release/riser.vst3, the
#     SDK's validator, the engine, signal-chain and plug-in tests, and the
#     editor picture test, whose Linux reference pictures come from
#     editor_picture_writer of the native build build/release (configured
#     here if scripts/test.sh has not built it);
#  3. the DLL imports only system DLLs and exports the module's entry points;
#  4. under Wine (prefix in build/windows/wine): every test program and the
#     validator on the bundle.
# Stops at the first failure with a non-zero status.
#   RISER_JOBS   parallel jobs (default: the number of cores)
#   RISER_CCACHE   0: do not use ccache even when it is installed
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
jobs=${RISER_JOBS:-$(nproc)}
dir="$root/build/windows"

"$root/scripts/setup.sh" --windows
# shellcheck source=scripts/compiler_cache.sh
source "$root/scripts/compiler_cache.sh"

linux_dir="$root/build/release"
echo "== windows: the Linux reference pictures' writer in $linux_dir ($(date +%T))"
if [ ! -f "$linux_dir/CMakeCache.txt" ]; then
  mkdir -p "$linux_dir"
  cmake -S "$root" -B "$linux_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release "${cache_args[@]}" \
    > "$linux_dir/configure.log" 2>&1 || { cat "$linux_dir/configure.log"; exit 1; }
fi
cmake --build "$linux_dir" -j "$jobs" --target editor_picture_writer

mkdir -p "$dir"
export RISER_WINEPREFIX="$dir/wine"
echo "== windows: configure and build ($(date +%T))"
cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release "${cache_args[@]}" \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
  -DRISER_LINUX_PICTURE_WRITER="$linux_dir/bin/Release/editor_picture_writer" > "$dir/configure.log" 2>&1 \
  || { cat "$dir/configure.log"; exit 1; }
cmake --build "$dir" -j "$jobs"

"$root/scripts/check_windows_dll.sh" "$dir/VST3/Release/riser.vst3/Contents/x86_64-win/riser.vst3"

echo "== windows: tests under Wine ($(date +%T))"
# The first start creates the Wine prefix; do it once before parallel tests.
"$root/scripts/wine-run.sh" cmd /c exit > /dev/null 2>&1 || true
# --timeout: the limit of the tests that set none (the validator under Wine).
ctest --test-dir "$dir" --output-on-failure -j "$jobs" --timeout 300
echo "== windows: riser.vst3 built and validated ($(date +%T))"
