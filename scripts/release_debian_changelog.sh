#!/usr/bin/env bash
# The Debian changelog of the package, dated by SOURCE_DATE_EPOCH.
#   scripts/release_debian_changelog.sh VERSION
set -euo pipefail
: "${SOURCE_DATE_EPOCH:?SOURCE_DATE_EPOCH must be set}"
cat <<CHANGES
riser ($1-1) unstable; urgency=medium

  * Riser $1: see changelog.gz beside this file.

 -- Corvid Signal LLC <packages@corvidsignal.invalid>  $(LC_ALL=C date -u -R -d "@$SOURCE_DATE_EPOCH")
CHANGES
