#!/usr/bin/env bash
# Makes a staged tree independent of the machine's umask and clock: folders
# and executables 0755, other files 0644, every time stamp SOURCE_DATE_EPOCH.
#   scripts/release_normalise.sh TREE
set -euo pipefail
tree=$1
: "${SOURCE_DATE_EPOCH:?SOURCE_DATE_EPOCH must be set}"
find "$tree" -type d -exec chmod 0755 {} +
find "$tree" -type f -perm /u+x -exec chmod 0755 {} +
find "$tree" -type f ! -perm /u+x -exec chmod 0644 {} +
find "$tree" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
