#!/usr/bin/env bash
# The renderer's NEON code holds no instruction of the crypto extension (AES,
# polynomial multiply, SHA, SM3/SM4, SHA-3), which many 64-bit ARM CPUs lack
# (the Raspberry Pi 4's Cortex-A72 as commonly built): the dispatch offers
# NEON wherever the CPU has Advanced SIMD, so such an instruction would stop
# the program there with an illegal instruction. The NEON functions are found
# by their namespace in the disassembly; finding none, or none with vector
# arithmetic, fails rather than passes.
# Usage: neon_crypto_check.sh OBJDUMP OBJECT...
set -u
objdump=$1
shift
listing=$(mktemp)
trap 'rm -f "$listing"' EXIT
"$objdump" -d -C --no-show-raw-insn "$@" >"$listing" || { echo "FAIL: $objdump could not read $*"; exit 1; }
# The instructions of functions in the N_NEON namespace: "address: mnemonic operands".
neon=$(awk '/^[0-9a-f]+ <.*>:$/ { neon = ($0 ~ /N_NEON::/) } neon && /^ +[0-9a-f]+:\t/' "$listing")
instructions=$(printf '%s\n' "$neon" | grep -c .)
vector=$(printf '%s\n' "$neon" | grep -cE '\bv[0-9]+\.4s\b')
if [ "$instructions" -eq 0 ] || [ "$vector" -eq 0 ]; then
  echo "FAIL: no NEON code found in $* ($instructions instructions, $vector on vectors of four floats)"
  exit 1
fi
crypto=$(printf '%s\n' "$neon" | awk '{ print $2 }' |
  grep -E '^(aes[a-z]*|pmull2?|sha(1|256|512)[a-z0-9]*|sm3[a-z0-9]*|sm4[a-z]*|eor3|bcax|rax1|xar)$' | sort | uniq -c)
if [ -n "$crypto" ]; then
  echo "FAIL: the NEON code uses the crypto extension:"
  printf '%s\n' "$crypto"
  exit 1
fi
echo "ok: $instructions NEON instructions ($vector on vectors of four floats), none of the crypto extension"
