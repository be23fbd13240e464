#!/usr/bin/env bash
# The program under a real Wayland compositor: weston nested in a private
# Xvfb shows the window, whose client area equals the snapshot byte for byte
# (read back with weston-screenshooter, which needs weston's --debug);
# SIGTERM ends the run with the three lines. A window without a drawing
# surface, and a compositor without an input seat (weston's headless
# backend), each give one line on standard error and status 1.
# Usage: weston_test.sh GLINTWORKS SNAPSHOT_TOOL FIND_PICTURE
APP=$1
SNAPSHOT=$2
FIND_PICTURE=$3
. "$(dirname "$0")/../e2e/lib.sh"

if ! command -v weston >/dev/null || ! command -v weston-screenshooter >/dev/null; then
  echo "weston is not installed (Debian package weston)"
  exit 1
fi

WESTON_PID=
stop_weston() {
  if [ -n "$WESTON_PID" ]; then
    kill "$WESTON_PID" 2>/dev/null
    wait "$WESTON_PID" 2>/dev/null
    WESTON_PID=
  fi
}
at_exit stop_weston

export XDG_RUNTIME_DIR=$TEST_DIR/runtime
mkdir -m 700 "$XDG_RUNTIME_DIR"
cd "$TEST_DIR" || exit 1

# start_weston BACKEND SOCKET: starts weston and waits at most 10 s for its socket.
start_weston() {
  local i
  timeout 120 weston --backend="$1" --socket="$2" --debug --idle-time=0 --width=800 --height=600 \
    >"$TEST_DIR/weston-$2.log" 2>&1 &
  WESTON_PID=$!
  for i in $(seq 1 500); do
    [ -S "$XDG_RUNTIME_DIR/$2" ] && return 0
    kill -0 "$WESTON_PID" 2>/dev/null || break
    sleep 0.02
  done
  fail "weston ($1) did not start: $(tail -5 "$TEST_DIR/weston-$2.log")"
  finish
}

# run_wayland SOCKET [VAR=VALUE...]: the program on that compositor, not on X.
run_wayland() {
  local socket=$1
  shift
  env -u DISPLAY WAYLAND_DISPLAY="$socket" "$@" "$APP" >"$TEST_DIR/stdout" 2>"$TEST_DIR/stderr" &
  APP_PID=$!
}

# expect_refused WHAT PATTERN: the program ended at once with status 1 and
# one line on standard error that matches PATTERN.
expect_refused() {
  wait_app 10
  if [ "$STATUS" != 1 ] || [ "$(wc -l < "$TEST_DIR/stderr")" -ne 1 ] || ! grep -qE "$2" "$TEST_DIR/stderr"; then
    fail "$1: status $STATUS, standard error: $(cat "$TEST_DIR/stderr")"
  else
    pass "$1: $(cat "$TEST_DIR/stderr")"
  fi
  [ -s "$TEST_DIR/stdout" ] && fail "$1: wrote to standard output"
}

start_xvfb
"$SNAPSHOT" "$TEST_DIR/default.ppm"

start_weston x11-backend.so glintworks-x11
run_wayland glintworks-x11
found=
for i in $(seq 1 50); do
  rm -f wayland-screenshot-*.png
  WAYLAND_DISPLAY=glintworks-x11 weston-screenshooter >/dev/null 2>&1
  shot=$(ls wayland-screenshot-*.png 2>/dev/null | head -n1)
  if [ -n "$shot" ] && convert "$shot" "$TEST_DIR/screen.ppm" &&
     found=$("$FIND_PICTURE" "$TEST_DIR/screen.ppm" "$TEST_DIR/default.ppm"); then
    break
  fi
  kill -0 "$APP_PID" 2>/dev/null || break
  sleep 0.2
done
if [ -n "$found" ]; then
  pass "the window shows the snapshot byte for byte at $found of weston's screen"
else
  fail "the snapshot is nowhere on weston's screen (last screenshot: $TEST_DIR/screen.ppm); stderr: $(cat "$TEST_DIR/stderr")"
fi
kill -TERM "$APP_PID" 2>/dev/null
wait_app 10
[ "$STATUS" = 0 ] && pass "SIGTERM ends the run with status 0" || fail "SIGTERM: status $STATUS"
check_statistics
[ -s "$TEST_DIR/stderr" ] && fail "standard error not empty: $(cat "$TEST_DIR/stderr")"

# Software window surfaces asked for through SDL's own variable: Wayland has
# none, and the window must be refused rather than run unseen.
run_wayland glintworks-x11 SDL_FRAMEBUFFER_ACCELERATION=0
expect_refused "no drawing surface" '^glintworks: cannot open a window: .*drawing surface'

# The compositor dies under a running program: the display is lost, as when
# an X server dies: one line naming it and status 1, not the three lines.
run_wayland glintworks-x11
# Once the window shows its picture.
for i in $(seq 1 50); do
  rm -f wayland-screenshot-*.png
  WAYLAND_DISPLAY=glintworks-x11 weston-screenshooter >/dev/null 2>&1
  shot=$(ls wayland-screenshot-*.png 2>/dev/null | head -n1)
  [ -n "$shot" ] && convert "$shot" "$TEST_DIR/screen.ppm" &&
    "$FIND_PICTURE" "$TEST_DIR/screen.ppm" "$TEST_DIR/default.ppm" >/dev/null && break
  kill -0 "$APP_PID" 2>/dev/null || break
  sleep 0.2
done
# weston itself, the child of the timeout that started it.
weston_pid=$(pgrep -P "$WESTON_PID" -x weston)
[ -n "$weston_pid" ] || fail "no weston process under $WESTON_PID"
kill -9 $weston_pid 2>/dev/null
wait "$WESTON_PID" 2>/dev/null; WESTON_PID=
expect_refused "the compositor killed" '^glintworks: lost the connection to Wayland display "glintworks-x11"$'

start_weston headless-backend.so glintworks-headless
run_wayland glintworks-headless
expect_refused "a compositor without an input seat" '^glintworks: cannot open a window: .*no input seat'
stop_weston
finish
