# Picking and dragging, and the program's statistics and clock.
add_executable(glintworks_picking_tests picking_test.cpp)
target_link_libraries(glintworks_picking_tests PRIVATE glintworks_picking GTest::gtest GTest::gtest_main)
gtest_discover_tests(glintworks_picking_tests DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 120 LABELS unit)

if(TARGET glintworks_viewer)
  add_executable(glintworks_viewer_tests app_test.cpp viewer_test.cpp)
  target_link_libraries(glintworks_viewer_tests PRIVATE glintworks_viewer glintworks_app glintworks_px_headless
    GTest::gtest GTest::gtest_main)
  gtest_discover_tests(glintworks_viewer_tests DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 120 LABELS unit)
endif()
