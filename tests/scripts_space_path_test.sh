#!/usr/bin/env bash
# The scripts from a checkout whose path holds spaces: the sanitizer options
# scripts/test.sh sets must name the suppressions file so that a sanitized
# program reads it, and the set-up scripts must work there too.
#   tests/scripts_space_path_test.sh SOURCE_DIR WORK_DIR
set -euo pipefail
src=$1
work=$2
rm -rf "$work"
checkout="$work/my projects/riser checkout"
mkdir -p "$checkout/tests"
cp -r "$src/scripts" "$checkout/"
cp "$src/tests/lsan.supp" "$checkout/tests/"

# A program under AddressSanitizer that leaks 10 bytes, with the leak
# checker's options as the test run sets them: the leak must be reported
# (the options parsed, the suppressions file read), and a missing
# suppressions file must be reported under its full name.
cc=$(command -v clang || command -v gcc)
printf '#include <stdlib.h>\nvoid *volatile p;\nint main(void) { p = malloc(10); p = 0; return 0; }\n' > "$work/leak.c"
"$cc" -fsanitize=address "$work/leak.c" -o "$work/leak"
# shellcheck source=scripts/sanitizer_options.sh
source "$checkout/scripts/sanitizer_options.sh"
# Options the test run itself exported would follow ours and win: start clean.
unset LSAN_OPTIONS
LSAN_OPTIONS=$(riser_lsan_options "$checkout")
export LSAN_OPTIONS
"$work/leak" > "$work/asan.log" 2>&1 || true
if ! grep -q "SUMMARY: AddressSanitizer: 10 byte(s) leaked" "$work/asan.log" || grep -q "ERROR: expected\|failed to read" "$work/asan.log"; then
  echo "FAIL: LSAN_OPTIONS=$LSAN_OPTIONS does not work from $checkout:"
  cat "$work/asan.log"
  exit 1
fi
mv "$checkout/tests/lsan.supp" "$checkout/tests/moved.supp"
"$work/leak" > "$work/asan-missing.log" 2>&1 || true
grep -qF "failed to read suppressions file '$checkout/tests/lsan.supp'" "$work/asan-missing.log" \
  || { echo "FAIL: the leak checker did not look for $checkout/tests/lsan.supp:"; cat "$work/asan-missing.log"; exit 1; }
mv "$checkout/tests/moved.supp" "$checkout/tests/lsan.supp"
unset LSAN_OPTIONS

# The set-up scripts from there, with their cache folders there too.
"$src/tests/scripts_setup_cache_test.sh" "$checkout/scripts" "$work/setup cache"
echo "scripts from a path with spaces: all checks passed"
