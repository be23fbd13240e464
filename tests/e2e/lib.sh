# Shared pieces of the end-to-end tests, over the opening every shell test
# shares (../testlib.sh): the real program in a private Xvfb, its window found
# by title, screenshots compared byte for byte, its statistics lines checked.
# Every wait is bounded; everything started is stopped on exit.
# Source it with APP set to the program and SNAPSHOT to the snapshot tool.

. "$(dirname "${BASH_SOURCE[0]}")/../testlib.sh"

# Starts the program with its standard output and error kept in files.
start_app() {
  "$APP" >"$TEST_DIR/stdout" 2>"$TEST_DIR/stderr" &
  APP_PID=$!
}

# Prints the id of the window titled "Glintworks" (waits at most 10 s).
find_window() { xvfb_find_window Glintworks; }

# Waits at most $1 seconds for the program to end and sets STATUS to its exit
# status, or to "timeout". (Not run in a subshell: only this shell can wait for
# its own child.)
wait_app() {
  wait_exit "$APP_PID" "${1:-10}"
  [ "$STATUS" = timeout ] || APP_PID=
}

# Waits at most 5 s until a screenshot of window $1 equals image $2 byte for
# byte; keeps the last screenshot as $3.
expect_window_shows() {
  local id=$1 expected=$2 shot=$3 i
  rgb "$expected" > "$TEST_DIR/expected.rgb"
  for i in $(seq 1 50); do
    import -window "$id" "$shot" 2>/dev/null
    if [ -s "$shot" ] && rgb "$shot" | cmp -s - "$TEST_DIR/expected.rgb"; then return 0; fi
    sleep 0.1
  done
  return 1
}

# Checks the three statistics lines of a finished run.
check_statistics() {
  local out=$TEST_DIR/stdout
  if [ "$(wc -l < "$out")" -ne 3 ]; then fail "expected three lines, got: $(cat "$out")"; return; fi
  grep -qE '^Completed: [0-9]+$' <(sed -n 1p "$out") || fail "line 1: $(sed -n 1p "$out")"
  grep -qE '^MS/frame:  [0-9.e+-]+$' <(sed -n 2p "$out") || fail "line 2: $(sed -n 2p "$out")"
  grep -qE '^fps:       [0-9.e+-]+$' <(sed -n 3p "$out") || fail "line 3: $(sed -n 3p "$out")"
  local ms fps
  ms=$(sed -n 2p "$out" | awk '{print $2}')
  fps=$(sed -n 3p "$out" | awk '{print $2}')
  awk -v a="$ms" -v b="$fps" 'BEGIN { p = a * b; exit !(p > 999.9 && p < 1000.1) }' ||
    fail "MS/frame x fps = $ms x $fps is not 1000"
}
