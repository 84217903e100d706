#!/usr/bin/env bash
# The whole test run, as CI runs it:
#  1. set-up if needed (Debian packages, the VST3 SDK cache, pluginval);
#  2. build/release: everything with GCC, and every test (the SDK's validator
#     on riser.vst3 and the editor tests under Xvfb among them), then
#     Tracktion's pluginval on riser.vst3 (scripts/run_pluginval.sh);
#  3. build/asan: everything again with clang under AddressSanitizer +
#     UndefinedBehaviorSanitizer, every test, then a short run of each fuzzer;
#  4. build/tsan: the engine, the plug-in and their tests under ThreadSanitizer.
# Stops at the first failure with a non-zero status.
#   RISER_JOBS   parallel jobs (default: the number of cores)
#   RISER_FUZZ_SECONDS   seconds per fuzzer in step 3 (default 15)
#   RISER_CCACHE   0: do not use ccache even when it is installed
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
jobs=${RISER_JOBS:-$(nproc)}
fuzz_seconds=${RISER_FUZZ_SECONDS:-15}

"$root/scripts/setup.sh" --pluginval
# shellcheck source=scripts/compiler_cache.sh
source "$root/scripts/compiler_cache.sh"

run_suite() {  # name, then cmake arguments
  local name=$1; shift
  local dir="$root/build/$name"
  mkdir -p "$dir"
  echo "== $name: configure and build ($(date +%T))"
  cmake -S "$root" -B "$dir" -G Ninja "${cache_args[@]}" "$@" > "$dir/configure.log" 2>&1 \
    || { cat "$dir/configure.log"; exit 1; }
  cmake --build "$dir" -j "$jobs"
  echo "== $name: tests ($(date +%T))"
  ctest --test-dir "$dir" --output-on-failure -j "$jobs"
}

run_suite release -DCMAKE_BUILD_TYPE=Release
echo "== release: pluginval ($(date +%T))"
"$root/scripts/run_pluginval.sh" "$root/build/release/VST3/Release/riser.vst3" \
  "$root/build/release/test-output/pluginval"

# Sanitizer builds: -O1 with line tables only keeps them quick to build and
# still gives readable reports.
san_flags=(-DCMAKE_BUILD_TYPE=RelWithDebInfo "-DCMAKE_C_FLAGS_RELWITHDEBINFO=-O1 -g1 -DNDEBUG"
           "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O1 -g1 -DNDEBUG")

# shellcheck source=scripts/sanitizer_options.sh
source "$root/scripts/sanitizer_options.sh"
LSAN_OPTIONS=$(riser_lsan_options "$root")
export LSAN_OPTIONS
CC=clang CXX=clang++ run_suite asan "${san_flags[@]}" -DRISER_SANITIZE=address,undefined -DRISER_FUZZ=ON
echo "== asan: fuzzing, ${fuzz_seconds}s per target ($(date +%T))"
"$root/scripts/fuzz.sh" "$fuzz_seconds" "$root/build/asan"

TSAN_OPTIONS="halt_on_error=1 ${TSAN_OPTIONS:-}" run_suite tsan "${san_flags[@]}" \
  -DRISER_ENGINE_ONLY=ON -DRISER_SANITIZE=thread

echo "== all tests passed ($(date +%T))"
