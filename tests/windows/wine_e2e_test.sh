#!/usr/bin/env bash
# The Windows program (MinGW-w64 cross build) under wine in a private Xvfb, as
# the Linux end-to-end tests drive the Linux one: its window found by title
# shows, byte for byte, what the Linux snapshot tool renders at the window's
# client size; a left drag and a Ctrl drag show what the tool's --drag and
# --ctrl give; releasing Esc and the close button each end the run with status
# 0 and the three statistics lines (with Windows' \r\n line ends); and the
# Windows snapshot tool writes the same pixels, as PNG, as the Linux one.
# Without a display the program fails at once with one line giving the
# system's text for the refused window.
#
#   wine_e2e_test.sh WINDOWS_BUILD LINUX_SNAPSHOT SEND_WM_DELETE WINEPREFIX
#
# The client area is smaller than the 320x240 window rectangle on Windows
# (wine's caption and borders take the rest), so the pictures are compared at
# the size the window reports.
WINDOWS_BUILD=$1
LINUX_SNAPSHOT=$2
SEND_WM_DELETE=$3
export WINEPREFIX=$4
here=$(dirname "$0")

for tool in "$LINUX_SNAPSHOT" "$SEND_WM_DELETE"; do
  if [ ! -x "$tool" ]; then
    echo "FAIL: $tool is missing: the Linux build comes first (make build, or set GLINTWORKS_LINUX_BUILD)"
    exit 1
  fi
done

bash "$here/wine_prefix.sh" "$WINEPREFIX"
status=$?
[ $status -eq 0 ] || exit $status

. "$here/../e2e/lib.sh"
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

# Everything the test started in its own prefix ends with it; wineserver -k
# touches no other prefix.
at_exit 'stop_process "$APP_PID"; APP_PID=; timeout 20 wineserver -k 2>/dev/null'

exe=$WINDOWS_BUILD/app/glintworks.exe
snapshot_exe=$WINDOWS_BUILD/tools/glintworks-snapshot.exe

start_app() {
  wine "$exe" >"$TEST_DIR/stdout" 2>"$TEST_DIR/stderr" &
  APP_PID=$!
}

# check_statistics with the \r of Windows' text-mode output taken off; a line
# end other than \r\n fails.
check_windows_statistics() {
  if grep -qv $'\r$' "$TEST_DIR/stdout"; then fail "a statistics line does not end in \\r\\n"; fi
  tr -d '\r' <"$TEST_DIR/stdout" >"$TEST_DIR/stdout.unix" && mv "$TEST_DIR/stdout.unix" "$TEST_DIR/stdout"
  check_statistics
}

# The program's own complaints; wine's X11 driver adds notes of its own on
# standard error, which are not the program's.
check_no_program_error() {
  if grep -q '^glintworks' "$TEST_DIR/stderr"; then fail "$1: $(grep '^glintworks' "$TEST_DIR/stderr")"; fi
}

start_xvfb

# The Windows snapshot tool: a PNG with the Linux tool's pixels.
(cd "$TEST_DIR" && timeout 60 wine "$snapshot_exe" --drag 160,120,170,110 --held windows.png) \
  >"$TEST_DIR/snapshot.out" 2>&1
"$LINUX_SNAPSHOT" --drag 160,120,170,110 --held "$TEST_DIR/linux.png"
if [ "$(head -c 8 "$TEST_DIR/windows.png" 2>/dev/null | od -An -tx1 | tr -d ' \n')" != 89504e470d0a1a0a ]; then
  fail "glintworks-snapshot.exe did not write a PNG: $(cat "$TEST_DIR/snapshot.out")"
elif ! cmp -s <(rgb "$TEST_DIR/windows.png") <(rgb "$TEST_DIR/linux.png"); then
  fail "glintworks-snapshot.exe differs from the Linux tool: $TEST_DIR/windows.png vs $TEST_DIR/linux.png"
else
  pass "glintworks-snapshot.exe writes the Linux tool's picture as PNG"
fi

# The picture, a drag and a Ctrl drag, then Esc.
start_app
id=$(find_window) || { fail "no window titled Glintworks appeared: $(cat "$TEST_DIR/stderr")"; finish; }
pass "window titled Glintworks appeared"
size=$(xwininfo -id "$id" | awk '/Width:/ {w=$2} /Height:/ {h=$2} END {print w "x" h}')
echo "client area: $size"
snap() { "$LINUX_SNAPSHOT" --size "$size" "$@"; }

snap "$TEST_DIR/default.png"
if expect_window_shows "$id" "$TEST_DIR/default.png" "$TEST_DIR/shot-default.png"; then
  pass "window equals the snapshot at $size"
else
  fail "window differs from the snapshot: $TEST_DIR/shot-default.png vs $TEST_DIR/default.png"
fi

snap --drag 160,120,170,110 --held "$TEST_DIR/held.png"
snap --drag 160,120,170,110 "$TEST_DIR/released.png"
xdo mousemove --window "$id" 160 120 mousedown 1 mousemove --window "$id" 170 110
expect_window_shows "$id" "$TEST_DIR/held.png" "$TEST_DIR/shot-held.png" &&
  pass "held drag shows the moved, brightened sphere" ||
  fail "held drag: $TEST_DIR/shot-held.png vs $TEST_DIR/held.png"
xdo mouseup 1
expect_window_shows "$id" "$TEST_DIR/released.png" "$TEST_DIR/shot-released.png" &&
  pass "release gives the sphere its colour back" ||
  fail "release: $TEST_DIR/shot-released.png vs $TEST_DIR/released.png"

snap --drag 160,120,170,110 --ctrl --drag 170,110,180,100 --held "$TEST_DIR/depth-held.png"
snap --drag 160,120,170,110 --ctrl --drag 170,110,180,100 "$TEST_DIR/depth.png"
xdo keydown ctrl mousemove --window "$id" 170 110 mousedown 1 mousemove --window "$id" 180 100
expect_window_shows "$id" "$TEST_DIR/depth-held.png" "$TEST_DIR/shot-depth-held.png" &&
  pass "Ctrl drag moves the sphere in depth" ||
  fail "Ctrl drag: $TEST_DIR/shot-depth-held.png vs $TEST_DIR/depth-held.png"
xdo mouseup 1 keyup ctrl
expect_window_shows "$id" "$TEST_DIR/depth.png" "$TEST_DIR/shot-depth.png" &&
  pass "Ctrl drag release" ||
  fail "Ctrl drag release: $TEST_DIR/shot-depth.png vs $TEST_DIR/depth.png"

# Esc: pressing alone does not end the run, releasing does.
xdo keydown --window "$id" Escape
sleep 0.3
kill -0 "$APP_PID" 2>/dev/null || fail "the run ended on the Esc press"
xdo keyup --window "$id" Escape
wait_app 10
[ "$STATUS" = 0 ] && pass "Esc release ends the run with status 0" || fail "Esc: status $STATUS"
check_windows_statistics
check_no_program_error "after Esc"
[ $failures -eq 0 ] && echo "statistics: $(tr '\n' ' ' <"$TEST_DIR/stdout")"

# The close button.
start_app
id=$(find_window) || { fail "no window for the close button"; finish; }
sleep 0.5
"$SEND_WM_DELETE" "$id"
wait_app 10
[ "$STATUS" = 0 ] && pass "close button ends the run with status 0" || fail "close: status $STATUS"
check_windows_statistics
check_no_program_error "after the close button"

# No display: wine can open no window, CreateWindowExW fails, and the program
# says so in one line with the system's own text for the error, status 1.
(unset DISPLAY WAYLAND_DISPLAY; exec wine "$exe") >"$TEST_DIR/stdout" 2>"$TEST_DIR/stderr" &
APP_PID=$!
wait_app 20
[ "$STATUS" = 1 ] || fail "no display: status $STATUS"
[ -s "$TEST_DIR/stdout" ] && fail "no display: wrote to standard output: $(cat "$TEST_DIR/stdout")"
reason=$(tr -d '\r' <"$TEST_DIR/stderr" | sed -n 's/^glintworks: cannot open a window: //p')
if [ "$(grep -c '^glintworks' "$TEST_DIR/stderr")" -ne 1 ] || [ -z "$reason" ]; then
  fail "no display: not one line with a reason: $(cat "$TEST_DIR/stderr")"
else
  pass "no display: status 1, \"cannot open a window: $reason\""
fi
finish
