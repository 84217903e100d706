#!/usr/bin/env bash
# Builds Tracktion's pluginval once into a cache outside the checkout: its
# release tag, with JUCE at the revision its modules/juce submodule names,
# configured for a headless machine (no web browser, no curl: the defaults of
# pluginval's own CMake file). Only the executable and the sources stay; the
# build tree is removed. Skipped when the cache is complete.
# Called by `scripts/setup.sh --pluginval`. Environment: see
# scripts/pluginval_location.sh; RISER_JOBS sets the parallel build jobs
# (default: the number of cores).
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=scripts/pluginval_location.sh
source "$here/pluginval_location.sh"
# shellcheck source=scripts/compiler_cache.sh
source "$here/compiler_cache.sh"
# shellcheck source=scripts/cache_folder.sh
source "$here/cache_folder.sh"

root=$RISER_PLUGINVAL_ROOT_RESOLVED
jobs=${RISER_JOBS:-$(nproc)}
# A folder of the user's own is usable when it holds the executable.
pluginval_usable() { [ -x "$1/bin/pluginval" ]; }
own=$(basename "$RISER_PLUGINVAL_MARKER")
cache_prepare "$root" "$RISER_PLUGINVAL_MARKER" "$own" pluginval_usable
stage=$cache_stage

is_local() { case "$1" in /*|file://*|./*|../*) return 0 ;; esac; return 1; }

echo "setup: building pluginval $RISER_PLUGINVAL_TAG from $PLUGINVAL_URL_RESOLVED" \
     "(JUCE from $JUCE_URL_RESOLVED) into $root"
mkdir -p "$stage"
src="$stage/src"

# git refuses file-protocol submodules unless told otherwise; allow it only for
# local mirrors. Remote JUCE is fetched at its one commit only (shallow).
git_opts=() depth=()
if is_local "$PLUGINVAL_URL_RESOLVED" || is_local "$JUCE_URL_RESOLVED"; then
  git_opts=(-c protocol.file.allow=always)
fi
is_local "$JUCE_URL_RESOLVED" || depth=(--depth 1)
git "${git_opts[@]}" clone --quiet --no-checkout "$PLUGINVAL_URL_RESOLVED" "$src"
git -C "$src" -c advice.detachedHead=false checkout --quiet "$RISER_PLUGINVAL_TAG"
git -C "$src" submodule --quiet init modules/juce
git -C "$src" config submodule.modules/juce.url "$JUCE_URL_RESOLVED"
git -C "$src" "${git_opts[@]}" submodule --quiet update "${depth[@]}" modules/juce
echo "setup: pluginval $(git -C "$src" describe --tags)," \
     "JUCE $(git -C "$src/modules/juce" rev-parse HEAD)"

build="$stage/build"
cmake -S "$src" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release "${cache_args[@]}" \
  > "$stage/configure.log" 2>&1 || { cat "$stage/configure.log"; exit 1; }
# JUCE's sources warn a lot under GCC 12: the build's output goes to a log,
# shown only when the build fails.
cmake --build "$build" -j "$jobs" --target pluginval > "$stage/build.log" 2>&1 \
  || { tail -n 60 "$stage/build.log"; echo "setup: building pluginval failed" >&2; exit 1; }
mkdir -p "$stage/bin"
cp "$build/pluginval_artefacts/Release/pluginval" "$stage/bin/pluginval"
rm -rf "$build" "$stage/configure.log" "$stage/build.log"

touch "$stage/$own"
cache_commit "$root" "$own"
