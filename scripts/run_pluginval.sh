#!/usr/bin/env bash
# Runs Tracktion's pluginval on a built riser.vst3 under a private X server:
#  1. strictness 10, in process, pluginval's default rates and block sizes;
#  2. the same tests twice in random order over rates 22050..384000 Hz and
#     block sizes 1, 7, 64, 480 and 4096.
# Each run's whole output stays in LOG_DIR; a failing run shows it and fails.
#   run_pluginval.sh [BUNDLE [LOG_DIR]]
# Defaults: build/release/VST3/Release/riser.vst3 and build/release/test-output/pluginval.
# pluginval comes from the set-up's cache (scripts/pluginval_deps.sh).
# Starts and stops its own Xvfb.
#   RISER_PLUGINVAL_SEED  pluginval's random seed for both runs (default 0x51fc03);
#                         "new" lets each run draw one and print it, so a failing
#                         order can be replayed.
# Why a fixed seed: pluginval's host (JUCE) hands values set on its side of a
# parameter to a VST3 plug-in only in its next processBlock. Its "Editor
# Automation" test sets such values and processes nothing, so when a random
# order puts "Plugin state restoration" right after it, that test compares the
# host's copy with a state the plug-in could never have seen, whatever the
# plug-in (seen with 0x39ed0d9). The fixed seed keeps CI's order one without
# that sequence and still varies rates, block sizes and values.
set -uo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# shellcheck source=scripts/pluginval_location.sh
source "$root/scripts/pluginval_location.sh"
bundle=${1:-$root/build/release/VST3/Release/riser.vst3}
logs=${2:-$root/build/release/test-output/pluginval}

fail() { echo "pluginval: FAIL: $*"; exit 1; }
[ -x "$RISER_PLUGINVAL_BIN" ] || fail "no pluginval at $RISER_PLUGINVAL_BIN (run scripts/setup.sh)"
[ -d "$bundle" ] || fail "no plug-in bundle at $bundle (build the riser target first)"
mkdir -p "$logs"

# shellcheck source=scripts/private_xvfb.sh
source "$root/scripts/private_xvfb.sh"
trap stop_private_xvfb EXIT
start_private_xvfb || fail "no X server for pluginval"

# v1.0.3 validates in process from the command line and ignores
# --validate-in-process; the option is passed so a newer tag does the same.
# Passes when pluginval exits with 0, found the plug-in, completed tests and
# reported no failed one (it prints "FAILED" for each failed test group).
validate() {  # name, then pluginval options
  local name=$1; shift
  local log="$logs/$name.log" start=$SECONDS status groups seed
  local seed_opts=()
  local chosen=${RISER_PLUGINVAL_SEED:-0x51fc03}
  [ "$chosen" != new ] && seed_opts=(--random-seed "$chosen")
  "$RISER_PLUGINVAL_BIN" --strictness-level 10 --validate-in-process "${seed_opts[@]}" "$@" \
    --validate "$bundle" > "$log" 2>&1
  status=$?
  groups=$(grep -c "^Completed tests in " "$log")
  seed=$(grep -m 1 -o "Random seed: 0x[0-9a-fA-F]*" "$log")
  if [ $status -ne 0 ] || [ "$groups" -eq 0 ] || grep -q "FAILED" "$log" \
     || ! grep -q "^Num plugins found: 1" "$log"; then
    cat "$log"
    echo "pluginval: replay with RISER_PLUGINVAL_SEED=${seed#Random seed: } $0 $bundle"
    fail "$name run: exit $status, $groups test groups completed, ${seed:-no seed}," \
         "$((SECONDS - start)) s (output above and in $log)"
  fi
  echo "pluginval: $name run passed: $groups test groups, ${seed:-no seed}," \
       "$((SECONDS - start)) s (output in $log)"
}

validate strict
validate randomised --repeat 2 --randomise \
  --sample-rates 22050,44100,48000,88200,96000,192000,384000 --block-sizes 1,7,64,480,4096
