# A private X server for scripts that open windows; sourced.
#   start_private_xvfb || fail "..."   starts Xvfb on a free display, exports
#                                      DISPLAY and sets the root atom the
#                                      editor's toolkit needs
#   stop_private_xvfb                  stops it (safe to call twice)
xvfb_pid='' xvfb_fifo=''

start_private_xvfb() {
  # Xvfb picks a free display and reports its number through a pipe.
  xvfb_fifo=$(mktemp -u) && mkfifo "$xvfb_fifo" || { echo "Xvfb: no fifo" >&2; return 1; }
  Xvfb -displayfd 3 -noreset -nolisten tcp -screen 0 1024x768x24 3>"$xvfb_fifo" 2>/dev/null &
  xvfb_pid=$!
  local number
  read -r -t 10 number <"$xvfb_fifo" || { echo "Xvfb did not start" >&2; return 1; }
  export DISPLAY=":$number"
  # The toolkit's windows announce themselves through this atom; it must exist.
  xprop -root -f _XEMBED_INFO 32c -set _XEMBED_INFO 0 || { echo "xprop could not set _XEMBED_INFO" >&2; return 1; }
}

stop_private_xvfb() {
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
  [ -n "$xvfb_fifo" ] && rm -f "$xvfb_fifo"
  xvfb_pid='' xvfb_fifo=''
}
