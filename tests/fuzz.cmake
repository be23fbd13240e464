# Fuzzers (libFuzzer; clang only), built in a build of their own configured
# with -DGLINTWORKS_FUZZ=ON, where everything carries the sanitizers and the
# fuzzer's coverage instrumentation.
if(GLINTWORKS_FUZZ)
  foreach(name fuzz_messages fuzz_blit)
    add_executable(${name} fuzz/${name}.cpp)
    target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  endforeach()
  target_link_libraries(fuzz_messages PRIVATE glintworks_viewer glintworks_platform_headless)
  target_link_libraries(fuzz_blit PRIVATE glintworks_px glintworks_platform_headless)
endif()
