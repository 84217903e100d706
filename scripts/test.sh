#!/usr/bin/env bash
# The whole test run: set-up if needed, the full build and every test, then the
# engine tests again under AddressSanitizer + UndefinedBehaviorSanitizer and
# under ThreadSanitizer. Build trees live under build/ in the checkout.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
jobs=${RISER_JOBS:-$(nproc)}

"$root/scripts/setup.sh"

run_suite() {  # name, ctest args..., -- cmake args...
  local name=$1; shift
  local ctest_args=()
  while [ $# -gt 0 ] && [ "$1" != "--" ]; do ctest_args+=("$1"); shift; done
  shift
  local dir="$root/build/$name"
  echo "== $name: configure and build"
  cmake -S "$root" -B "$dir" -G Ninja "$@" > "$dir.configure.log" 2>&1 \
    || { cat "$dir.configure.log"; exit 1; }
  cmake --build "$dir" -j "$jobs"
  echo "== $name: tests"
  ctest --test-dir "$dir" --output-on-failure -j "$jobs" "${ctest_args[@]}"
}

mkdir -p "$root/build"
run_suite release -- -DCMAKE_BUILD_TYPE=Release
run_suite asan -- -DCMAKE_BUILD_TYPE=RelWithDebInfo -DRISER_ENGINE_ONLY=ON \
  -DRISER_SANITIZE=address,undefined
TSAN_OPTIONS="halt_on_error=1 ${TSAN_OPTIONS:-}" \
  run_suite tsan -- -DCMAKE_BUILD_TYPE=RelWithDebInfo -DRISER_ENGINE_ONLY=ON -DRISER_SANITIZE=thread
echo "== all tests passed"
