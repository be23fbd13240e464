# Picking and dragging, and the program's statistics and clock.
add_executable(glintworks_picking_tests picking_test.cpp)
target_link_libraries(glintworks_picking_tests PRIVATE glintworks_picking GTest::gtest GTest::gtest_main)
glintworks_test(glintworks_picking_tests GTEST TIMEOUT 120 LABELS unit)

add_executable(glintworks_viewer_tests app_test.cpp viewer_test.cpp)
target_link_libraries(glintworks_viewer_tests PRIVATE glintworks_viewer glintworks_app glintworks_platform_headless
  GTest::gtest GTest::gtest_main)
glintworks_test(glintworks_viewer_tests GTEST TIMEOUT 120 LABELS unit)

# Replaces the global operator new to count allocations, so it is a program
# of its own.
add_executable(glintworks_no_allocation_tests no_allocation_test.cpp)
target_link_libraries(glintworks_no_allocation_tests PRIVATE glintworks_viewer glintworks_platform_headless
  GTest::gtest GTest::gtest_main)
glintworks_test(glintworks_no_allocation_tests GTEST TIMEOUT 120 LABELS unit)

# A whole headless run of the viewer under valgrind's memcheck: no error, no leak.
find_program(VALGRIND valgrind)
# (Not in the arm64 cross build: the build machine's valgrind runs only its
# own machine's programs.)
if(VALGRIND AND NOT GLINTWORKS_SANITIZE AND NOT GLINTWORKS_FUZZ AND NOT GLINTWORKS_EMULATED)
  add_executable(glintworks_headless_run headless_run.cpp)
  target_link_libraries(glintworks_headless_run PRIVATE glintworks_viewer glintworks_app glintworks_platform_headless)
  glintworks_test(memcheck_headless_run TIMEOUT 300 LABELS memcheck
    COMMAND ${VALGRIND} --error-exitcode=99 --leak-check=full --show-leak-kinds=all
            --errors-for-leak-kinds=definite,indirect,possible $<TARGET_FILE:glintworks_headless_run>)
endif()
