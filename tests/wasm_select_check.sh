#!/usr/bin/env bash
# The renderer's WebAssembly SIMD code combines masks with v128.and, v128.or
# and v128.andnot, not with a v128.bitselect of an all-zero or all-ones
# constant, which is what LLVM makes of them unless the masks' origin is
# hidden (Opaque in render/render_lanes-inl.h): three instructions in V8's
# code for one, and frames nearly a third longer. The SIMD target's functions
# are found by their namespace in the module's names; finding none, or none
# with a select, fails rather than passes.
# Usage: wasm_select_check.sh WASM_DIS MODULE.wasm
set -u
text=$(mktemp)
trap 'rm -f "$text"' EXIT
"$1" "$2" -o "$text" || { echo "FAIL: $1 could not read $2"; exit 1; }
python3 - "$text" <<'PY'
import re
import sys

ZERO = ['v128.const', 'i32x4'] + ['0x00000000'] * 4
ONES = ['v128.const', 'i32x4'] + ['0xffffffff'] * 4
functions = selects = 0
disguised = []
for function in re.split(r'\n \(func ', open(sys.argv[1]).read())[1:]:
    name, body = function.split('\n', 1)
    if 'N_WASM' not in name:
        continue
    functions += 1
    # The folded text as nested lists; each select's first two operands are
    # the values it picks from.
    stack = [[]]
    for token in re.findall(r'\(|\)|[^\s()]+', body):
        if token == '(':
            stack.append([])
        elif token == ')' and len(stack) > 1:
            node = stack.pop()
            stack[-1].append(node)
            if node[:1] == ['v128.bitselect']:
                selects += 1
                if any(operand in (ZERO, ONES) for operand in node[1:3]):
                    disguised.append(name.split(' ')[0])
        elif token != ')':
            stack[-1].append(token)
if functions == 0 or selects == 0:
    sys.exit(f'FAIL: no WebAssembly SIMD renderer code found ({functions} functions, {selects} selects)')
if disguised:
    print(f'FAIL: {len(disguised)} selects of a constant combine masks, in:')
    for name in sorted(set(disguised)):
        print(f'  {name}')
    sys.exit(1)
print(f'ok: {selects} selects in {functions} WebAssembly SIMD functions, none of them an and or an or')
PY
