# Building Glintworks for WebAssembly with Debian's emscripten (package
# emscripten):
#
#   cmake -S . -B build-web -DCMAKE_TOOLCHAIN_FILE=cmake/emscripten.cmake
#
# Emscripten's own toolchain file does the work; this one mends two things
# that meet a machine whose node is not Debian's own:
# - emcc's JavaScript optimizer, run at every optimised link, loads the acorn
#   parser, which Debian installs for its node under /usr/share/nodejs;
#   another node does not look there unless NODE_PATH says so;
# - the loader that emcc writes uses fetch() when it finds one, and node 20's
#   fetch cannot read a file path, so programs run under node without it.
include(/usr/share/emscripten/cmake/Modules/Platform/Emscripten.cmake)

set(GLINTWORKS_NODE_PATH /usr/share/nodejs)
set(CMAKE_CXX_COMPILER_LAUNCHER ${CMAKE_COMMAND} -E env NODE_PATH=${GLINTWORKS_NODE_PATH})
set(CMAKE_CXX_LINKER_LAUNCHER ${CMAKE_COMMAND} -E env NODE_PATH=${GLINTWORKS_NODE_PATH})

# Tests and tools built here run under node.
find_program(GLINTWORKS_NODE node REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${GLINTWORKS_NODE} --no-experimental-fetch CACHE STRING
    "Runs the WebAssembly programs of the build" FORCE)
