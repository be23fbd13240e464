# GoogleTest built from the sources Debian ships (package googletest), for the
# builds that have no GoogleTest library of their own: MinGW-w64 and
# WebAssembly.
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest/googletest ${PROJECT_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
