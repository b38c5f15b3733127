# Sourced by the scripts that need a private X display (tests, run,
# screenshots, benchmarks, the Wine runner).
#
# start_xvfb FIRST LAST: starts Xvfb on the first free display number in
#   FIRST..LAST and waits until it answers; exports DISPLAY and sets
#   xvfb_pid. Returns 1 when no display came up. VELMOR_XVFB_DISPLAYS="F L"
#   overrides the range (for machines that several people share).
# stop_xvfb: stops the Xvfb that start_xvfb started here, if any, and waits
#   for it.
# need_display FIRST LAST: when there is no DISPLAY, start_xvfb, and stop
#   that Xvfb when this shell ends, however it ends.

start_xvfb() {
  local first=$1 last=$2 n pid
  if [ -n "${VELMOR_XVFB_DISPLAYS:-}" ]; then
    read -r first last <<< "$VELMOR_XVFB_DISPLAYS"
  fi
  for n in $(seq "$first" "$last"); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
    # Descriptor 9 is the Wine runner's lock: a display that outlives the
    # runner must not hold it.
    Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp </dev/null >/dev/null 2>&1 9>&- &
    pid=$!
    # Up when a client can connect (a loaded machine may take seconds);
    # a display that another program took first makes Xvfb exit.
    for _ in $(seq 1 100); do
      kill -0 "$pid" 2>/dev/null || break
      xdpyinfo -display ":$n" >/dev/null 2>&1 && { xvfb_pid=$pid; export DISPLAY=":$n"; return 0; }
      sleep 0.1
    done
    kill "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
  done
  echo "xvfb: no display came up in $first..$last" >&2
  return 1
}

stop_xvfb() {
  [ -n "${xvfb_pid:-}" ] || return 0
  kill "$xvfb_pid" 2>/dev/null
  wait "$xvfb_pid" 2>/dev/null
  xvfb_pid=""
}

need_display() {
  [ -n "${DISPLAY:-}" ] && return 0
  start_xvfb "$1" "$2" || return 1
  # A watcher ends the display with this shell, whatever traps it sets.
  ( while kill -0 $$ 2>/dev/null; do sleep 1; done; kill "$xvfb_pid" 2>/dev/null ) \
    </dev/null >/dev/null 2>&1 9>&- &
  disown $! 2>/dev/null || true
}
