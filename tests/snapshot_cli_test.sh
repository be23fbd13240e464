#!/usr/bin/env bash
# The snapshot tool's command line: good sizes write complete images, bad sizes
# and unwritable paths fail with one line on standard error and leave no file.
set -u
tool=$1
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

"$tool" --help | grep -q -- '--size WxH' || fail "--help does not describe --size"

"$tool" "$dir/a.ppm" || fail "default render failed"
head -c 15 "$dir/a.ppm" | grep -q $'^P6\n320 240\n255' || fail "PPM header wrong"
[ "$(stat -c %s "$dir/a.ppm")" -eq $((15 + 320 * 240 * 3)) ] || fail "PPM size wrong"

"$tool" --size 17x3 "$dir/b.png" || fail "17x3 render failed"
[ "$(head -c 8 "$dir/b.png" | od -An -tx1 | tr -d ' ')" = 89504e470d0a1a0a ] || fail "not a PNG"

for bad in abc 0x10 10x0 -5x10 10x-5 16385x1 1x99999999999 10 x10 10x 12ab34x5; do
  err=$("$tool" --size "$bad" "$dir/bad.png" 2>&1 >/dev/null)
  status=$?
  [ $status -eq 1 ] || fail "size '$bad' gave status $status"
  [ "$(printf '%s\n' "$err" | wc -l)" -eq 1 ] || fail "size '$bad' did not give one line: $err"
  printf '%s' "$err" | grep -q "bad size" || fail "size '$bad' message does not name the problem: $err"
done
[ ! -e "$dir/bad.png" ] || fail "a bad size left a file"

err=$("$tool" "$dir/no/such/dir/c.png" 2>&1 >/dev/null)
[ $? -eq 1 ] || fail "unwritable path did not give status 1"
printf '%s' "$err" | grep -q "cannot write" || fail "unwritable path message: $err"

chmod 0555 "$dir" 2>/dev/null
if [ "$(id -u)" -ne 0 ]; then
  "$tool" "$dir/d.png" 2>/dev/null && fail "read-only directory accepted"
fi
chmod 0755 "$dir"
mkdir "$dir/isdir.png"
err=$("$tool" "$dir/isdir.png" 2>&1 >/dev/null)
[ $? -eq 1 ] || fail "a directory as OUT did not give status 1"
[ -z "$(ls "$dir" | grep tmp-)" ] || fail "a temporary file was left behind"

if [ $failures -eq 0 ]; then echo "snapshot cli: all checks passed"; fi
exit $((failures > 0))
