# The frame renderers: the fast path held to the literal loop, byte for byte.
# Unlike the renderer, the tests link Highway's library: one compares the
# targets the renderer accepts with those Highway says this CPU runs.
find_package(hwy REQUIRED)
add_executable(glintworks_render_tests ${RENDER_TEST_SOURCES})
target_link_libraries(glintworks_render_tests PRIVATE glintworks_render hwy::hwy GTest::gtest GTest::gtest_main)
glintworks_test(glintworks_render_tests GTEST TIMEOUT 300 LABELS unit)
