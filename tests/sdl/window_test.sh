#!/usr/bin/env bash
# The SDL backend in a real X server. A probe window (tests/sdl_window_probe.cpp)
# writes one line per handler call; xdotool gives it real input; the transcript
# must equal the expected one line for line, and screenshots of the window
# must equal, byte for byte, the pictures the probe drew through a pxOffscreen.
# Then: the X server dies under the probe, and runs without a display.
#
# Usage: window_test.sh PROBE SEND_WM_DELETE
# Every wait is bounded; Xvfb and the probe are stopped on every way out.
PROBE=$1
SEND_WM_DELETE=$2
PROBE_PID=
. "$(dirname "$0")/../testlib.sh"
at_exit 'stop_process "$PROBE_PID"'

# Ends the test at once, with what the probe said so far.
abort() {
  fail "$*"
  echo "--- transcript so far:"; cat "$RUN/transcript" 2>/dev/null
  echo "--- standard error:"; cat "$RUN/stderr" 2>/dev/null
  exit 1
}

for tool in Xvfb xdotool xset xwininfo xprop xrefresh import convert cmp env; do
  command -v "$tool" >/dev/null || { echo "missing tool: $tool (scripts/install-deps installs it)"; exit 1; }
done

# Starts the probe in a fresh directory $RUN. SIGINT is put back to its
# default: a background job of a script starts with it ignored, and SDL then
# leaves it so.
start_probe() {
  RUN=$TEST_DIR/$1
  mkdir -p "$RUN"
  env --default-signal=INT "$PROBE" "$RUN" >"$RUN/transcript" 2>"$RUN/stderr" &
  PROBE_PID=$!
}

# Waits at most 10 s for the probe to end; STATUS is its exit status or "timeout".
wait_probe() {
  wait_exit "$PROBE_PID" 10
  [ "$STATUS" = timeout ] || PROBE_PID=
}

# Waits at most 10 s until the transcript has the line $1.
wait_line() {
  local i
  for i in $(seq 1 500); do
    grep -qxF -- "$1" "$RUN/transcript" 2>/dev/null && return 0
    kill -0 "$PROBE_PID" 2>/dev/null || break
    sleep 0.02
  done
  abort "the probe never wrote \"$1\""
}

# The id of the window titled "px probe" (waits at most 10 s).
find_window() { xvfb_find_window "px probe"; }

# Waits at most 10 s until the transcript has the line $1 at least $2 times.
wait_lines() {
  local i
  for i in $(seq 1 500); do
    [ "$(grep -cxF -- "$1" "$RUN/transcript" 2>/dev/null)" -ge "$2" ] && return 0
    kill -0 "$PROBE_PID" 2>/dev/null || break
    sleep 0.02
  done
  abort "the probe never wrote \"$1\" $2 times"
}

map_state() { xwininfo -id "$1" | awk '/Map State:/ {print $3}'; }

# Waits at most 10 s until xwininfo reports map state $2 for window $1.
wait_map_state() {
  local i
  for i in $(seq 1 500); do
    [ "$(map_state "$1")" = "$2" ] && return 0
    sleep 0.02
  done
  return 1
}

# Waits at most 5 s until a screenshot of window $1 equals, byte for byte, the
# picture $RUN/$2 that the probe wrote.
expect_shows() {
  local id=$1 expected=$RUN/$2 shot=$RUN/shot-${2%.ppm}.png i
  [ -s "$expected" ] || { fail "the probe wrote no $2"; return 1; }
  rgb "$expected" > "$RUN/expected.rgb"
  for i in $(seq 1 50); do
    import -window "$id" "$shot" 2>/dev/null
    if [ -s "$shot" ] && rgb "$shot" | cmp -s - "$RUN/expected.rgb"; then return 0; fi
    sleep 0.1
  done
  fail "the window does not show $2: last screenshot $shot"
  return 1
}

start_xvfb 640x480
# No autorepeat: Shift is held below while the probe is stopped, and on a
# loaded machine long enough to repeat, a press the transcript does not hold.
xset r off || abort "xset could not turn the X server's key repeat off"
if [ -n "${EXPECT_NO_SHM:-}" ] && xdpyinfo -queryExtensions | grep -q MIT-SHM; then
  abort "the X server offers shared memory, though XVFB_ARGS asked it not to"
fi

# ---------------------------------------------------------------- one session
start_probe session
id=$(find_window) || abort "no window titled \"px probe\" appeared"
wait_line "resize 203 151"
pass "window found by its title"

# Created hidden, at the requested place, with the requested size as its
# client area (no window manager here, so nothing else decides).
[ "$(map_state "$id")" = IsUnMapped ] || fail "the window is mapped before it is shown: $(map_state "$id")"
geometry=$(xwininfo -id "$id" | awk '/Absolute upper-left X:/ {x=$4} /Absolute upper-left Y:/ {y=$4}
                                     /Width:/ {w=$2} /Height:/ {h=$2} END {print x "," y " " w "x" h}')
[ "$geometry" = "100,64 203x151" ] || fail "window at $geometry, not 100,64 203x151"

touch "$RUN/show"
wait_map_state "$id" IsViewable || abort "the window was never mapped after it was shown"
expect_shows "$id" size-203x151.ppm && pass "the blitted buffer reads back byte for byte"

# No shared memory segment of the probe is open to other users (SDL's own
# window surface would be one, made 0777).
segments=$(ipcs -m -p | awk -v pid="$PROBE_PID" '$3 == pid {print $1}')
open_to_others=$(for shmid in $segments; do ipcs -m | awk -v id="$shmid" '$2 == id && $4 != 600 {print id ":" $4}'; done)
[ -z "$open_to_others" ] || fail "shared memory segments open to other users: $open_to_others"
if [ -z "${EXPECT_NO_SHM:-}" ]; then
  [ -n "$segments" ] && pass "the image is in shared memory, 0600" || fail "no shared memory segment of the probe"
fi

# Keys and a drag. Keyboard focus comes with the show; the pointer starts
# outside the window. The keys wait until the window has the focus, or they
# would go elsewhere.
for i in $(seq 1 500); do
  [ "$(xdotool getwindowfocus 2>/dev/null)" = "$id" ] && break
  sleep 0.02
done
[ "$(xdotool getwindowfocus 2>/dev/null)" = "$id" ] || abort "the window never got the keyboard focus"
xdo mousemove --window "$id" 20 30
xdo key Escape
xdo keydown ctrl
xdo mousemove --window "$id" 50 40 mousedown 1
xdo keyup ctrl
# Out of the window while the left button holds it: negative x.
xdo mousemove --window "$id" -- -30 60
xdo mousedown 3
# The left release carries its own bit only, though the right button is still
# down. It releases the capture, but the right button still holds the mouse:
# its release outside reaches the window too, and the leave follows it.
xdo mouseup 1
xdo mouseup 3
# Shift goes down just as the pointer comes back in, with the probe stopped
# so that SDL reads the server's keymap after the press: the press it makes
# up from the keymap and Shift's own press must make one key-down, not two.
wait_line leave
kill -STOP "$PROBE_PID"
xdo mousemove --window "$id" 100 70
xdo keydown shift key a
kill -CONT "$PROBE_PID"
wait_line "key-release 65 8"
xdo keyup shift
xdo keydown alt key F5 keyup alt
xdo key Left
# Tab: the probe redraws a box and invalidates only the box.
xdo key Tab
wait_line "key-release 9 0"
expect_shows "$id" box.ppm && pass "an invalidated box is repainted in place"

# X: the probe redraws everything and invalidates nothing; an expose must
# repaint it. The pointer leaves first, so that xrefresh's covering window
# does not cross it; SDL reports that leave with a motion to the nearest
# pixel inside the window.
xdo key x
wait_line "key-release 88 0"
xdo mousemove 600 400
# Nothing may repaint it before the expose, or the expose check below would
# prove nothing; the pause only gives a wrong repaint the time to show.
sleep 0.2
rgb "$RUN/unshown.ppm" | cmp -s - <(import -window "$id" png:- | rgb png:-) &&
  fail "the X redraw showed before any expose"
xrefresh
expect_shows "$id" unshown.ppm && pass "an expose repaints the window"

# Resized from outside: the window surface follows the new size.
xdotool windowsize "$id" 250 180
wait_line "resize 250 180"
expect_shows "$id" size-250x180.ppm && pass "a resize repaints at the new size"

# Minimised and restored, as a window manager marks it (_NET_WM_STATE_HIDDEN).
xprop -id "$id" -f _NET_WM_STATE 32a -set _NET_WM_STATE _NET_WM_STATE_HIDDEN
wait_line "resize 0 0"
xprop -id "$id" -remove _NET_WM_STATE
wait_lines "resize 250 180" 2
expect_shows "$id" size-250x180.ppm && pass "minimised and restored"

# Keyboard focus to the root window and back, with no key held: SDL's focus
# handling (keys released on the way out, modifiers reconciled on the way in)
# must make no key calls of its own, and keys must arrive again afterwards.
root=$(xwininfo -root | awk '/Window id:/ {print $4}')
xdotool windowfocus "$root" 2>/dev/null
xdotool windowfocus "$id" 2>/dev/null

# The close button, then Ctrl-C: each is one close request, and neither ends
# anything by itself (SDL would add a quit when its last window is closed).
# The Esc after the close button shows that no second request came with it.
"$SEND_WM_DELETE" "$id"
wait_line close
xdo key Escape
wait_lines "key-release 27 0" 2
kill -INT "$PROBE_PID"
wait_probe; status=$STATUS
[ "$status" = 0 ] || fail "the session ended with status $status"

cat > "$RUN/expected" <<'EOF'
created
resize 203 151
move 20 30
key-press 27 0
key-release 27 0
key-press 17 16
move 50 40
press 50 40 17
key-release 17 0
move -30 60
press -30 60 4
release -30 60 1
release -30 60 4
leave
move 100 70
key-press 16 8
key-press 65 8
key-release 65 8
key-release 16 0
key-press 18 32
key-press 116 32
key-release 116 32
key-release 18 0
key-press 37 0
key-release 37 0
key-press 9 0
key-release 9 0
key-press 88 0
key-release 88 0
move 202 150
leave
resize 250 180
resize 0 0
resize 250 180
close
key-press 27 0
key-release 27 0
close
end
EOF
if diff -u "$RUN/expected" "$RUN/transcript" > "$RUN/transcript.diff"; then
  pass "the handler calls are the expected ones, in order"
else
  fail "transcript differs from the expected one:"; cat "$RUN/transcript.diff"
fi
[ -s "$RUN/stderr" ] && fail "the probe wrote on standard error: $(cat "$RUN/stderr")"

# ---------------------------------------------------------------- X server dies
start_probe killed
touch "$RUN/show"
id=$(find_window) || abort "no window for the X server test"
wait_map_state "$id" IsViewable || abort "the window was never mapped"
wait_line "resize 203 151"
kill -9 "$XVFB_PID"; wait "$XVFB_PID" 2>/dev/null; XVFB_PID=
wait_probe; status=$STATUS
expected="sdl_window_probe: lost the connection to X display \"$DISPLAY\""
if [ "$status" != 1 ]; then
  fail "after the X server died: status $status, standard error: $(cat "$RUN/stderr")"
elif [ "$(cat "$RUN/stderr")" != "$expected" ]; then
  fail "after the X server died, standard error is not [$expected] but: $(cat "$RUN/stderr")"
else
  pass "X server killed: status 1, $(cat "$RUN/stderr")"
fi

# ---------------------------------------------------------------- no display
# A display naming no server, and nothing at all: creation fails with a
# reason. Not the display that just died: tests running beside this one start
# their own Xvfb on the first free display, which may be that one by now.
none=4243
while [ -e "/tmp/.X11-unix/X$none" ] || [ -e "/tmp/.X$none-lock" ]; do none=$((none + 1)); done
for display in unset ":$none" both; do
  RUN=$TEST_DIR/no-display
  rm -rf "$RUN"; mkdir -p "$RUN"
  case $display in
    unset) (unset DISPLAY WAYLAND_DISPLAY; exec "$PROBE" "$RUN") >"$RUN/transcript" 2>"$RUN/stderr" & ;;
    both)
      # Both named and neither there: SDL would fall back to its offscreen driver.
      (export DISPLAY=":$none" WAYLAND_DISPLAY=glintworks-none XDG_RUNTIME_DIR=$RUN; exec "$PROBE" "$RUN") \
        >"$RUN/transcript" 2>"$RUN/stderr" & ;;
    *) (unset WAYLAND_DISPLAY; export DISPLAY=$display; exec "$PROBE" "$RUN") >"$RUN/transcript" 2>"$RUN/stderr" & ;;
  esac
  PROBE_PID=$!
  wait_probe; status=$STATUS
  reason=$(cat "$RUN/stderr")
  if [ "$status" = 1 ] && [ "$(wc -l < "$RUN/stderr")" -eq 1 ] &&
     [[ $reason == "cannot open a window: no display"* ]] && [ ! -s "$RUN/transcript" ]; then
    pass "display $display: $reason"
  else
    fail "display $display: status $status, transcript [$(cat "$RUN/transcript")], standard error [$reason]"
  fi
done

# Asked for by name, the offscreen driver is allowed.
RUN=$TEST_DIR/offscreen
mkdir -p "$RUN"
touch "$RUN/show"
(unset DISPLAY WAYLAND_DISPLAY; export SDL_VIDEODRIVER=offscreen; exec "$PROBE" "$RUN") \
  >"$RUN/transcript" 2>"$RUN/stderr" &
PROBE_PID=$!
wait_line "resize 203 151"
pass "the offscreen driver works when it is asked for"
stop_process "$PROBE_PID"; PROBE_PID=

finish
