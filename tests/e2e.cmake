# The real program in a private Xvfb, driven by xdotool. Each script is
# given the program, the snapshot tool and the helpers it uses.
set(E2E_PROGRAMS $<TARGET_FILE:glintworks> $<TARGET_FILE:glintworks-snapshot>)
add_test(NAME e2e_picture_and_drag
  COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/e2e/picture_test.sh ${E2E_PROGRAMS})
add_test(NAME e2e_quit
  COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/e2e/quit_test.sh ${E2E_PROGRAMS} $<TARGET_FILE:send-wm-delete>)
add_test(NAME e2e_input
  COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/e2e/input_test.sh ${E2E_PROGRAMS})
# The real-time drags again under a window manager, which frames, places and
# focuses the window itself.
add_test(NAME e2e_input_burst_openbox
  COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/e2e/input_test.sh ${E2E_PROGRAMS} burst)
set_tests_properties(e2e_input_burst_openbox PROPERTIES ENVIRONMENT E2E_WINDOW_MANAGER=openbox)
set_tests_properties(e2e_picture_and_drag e2e_quit e2e_input e2e_input_burst_openbox PROPERTIES TIMEOUT 180 LABELS e2e)

# The program under a real Wayland compositor (weston nested in Xvfb).
add_executable(find-picture wayland/find_picture.cpp)
add_test(NAME wayland_weston
  COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/wayland/weston_test.sh ${E2E_PROGRAMS} $<TARGET_FILE:find-picture>)
set_tests_properties(wayland_weston PROPERTIES TIMEOUT 180 LABELS e2e)
