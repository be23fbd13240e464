#!/usr/bin/env bash
# The renderer's NEON code holds no instruction of the crypto extension (AES,
# polynomial multiply, SHA, SM3/SM4, SHA-3), which many 64-bit ARM CPUs lack
# (the Raspberry Pi 4's Cortex-A72 as commonly built), and its SVE2 code none
# of SVE2's AES extension (AES, 128-bit polynomial multiply), which SVE2 CPUs
# need not have: the dispatch offers NEON wherever the CPU has Advanced SIMD
# and SVE2 wherever it has SVE2, so such an instruction would stop the program
# there with an illegal instruction. Each target's functions are found by
# their namespace in the disassembly; finding none, or none with vector
# arithmetic, fails rather than passes.
# Usage: arm_crypto_check.sh OBJDUMP OBJECT...
set -u
objdump=$1
shift
objects="$*"
listing=$(mktemp)
trap 'rm -f "$listing"' EXIT
"$objdump" -d -C --no-show-raw-insn "$@" >"$listing" || { echo "FAIL: $objdump could not read $*"; exit 1; }

# check NAME NAMESPACE VECTOR CRYPTO: the instructions of functions in the
# namespaces that match NAMESPACE, some of them on the registers VECTOR
# matches, none whose mnemonic and operands CRYPTO matches.
check() {
  local name=$1 namespace=$2 vector=$3 crypto=$4 code instructions vectors found
  code=$(awk -v ns="$namespace" '/^[0-9a-f]+ <.*>:$/ { inside = ($0 ~ ns) } inside && /^ +[0-9a-f]+:\t/' "$listing")
  instructions=$(printf '%s\n' "$code" | grep -c .)
  vectors=$(printf '%s\n' "$code" | grep -cE "$vector")
  if [ "$instructions" -eq 0 ] || [ "$vectors" -eq 0 ]; then
    echo "FAIL: no $name code found in $objects ($instructions instructions, $vectors on vectors of floats)"
    return 1
  fi
  found=$(printf '%s\n' "$code" | cut -f2- | grep -E "$crypto" | awk '{ print $1 }' | sort | uniq -c)
  if [ -n "$found" ]; then
    echo "FAIL: the $name code uses instructions its CPUs may lack:"
    printf '%s\n' "$found"
    return 1
  fi
  echo "ok: $instructions $name instructions ($vectors on vectors of floats), none of the crypto extensions"
}

status=0
check NEON 'N_NEON::' '\bv[0-9]+\.4s\b' \
  '^(aes[a-z]*|pmull2?|sha(1|256|512)[a-z0-9]*|sm3[a-z0-9]*|sm4[a-z]*|eor3|bcax|rax1|xar)\b' || status=1
check SVE2 'N_SVE2(_128)?::' '\bz[0-9]+\.s\b' '^(aes[a-z]*\b|pmull[bt]\s+z[0-9]+\.q\b)' || status=1
exit $status
