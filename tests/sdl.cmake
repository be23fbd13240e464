# The SDL backend: its key and button translation (no display needed), and
# the backend itself in a private Xvfb, driven by xdotool.
add_executable(glintworks_sdl_keys_tests sdl_keys_test.cpp)
target_link_libraries(glintworks_sdl_keys_tests PRIVATE glintworks_platform_sdl GTest::gtest GTest::gtest_main)
glintworks_test(glintworks_sdl_keys_tests GTEST TIMEOUT 120 LABELS unit)

find_package(X11 REQUIRED)
add_executable(sdl_window_probe sdl_window_probe.cpp)
target_link_libraries(sdl_window_probe PRIVATE glintworks_px glintworks_platform_sdl)
# The window manager's close button, as the backend's and the end-to-end
# tests send it.
add_executable(send-wm-delete e2e/send_wm_delete.cpp)
target_link_libraries(send-wm-delete PRIVATE X11::X11)
# Waits until no pointer button is down: the end-to-end drags under a window
# manager.
add_executable(wait-buttons-up e2e/wait_buttons_up.cpp)
target_link_libraries(wait-buttons-up PRIVATE X11::X11)

# Left out under emulation: under qemu the probe's check of SDL's offscreen
# driver loads the arm64 Mesa stack, which spins until killed. The program's
# own window under qemu is tested end to end (e2e.cmake).
if(GLINTWORKS_EMULATED)
  return()
endif()
glintworks_test(sdl_window_in_xvfb TIMEOUT 120 LABELS sdl
  SCRIPT sdl/window_test.sh $<TARGET_FILE:sdl_window_probe> $<TARGET_FILE:send-wm-delete>)

# Again on a server without shared memory (as a remote display is), where the
# backend shows images through SDL's window surface instead.
glintworks_test(sdl_window_in_xvfb_without_shm TIMEOUT 120 LABELS sdl
  SCRIPT sdl/window_test.sh $<TARGET_FILE:sdl_window_probe> $<TARGET_FILE:send-wm-delete>
  ENVIRONMENT "XVFB_ARGS=-extension MIT-SHM" EXPECT_NO_SHM=1)
