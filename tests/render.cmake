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
# that `make test-arm64` names (QEMU_CPU, a Cortex-A72 without SVE: NEON and
# the portable target); here the target list again and the frames of the SVE
# targets, for qemu's "max" CPU (SVE and SVE2) at vector lengths of 128, 256
# and 512 bits. Each run names the SVE targets it is for and the vector
# length, and fails where the dispatch does not offer them or the length
# differs. SVE_256 and SVE2_128 are made for one length each.
if(GLINTWORKS_EMULATED AND CMAKE_SYSTEM_PROCESSOR STREQUAL aarch64)
  set(sve_targets_128 "SVE2_128 SVE2 SVE")
  set(sve_targets_256 "SVE_256 SVE2 SVE")
  set(sve_targets_512 "SVE2 SVE")
  foreach(bits 128 256 512)
    glintworks_test(render_targets_qemu_max_sve${bits} TIMEOUT 300 LABELS unit
      ENVIRONMENT QEMU_CPU=max,sve${bits}=on "GLINTWORKS_TEST_TARGETS=${sve_targets_${bits}}"
                  GLINTWORKS_TEST_SVE_BITS=${bits}
      COMMAND glintworks_render_tests
        --gtest_filter=RenderTargets.*:FastFrames.*-FastFrames.DefaultSceneMatchesAtFullHd)
  endforeach()
  # qemu's A64FX has SVE (512 bits) without SVE2: the SVE target alone.
  glintworks_test(render_targets_qemu_a64fx TIMEOUT 120 LABELS unit
    ENVIRONMENT QEMU_CPU=a64fx GLINTWORKS_TEST_TARGETS=SVE GLINTWORKS_TEST_SVE_BITS=512
    COMMAND glintworks_render_tests --gtest_filter=RenderTargets.*:FastFrames.RandomScenesMatchTheLiteralLoop)
endif()

# 64-bit ARM, native or cross: the NEON objects hold no crypto instruction
# (render/hwy-arm/hwy/ops/set_macros-inl.h), the SVE2 objects none of SVE2's
# AES (render_dispatch.cpp).
if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(aarch64|arm64)$")
  glintworks_test(render_arm_without_crypto TIMEOUT 60 LABELS unit
    SCRIPT arm_crypto_check.sh ${CMAKE_OBJDUMP} $<TARGET_OBJECTS:glintworks_render>)
endif()
