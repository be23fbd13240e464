// Highway's per-target settings, as Highway sets them, less one: on 64-bit ARM
// Highway 1.0.3 compiles its NEON target with the crypto extension
// ("+crypto"), which the renderer does not use and which CPUs with Advanced
// SIMD but without AES lack (the Raspberry Pi 4's Cortex-A72 as commonly
// built). Here the NEON code is compiled for Advanced SIMD alone, so that it
// runs on every 64-bit ARM CPU; render_dispatch.cpp asks the CPU for Advanced
// SIMD only, and a test holds the NEON objects free of crypto instructions.
//
// Only the renderer's sources find this file, through an include folder that
// comes before Highway's (render/CMakeLists.txt). Like the file it wraps, it
// is read once per target and has no include guard.

#include_next "hwy/ops/set_macros-inl.h"

#if HWY_ARCH_ARM_A64 && HWY_TARGET == HWY_NEON && defined(HWY_TARGET_STR)
#undef HWY_TARGET_STR
#define HWY_TARGET_STR "+simd"
#endif
