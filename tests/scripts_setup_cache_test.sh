#!/usr/bin/env bash
# Set-up and its cache folders: a folder of the user's own is never deleted
# (used when complete, refused otherwise), an interrupted set-up leaves no
# partial folder, and two concurrent set-ups both succeed with one cache.
# The SDK comes from small local repositories shaped like the SDK's.
#   tests/scripts_setup_cache_test.sh SCRIPTS_DIR WORK_DIR
set -euo pipefail
scripts=$1
work=$2
rm -rf "$work"
mkdir -p "$work"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
export GIT_CONFIG_NOSYSTEM=1 HOME="$work/home" GIT_AUTHOR_NAME=t GIT_AUTHOR_EMAIL=t@t \
  GIT_COMMITTER_NAME=t GIT_COMMITTER_EMAIL=t@t
mkdir -p "$HOME"

# A fake SDK: the super-repository with the five submodules at the tag set-up asks for.
tag=$(bash -c 'source "$1/sdk_location.sh"; echo "$RISER_SDK_TAG"' _ "$scripts")
make_repo() {  # dir, file, content
  git init -q "$1" && mkdir -p "$1/$(dirname "$2")" && echo "$3" > "$1/$2"
  git -C "$1" add -A && git -C "$1" commit -qm init
}
mirror=$work/mirror
make_repo "$mirror/base" source/fobject.cpp x
make_repo "$mirror/cmake" modules/x.cmake x
make_repo "$mirror/pluginterfaces" base/funknown.h x
make_repo "$mirror/public.sdk" source/vst/vstsinglecomponenteffect.cpp x
make_repo "$mirror/vstgui4" vstgui/vstgui.h x
make_repo "$mirror/vst3sdk" CMakeLists.txt x
for m in base cmake pluginterfaces public.sdk vstgui4; do
  git -C "$mirror/vst3sdk" -c protocol.file.allow=always submodule --quiet add "$mirror/$m" "$m"
done
git -C "$mirror/vst3sdk" commit -qm submodules && git -C "$mirror/vst3sdk" tag "$tag"
export VST3_SDK_URL=$mirror/vst3sdk

sdk() { VST3_SDK_ROOT=$1 "$scripts/sdk_deps.sh"; }

# 1. The user's own folder without the marker and without an SDK: refused, kept.
mine=$work/my-sdk
mkdir -p "$mine" && echo "work in progress" > "$mine/notes.txt"
if sdk "$mine" > "$work/1.log" 2>&1; then fail "a folder without an SDK was accepted"; fi
[ -f "$mine/notes.txt" ] || fail "the user's file in VST3_SDK_ROOT was deleted"
grep -q "$mine exists but is not a complete tree" "$work/1.log" || fail "no message naming the folder: $(cat "$work/1.log")"
[ ! -e "$mine.partial" ] || fail "a partial folder was left beside the user's"

# 2. The user's own complete SDK without the marker: used as it is.
git -c protocol.file.allow=always clone -q --recurse-submodules "$mirror/vst3sdk" "$work/own-sdk" 2> /dev/null
echo "local change" > "$work/own-sdk/base/notes.txt"
sdk "$work/own-sdk" > "$work/2.log" 2>&1 || fail "a complete SDK of the user's was refused: $(cat "$work/2.log")"
[ -f "$work/own-sdk/base/notes.txt" ] || fail "the user's complete SDK was changed"
[ ! -e "$work/own-sdk/.riser-sdk-complete" ] || fail "set-up wrote into the user's SDK"

# 3. Two set-ups at once into a new place: both succeed, one complete cache, no partial left.
cache=$work/cache/vst3sdk
sdk "$cache" > "$work/3a.log" 2>&1 & a=$!
sdk "$cache" > "$work/3b.log" 2>&1 & b=$!
wait $a || fail "the first of two concurrent set-ups failed: $(cat "$work/3a.log")"
wait $b || fail "the second of two concurrent set-ups failed: $(cat "$work/3b.log")"
[ -f "$cache/.riser-sdk-complete" ] && [ -f "$cache/vstgui4/vstgui/vstgui.h" ] || fail "no complete cache after concurrent set-ups"
[ ! -e "$cache.partial" ] || fail "a partial folder was left after concurrent set-ups"

# 4. Terminated while cloning (the whole process group, as a CI timeout does): no partial left.
#    (Background jobs of a script ignore SIGINT, so SIGTERM stands in for Ctrl-C here.)
shim=$work/shim
mkdir -p "$shim"
real_git=$(command -v git)
printf '#!/bin/sh\ncase "$*" in *submodule*) touch "%s"; sleep 30 ;; esac\nexec "%s" "$@"\n' \
  "$work/cloning" "$real_git" > "$shim/git"
chmod +x "$shim/git"
slow=$work/cache/slow
PATH="$shim:$PATH" VST3_SDK_ROOT=$slow setsid "$scripts/sdk_deps.sh" > "$work/4.log" 2>&1 & pid=$!
for _ in $(seq 100); do [ -e "$work/cloning" ] && break; sleep 0.1; done
[ -d "$slow.partial" ] || fail "no partial folder while cloning"
kill -TERM -- -"$pid"
wait "$pid" && fail "an interrupted set-up reported success"
[ ! -e "$slow.partial" ] || fail "an interrupted set-up left $slow.partial"
[ ! -e "$slow" ] || fail "an interrupted set-up left an incomplete $slow"

# 5. The Windows libraries and pluginval: a folder of the user's own without
#    the marker is refused before anything is fetched, and kept.
for var in RISER_WINDOWS_DEPS RISER_PLUGINVAL_ROOT; do
  script=windows_deps.sh
  [ $var = RISER_PLUGINVAL_ROOT ] && script=pluginval_deps.sh
  dir=$work/mine-$var
  mkdir -p "$dir" && echo "work in progress" > "$dir/notes.txt"
  if env "$var=$dir" RISER_LUA_URL=/nonexistent RISER_SPNG_URL=/nonexistent PLUGINVAL_URL=/nonexistent \
       "$scripts/$script" > "$work/5.log" 2>&1; then
    fail "$script accepted a folder of the user's"
  fi
  [ -f "$dir/notes.txt" ] || fail "$script deleted the user's file"
  grep -q "$dir exists but is not a complete tree" "$work/5.log" || fail "$script: no message naming $dir: $(cat "$work/5.log")"
done

# 6. A path given with a trailing "/": the lock and the stage lie beside the
#    folder, never in it, whether the folder is new or the user's empty one,
#    and the next set-up finds the cache complete.
for kind in new empty; do
  dir=$work/slash-$kind
  [ $kind = empty ] && mkdir -p "$dir"
  sdk "$dir/" > "$work/6.log" 2>&1 || fail "VST3_SDK_ROOT=$dir/ ($kind): set-up failed: $(cat "$work/6.log")"
  [ -f "$dir/.riser-sdk-complete" ] || fail "VST3_SDK_ROOT=$dir/ ($kind): no complete cache"
  for f in .lock .partial; do
    [ ! -e "$dir/$f" ] || fail "VST3_SDK_ROOT=$dir/ ($kind): set-up made $f inside the folder"
  done
  sdk "$dir/" > "$work/6b.log" 2>&1 || fail "VST3_SDK_ROOT=$dir/ ($kind): the second set-up failed: $(cat "$work/6b.log")"
  grep -q fetching "$work/6b.log" && fail "VST3_SDK_ROOT=$dir/ ($kind): the second set-up fetched again"
done
#    The same for the other caches: a folder of the user's, named with a
#    trailing "/", is refused under its own name and nothing is written into it.
for var in RISER_WINDOWS_DEPS RISER_PLUGINVAL_ROOT; do
  script=windows_deps.sh
  [ $var = RISER_PLUGINVAL_ROOT ] && script=pluginval_deps.sh
  dir=$work/slash-mine-$var
  mkdir -p "$dir" && echo "work in progress" > "$dir/notes.txt"
  env "$var=$dir/" RISER_LUA_URL=/nonexistent RISER_SPNG_URL=/nonexistent PLUGINVAL_URL=/nonexistent \
    "$scripts/$script" > "$work/6c.log" 2>&1 && fail "$script accepted $dir/"
  grep -q "$dir exists but is not a complete tree" "$work/6c.log" || fail "$script: no message naming $dir: $(cat "$work/6c.log")"
  [ "$(ls -A "$dir")" = notes.txt ] || fail "$script wrote into $dir/: $(ls -A "$dir")"
done

# 7. A lock that cannot be had stops set-up with a message, before anything is
#    fetched: the lock's name taken by a folder, and a file system without
#    locks (flock failing).
locked=$work/cache/locked
mkdir -p "$locked.lock"
if sdk "$locked" > "$work/7.log" 2>&1; then fail "set-up went on without its lock ($locked.lock a folder)"; fi
grep -q "cannot lock $locked" "$work/7.log" || fail "no message about the lock: $(cat "$work/7.log")"
[ ! -e "$locked" ] && [ ! -e "$locked.partial" ] || fail "set-up fetched without its lock"
nolock=$work/nolock
mkdir -p "$nolock"
printf '#!/bin/sh
echo "flock: no locks here" >&2
exit 1
' > "$nolock/flock"
chmod +x "$nolock/flock"
if PATH="$nolock:$PATH" sdk "$work/cache/unlocked" > "$work/7b.log" 2>&1; then
  fail "set-up went on when flock failed"
fi
grep -q "cannot lock $work/cache/unlocked" "$work/7b.log" || fail "no message about the lock: $(cat "$work/7b.log")"
[ ! -e "$work/cache/unlocked" ] && [ ! -e "$work/cache/unlocked.partial" ] || fail "set-up fetched without its lock"

[ $failures -eq 0 ] || exit 1
echo "set-up cache folders: all checks passed"
