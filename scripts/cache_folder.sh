# Safe handling of the set-up's cache folders; sourced by the set-up scripts.
#
# A cache folder is built in ROOT.partial and renamed to ROOT only when it is
# complete (it then holds its marker file). Set-up deletes nothing but its own
# ROOT.partial and, when it replaces an older cache of its own (one holding a
# marker of an earlier version), that older cache. A folder at ROOT without a
# marker is the user's own: used as it is when it looks complete, otherwise
# refused with a message; never deleted. ROOT.lock serialises set-ups that
# share a cache, so two concurrent runs build it once.

# cache_check ROOT MARKER OWN_GLOB USABLE_FN: decides what to do with ROOT.
# Returns 0 when ROOT is ready (complete, or the user's own usable tree),
# 1 when it must be built; exits with a message when ROOT is the user's folder
# and not usable. OWN_GLOB matches the marker files of any version of ours.
cache_check() {
  local root=$1 marker=$2 own_glob=$3 usable=$4
  [ -f "$marker" ] && "$usable" "$root" && return 0
  [ -e "$root" ] || return 1
  [ -d "$root" ] || { echo "setup: $root is not a folder; remove it or choose another place" >&2; exit 1; }
  # An older cache of ours, or an empty folder: built anew.
  compgen -G "$root/$own_glob" > /dev/null && return 1
  [ -z "$(ls -A "$root")" ] && return 1
  if "$usable" "$root"; then
    echo "setup: using $root as it is (a tree of your own: set-up never changes it)"
    return 0
  fi
  echo "setup: $root exists but is not a complete tree set-up made or can use;" \
       "it is left untouched. Point the variable at a complete tree, or move the" \
       "folder away and run set-up again to have it fetched there." >&2
  exit 1
}

# cache_begin ROOT: waits for any other set-up of ROOT, then sets cache_stage
# (ROOT.partial, emptied) and removes it again on exit or interruption. Stops
# set-up with a message when the lock cannot be had: without it two set-ups
# could build one stage at once.
cache_begin() {
  local root=$1 parent
  parent=$(dirname "$root")
  mkdir -p "$parent" || cache_no_lock "$root" "cannot make the folder $parent"
  # (A failed redirection of `exec` returns instead of ending the shell.)
  exec {cache_lock_fd}> "$root.lock" || cache_no_lock "$root" "cannot open $root.lock"
  if ! flock -n "$cache_lock_fd"; then
    echo "setup: waiting for another set-up of $root"
    flock "$cache_lock_fd" || cache_no_lock "$root" "flock failed on $root.lock"
  fi
  cache_stage="$root.partial"
  trap 'rm -rf "$cache_stage" "${cache_temp[@]}"' EXIT
  trap 'exit 130' INT
  trap 'exit 143' TERM
  trap 'exit 129' HUP
  rm -rf "$cache_stage"
}
cache_temp=()

cache_no_lock() {  # root, reason
  echo "setup: cannot lock $1 against other set-ups ($2); set-up stops." \
       "Choose a place where you can write and lock files." >&2
  exit 1
}

# cache_prepare ROOT MARKER OWN_GLOB USABLE_FN: ends the calling script with
# status 0 when ROOT is ready; otherwise returns holding ROOT's lock
# (cache_begin) after checking again, as another set-up may have finished it
# meanwhile. Called as a command of its own, never in a condition, so that
# `set -e` holds inside. ROOT must be normalised (no trailing "/"): the
# location scripts do it.
cache_prepare() {
  if cache_check "$@"; then exit 0; fi
  cache_begin "$1"
  if cache_check "$@"; then exit 0; fi
}

# cache_commit ROOT OWN_GLOB: puts the complete stage in place. What is at ROOT
# now is empty or an older cache of ours (cache_check made sure): it is
# renamed away first, so ROOT is always either complete or absent.
cache_commit() {
  local root=$1 own_glob=$2 old=""
  if [ -e "$root" ]; then
    if [ -z "$(ls -A "$root")" ]; then
      rmdir "$root"
    elif compgen -G "$root/$own_glob" > /dev/null; then
      old="$root.old.$$"
      mv "$root" "$old"
    else
      echo "setup: $root was filled while set-up ran; it is left untouched" >&2
      exit 1
    fi
  fi
  mv "$cache_stage" "$root"
  [ -z "$old" ] || rm -rf "$old"
}
