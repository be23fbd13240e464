# The window framework and its platform layer, through the headless backend;
# px_win32_api.cpp holds only compile-time checks of the Win32 subset.
add_executable(glintworks_px_tests
  px_window_test.cpp
  px_native_test.cpp
  px_offscreen_test.cpp
  px_win32_api.cpp
)
target_link_libraries(glintworks_px_tests PRIVATE glintworks_px glintworks_platform_headless
  GTest::gtest GTest::gtest_main)
gtest_discover_tests(glintworks_px_tests DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 120 LABELS unit)

# The browser backend's key translation, built here from its one pure source.
add_executable(glintworks_web_keys_tests web_keys_test.cpp ${PROJECT_SOURCE_DIR}/platform/web/web_keys.cpp)
target_include_directories(glintworks_web_keys_tests PRIVATE ${PROJECT_SOURCE_DIR})
target_link_libraries(glintworks_web_keys_tests PRIVATE GTest::gtest GTest::gtest_main)
gtest_discover_tests(glintworks_web_keys_tests DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 60 LABELS unit)
