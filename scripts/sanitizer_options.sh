# The sanitizers' run-time options for the test runs; sourced by scripts/test.sh.
# The sanitizers split their options at spaces, so a path in them is quoted
# ('…'): a checkout whose path holds a space works like any other.
# riser_lsan_options ROOT: the leak checker's options with our suppressions
# (system libraries behind VSTGUI keep some memory until exit; see
# tests/lsan.supp), then whatever LSAN_OPTIONS already holds.
riser_lsan_options() {
  local supp="$1/tests/lsan.supp"
  case "$supp" in
    *\'*) echo "test: the checkout's path may not contain a single quote: $1" >&2; return 1 ;;
  esac
  printf "suppressions='%s' %s" "$supp" "${LSAN_OPTIONS:-}"
}
