# The Windows build's tests, run under wine on the Linux build machine in a
# private prefix under this build folder. The end-to-end test compares the
# Windows program with the Linux snapshot tool, so it needs a Linux build
# beside this one: make test-windows builds both and names the Linux one.
set(GLINTWORKS_LINUX_BUILD "" CACHE PATH
    "A Linux build of Glintworks, whose snapshot tool and send-wm-delete the wine tests use")
if(NOT GLINTWORKS_LINUX_BUILD)
  message(FATAL_ERROR "The Windows build's tests need a Linux build of Glintworks: configure with "
          "-DGLINTWORKS_LINUX_BUILD=DIR (make test-windows does), or without tests (-DGLINTWORKS_TESTS=OFF)")
endif()
set(GLINTWORKS_WINEPREFIX ${PROJECT_BINARY_DIR}/wineprefix)
include(${CMAKE_CURRENT_LIST_DIR}/googletest.cmake)

# The wine tests share the prefix, and so its wineserver, which each one stops
# when it ends: they never run at the same time.
glintworks_test(wine_e2e TIMEOUT 300 SKIP_RETURN_CODE 77 LABELS wine RESOURCE_LOCK wineprefix
  SCRIPT windows/wine_e2e_test.sh ${PROJECT_BINARY_DIR}
         ${GLINTWORKS_LINUX_BUILD}/tools/glintworks-snapshot ${GLINTWORKS_LINUX_BUILD}/tests/send-wm-delete
         ${GLINTWORKS_WINEPREFIX})

# The framework's tests that go through the Win32 API, the same sources as the
# Linux build's glintworks_px_tests, against the real user32/gdi32 (wine here)
# through a Win32 test driver in place of the headless backend.
add_executable(glintworks_px_tests ${PX_TEST_SOURCES} windows/win32_driver.cpp)
target_link_libraries(glintworks_px_tests PRIVATE glintworks_px gtest gtest_main)
glintworks_test(wine_px_shared TIMEOUT 300 SKIP_RETURN_CODE 77 LABELS wine RESOURCE_LOCK wineprefix
  SCRIPT windows/wine_gtest.sh ${GLINTWORKS_WINEPREFIX} $<TARGET_FILE:glintworks_px_tests>)

# The frame renderer on Windows: every SIMD target the CPU runs held to the
# scalar tracer, byte for byte, as on Linux. The targets the program does not
# choose on this CPU are reached only here, and the 64-bit Windows calling
# convention and stack alignment differ from Linux's.
add_executable(glintworks_render_tests ${RENDER_TEST_SOURCES})
target_link_libraries(glintworks_render_tests PRIVATE glintworks_render gtest gtest_main)
glintworks_test(wine_render TIMEOUT 300 SKIP_RETURN_CODE 77 LABELS wine RESOURCE_LOCK wineprefix
  SCRIPT windows/wine_gtest.sh ${GLINTWORKS_WINEPREFIX} $<TARGET_FILE:glintworks_render_tests>)
