#!/usr/bin/env bash
# The window titled "Glintworks" appears and shows, byte for byte, the picture
# the snapshot tool renders; a left drag moves and brightens the orange sphere
# while held and gives its colour back on release; a Ctrl drag moves it in depth.
# Usage: picture_test.sh GLINTWORKS SNAPSHOT_TOOL
APP=$1
SNAPSHOT=$2
. "$(dirname "$0")/lib.sh"

start_xvfb
start_app
id=$(find_window) || { fail "no window titled Glintworks appeared"; cat "$TEST_DIR/stderr"; finish; }
pass "window titled Glintworks appeared"

geometry=$(xwininfo -id "$id" | awk '/Width:/ {w=$2} /Height:/ {h=$2} END {print w "x" h}')
[ "$geometry" = 320x240 ] || fail "client area is $geometry, not 320x240"

"$SNAPSHOT" "$TEST_DIR/default.png"
if expect_window_shows "$id" "$TEST_DIR/default.png" "$TEST_DIR/shot-default.png"; then
  pass "window equals the snapshot"
else
  fail "window differs from the snapshot: $TEST_DIR/shot-default.png vs $TEST_DIR/default.png"
fi

# Left drag of the orange sphere from (160, 120) to (170, 110), held.
"$SNAPSHOT" --drag 160,120,170,110 --held "$TEST_DIR/held.png"
"$SNAPSHOT" --drag 160,120,170,110 "$TEST_DIR/released.png"
xdo mousemove --window "$id" 160 120 mousedown 1 mousemove --window "$id" 170 110
if expect_window_shows "$id" "$TEST_DIR/held.png" "$TEST_DIR/shot-held.png"; then
  pass "held drag shows the moved, brightened sphere"
else
  fail "held drag: $TEST_DIR/shot-held.png vs $TEST_DIR/held.png"
fi
xdo mouseup 1
if expect_window_shows "$id" "$TEST_DIR/released.png" "$TEST_DIR/shot-released.png"; then
  pass "release gives the sphere its colour back where it was dropped"
else
  fail "release: $TEST_DIR/shot-released.png vs $TEST_DIR/released.png"
fi

# A Ctrl drag from where the sphere now is: pointer up pushes it away.
"$SNAPSHOT" --drag 160,120,170,110 --ctrl --drag 170,110,180,100 "$TEST_DIR/depth.png"
"$SNAPSHOT" --drag 160,120,170,110 --ctrl --drag 170,110,180,100 --held "$TEST_DIR/depth-held.png"
xdo keydown ctrl mousemove --window "$id" 170 110 mousedown 1 mousemove --window "$id" 180 100
if expect_window_shows "$id" "$TEST_DIR/depth-held.png" "$TEST_DIR/shot-depth-held.png"; then
  pass "Ctrl drag moves the sphere in depth"
else
  fail "Ctrl drag: $TEST_DIR/shot-depth-held.png vs $TEST_DIR/depth-held.png"
fi
xdo mouseup 1 keyup ctrl
if expect_window_shows "$id" "$TEST_DIR/depth.png" "$TEST_DIR/shot-depth.png"; then
  pass "Ctrl drag release"
else
  fail "Ctrl drag release: $TEST_DIR/shot-depth.png vs $TEST_DIR/depth.png"
fi

xdo key --window "$id" Escape
wait_app 10; status=$STATUS
[ "$status" = 0 ] || fail "exit status after Esc: $status"
check_statistics
xvfb_stop

# The X server in an IPC namespace of its own (as in a container given the X
# socket), where segments with the ids of ours hold other pixels: the window
# must still show the picture. The program runs in a fresh namespace too, so
# that its segments get the ids the server's black ones have.
if unshare --ipc true 2>/dev/null; then
  : > "$TEST_DIR/display"
  unshare --ipc sh -c 'for i in 1 2 3 4 5 6 7 8; do ipcmk -M 1048576 >/dev/null; done
                       exec Xvfb $0 -displayfd 3 -screen 0 640x480x24 -noreset -nolisten tcp' "${XVFB_DISPLAYS:+:${XVFB_DISPLAYS%-*}}" \
    3>"$TEST_DIR/display" 2>"$TEST_DIR/xvfb.log" &
  XVFB_PID=$!
  for i in $(seq 1 250); do [ -s "$TEST_DIR/display" ] && break; sleep 0.02; done
  export DISPLAY=":$(head -n1 "$TEST_DIR/display")"
  unshare --ipc "$APP" >"$TEST_DIR/stdout" 2>"$TEST_DIR/stderr" &
  APP_PID=$!
  id=$(find_window) || fail "no window with the X server in another IPC namespace"
  if [ -n "$id" ] && expect_window_shows "$id" "$TEST_DIR/default.png" "$TEST_DIR/shot-namespace.png"; then
    pass "the X server in another IPC namespace shows our picture, not its own segments"
  else
    fail "X server in another IPC namespace: $TEST_DIR/shot-namespace.png vs $TEST_DIR/default.png"
  fi
  stop_process "$APP_PID"; APP_PID=
  xvfb_stop
else
  echo "skipped: the X server in another IPC namespace (unshare --ipc is not permitted here)"
fi

# DISPLAY names the second screen of a server with two: the window opens
# there, and shows the picture.
XVFB_ARGS="-screen 1 640x480x24" start_xvfb 800x600
export DISPLAY=$DISPLAY.1
start_app
id=$(xdotool search --screen 1 --name '^Glintworks$' 2>/dev/null | head -n1)
for i in $(seq 1 500); do
  [ -n "$id" ] && break
  sleep 0.02
  id=$(xdotool search --screen 1 --name '^Glintworks$' 2>/dev/null | head -n1)
done
if [ -z "$id" ]; then
  fail "DISPLAY $DISPLAY: no window on screen 1; $(cat "$TEST_DIR/stderr")"
elif expect_window_shows "$id" "$TEST_DIR/default.png" "$TEST_DIR/shot-screen-1.png"; then
  pass "DISPLAY $DISPLAY: the window opens on screen 1 and shows the picture"
else
  fail "DISPLAY $DISPLAY: $TEST_DIR/shot-screen-1.png vs $TEST_DIR/default.png"
fi
stop_process "$APP_PID"; APP_PID=
xvfb_stop

# A 30-bit display: the picture shows with each 8-bit channel widened to 10
# bits exactly (its bits repeated), read back from the server's own pixels.
XVFB_DEPTH=30 start_xvfb 640x480
start_app
id=$(find_window) || { fail "no window on a 30-bit display: $(cat "$TEST_DIR/stderr")"; finish; }
"$SNAPSHOT" "$TEST_DIR/default.ppm"
shown=
for i in $(seq 1 50); do
  xwd -silent -id "$id" > "$TEST_DIR/shot-30.xwd" 2>/dev/null &&
    python3 "$(dirname "$0")/xwd_equals.py" "$TEST_DIR/shot-30.xwd" "$TEST_DIR/default.ppm" && { shown=1; break; }
  sleep 0.1
done
[ -n "$shown" ] && pass "a 30-bit display shows the picture, each channel widened exactly" ||
  fail "30-bit display: $TEST_DIR/shot-30.xwd does not show $TEST_DIR/default.ppm; $(cat "$TEST_DIR/stderr")"
xdo key --window "$id" Escape
wait_app 10
[ "$STATUS" = 0 ] || fail "30-bit display: status $STATUS after Esc"
finish
