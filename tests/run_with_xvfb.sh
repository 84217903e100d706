#!/usr/bin/env bash
# Runs a command with a private X server (its own DISPLAY) and returns its
# status: under Wine, Direct2D renders through wined3d, which needs a display
# even for offscreen bitmaps.
#   run_with_xvfb.sh COMMAND [ARGS...]
set -uo pipefail
# shellcheck source=scripts/private_xvfb.sh
source "$(dirname "${BASH_SOURCE[0]}")/../scripts/private_xvfb.sh"
trap stop_private_xvfb EXIT
start_private_xvfb || { echo "no X server for $1" >&2; exit 1; }
"$@"
