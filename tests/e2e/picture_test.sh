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
xdotool mousemove --window "$id" 160 120 mousedown 1 mousemove --window "$id" 170 110
if expect_window_shows "$id" "$TEST_DIR/held.png" "$TEST_DIR/shot-held.png"; then
  pass "held drag shows the moved, brightened sphere"
else
  fail "held drag: $TEST_DIR/shot-held.png vs $TEST_DIR/held.png"
fi
xdotool mouseup 1
if expect_window_shows "$id" "$TEST_DIR/released.png" "$TEST_DIR/shot-released.png"; then
  pass "release gives the sphere its colour back where it was dropped"
else
  fail "release: $TEST_DIR/shot-released.png vs $TEST_DIR/released.png"
fi

# A Ctrl drag from where the sphere now is: pointer up pushes it away.
"$SNAPSHOT" --drag 160,120,170,110 --ctrl --drag 170,110,180,100 "$TEST_DIR/depth.png"
"$SNAPSHOT" --drag 160,120,170,110 --ctrl --drag 170,110,180,100 --held "$TEST_DIR/depth-held.png"
xdotool keydown ctrl mousemove --window "$id" 170 110 mousedown 1 mousemove --window "$id" 180 100
if expect_window_shows "$id" "$TEST_DIR/depth-held.png" "$TEST_DIR/shot-depth-held.png"; then
  pass "Ctrl drag moves the sphere in depth"
else
  fail "Ctrl drag: $TEST_DIR/shot-depth-held.png vs $TEST_DIR/depth-held.png"
fi
xdotool mouseup 1 keyup ctrl
if expect_window_shows "$id" "$TEST_DIR/depth.png" "$TEST_DIR/shot-depth.png"; then
  pass "Ctrl drag release"
else
  fail "Ctrl drag release: $TEST_DIR/shot-depth.png vs $TEST_DIR/depth.png"
fi

xdotool key --window "$id" Escape
wait_app 10; status=$STATUS
[ "$status" = 0 ] || fail "exit status after Esc: $status"
check_statistics
finish
