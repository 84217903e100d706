#!/usr/bin/env bash
# Configures the release build of the sources in SRC into BUILD (Ninja) with
# the release flags: -O2, no assertions, and every path of this machine the
# compiler sees (the sources, the SDK, the Windows libraries, the build
# folder) mapped to a neutral name, so that no binary holds one; on Linux
# also the hardening flags. Used by scripts/release.sh and
# scripts/release_windows.sh.
#   scripts/release_configure.sh linux|windows SRC BUILD SOURCE_NAME
# SOURCE_NAME is the name SRC has in the binaries (riser-<version>).
# CMake puts its *_FLAGS strings into the compiler's command line as they are,
# so each mapping is quoted there for the shell: paths may hold spaces and quotes.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# shellcheck source=scripts/sdk_location.sh
source "$root/scripts/sdk_location.sh"
# shellcheck source=scripts/windows_location.sh
source "$root/scripts/windows_location.sh"
# shellcheck source=scripts/compiler_cache.sh
source "$root/scripts/compiler_cache.sh"
[ $# -eq 4 ] || { echo "usage: $0 linux|windows SRC BUILD SOURCE_NAME" >&2; exit 2; }
platform=$1 src=$2 build=$3 name=$4

quote() { printf "'%s'" "${1//\'/\'\\\'\'}"; }
map() {  # path, name: one -ffile-prefix-map flag, quoted, after a space
  # GCC splits the flag at its first "=": a path holding one cannot be mapped.
  case $1 in *=*) echo "release: $1 holds \"=\", which the compiler cannot map to a neutral name;" \
                       "build from a path without one" >&2; exit 1 ;; esac
  printf ' %s' "$(quote "-ffile-prefix-map=$1=$2")"
}

maps="$(map "$src" "$name")$(map "$VST3_SDK_ROOT_RESOLVED" vst3sdk)"
args=(-DCMAKE_BUILD_TYPE=Release "-DVST3_SDK_ROOT=$VST3_SDK_ROOT_RESOLVED")
case $platform in
  linux)
    maps+=$(map "$build" build)
    flags="-O2 -DNDEBUG -fstack-protector-strong -Wformat -Werror=format-security -D_FORTIFY_SOURCE=2$maps"
    ldflags="-Wl,-z,relro -Wl,-z,now"
    args+=("-DCMAKE_EXE_LINKER_FLAGS=$ldflags" "-DCMAKE_SHARED_LINKER_FLAGS=$ldflags"
           "-DCMAKE_MODULE_LINKER_FLAGS=$ldflags") ;;
  windows)
    maps+="$(map "$RISER_WINDOWS_DEPS_RESOLVED" windows-deps)$(map "$build" build)"
    flags="-O2 -DNDEBUG$maps"
    # The toolchain file finds the libraries through the environment: the same folder as mapped.
    export RISER_WINDOWS_DEPS=$RISER_WINDOWS_DEPS_RESOLVED
    args+=("-DCMAKE_TOOLCHAIN_FILE=$src/cmake/mingw-w64-x86_64.cmake") ;;
  *) echo "usage: $0 linux|windows SRC BUILD SOURCE_NAME" >&2; exit 2 ;;
esac
exec cmake -S "$src" -B "$build" -G Ninja "${cache_args[@]}" "${args[@]}" \
  "-DCMAKE_C_FLAGS_RELEASE=$flags" "-DCMAKE_CXX_FLAGS_RELEASE=$flags"
