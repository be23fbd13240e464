# The real program in a private Xvfb, driven by xdotool. Each script is
# given the program, the snapshot tool and the helpers it uses.
set(E2E_PROGRAMS $<TARGET_FILE:glintworks> $<TARGET_FILE:glintworks-snapshot>)
glintworks_test(e2e_picture_and_drag TIMEOUT 180 LABELS e2e SCRIPT e2e/picture_test.sh ${E2E_PROGRAMS})
glintworks_test(e2e_quit TIMEOUT 180 LABELS e2e
  SCRIPT e2e/quit_test.sh ${E2E_PROGRAMS} $<TARGET_FILE:send-wm-delete>)
glintworks_test(e2e_input TIMEOUT 180 LABELS e2e SCRIPT e2e/input_test.sh ${E2E_PROGRAMS})
# The real-time drags again under a window manager, which frames, places and
# focuses the window itself.
glintworks_test(e2e_input_burst_openbox TIMEOUT 180 LABELS e2e ENVIRONMENT E2E_WINDOW_MANAGER=openbox
  SCRIPT e2e/input_test.sh ${E2E_PROGRAMS} burst)

# The program under a real Wayland compositor (weston nested in Xvfb).
add_executable(find-picture wayland/find_picture.cpp)
glintworks_test(wayland_weston TIMEOUT 180 LABELS e2e
  SCRIPT wayland/weston_test.sh ${E2E_PROGRAMS} $<TARGET_FILE:find-picture>)
