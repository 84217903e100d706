# A private X server for scripts that open windows; sourced.
#   start_private_xvfb || fail "..."   starts Xvfb on a free display, exports
#                                      DISPLAY and sets the root atom the
#                                      editor's toolkit needs; on failure
#                                      nothing of it is left running
#   stop_private_xvfb                  stops it (safe to call twice, and
#                                      before or without a start)
xvfb_pid='' xvfb_fifo=''

start_private_xvfb() {
  # Xvfb picks a free display and reports its number through a pipe.
  xvfb_fifo=$(mktemp -u) && mkfifo "$xvfb_fifo" || { echo "Xvfb: no fifo" >&2; xvfb_fifo=''; return 1; }
  Xvfb -displayfd 3 -noreset -nolisten tcp -screen 0 1024x768x24 3>"$xvfb_fifo" 2>/dev/null &
  xvfb_pid=$!
  local number
  read -r -t 10 number <"$xvfb_fifo" || { echo "Xvfb did not start" >&2; stop_private_xvfb; return 1; }
  export DISPLAY=":$number"
  # The toolkit's windows announce themselves through this atom; it must exist.
  xprop -root -f _XEMBED_INFO 32c -set _XEMBED_INFO 0 \
    || { echo "xprop could not set _XEMBED_INFO" >&2; stop_private_xvfb; return 1; }
}

stop_private_xvfb() {
  if [ -n "$xvfb_pid" ]; then
    kill "$xvfb_pid" 2>/dev/null || true
    wait "$xvfb_pid" 2>/dev/null || true
  fi
  if [ -n "$xvfb_fifo" ]; then rm -f "$xvfb_fifo"; fi
  xvfb_pid='' xvfb_fifo=''
}
