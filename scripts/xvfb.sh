# Running programs in a private virtual X server: sourced by the demo, the
# soak, the benchmarks and the tests that need a real X server. Every wait is
# bounded, and what was started is stopped with xvfb_stop and stop_process.

# xvfb_start DIR [WxH]: starts Xvfb on the first free display with a screen of
# WxH (default 1280x1024) at 24 bits, exports DISPLAY and sets XVFB_PID; its log
# goes to DIR/xvfb.log. -noreset, or it resets when its last client leaves and
# refuses the next one; no auto-repeat, so a held key sends one press. Waits at
# most 5 s per display; returns 1, with the log on standard error, if it did
# not start.
# XVFB_ARGS, if set, adds options (such as "-extension MIT-SHM", a server
# without shared memory, as a remote display is); XVFB_DEPTH replaces the 24
# bits. XVFB_DISPLAYS=FIRST-LAST, if
# set, keeps to those display numbers (a machine whose users share out the
# displays); otherwise Xvfb takes the first free one from 0.
xvfb_start() {
  local dir=$1 size=${2:-1280x1024} i display
  local displays=("")
  if [ -n "${XVFB_DISPLAYS:-}" ]; then
    mapfile -t displays < <(seq -f ':%g' "${XVFB_DISPLAYS%-*}" "${XVFB_DISPLAYS#*-}")
  fi
  for display in "${displays[@]}"; do
    : > "$dir/display"
    # shellcheck disable=SC2086 # XVFB_ARGS is a list of options
    Xvfb $display -displayfd 3 -screen 0 "${size}x${XVFB_DEPTH:-24}" -noreset -nolisten tcp ${XVFB_ARGS:-} \
      3>"$dir/display" 2>"$dir/xvfb.log" &
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
    # Taken, or too slow: this one is stopped before the next is tried.
    kill "$XVFB_PID" 2>/dev/null
    wait "$XVFB_PID" 2>/dev/null
    XVFB_PID=
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

# xvfb_stop: stops the Xvfb that xvfb_start started, if it still runs.
xvfb_stop() {
  if [ -n "${XVFB_PID:-}" ]; then
    kill "$XVFB_PID" 2>/dev/null
    wait "$XVFB_PID" 2>/dev/null
    XVFB_PID=
  fi
  return 0
}

# stop_process PID: kills PID, a child of this shell, if it still runs, and
# reaps it. Nothing for an empty PID.
stop_process() {
  [ -n "${1:-}" ] || return 0
  kill -9 "$1" 2>/dev/null
  wait "$1" 2>/dev/null
  return 0
}

# wait_exit PID SECONDS: waits at most SECONDS for PID, a child of this shell,
# to end, and sets STATUS to its exit status, or to "timeout". Call it in the
# shell that started PID, not in a subshell: only that shell can wait for it.
wait_exit() {
  local pid=$1 i
  STATUS=timeout
  for i in $(seq 1 $(( ${2:-10} * 50 ))); do
    if ! kill -0 "$pid" 2>/dev/null; then
      wait "$pid"
      STATUS=$?
      return 0
    fi
    sleep 0.02
  done
  return 0
}

# xdo ARGS: xdotool ARGS, then one round trip to the server before it exits.
# The server keeps the order of each connection's requests, not of requests
# from different connections: without it, a release xdotool sent last could be
# handled after the next xdotool's motions, a drag ending where it should not.
xdo() { xdotool "$@" getmouselocation >/dev/null; }
