#!/usr/bin/env bash
# Makes the private wine prefix that the Windows tests run in, once per build
# folder, and reuses it afterwards. Prefix creation takes about half a minute;
# it is bounded, and two tests that ask at once wait for the one making it.
#
#   wine_prefix.sh PREFIX
#
# Exits 0 when PREFIX is ready, 77 (a skip, with the reason on standard output)
# when wine is not installed or cannot start at all, 1 on anything else.
set -u
prefix=${1:?usage: wine_prefix.sh PREFIX}

if ! command -v wine >/dev/null 2>&1; then
  echo "skipped: wine is not installed (Debian packages wine and wine64; scripts/install-deps installs them)"
  exit 77
fi

mkdir -p "$(dirname "$prefix")"
exec 9>"$prefix.lock"
if ! timeout 300 flock 9; then
  echo "FAIL: waited 300 s for another test to finish making $prefix"
  exit 1
fi
[ -f "$prefix/.glintworks-ready" ] && exit 0

rm -rf "$prefix"
export WINEPREFIX=$prefix WINEDEBUG=-all
# No Mono or Gecko: their installers would ask a question and wait.
export WINEDLLOVERRIDES="mscoree,mshtml="
log=$prefix.log
if ! timeout 240 wineboot --init >"$log" 2>&1; then
  timeout 20 wineserver -k 2>/dev/null
  echo "skipped: wine cannot start here: wineboot --init failed or took over 240 s; its output:"
  cat "$log"
  exit 77
fi
# wineboot returns before the prefix's registry is written; the server's exit
# marks the end.
if ! timeout 60 wineserver -w; then
  timeout 20 wineserver -k 2>/dev/null
  echo "FAIL: wineserver did not finish the prefix within 60 s"
  exit 1
fi
# A program that crashes ends at once, with its status and a backtrace on
# standard error, instead of waiting in wine's crash dialog.
# The framework's tests open and close dozens of windows; as windows no window
# manager looks after, each is shown at once instead of after a wait for one
# (the end-to-end test keeps managed windows: there the client area is the X
# window it reads back).
if ! timeout 60 wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f \
    >>"$log" 2>&1 ||
  ! timeout 60 wine reg add 'HKCU\Software\Wine\AppDefaults\glintworks_px_tests.exe\X11 Driver' \
    /v Managed /d N /f >>"$log" 2>&1 ||
  ! timeout 60 wineserver -w; then
  timeout 20 wineserver -k 2>/dev/null
  echo "FAIL: could not set up wine's crash dialog and windows in $prefix:"
  cat "$log"
  exit 1
fi
touch "$prefix/.glintworks-ready"
