# Where scripts/fresh-demo.sh and scripts/check_release_linux.sh take the
# fresh-debian tool from, and what it needs; sourced.
# Only from places the user chose: $FRESH_DEBIAN, else fresh-debian on PATH,
# else shared/tools/fresh-debian beside the checkout (CI lays a copy of
# shared/ beside its clone). Never from a search of the file system: the
# tool runs as root, and a folder such as /tmp is writable by everyone.
# find_fresh_debian ROOT: prints the tool's path, or fails with a message.
find_fresh_debian() {
  local root=$1
  if [ -n "${FRESH_DEBIAN:-}" ]; then
    [ -f "$FRESH_DEBIAN" ] && [ -x "$FRESH_DEBIAN" ] \
      || { echo "fresh-demo: FRESH_DEBIAN=$FRESH_DEBIAN is not an executable file" >&2; return 1; }
    echo "$FRESH_DEBIAN"; return 0
  fi
  if command -v fresh-debian > /dev/null; then
    command -v fresh-debian; return 0
  fi
  local beside
  beside="$(dirname "$root")/shared/tools/fresh-debian"
  if [ -f "$beside" ] && [ -x "$beside" ]; then
    echo "$beside"; return 0
  fi
  echo "fresh-demo: the fresh-debian tool is missing: set FRESH_DEBIAN, put fresh-debian on" \
       "PATH or place it at $beside" >&2
  return 1
}

# ensure_debootstrap: installs debootstrap (the tool builds its root with it)
# when it is missing.
ensure_debootstrap() {
  dpkg-query -W -f='${Status}' debootstrap 2>/dev/null | grep -q "install ok installed" && return 0
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  echo "fresh-debian: installing debootstrap"
  $sudo apt-get update -q
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q debootstrap
}
