#!/usr/bin/env bash
# Compiles the window framework (px/, not the platform layer in platform/)
# against the real Win32 headers of the MinGW-w64 cross compiler, syntax only,
# together with tests/px_win32_api.cpp, whose compile-time checks tie our own
# Win32 subset (platform/win32.h) to those headers.
#
#   px_mingw_check.sh SOURCE_DIR
#
# Exits 0 when everything compiles without a warning, 1 when something does
# not, and 77 (reported as skipped) when no cross compiler is installed
# (Debian package g++-mingw-w64-x86-64). MINGW_CXX names another compiler.
root=${1:?usage: px_mingw_check.sh SOURCE_DIR}
. "$(dirname "$0")/testlib.sh"

cxx=${MINGW_CXX:-}
if [[ -z $cxx ]]; then
    # The POSIX-thread variant has the whole C++20 library; the win32-thread
    # one lacks <thread> and <mutex>.
    for candidate in x86_64-w64-mingw32-g++-posix x86_64-w64-mingw32-g++; do
        if command -v "$candidate" >/dev/null 2>&1; then
            cxx=$candidate
            break
        fi
    done
fi
if [[ -z $cxx ]] || ! command -v "$cxx" >/dev/null 2>&1; then
    echo "skipped: no MinGW-w64 cross compiler (install g++-mingw-w64-x86-64)"
    exit 77
fi

flags=(-fsyntax-only -std=c++20 -Wall -Wextra -Wpedantic -Werror -I"$root")
check() {  # check LABEL COMPILER-ARGS...
    local label=$1
    shift
    if "$cxx" "${flags[@]}" "$@"; then pass "$label"; else fail "$label"; fi
}

# The compiler must really be a Windows one, so that platform/win32.h takes
# <windows.h> rather than our own declarations.
check "target is Windows" -x c++ - <<<'#include "platform/win32.h"
#if !defined(_WIN32) || !defined(_WINUSER_)
#error "not compiling against the Windows headers"
#endif'

for source in "$root"/px/*.cpp "$root"/tests/px_win32_api.cpp; do
    check "${source#"$root"/}" "$source"
done
# Each header on its own, so that each includes what it uses.
for header in "$root"/px/*.h; do
    check "${header#"$root"/}" -x c++ - <<<"#include \"px/${header##*/}\""
done
finish
