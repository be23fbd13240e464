# Cross-building Glintworks for 64-bit Windows with Debian's MinGW-w64
# (packages g++-mingw-w64-x86-64-posix and libz-mingw-w64-dev):
#
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
#         -DGLINTWORKS_TESTS=OFF
#
# (its tests, run under wine, also need -DGLINTWORKS_LINUX_BUILD=DIR, a Linux
# build whose snapshot tool draws their expected pictures: make test-windows).
#
# The POSIX-thread variant of the compiler, because the win32-thread one lacks
# <thread> and <mutex>. Everything is linked statically, the C++ runtime and
# winpthread included, so the .exe files run with no DLL beside them.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(GLINTWORKS_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${GLINTWORKS_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${GLINTWORKS_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${GLINTWORKS_MINGW_PREFIX}-windres)

# Libraries and headers come from the MinGW-w64 tree only, never from the
# build machine's /usr; programs (cmake's helpers) from the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${GLINTWORKS_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# GCC cannot realign the stack on 64-bit Windows (its unwind tables do not
# allow it), so a local declared with 32- or 64-byte alignment, such as the
# renderer's chunk of lanes, may lie only 16-byte aligned there. The assembler
# then writes every aligned vector move as an unaligned one, which costs
# nothing on the CPUs that run AVX and never faults.
set(CMAKE_CXX_FLAGS_INIT "-Wa,-muse-unaligned-vector-move")
set(CMAKE_C_FLAGS_INIT "-Wa,-muse-unaligned-vector-move")

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Tests built here run under wine on the build machine.
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
