# The frame renderers: the fast path held to the literal loop, byte for byte.
add_executable(glintworks_render_tests render_frames_test.cpp)
target_link_libraries(glintworks_render_tests PRIVATE glintworks_scene GTest::gtest GTest::gtest_main)
gtest_discover_tests(glintworks_render_tests DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 300 LABELS unit)
