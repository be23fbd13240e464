# The real program in a private Xvfb, driven by xdotool. Each script is
# given the program, the snapshot tool and the helpers it uses.
# (In the arm64 cross build, all three under qemu: glintworks_script_program.)
glintworks_script_program(glintworks e2e_program)
glintworks_script_program(glintworks-snapshot e2e_snapshot)
glintworks_script_program(send-wm-delete e2e_send_wm_delete)
set(E2E_PROGRAMS ${e2e_program} ${e2e_snapshot})
add_test(NAME e2e_picture_and_drag
  COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/e2e/picture_test.sh ${E2E_PROGRAMS})
add_test(NAME e2e_quit
  COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/e2e/quit_test.sh ${E2E_PROGRAMS} ${e2e_send_wm_delete})
add_test(NAME e2e_input
  COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/e2e/input_test.sh ${E2E_PROGRAMS})
set_tests_properties(e2e_picture_and_drag e2e_quit e2e_input PROPERTIES TIMEOUT 180 LABELS e2e)

# The program under a real Wayland compositor (weston nested in Xvfb). Left
# out under emulation: not yet tried with the program under qemu, and the
# arm64 Mesa stack that SDL loads there is the one the SDL window test meets
# spinning (sdl.cmake).
if(GLINTWORKS_EMULATED)
  return()
endif()
add_executable(find-picture wayland/find_picture.cpp)
add_test(NAME wayland_weston
  COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/wayland/weston_test.sh ${E2E_PROGRAMS} $<TARGET_FILE:find-picture>)
set_tests_properties(wayland_weston PROPERTIES TIMEOUT 180 LABELS e2e)
