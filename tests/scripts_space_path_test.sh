#!/usr/bin/env bash
# The scripts from a checkout whose path holds spaces: the sanitizer options
# scripts/test.sh sets must name the suppressions file so that a sanitized
# program reads it, the set-up scripts must work there too, and so must the
# release's configuration and flags (with the SDK at a path with spaces).
#   tests/scripts_space_path_test.sh SOURCE_DIR WORK_DIR
# The release part needs the SDK set-up fetched (VST3_SDK_ROOT or its default).
set -euo pipefail
src=$1
work=$2
rm -rf "$work"
checkout="$work/my projects/riser checkout"
mkdir -p "$checkout/tests"
cp -r "$src/scripts" "$checkout/"
cp "$src/tests/lsan.supp" "$checkout/tests/"

# A program under AddressSanitizer that leaks 10 bytes, with the leak
# checker's options as the test run sets them: the leak must be reported
# (the options parsed, the suppressions file read), and a missing
# suppressions file must be reported under its full name.
cc=$(command -v clang || command -v gcc)
printf '#include <stdlib.h>\nvoid *volatile p;\nint main(void) { p = malloc(10); p = 0; return 0; }\n' > "$work/leak.c"
"$cc" -fsanitize=address "$work/leak.c" -o "$work/leak"
# shellcheck source=scripts/sanitizer_options.sh
source "$checkout/scripts/sanitizer_options.sh"
# Options the test run itself exported would follow ours and win: start clean.
unset LSAN_OPTIONS
LSAN_OPTIONS=$(riser_lsan_options "$checkout")
export LSAN_OPTIONS
"$work/leak" > "$work/asan.log" 2>&1 || true
if ! grep -q "SUMMARY: AddressSanitizer: 10 byte(s) leaked" "$work/asan.log" || grep -q "ERROR: expected\|failed to read" "$work/asan.log"; then
  echo "FAIL: LSAN_OPTIONS=$LSAN_OPTIONS does not work from $checkout:"
  cat "$work/asan.log"
  exit 1
fi
mv "$checkout/tests/lsan.supp" "$checkout/tests/moved.supp"
"$work/leak" > "$work/asan-missing.log" 2>&1 || true
grep -qF "failed to read suppressions file '$checkout/tests/lsan.supp'" "$work/asan-missing.log" \
  || { echo "FAIL: the leak checker did not look for $checkout/tests/lsan.supp:"; cat "$work/asan-missing.log"; exit 1; }
mv "$checkout/tests/moved.supp" "$checkout/tests/lsan.supp"
unset LSAN_OPTIONS

# The set-up scripts from there, with their cache folders there too.
"$src/tests/scripts_setup_cache_test.sh" "$checkout/scripts" "$work/setup cache"

# The release's configuration (scripts/release_configure.sh, as release.sh
# calls it) of this project's sources in a folder whose path holds spaces and
# a quote, the SDK reached through a path of that kind too. Building every
# binary takes long; one object of each kind shows the flags reach the
# compiler whole: one of Riser's, and one of VSTGUI's, which its CMake
# compiles with debug information, so it names its source and build folders:
# by their neutral names only.
sdk_real=$(bash -c 'source "$1/sdk_location.sh"; echo "$VST3_SDK_ROOT_RESOLVED"' _ "$src/scripts")
[ -f "$sdk_real/pluginterfaces/base/funknown.h" ] || { echo "FAIL: no VST3 SDK at $sdk_real (run scripts/setup.sh)"; exit 1; }
mkdir -p "$work/sdk cache"
ln -s "$sdk_real" "$work/sdk cache/vst3 sdk"
release="$work/Jo's release/build/dist"
mkdir -p "$release/src"
tar -C "$src" --exclude=./build --exclude=./dist --exclude=./.git -cf - . | tar -C "$release/src" -xf -
# (No ccache base folder: under one, ccache hands the compiler relative paths,
# which need no mapping.)
unset CCACHE_BASEDIR
VST3_SDK_ROOT="$work/sdk cache/vst3 sdk" "$checkout/scripts/release_configure.sh" linux "$release/src" \
  "$release/build" riser-0.0 > "$work/release-configure.log" 2>&1 \
  || { echo "FAIL: the release's configuration failed from $release:"; tail -n 30 "$work/release-configure.log"; exit 1; }
objects=$(ninja -C "$release/build" -t targets all | sed -n 's/^\([^:]*\.o\): .*/\1/p')
ours=$(echo "$objects" | grep -m1 '/riser_plugin\.dir/adapter_buses\.cpp\.o$') || true
theirs=$(echo "$objects" | grep -m1 '/vstgui\.dir/cdrawmethods\.cpp\.o$') || true
[ -n "$ours" ] && [ -n "$theirs" ] || { echo "FAIL: the release build has no adapter_buses or cdrawmethods object"; exit 1; }
ninja -C "$release/build" -t commands "$theirs" | tail -n 1 | grep -qF "$work/sdk cache/vst3 sdk/vstgui4" \
  || { echo "FAIL: VSTGUI is not compiled from $work/sdk cache/vst3 sdk"; exit 1; }
cmake --build "$release/build" --target "$ours" "$theirs" > "$work/release-build.log" 2>&1 \
  || { echo "FAIL: the release flags do not compile from $release:"; tail -n 30 "$work/release-build.log"; exit 1; }
readelf --debug-dump=info "$release/build/$theirs" > "$work/dwarf.txt"
dwarf=$(grep -m2 'DW_AT_name\|DW_AT_comp_dir' "$work/dwarf.txt")
echo "$dwarf" | grep -q 'DW_AT_name .*: vst3sdk/vstgui4/vstgui/lib/cdrawmethods\.cpp$' \
  && echo "$dwarf" | grep -q 'DW_AT_comp_dir .*: build$' \
  || { echo "FAIL: $theirs does not name its source and folder by their neutral names: $dwarf"; exit 1; }
for path in "$work" "$sdk_real"; do
  for object in "$ours" "$theirs"; do
    if grep -qaF "$path" "$release/build/$object"; then echo "FAIL: $object holds the path $path"; exit 1; fi
  done
done

# The same for the Windows release's configuration, the Windows libraries
# reached through a path with spaces too, when the cross build is set up:
# VSTGUI's object from the SDK's path compiles.
deps_real=$(bash -c 'source "$1/windows_location.sh"; echo "$RISER_WINDOWS_DEPS_RESOLVED"' _ "$src/scripts")
if command -v x86_64-w64-mingw32-g++-posix > /dev/null && [ -f "$deps_real/lib/pkgconfig/lua5.4.pc" ]; then
  ln -s "$deps_real" "$work/sdk cache/windows deps"
  VST3_SDK_ROOT="$work/sdk cache/vst3 sdk" RISER_WINDOWS_DEPS="$work/sdk cache/windows deps" \
    RISER_WINEPREFIX="$work/wine" "$checkout/scripts/release_configure.sh" windows "$release/src" \
    "$release/build-windows" riser-0.0 > "$work/release-windows-configure.log" 2>&1 \
    || { echo "FAIL: the Windows release's configuration failed:"; tail -n 30 "$work/release-windows-configure.log"; exit 1; }
  objects=$(ninja -C "$release/build-windows" -t targets all | sed -n 's/^\([^:]*\.obj\): .*/\1/p')
  theirs=$(echo "$objects" | grep -m1 '/vstgui\.dir/cdrawmethods\.cpp\.obj$') || true
  [ -n "$theirs" ] || { echo "FAIL: the Windows release build has no cdrawmethods object"; exit 1; }
  cmake --build "$release/build-windows" --target "$theirs" > "$work/release-windows-build.log" 2>&1 \
    || { echo "FAIL: the Windows release flags do not compile:"; tail -n 30 "$work/release-windows-build.log"; exit 1; }
  # (VSTGUI's Windows objects carry no debug information: built whole is what shows here.)
  for path in "$work" "$sdk_real" "$deps_real"; do
    if grep -qaF "$path" "$release/build-windows/$theirs"; then echo "FAIL: $theirs (Windows) holds the path $path"; exit 1; fi
  done
else
  echo "the Windows release's configuration: not checked (no MinGW-w64 or Windows libraries: scripts/setup.sh --windows)"
fi

# The release's check of its binaries for paths of this machine: a path
# found fails, the user's home among them; a home of "/" (a system user's)
# or none (HOME unset: the scripts pass "${HOME:-}") is no path to look
# for, and a file that cannot be read fails.
# shellcheck source=scripts/release_paths.sh
source "$checkout/scripts/release_paths.sh"
fail() { echo "$*"; exit 1; }
printf 'riser-0.0/plugin/x.cpp\0/usr/lib/x86_64-linux-gnu/libc.so.6\0' > "$work/clean.bin"
printf 'x\0%s/.cache/riser/vst3sdk/base/a.cpp\0' "$work/home" > "$work/home.bin"
check() { (release_check_paths "$@") > "$work/check.log" 2>&1; }
check "$work/clean.bin" "$release" "$work/home" / "" \
  || { echo "FAIL: a binary without machine paths was refused: $(cat "$work/check.log")"; exit 1; }
if check "$work/home.bin" "$release" "$work/home/"; then echo "FAIL: a path of the home was not found"; exit 1; fi
grep -qF "home.bin contains the path $work/home" "$work/check.log" || { echo "FAIL: no message: $(cat "$work/check.log")"; exit 1; }
if check "$work/missing.bin" "$release"; then echo "FAIL: a binary that cannot be read passed"; exit 1; fi
echo "scripts from a path with spaces: all checks passed"
