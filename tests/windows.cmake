# The Windows build's tests, run under wine on the Linux build machine in a
# private prefix under this build folder. The end-to-end test compares the
# Windows program with the Linux snapshot tool, so it needs a Linux build
# beside this one (make windows-test builds both).
set(GLINTWORKS_LINUX_BUILD ${PROJECT_SOURCE_DIR}/build CACHE PATH
    "A Linux build of Glintworks, whose snapshot tool and send-wm-delete the wine tests use")
set(GLINTWORKS_WINEPREFIX ${PROJECT_BINARY_DIR}/wineprefix)

add_test(NAME wine_e2e
  COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/windows/wine_e2e_test.sh ${PROJECT_BINARY_DIR}
          ${GLINTWORKS_LINUX_BUILD}/tools/glintworks-snapshot ${GLINTWORKS_LINUX_BUILD}/tests/send-wm-delete
          ${GLINTWORKS_WINEPREFIX})
# The wine tests share the prefix, and so its wineserver, which each one stops
# when it ends: they never run at the same time.
set_tests_properties(wine_e2e PROPERTIES TIMEOUT 300 SKIP_RETURN_CODE 77 LABELS wine RESOURCE_LOCK wineprefix)

# The framework's tests that go through the Win32 API, the same sources as the
# Linux build's glintworks_px_tests, against the real user32/gdi32 (wine here)
# through a Win32 test driver in place of the headless backend. GoogleTest is
# built from the sources Debian ships (package googletest).
include(${CMAKE_CURRENT_LIST_DIR}/googletest.cmake)

add_executable(glintworks_px_tests
  px_window_test.cpp
  px_native_test.cpp
  px_offscreen_test.cpp
  px_win32_api.cpp
  windows/win32_driver.cpp
)
target_link_libraries(glintworks_px_tests PRIVATE glintworks_px gtest gtest_main)
add_test(NAME wine_px_shared
  COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/windows/wine_gtest.sh ${GLINTWORKS_WINEPREFIX}
          $<TARGET_FILE:glintworks_px_tests>)
set_tests_properties(wine_px_shared PROPERTIES TIMEOUT 300 SKIP_RETURN_CODE 77 LABELS wine RESOURCE_LOCK wineprefix)

# The frame renderer on Windows: every SIMD target the CPU runs held to the
# scalar tracer, byte for byte, as on Linux. The targets the program does not
# choose on this CPU are reached only here, and the 64-bit Windows calling
# convention and stack alignment differ from Linux's.
add_executable(glintworks_render_tests render_frames_test.cpp)
target_link_libraries(glintworks_render_tests PRIVATE glintworks_render gtest gtest_main)
add_test(NAME wine_render
  COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/windows/wine_gtest.sh ${GLINTWORKS_WINEPREFIX}
          $<TARGET_FILE:glintworks_render_tests>)
set_tests_properties(wine_render PROPERTIES TIMEOUT 300 SKIP_RETURN_CODE 77 LABELS wine RESOURCE_LOCK wineprefix)
