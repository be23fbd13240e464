# The real program in a private Xvfb, driven by xdotool.
find_package(X11)
if(X11_FOUND AND TARGET glintworks)
  add_executable(send-wm-delete e2e/send_wm_delete.cpp)
  target_link_libraries(send-wm-delete PRIVATE X11::X11)

  add_test(NAME e2e_picture_and_drag
    COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/e2e/picture_test.sh ${PROJECT_BINARY_DIR})
  add_test(NAME e2e_quit
    COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/e2e/quit_test.sh ${PROJECT_BINARY_DIR} $<TARGET_FILE:send-wm-delete>)
  add_test(NAME e2e_input
    COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/e2e/input_test.sh ${PROJECT_BINARY_DIR})
  set_tests_properties(e2e_picture_and_drag e2e_quit e2e_input PROPERTIES TIMEOUT 180 LABELS e2e)
endif()

# The program under a real Wayland compositor (weston nested in Xvfb).
add_executable(find-picture wayland/find_picture.cpp)
add_test(NAME wayland_weston
  COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/wayland/weston_test.sh ${PROJECT_BINARY_DIR} $<TARGET_FILE:find-picture>)
set_tests_properties(wayland_weston PROPERTIES TIMEOUT 180 LABELS e2e)
