# The window framework and its platform layer, through the headless backend.
add_executable(glintworks_px_tests ${PX_TEST_SOURCES})
target_link_libraries(glintworks_px_tests PRIVATE glintworks_px glintworks_platform_headless
  GTest::gtest GTest::gtest_main)
glintworks_test(glintworks_px_tests GTEST TIMEOUT 120 LABELS unit)

# The browser backend's key translation, built here from its one pure source.
add_executable(glintworks_web_keys_tests web_keys_test.cpp ${PROJECT_SOURCE_DIR}/platform/web/web_keys.cpp)
target_include_directories(glintworks_web_keys_tests PRIVATE ${PROJECT_SOURCE_DIR})
target_link_libraries(glintworks_web_keys_tests PRIVATE GTest::gtest GTest::gtest_main)
glintworks_test(glintworks_web_keys_tests GTEST TIMEOUT 60 LABELS unit)
