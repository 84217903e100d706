#!/usr/bin/env bash
# Builds the libraries the Windows cross build needs and Debian has no MinGW
# package for: Lua 5.4.4 and libspng 0.7.3 (the versions Debian 12 ships),
# cloned from their public repositories into a cache outside the checkout and
# built there as static x86_64 Windows libraries with pkg-config files, so the
# project's CMake finds them exactly as it finds Debian's on Linux.
# Skipped when the cache is complete. Called by `scripts/setup.sh --windows`.
# Environment: see scripts/windows_location.sh.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=scripts/windows_location.sh
source "$here/windows_location.sh"
# shellcheck source=scripts/cache_folder.sh
source "$here/cache_folder.sh"

prefix=$RISER_WINDOWS_DEPS_RESOLVED
marker="$prefix/.riser-windows-deps-$RISER_LUA_TAG-$RISER_SPNG_TAG"
# A prefix of the user's own is usable when it has both libraries' pkg-config files.
deps_usable() { [ -f "$1/lib/pkgconfig/lua5.4.pc" ] && [ -f "$1/lib/pkgconfig/spng.pc" ]; }
cache_prepare "$prefix" "$marker" '.riser-windows-deps-*' deps_usable

cc=$RISER_MINGW_HOST-gcc-posix
ar=$RISER_MINGW_HOST-ar
cflags=(-O2 -std=gnu99)

clone() {  # url, tag, destination
  local git_opts=() depth=(--depth 1)
  case "$1" in /*|file://*|./*|../*) git_opts=(-c protocol.file.allow=always) depth=() ;; esac
  rm -rf "$3"
  git "${git_opts[@]}" -c advice.detachedHead=false clone --quiet "${depth[@]}" --branch "$2" "$1" "$3"
}

compile_archive() {  # archive, source files...
  local archive=$1; shift
  local objs="$work/obj-$(basename "$archive" .a)"
  mkdir -p "$objs"
  (cd "$objs" && "$cc" "${cflags[@]}" "${extra[@]}" -c "$@")
  "$ar" rcs "$archive" "$objs"/*.o
}

write_pc() {  # name, version, cflags, libs
  cat > "$stage/lib/pkgconfig/$1.pc" <<PC
prefix=$prefix
includedir=\${prefix}/include
libdir=\${prefix}/lib

Name: $1
Description: $1 built for $RISER_MINGW_HOST by Riser's set-up
Version: $2
Cflags: $3
Libs: $4
PC
}

echo "setup: building Lua $RISER_LUA_TAG and libspng $RISER_SPNG_TAG for Windows into $prefix"
work=$(mktemp -d "${TMPDIR:-/tmp}/riser-windows-deps.XXXXXX")
cache_temp=("$work")
stage=$cache_stage
mkdir -p "$stage/include/lua5.4" "$stage/lib/pkgconfig"

# Lua: the library without the interpreter and the test hooks, with the 5.3
# compatibility functions Debian's build has (math.pow and friends).
clone "$RISER_LUA_URL_RESOLVED" "$RISER_LUA_TAG" "$work/lua"
lua_sources=()
for f in "$work"/lua/l*.c; do
  case $(basename "$f") in lua.c|luac.c|ltests.c) ;; *) lua_sources+=("$f") ;; esac
done
extra=(-DLUA_COMPAT_5_3)
compile_archive "$stage/lib/liblua5.4.a" "${lua_sources[@]}"
cp "$work"/lua/{lua.h,luaconf.h,lualib.h,lauxlib.h} "$stage/include/lua5.4/"
# lua.hpp comes with Lua's release archives, not its repository: the C
# headers with C linkage for C++.
printf '%s\n' '// Lua header files for C++' 'extern "C" {' '#include "lua.h"' '#include "lualib.h"' \
  '#include "lauxlib.h"' '}' > "$stage/include/lua5.4/lua.hpp"
write_pc lua5.4 5.4.4 "-I\${includedir}/lua5.4" "-L\${libdir} -llua5.4"

# libspng: one source file, static, against Debian's zlib for Windows.
clone "$RISER_SPNG_URL_RESOLVED" "$RISER_SPNG_TAG" "$work/spng"
extra=(-DSPNG_STATIC)
compile_archive "$stage/lib/libspng.a" "$work/spng/spng/spng.c"
cp "$work/spng/spng/spng.h" "$stage/include/"
write_pc spng 0.7.3 "-I\${includedir} -DSPNG_STATIC" "-L\${libdir} -lspng -lz"

touch "$stage/$(basename "$marker")"
cache_commit "$prefix" '.riser-windows-deps-*'
