#pragma once
// The frame renderer's SIMD targets: which ones this CPU runs, which one
// frames go to (render_dispatch.cpp).

#include "render/image_rows.h"

namespace glintworks {

struct FlatScene;

// The SIMD instruction sets the fast path is compiled for and this CPU runs,
// best first: some of "AVX-512", "AVX2", "SSE4", "SSSE3" on x86, of
// "SVE2_128", "SVE_256", "SVE2", "SVE", "NEON" on 64-bit ARM, "WASM SIMD128"
// on WebAssembly, and, always last, "scalar" (the portable fallback).
// renderImage uses the first.
int renderTargetCount();
const char* renderTargetNameAt(int index);  // "" outside 0 .. count - 1

// Makes renderImage use target `index` of that list; an index outside it
// restores the best. For tests and benchmarks.
void setRenderTargetForTest(int index);

// The name of the target renderImage uses now.
const char* renderTargetName();

// Renders a flattened scene with the SIMD target renderImage uses (see
// renderTargetName).
void renderFlatScene(const FlatScene& flat, const ImageRows& image);

}  // namespace glintworks
