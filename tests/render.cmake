# The frame renderers: the fast path held to the literal loop, byte for byte.
# Unlike the renderer, the tests link Highway's library: one compares the
# targets the renderer accepts with those Highway says this CPU runs.
find_package(hwy REQUIRED)
add_executable(glintworks_render_tests ${RENDER_TEST_SOURCES})
target_link_libraries(glintworks_render_tests PRIVATE glintworks_render hwy::hwy GTest::gtest GTest::gtest_main)
# Under emulation (the arm64 cross build under qemu) the two tests of the
# culling boxes alone are left out: they hold the boxes, plain scalar code
# with no SIMD target, to the tracer over 1250 scenes, which the build
# machine's own build does, and take three minutes under qemu. Every test of
# the targets' frames runs.
set(render_test_filter "*")
if(GLINTWORKS_EMULATED)
  set(render_test_filter
    "-CullingBoxes.HoldEverythingTheTracerFinds:CullingBoxes.HoldForTheDefaultSceneInAFullHdWindowAndRandomScenes")
endif()
glintworks_test(glintworks_render_tests GTEST FILTER ${render_test_filter} TIMEOUT 300 LABELS unit)

# Under qemu (the arm64 cross build), which targets the dispatch offers
# depends on the CPU that qemu emulates. The whole suite runs for the CPU
# that `make test-arm64` names (QEMU_CPU, a Cortex-A72 without SVE); here the
# target list and the frames per target again, for qemu's "max" CPU at SVE
# vector lengths of 128, 256 and 512 bits (the renderer's SVE targets are not
# compiled, so these show that NEON and the portable target are what such
# CPUs get, byte-exact).
if(GLINTWORKS_EMULATED AND CMAKE_SYSTEM_PROCESSOR STREQUAL aarch64)
  foreach(bits 128 256 512)
    glintworks_test(render_targets_qemu_max_sve${bits} TIMEOUT 300 LABELS unit
      ENVIRONMENT QEMU_CPU=max,sve${bits}=on
      COMMAND glintworks_render_tests
        --gtest_filter=RenderTargets.*:FastFrames.DefaultSceneMatchesTheLiteralLoopAtEverySize:FastFrames.RandomScenesMatchTheLiteralLoop)
  endforeach()
endif()

# 64-bit ARM, native or cross: the NEON objects hold no crypto instruction
# (render/hwy-arm/hwy/ops/set_macros-inl.h).
if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(aarch64|arm64)$")
  glintworks_test(render_neon_without_crypto TIMEOUT 60 LABELS unit
    SCRIPT neon_crypto_check.sh ${CMAKE_OBJDUMP} $<TARGET_OBJECTS:glintworks_render>)
endif()
