# The scene's and the renderer's tests compiled to WebAssembly and run under
# node (the toolchain file's CMAKE_CROSSCOMPILING_EMULATOR). They hold the
# renderer's WebAssembly SIMD target, which no other build compiles, to the
# scalar tracer byte for byte. GoogleTest is built from its sources, as for
# the Windows build.
include(${CMAKE_CURRENT_LIST_DIR}/googletest.cmake)

add_executable(glintworks_scene_tests ${SCENE_TEST_SOURCES})
add_executable(glintworks_render_tests ${RENDER_TEST_SOURCES})
foreach(tests glintworks_scene_tests glintworks_render_tests)
  target_link_libraries(${tests} PRIVATE glintworks_render gtest gtest_main)
  # A full HD frame is several times emscripten's initial 16 MiB of memory.
  # Main's status reaches node's (so a failing test fails ctest) without
  # more: emscripten's exit ends node's process with it.
  target_link_options(${tests} PRIVATE -sALLOW_MEMORY_GROWTH=1 -sENVIRONMENT=node)
  # One ctest test per program rather than per test case: node takes a fifth
  # to a third of a second to start each one and compile its module, which
  # for the 45 cases would cost three times what the tests themselves do. A
  # failure still shows which case failed (ctest --output-on-failure).
  glintworks_test(${tests} TIMEOUT 120 LABELS unit)
endforeach()

# The renderer's WebAssembly SIMD code combines masks without selects of a
# constant (wasm_select_check.sh), found by the functions' names, which the
# render tests' module keeps for it.
find_program(GLINTWORKS_WASM_DIS wasm-dis REQUIRED)
target_link_options(glintworks_render_tests PRIVATE --profiling-funcs)
glintworks_test(render_wasm_selects TIMEOUT 60 LABELS unit SCRIPT wasm_select_check.sh ${GLINTWORKS_WASM_DIS}
  $<TARGET_FILE_DIR:glintworks_render_tests>/glintworks_render_tests.wasm)
