#!/usr/bin/env bash
# Input as it really arrives: a drag that leaves the window and is released
# there, reported in one burst; a second button clicked during a drag; the
# keyboard focus moving away while Esc is held; the window destroyed by
# another program.
# Usage: input_test.sh GLINTWORKS SNAPSHOT_TOOL
APP=$1
SNAPSHOT=$2
. "$(dirname "$0")/lib.sh"

# The orange sphere dragged out of the top of the window and dropped there.
"$SNAPSHOT" --drag 160,120,150,-30 "$E2E_DIR/dropped-above.png"
"$SNAPSHOT" "$E2E_DIR/default.png"

# Waits until window $1 shows the scene: the program is past its start and
# handles input (a slow one, such as the arm64 build under qemu, may not be
# when its window first appears).
wait_for_scene() {
  expect_window_shows "$1" "$E2E_DIR/default.png" "$E2E_DIR/shot-start.png" ||
    fail "the window did not show the scene"
}

start_xvfb

# Press, motion out of the window and release while the program is stopped,
# so that all three reach it in one batch, before the press is handled.
start_app
id=$(find_window) || { fail "no window"; finish; }
wait_for_scene "$id"
xdotool mousemove --window "$id" 160 120
sleep 0.2
kill -STOP "$APP_PID"
xdotool mousedown 1 mousemove --window "$id" -- 150 -30 mouseup 1
kill -CONT "$APP_PID"
sleep 0.2
xdotool mousemove --window "$id" 60 200 mousemove --window "$id" 300 40
if expect_window_shows "$id" "$E2E_DIR/dropped-above.png" "$E2E_DIR/shot-burst.png"; then
  pass "a burst that leaves the window ends the grab"
else
  fail "burst drag out of the window: $E2E_DIR/shot-burst.png vs $E2E_DIR/dropped-above.png"
fi
xdotool key --window "$id" Escape
wait_app 10
[ "$STATUS" = 0 ] || fail "Esc after the burst: status $STATUS"

# A right click while the left button drags; the left release comes outside.
start_app
id=$(find_window) || { fail "no window"; finish; }
wait_for_scene "$id"
xdotool mousemove --window "$id" 160 120 mousedown 1
xdotool click 3
xdotool mousemove --window "$id" -- 150 -30
xdotool mouseup 1
xdotool mousemove --window "$id" 60 200 mousemove --window "$id" 300 40
if expect_window_shows "$id" "$E2E_DIR/dropped-above.png" "$E2E_DIR/shot-two-buttons.png"; then
  pass "the left release outside ends the drag after a right click"
else
  fail "right click during a drag: $E2E_DIR/shot-two-buttons.png vs $E2E_DIR/dropped-above.png"
fi

# Esc held while the focus moves to another window and released there: the
# run goes on (the window never saw a release); a later Esc ends it.
xlogo -geometry 100x100+600+300 &
other_pid=$!
other=$(xvfb_find_window xlogo) || fail "no second window"
xdotool windowfocus --sync "$id" keydown Escape
sleep 0.2
xdotool windowfocus --sync "$other" keyup Escape
sleep 0.5
if kill -0 "$APP_PID" 2>/dev/null; then
  pass "a release in another window does not end the run"
else
  fail "the run ended when Esc was released in another window"
fi
kill "$other_pid" 2>/dev/null; wait "$other_pid" 2>/dev/null
xdotool windowfocus --sync "$id" key Escape
wait_app 10
[ "$STATUS" = 0 ] && pass "Esc in the window ends the run" || fail "Esc after the focus came back: status $STATUS"

# Another program destroys the window: the run ends, with the three lines and
# at most one line on standard error, not Xlib's error report.
start_app
id=$(find_window) || { fail "no window"; finish; }
sleep 0.3
xdotool windowclose "$id"
wait_app 10
if [ "$STATUS" = timeout ]; then
  fail "the program hung after its window was destroyed"
else
  [ "$(wc -l < "$E2E_DIR/stderr")" -le 1 ] || fail "window destroyed: standard error: $(cat "$E2E_DIR/stderr")"
  grep -q "X Error" "$E2E_DIR/stderr" && fail "window destroyed: Xlib's error report: $(cat "$E2E_DIR/stderr")"
  [ "$STATUS" = 0 ] && pass "a window destroyed by another program ends the run" ||
    fail "window destroyed: status $STATUS, $(cat "$E2E_DIR/stderr")"
  check_statistics
fi
finish
