# Running programs in a private virtual X server: sourced by the demo, the
# soak, the benchmarks and the tests that need a real X server.

# xvfb_start DIR [WxH]: starts Xvfb on the first free display with a screen of
# WxH (default 1280x1024) at 24 bits, exports DISPLAY and sets XVFB_PID; its log
# goes to DIR/xvfb.log. -noreset, or it resets when its last client leaves and
# refuses the next one; no auto-repeat, so a held key sends one press. Waits at
# most 5 s; returns 1, with the log on standard error, if it did not start.
# XVFB_ARGS, if set, adds options (such as "-extension MIT-SHM", a server
# without shared memory, as a remote display is).
xvfb_start() {
  local dir=$1 size=${2:-1280x1024} i
  : > "$dir/display"
  # shellcheck disable=SC2086 # XVFB_ARGS is a list of options
  Xvfb -displayfd 3 -screen 0 "${size}x24" -noreset -nolisten tcp ${XVFB_ARGS:-} 3>"$dir/display" 2>"$dir/xvfb.log" &
  XVFB_PID=$!
  for i in $(seq 1 250); do
    if [ -s "$dir/display" ]; then
      export DISPLAY=":$(head -n1 "$dir/display")"
      xset r off 2>/dev/null
      return 0
    fi
    kill -0 "$XVFB_PID" 2>/dev/null || break
    sleep 0.02
  done
  echo "could not start Xvfb:" >&2
  cat "$dir/xvfb.log" >&2
  return 1
}

# xvfb_find_window TITLE: prints the id of the window whose title is exactly
# TITLE, polling every 20 ms (xdotool's own --sync sleeps half a second between
# looks) for at most 10 s; returns 1 if none appeared.
xvfb_find_window() {
  local i id
  for i in $(seq 1 500); do
    id=$(xdotool search --name "^$1\$" 2>/dev/null | head -n1)
    if [ -n "$id" ]; then echo "$id"; return 0; fi
    sleep 0.02
  done
  return 1
}
