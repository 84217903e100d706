#!/usr/bin/env bash
# Runs each libFuzzer target for a while. The fuzzers come from a clang build
# configured with -DRISER_FUZZ=ON (scripts/test.sh makes one in build/asan).
#   scripts/fuzz.sh [SECONDS_PER_TARGET] [BUILD_DIR]
# Corpora grow in BUILD_DIR/fuzz-corpus/<target>; crashes are written to
# BUILD_DIR/fuzz-crashes/ and end the run with a non-zero status. A crash worth
# keeping becomes a regression input under fuzz/regressions/<target>/.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
seconds=${1:-60}
build=${2:-$root/build/asan}
bin=$(find "$build/bin" -maxdepth 2 -name fuzz_state -type f -printf '%h\n' | head -n 1)
if [ -z "$bin" ]; then
  echo "fuzz: no fuzz targets in $build (configure with CC=clang CXX=clang++ -DRISER_FUZZ=ON)" >&2
  exit 2
fi
mkdir -p "$build/fuzz-crashes"
for target in fuzz_state fuzz_parse_value fuzz_process; do
  corpus="$build/fuzz-corpus/$target"
  mkdir -p "$corpus"
  seeds=()
  [ -d "$root/fuzz/seeds/$target" ] && seeds+=("$root/fuzz/seeds/$target")
  echo "== $target: ${seconds}s"
  "$bin/$target" -max_total_time="$seconds" -max_len=16384 -timeout=10 -rss_limit_mb=2048 \
    -artifact_prefix="$build/fuzz-crashes/$target-" -print_final_stats=1 "$corpus" "${seeds[@]}" \
    > "$build/fuzz-$target.log" 2>&1 || { tail -n 40 "$build/fuzz-$target.log"; exit 1; }
  grep -E "^stat::number_of_executed_units|^stat::new_units_added" "$build/fuzz-$target.log" | tr '\n' ' '
  echo
done
