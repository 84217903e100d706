#!/usr/bin/env bash
# Runs the VST3 SDK's validator on a bundle, keeps its whole output in a log and
# fails unless it reports 0 failed tests.
#   run_validator.sh [RUNNER] VALIDATOR BUNDLE LOG
# RUNNER, when given, runs the validator (Wine for the Windows build); the
# bundle is then named by its Windows path on Wine's drive Z: (the root).
set -uo pipefail
runner=()
[ $# -eq 4 ] && { runner=("$1"); shift; }
validator=$1 bundle=$2 log=$3
[ ${#runner[@]} -gt 0 ] && bundle="Z:$bundle"
mkdir -p "$(dirname "$log")"
"${runner[@]}" "$validator" "$bundle" > "$log" 2>&1
status=$?
summary=$(grep -E "Result: [0-9]+ tests passed, [0-9]+ tests failed" "$log" | tail -n 1)
echo "validator: ${summary:-no result line} (exit $status, full output in $log)"
[ "$status" -eq 0 ] && echo "$summary" | grep -q " 0 tests failed"
