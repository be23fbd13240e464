# The opening every shell test shares, sourced first thing after its
# arguments are read:
#
#   . "$(dirname "$0")/testlib.sh"        (from a folder below: ../testlib.sh)
#
# It gives the test:
# - TEST_DIR, a private folder of its own (mktemp, mode 0700), removed when the
#   test passes and kept, with its path printed, when a check failed;
# - fail MESSAGE and pass MESSAGE, which print one line each ("FAIL: ..." or
#   "ok: ...") and count the failures in $failures;
# - finish [NAME], which prints the outcome and exits 0 when no check failed,
#   1 when one did;
# - at_exit COMMAND, a step added to the cleanup (the last added runs first);
# - start_xvfb [WxH], a private Xvfb on a free display (DISPLAY exported,
#   XVFB_PID set; the test exits when it does not start), and the helpers of
#   scripts/xvfb.sh: xvfb_find_window, wait_exit, stop_process;
# - rgb FILE, an image's raw RGB bytes, for byte-for-byte comparisons.
# On every way out, the cleanup stops APP_PID (the program under test, if the
# test sets it) and the Xvfb, then removes or keeps TEST_DIR. Every wait in
# these helpers is bounded.
set -u
TEST_DIR=$(mktemp -d "${TMPDIR:-/tmp}/glintworks-$(basename "$0" .sh).XXXXXX")
XVFB_PID=
APP_PID=
failures=0
TEST_CLEANUP=()

. "$(dirname "${BASH_SOURCE[0]}")/../scripts/xvfb.sh"

at_exit() { TEST_CLEANUP=("$*" "${TEST_CLEANUP[@]}"); }

test_cleanup() {
  local step
  for step in "${TEST_CLEANUP[@]}"; do eval "$step"; done
  stop_process "$APP_PID"
  xvfb_stop
  if [ "$failures" -eq 0 ]; then rm -rf "$TEST_DIR"; else echo "kept for inspection: $TEST_DIR"; fi
}
trap test_cleanup EXIT

fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }

finish() {
  local name=${1:+$1: }
  if [ "$failures" -eq 0 ]; then echo "${name}all checks passed"; exit 0; fi
  echo "${name}$failures check(s) failed"; exit 1
}

# Starts Xvfb on the first free display with a screen of WxH (default
# 1280x1024); the test ends, failed, when it does not start.
start_xvfb() { xvfb_start "$TEST_DIR" "${1:-1280x1024}" 2>&1 || exit 1; }

rgb() { convert "$1" -depth 8 rgb:-; }
