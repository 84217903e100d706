#!/usr/bin/env bash
# Builds the release tree if needed, runs the benchmark program and writes its
# output, with the summary of ratios, to build/bench-report.txt. Every
# benchmark runs RISER_BENCH_REPS times (default 15), the repetitions of all
# of them interleaved in random order so that a busy spell of the machine
# does not fall on one of them alone; the summary takes the medians.
#   scripts/run_bench.sh [extra Google Benchmark options]
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
"$root/scripts/setup.sh" --bench
cmake -S "$root" -B "$root/build/release" -G Ninja -DCMAKE_BUILD_TYPE=Release > /dev/null
cmake --build "$root/build/release" --target riser_bench
report="$root/build/bench-report.txt"
{
  echo "Riser benchmark, $(date -u +%Y-%m-%d), $(nproc) cores: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //')"
  "$root/build/release/bin/riser_bench" --benchmark_min_time=0.2 \
    --benchmark_repetitions="${RISER_BENCH_REPS:-15}" --benchmark_enable_random_interleaving=true "$@"
} 2>&1 | tee "$report"
echo "report written to $report"
