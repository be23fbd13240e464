#!/usr/bin/env bash
# The snapshot tool under a cap on its address space (ulimit -v): a picture that
# fits once in memory is written, and running out of memory anywhere, while
# allocating the image or while encoding it, gives one line on standard error,
# status 1 and no file, never an abort or a temporary file left behind (nor an
# empty file at the end of a dangling link).
# Not run under AddressSanitizer, whose shadow memory no such cap admits.
tool=$1
. "$(dirname "$0")/testlib.sh"

# run KIB ARGS...: the tool with its address space capped at KIB KiB; sets
# STATUS and ERR (its standard error).
run() {
  local kib=$1; shift
  ERR=$( (ulimit -v "$kib" && exec "$tool" "$@") 2>&1 >/dev/null)
  STATUS=$?
}

# The least cap under which a 64x64 picture is written: what the program itself
# needs, found by bisection so that the test does not depend on the machine's
# libraries.
low=1024 high=4194304
run "$high" --size 64x64 "$TEST_DIR/probe.png"
[ "$STATUS" -eq 0 ] || { fail "no run under a 4 GiB cap: $ERR"; # The same failure through a dangling link: the file made at the link's end
# to learn whether the link may be followed is removed again.
if [ $encoding -gt 0 ]; then
  ln -s dangling-target.png "$TEST_DIR/dangling.png"
  run "$encoding_cap" --size 512x512 "$TEST_DIR/dangling.png"
  [ "$STATUS" -eq 1 ] || fail "through a dangling link under $encoding_cap KiB: status $STATUS: $ERR"
  [ ! -e "$TEST_DIR/dangling-target.png" ] || fail "a failed write through a dangling link left a file at its end"
  [ -L "$TEST_DIR/dangling.png" ] || fail "a failed write through a dangling link replaced the link"
fi

finish "snapshot memory"; }
while [ $((high - low)) -gt 32 ]; do
  mid=$(((low + high) / 2))
  run "$mid" --size 64x64 "$TEST_DIR/probe.png"
  if [ "$STATUS" -eq 0 ]; then high=$mid; else low=$mid; fi
done
echo "the program needs about $high KiB of address space"

# A 2048x2048 picture is 16 MiB; with 20 MiB beside the program it fits once,
# but not with a copy of its rows beside it.
rm -f "$TEST_DIR/big.png"
run $((high + 20480)) --size 2048x2048 "$TEST_DIR/big.png"
[ "$STATUS" -eq 0 ] || fail "a picture that fits once in memory: status $STATUS: $ERR"
[ "$(head -c 8 "$TEST_DIR/big.png" 2>/dev/null | od -An -tx1 | tr -d ' ')" = 89504e470d0a1a0a ] ||
  fail "the picture that fits once was not written as a PNG"

# A 512x512 picture (1 MiB) under caps from too little for it up to enough for it
# and its encoder, in steps of 48 KiB: each run writes a whole picture or fails
# cleanly, whatever it was doing when memory ran out. Some steps must fail while
# encoding, after the image was rendered, where a temporary file exists.
clean=0 written=0 encoding=0
for kib in $(seq $((high + 128)) 48 $((high + 1536))); do
  rm -f "$TEST_DIR/step.png"
  run "$kib" --size 512x512 "$TEST_DIR/step.png"
  if [ "$STATUS" -eq 0 ]; then
    written=$((written + 1))
    [ -s "$TEST_DIR/step.png" ] || fail "status 0 under $kib KiB but no picture"
  elif [ "$STATUS" -eq 1 ]; then
    clean=$((clean + 1))
    [ "$(printf '%s\n' "$ERR" | wc -l)" -eq 1 ] || fail "under $kib KiB, not one line: $ERR"
    printf '%s' "$ERR" | grep -q memory || fail "under $kib KiB the message does not say memory ran out: $ERR"
    [ ! -e "$TEST_DIR/step.png" ] || fail "under $kib KiB a failed run left a picture"
    case $ERR in *"cannot write"*) encoding=$((encoding + 1)) encoding_cap=$kib ;; esac
  else
    fail "under $kib KiB: status $STATUS: $ERR"
  fi
  if ls "$TEST_DIR" | grep -q tmp-; then
    fail "under $kib KiB a temporary file was left behind"
    rm -f "$TEST_DIR"/*tmp-*
  fi
done
[ $clean -gt 0 ] && [ $written -gt 0 ] && [ $encoding -gt 0 ] ||
  fail "the steps did not span failure, failure while encoding and success ($clean failed, $encoding of them while encoding, $written written)"

# The same failure through a dangling link: the file made at the link's end
# to learn whether the link may be followed is removed again.
if [ $encoding -gt 0 ]; then
  ln -s dangling-target.png "$TEST_DIR/dangling.png"
  run "$encoding_cap" --size 512x512 "$TEST_DIR/dangling.png"
  [ "$STATUS" -eq 1 ] || fail "through a dangling link under $encoding_cap KiB: status $STATUS: $ERR"
  [ ! -e "$TEST_DIR/dangling-target.png" ] || fail "a failed write through a dangling link left a file at its end"
  [ -L "$TEST_DIR/dangling.png" ] || fail "a failed write through a dangling link replaced the link"
fi

finish "snapshot memory"
