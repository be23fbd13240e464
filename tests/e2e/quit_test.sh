#!/usr/bin/env bash
# Ending a run: releasing Esc and the close button each end it with status 0 and
# exactly the three statistics lines; statistics that cannot be written, and
# no display, make the program fail with one clear line and status 1.
# Usage: quit_test.sh GLINTWORKS SNAPSHOT_TOOL SEND_WM_DELETE
APP=$1
SNAPSHOT=$2
SEND_WM_DELETE=$3
. "$(dirname "$0")/lib.sh"

start_xvfb

# Esc: pressing alone does not end the run, releasing does.
start_app
id=$(find_window) || { fail "no window"; finish; }
xdo keydown --window "$id" Escape
sleep 0.3
kill -0 "$APP_PID" 2>/dev/null || fail "the run ended on the Esc press"
xdo keyup --window "$id" Escape
wait_app 10; status=$STATUS
[ "$status" = 0 ] && pass "Esc release ends the run with status 0" || fail "Esc: status $status"
check_statistics
[ -s "$TEST_DIR/stderr" ] && fail "standard error not empty: $(cat "$TEST_DIR/stderr")"

# The close button.
start_app
id=$(find_window) || { fail "no window"; finish; }
sleep 0.2
"$SEND_WM_DELETE" "$id"
wait_app 10; status=$STATUS
[ "$status" = 0 ] && pass "close button ends the run with status 0" || fail "close: status $status"
check_statistics

# SIGTERM reaches the window as a close request.
start_app
id=$(find_window) || { fail "no window"; finish; }
kill -TERM "$APP_PID"
wait_app 10; status=$STATUS
[ "$status" = 0 ] && pass "SIGTERM ends the run like the close button" || fail "SIGTERM: status $status"
check_statistics

# Statistics that cannot be written, to a full disk or a closed standard
# output: one line on standard error and status 1, not a silent success.
for out in full closed; do
  if [ $out = full ]; then "$APP" >/dev/full 2>"$TEST_DIR/stderr" & else "$APP" >&- 2>"$TEST_DIR/stderr" & fi
  APP_PID=$!
  id=$(find_window) || { fail "no window"; finish; }
  xdo keydown --window "$id" Escape keyup --window "$id" Escape
  wait_app 10; status=$STATUS
  if [ "$status" = 1 ] && [ "$(wc -l < "$TEST_DIR/stderr")" -eq 1 ] &&
    grep -q '^glintworks: cannot write the run statistics' "$TEST_DIR/stderr"; then
    pass "standard output $out: $(cat "$TEST_DIR/stderr")"
  else
    fail "standard output $out: status $status, standard error: $(cat "$TEST_DIR/stderr")"
  fi
done

# The X server dies in the middle of a run: one line of the program's own on
# standard error and status 1, not a hang, not a signal, not Xlib's message.
start_app
id=$(find_window) || { fail "no window"; finish; }
xdo mousemove --window "$id" 160 120 mousedown 1 mousemove --window "$id" 150 100
sleep 0.2
kill -9 "$XVFB_PID"; wait "$XVFB_PID" 2>/dev/null; XVFB_PID=
wait_app 10; status=$STATUS
lost="glintworks: lost the connection to X display \"$DISPLAY\""
if [ "$status" = timeout ]; then
  fail "the program hung after its X server died"
elif [ "$status" != 1 ]; then
  fail "after the X server died: status $status, standard error: $(cat "$TEST_DIR/stderr")"
elif [ "$(cat "$TEST_DIR/stderr")" != "$lost" ]; then
  fail "after the X server died, standard error is not [$lost] but: $(cat "$TEST_DIR/stderr")"
else
  pass "X server killed: status $status, $(cat "$TEST_DIR/stderr")"
fi

# No display: DISPLAY unset, and DISPLAY naming no server.
for display in unset :4242; do
  if [ "$display" = unset ]; then
    (unset DISPLAY WAYLAND_DISPLAY; exec "$APP") >"$TEST_DIR/stdout" 2>"$TEST_DIR/stderr" &
  else
    (unset WAYLAND_DISPLAY; DISPLAY=$display exec "$APP") >"$TEST_DIR/stdout" 2>"$TEST_DIR/stderr" &
  fi
  APP_PID=$!
  wait_app 10; status=$STATUS
  [ "$status" = 1 ] || fail "DISPLAY $display: status $status"
  [ "$(wc -l < "$TEST_DIR/stderr")" -eq 1 ] || fail "DISPLAY $display: stderr is not one line: $(cat "$TEST_DIR/stderr")"
  grep -q '^glintworks: cannot open a window: ' "$TEST_DIR/stderr" || fail "DISPLAY $display: $(cat "$TEST_DIR/stderr")"
  [ -s "$TEST_DIR/stdout" ] && fail "DISPLAY $display: wrote to standard output"
  [ "$status" = 1 ] && pass "DISPLAY $display: $(cat "$TEST_DIR/stderr")"
done
finish
