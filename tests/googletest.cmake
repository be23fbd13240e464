# GoogleTest built from its sources, for the builds that have no GoogleTest
# library of their own: MinGW-w64 and WebAssembly. Debian ships the sources
# in the package googletest (/usr/src/googletest); GLINTWORKS_GOOGLETEST_SOURCES
# names another copy (the folder that holds src/gtest-all.cc). They are found
# on the build machine, outside the cross compiler's own tree.
find_path(GLINTWORKS_GOOGLETEST_SOURCES src/gtest-all.cc
  HINTS /usr/src/googletest /usr/src/gtest
  PATH_SUFFIXES googletest
  NO_CMAKE_FIND_ROOT_PATH
  DOC "GoogleTest's sources (the folder holding src/gtest-all.cc), built for the cross builds' tests")
if(NOT EXISTS "${GLINTWORKS_GOOGLETEST_SOURCES}/src/gtest-all.cc")
  message(FATAL_ERROR "GoogleTest's sources are not in \"${GLINTWORKS_GOOGLETEST_SOURCES}\": install the "
          "Debian package googletest (scripts/install-deps), or set GLINTWORKS_GOOGLETEST_SOURCES to the "
          "folder holding src/gtest-all.cc")
endif()
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(${GLINTWORKS_GOOGLETEST_SOURCES} ${PROJECT_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
