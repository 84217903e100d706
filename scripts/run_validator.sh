#!/usr/bin/env bash
# Runs the VST3 SDK's validator on a bundle, keeps its whole output in a log and
# fails unless it reports 0 failed tests.
#   run_validator.sh VALIDATOR BUNDLE LOG
set -uo pipefail
validator=$1 bundle=$2 log=$3
mkdir -p "$(dirname "$log")"
"$validator" "$bundle" > "$log" 2>&1
status=$?
summary=$(grep -E "Result: [0-9]+ tests passed, [0-9]+ tests failed" "$log" | tail -n 1)
echo "validator: ${summary:-no result line} (exit $status, full output in $log)"
[ "$status" -eq 0 ] && echo "$summary" | grep -q " 0 tests failed"
