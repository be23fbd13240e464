# Cross-building Glintworks for 64-bit ARM Linux (Debian's arm64) on Debian
# amd64, with the cross compiler (package g++-aarch64-linux-gnu) and the arm64
# builds of the libraries installed beside the amd64 ones through multiarch
# (dpkg --add-architecture arm64; libsdl2-dev:arm64 and the others, see
# scripts/install-deps arm64):
#
#   cmake -S . -B build-arm64 -DCMAKE_TOOLCHAIN_FILE=cmake/aarch64-linux-gnu.cmake
#
# Multiarch keeps the arm64 headers and libraries in the machine's own tree
# (/usr/include/aarch64-linux-gnu, /usr/lib/aarch64-linux-gnu), where Debian's
# cross compiler looks for them, so the root to search is / itself; the arm64
# pkg-config files are read through the cross pkg-config wrapper.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)

set(GLINTWORKS_CROSS_TRIPLET aarch64-linux-gnu)
set(CMAKE_C_COMPILER ${GLINTWORKS_CROSS_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${GLINTWORKS_CROSS_TRIPLET}-g++)
set(CMAKE_LIBRARY_ARCHITECTURE ${GLINTWORKS_CROSS_TRIPLET})
set(PKG_CONFIG_EXECUTABLE ${GLINTWORKS_CROSS_TRIPLET}-pkg-config CACHE FILEPATH "pkg-config for arm64")

# Libraries, headers and CMake packages of the arm64 half only; programs
# (cmake's helpers, convert, gzip) from the build machine.
set(CMAKE_FIND_ROOT_PATH /)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Programs built here (the tests, and the snapshot tool that renders the
# package's icons) run under qemu's user-mode emulator. The arm64 loader and
# libraries lie where an arm64 program looks for them (/lib/ld-linux-aarch64.so.1,
# /usr/lib/aarch64-linux-gnu), so qemu needs no root of its own; the CPU it
# emulates is qemu's "max" unless QEMU_CPU names another (the tests set it).
find_program(GLINTWORKS_QEMU_AARCH64 NAMES qemu-aarch64-static qemu-aarch64 REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${GLINTWORKS_QEMU_AARCH64} CACHE STRING
    "Runs the arm64 programs of the build" FORCE)

