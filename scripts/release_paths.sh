# The release's check that its binaries hold no path of this machine; sourced
# by scripts/release.sh and scripts/release_windows.sh after `fail` is set.
# release_check_paths FILE PATH...: fails naming the first PATH that FILE
# holds, or when FILE cannot be read. Trailing "/" are dropped; what is left
# empty is skipped: the user's home may be unset, or "/" (a system user's),
# which every file would "hold".
release_check_paths() {
  local file=$1 p status; shift
  for p in "$@"; do
    p=${p%"${p##*[!/]}"}
    [ -n "$p" ] || continue
    status=0
    grep -qaF -- "$p" "$file" || status=$?
    case $status in
      0) fail "$(basename "$file") contains the path $p" ;;
      1) ;;
      *) fail "cannot read $file to check it for paths of this machine" ;;
    esac
  done
}
