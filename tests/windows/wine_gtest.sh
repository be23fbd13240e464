#!/usr/bin/env bash
# Runs a GoogleTest program built for Windows under wine, in a private Xvfb
# (its windows need a screen) and the build folder's private wine prefix.
# Every wait is bounded; the server and wine's processes end with the script.
#
#   wine_gtest.sh WINEPREFIX PROGRAM.exe [GTEST-ARGS...]
export WINEPREFIX=$1
program=$2
shift 2
here=$(dirname "$0")

bash "$here/wine_prefix.sh" "$WINEPREFIX"
status=$?
[ $status -eq 0 ] || exit $status

. "$here/../testlib.sh"
at_exit 'timeout 20 wineserver -k 2>/dev/null'
start_xvfb

export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
timeout 240 wine "$program" "$@"
