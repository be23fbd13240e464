#!/usr/bin/env bash
# The snapshot tool's command line: good sizes write complete images, bad sizes,
# unknown extensions and unwritable paths fail with one line on standard error
# and leave no file; links are written through, a replaced file keeps its mode,
# names up to the file system's limit work, '-' is standard output.
tool=$1
. "$(dirname "$0")/testlib.sh"

"$tool" --help | grep -q -- '--size WxH' || fail "--help does not describe --size"

"$tool" "$TEST_DIR/a.ppm" || fail "default render failed"
head -c 15 "$TEST_DIR/a.ppm" | grep -q $'^P6\n320 240\n255' || fail "PPM header wrong"
[ "$(stat -c %s "$TEST_DIR/a.ppm")" -eq $((15 + 320 * 240 * 3)) ] || fail "PPM size wrong"

"$tool" --size 17x3 "$TEST_DIR/b.png" || fail "17x3 render failed"
[ "$(head -c 8 "$TEST_DIR/b.png" | od -An -tx1 | tr -d ' ')" = 89504e470d0a1a0a ] || fail "not a PNG"

for bad in abc 0x10 10x0 -5x10 10x-5 16385x1 1x99999999999 10 x10 10x 12ab34x5; do
  err=$("$tool" --size "$bad" "$TEST_DIR/bad.png" 2>&1 >/dev/null)
  status=$?
  [ $status -eq 1 ] || fail "size '$bad' gave status $status"
  [ "$(printf '%s\n' "$err" | wc -l)" -eq 1 ] || fail "size '$bad' did not give one line: $err"
  printf '%s' "$err" | grep -q "bad size" || fail "size '$bad' message does not name the problem: $err"
done
[ ! -e "$TEST_DIR/bad.png" ] || fail "a bad size left a file"

err=$("$tool" "$TEST_DIR/no/such/dir/c.png" 2>&1 >/dev/null)
[ $? -eq 1 ] || fail "unwritable path did not give status 1"
printf '%s' "$err" | grep -q "cannot write" || fail "unwritable path message: $err"

chmod 0555 "$TEST_DIR" 2>/dev/null
if [ "$(id -u)" -ne 0 ]; then
  "$tool" "$TEST_DIR/d.png" 2>/dev/null && fail "read-only directory accepted"
fi
chmod 0755 "$TEST_DIR"
mkdir "$TEST_DIR/isdir.png"
err=$("$tool" "$TEST_DIR/isdir.png" 2>&1 >/dev/null)
[ $? -eq 1 ] || fail "a directory as OUT did not give status 1"
[ -z "$(ls "$TEST_DIR" | grep tmp-)" ] || fail "a temporary file was left behind"

# OUT names its format by its extension, in any case; any other name is refused
# before anything is rendered or written.
"$tool" --size 5x4 "$TEST_DIR/upper.PPM" || fail "out.PPM refused"
head -c 11 "$TEST_DIR/upper.PPM" | grep -q $'^P6\n5 4\n255' || fail "out.PPM was not written as PPM"
"$tool" --size 5x4 "$TEST_DIR/mixed.Png" || fail "out.Png refused"
[ "$(head -c 8 "$TEST_DIR/mixed.Png" | od -An -tx1 | tr -d ' ')" = 89504e470d0a1a0a ] || fail "out.Png is not a PNG"
for name in out.jpg out.png.bak out noext. .ppmx; do
  err=$("$tool" --size 5x4 "$TEST_DIR/$name" 2>&1 >/dev/null)
  status=$?
  [ $status -eq 1 ] || fail "OUT '$name' gave status $status"
  [ "$(printf '%s\n' "$err" | wc -l)" -eq 1 ] || fail "OUT '$name' did not give one line: $err"
  [ ! -e "$TEST_DIR/$name" ] || fail "OUT '$name' was written"
done

# A symbolic link as OUT: the file it points to is written, the link stays.
mkdir "$TEST_DIR/real"
ln -s real/target.png "$TEST_DIR/link.png"
"$tool" --size 5x4 "$TEST_DIR/link.png" || fail "writing through a dangling link failed"
[ -L "$TEST_DIR/link.png" ] || fail "the link was replaced"
[ -f "$TEST_DIR/real/target.png" ] || fail "the link's target was not written"
# A link to a link, each relative to its own directory, and an absolute one.
ln -s ../link.png "$TEST_DIR/real/chain.png"
"$tool" --size 7x3 "$TEST_DIR/real/chain.png" || fail "writing through a chain of links failed"
[ -L "$TEST_DIR/real/chain.png" ] && [ -L "$TEST_DIR/link.png" ] || fail "a link of the chain was replaced"
cmp -s "$TEST_DIR/real/target.png" <("$tool" --size 7x3 -) || fail "the chain's target does not hold the new picture"
ln -s "$TEST_DIR/real/target.png" "$TEST_DIR/abs.png"
"$tool" --size 6x2 "$TEST_DIR/abs.png" || fail "writing through an absolute link failed"
[ -L "$TEST_DIR/abs.png" ] || fail "the absolute link was replaced"
cmp -s "$TEST_DIR/real/target.png" <("$tool" --size 6x2 -) || fail "the absolute link's target does not hold the new picture"
[ -z "$(ls "$TEST_DIR" "$TEST_DIR/real" | grep tmp-)" ] || fail "writing through a link left a temporary file"

# Replacing a file keeps its mode; a name as long as the file system takes is
# written, whatever room the temporary name needs; a FIFO is refused at once.
touch "$TEST_DIR/private.png" "$TEST_DIR/shared.ppm"
chmod 0600 "$TEST_DIR/private.png"
chmod 0664 "$TEST_DIR/shared.ppm"
"$tool" --size 5x4 "$TEST_DIR/private.png" && "$tool" --size 5x4 "$TEST_DIR/shared.ppm" || fail "replacing a file failed"
[ "$(stat -c %a "$TEST_DIR/private.png")" = 600 ] || fail "a 0600 file became $(stat -c %a "$TEST_DIR/private.png")"
[ "$(stat -c %a "$TEST_DIR/shared.ppm")" = 664 ] || fail "a 0664 file became $(stat -c %a "$TEST_DIR/shared.ppm")"
for length in 252 255; do
  name=$(printf "%0$((length - 4))d.png" 0)
  "$tool" --size 5x4 "$TEST_DIR/$name" || fail "a name of $length characters was refused"
  "$tool" --size 6x4 "$TEST_DIR/$name" || fail "a name of $length characters could not be replaced"
  cmp -s "$TEST_DIR/$name" <("$tool" --size 6x4 -) || fail "the name of $length characters does not hold the picture"
done
err=$("$tool" --size 5x4 "$TEST_DIR/$(printf '%0252d.png' 0)" 2>&1 >/dev/null)
[ $? -eq 1 ] && [ "$(printf '%s\n' "$err" | wc -l)" -eq 1 ] || fail "a name too long: $err"
mkfifo "$TEST_DIR/fifo.png"
err=$(timeout 10 "$tool" --size 5x4 "$TEST_DIR/fifo.png" 2>&1 >/dev/null)
[ $? -eq 1 ] && [ "$(printf '%s\n' "$err" | wc -l)" -eq 1 ] || fail "a FIFO as OUT: $err"
[ -p "$TEST_DIR/fifo.png" ] || fail "the FIFO was replaced"
[ -z "$(ls "$TEST_DIR" | grep tmp-)" ] || fail "a temporary file was left behind"

# '-' is standard output, as PNG; a failed write there is reported.
(cd "$TEST_DIR" && "$tool" --size 9x6 - > "$TEST_DIR/stdout.png") || fail "'-' failed"
"$tool" --size 9x6 "$TEST_DIR/file.png"
cmp -s "$TEST_DIR/stdout.png" "$TEST_DIR/file.png" || fail "'-' does not write the PNG that a file gets"
[ ! -e "$TEST_DIR/-" ] || fail "'-' wrote a file named '-'"
if [ -w /dev/full ]; then
  err=$("$tool" --size 9x6 - 2>&1 >/dev/full)
  [ $? -eq 1 ] || fail "a full standard output did not give status 1"
  [ "$(printf '%s\n' "$err" | wc -l)" -eq 1 ] || fail "a full standard output did not give one line: $err"
fi
err=$("$tool" --size 9x6 - 2>&1 >&-)
[ $? -eq 1 ] || fail "a closed standard output did not give status 1"
[ "$(printf '%s\n' "$err" | wc -l)" -eq 1 ] || fail "a closed standard output did not give one line: $err"

finish "snapshot cli"
