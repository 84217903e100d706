# The release's version and sources, shared by scripts/release.sh and
# scripts/release_windows.sh; sourced after `root`, `fail` and the SDK's
# location are set.
# release_source WORK: sets `version` (from CMakeLists.txt), `commit` (HEAD)
# and exports SOURCE_DATE_EPOCH (the commit's time), then lays the committed
# tree out in WORK/src (WORK emptied first; uncommitted changes are left
# out) with the Steinberg licence texts copied into its notices from the SDK.
release_source() {
  local work=$1 f
  version=$(sed -n 's/^project(riser VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
  [ -n "$version" ] || fail "no version in CMakeLists.txt"
  commit=$(git -C "$root" rev-parse HEAD)
  SOURCE_DATE_EPOCH=$(git -C "$root" log -1 --format=%ct HEAD)
  export SOURCE_DATE_EPOCH
  rm -rf "$work"
  mkdir -p "$work/src"
  git -C "$root" archive "$commit" | tar -x -C "$work/src"
  for f in THIRD_PARTY_NOTICES packaging/debian/copyright; do
    "$work/src/scripts/release_notices.sh" "$VST3_SDK_ROOT_RESOLVED" "$work/src/$f" > "$work/notices.tmp"
    mv "$work/notices.tmp" "$work/src/$f"
  done
}
