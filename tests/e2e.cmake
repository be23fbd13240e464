# The real program in a private Xvfb, driven by xdotool. Each script is
# given the program, the snapshot tool and the helpers it uses.
# (In the arm64 cross build, all three under qemu: glintworks_script_program.)
glintworks_script_program(glintworks e2e_program)
glintworks_script_program(glintworks-snapshot e2e_snapshot)
glintworks_script_program(send-wm-delete e2e_send_wm_delete)
glintworks_script_program(wait-buttons-up e2e_wait_buttons_up)
set(E2E_PROGRAMS ${e2e_program} ${e2e_snapshot})
glintworks_test(e2e_picture_and_drag TIMEOUT 180 LABELS e2e SCRIPT e2e/picture_test.sh ${E2E_PROGRAMS})
glintworks_test(e2e_quit TIMEOUT 180 LABELS e2e SCRIPT e2e/quit_test.sh ${E2E_PROGRAMS} ${e2e_send_wm_delete})
if(GLINTWORKS_EMULATED)
  set(e2e_input_environment ENVIRONMENT E2E_EMULATED=1)
endif()
glintworks_test(e2e_input TIMEOUT 300 LABELS e2e ${e2e_input_environment} SCRIPT e2e/input_test.sh ${E2E_PROGRAMS} ${e2e_wait_buttons_up})

# Left out under emulation: the program under weston (not yet tried under
# qemu, and the arm64 Mesa stack that SDL loads there is the one the SDL
# window test meets spinning, sdl.cmake), and the real-time drags under a
# window manager (the same code as the drags above, which run; under qemu the
# runs would add minutes).
if(GLINTWORKS_EMULATED)
  return()
endif()

# The real-time drags again under a window manager, which frames, places and
# focuses the window itself.
glintworks_test(e2e_input_burst_openbox TIMEOUT 180 LABELS e2e ENVIRONMENT E2E_WINDOW_MANAGER=openbox
  SCRIPT e2e/input_test.sh ${E2E_PROGRAMS} ${e2e_wait_buttons_up} burst)

# The program under a real Wayland compositor (weston nested in Xvfb).
add_executable(find-picture wayland/find_picture.cpp)
glintworks_test(wayland_weston TIMEOUT 180 LABELS e2e
  SCRIPT wayland/weston_test.sh ${E2E_PROGRAMS} $<TARGET_FILE:find-picture>)
