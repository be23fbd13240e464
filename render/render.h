#pragma once
// Whole frames: the scene traced into 32-bit pixel memory.

#include <cstdint>

#include "scene/scene.h"

namespace glintworks {

// Pixel memory as a frame is written into it. Each pixel is four bytes, blue,
// green, red, alpha. Image row y (0 = top) is memory row y in a top-down image
// and memory row height - 1 - y in a bottom-up one; a memory row starts
// `stride` bytes after the previous one. The window layer's pxBuffer has the
// same five fields; this twin exists because scene/ knows nothing of the
// window layer, and the viewer passes the fields over one by one.
struct ImageRows {
    std::uint8_t* pixels = nullptr;
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int32_t stride = 0;
    bool bottomUp = false;
};

// Traces every pixel of the image and stores its blue, green and red bytes; the
// alpha bytes keep what they held and nothing outside the width x height pixels
// is touched. Every byte equals what tracePixel gives for that pixel.
//
// Runs on the calling thread only and allocates nothing. Scenes made only of
// exact Sphere and Plane objects (no subclasses), at most kFastMaxPrimitives of
// them and at most kFastMaxLights lights, are traced many pixels at a time with
// the widest SIMD instructions the CPU offers; any other scene goes through
// renderImageLiteral.
void renderImage(const Scene& scene, const ImageRows& image);

// The same frame, one tracePixel call per pixel, rows from the top and pixels
// from the left. The reference the fast path is held to.
void renderImageLiteral(const Scene& scene, const ImageRows& image);

constexpr int kFastMaxPrimitives = 64;
constexpr int kFastMaxLights = 16;

// The SIMD instruction sets the fast path is compiled for and this CPU runs,
// best first: some of "AVX-512", "AVX2", "SSE4", "SSSE3" on x86, "WASM
// SIMD128" on WebAssembly, and, always last, "scalar" (the portable
// fallback). renderImage uses the first.
int renderTargetCount();
const char* renderTargetNameAt(int index);  // "" outside 0 .. count - 1

// Makes renderImage use target `index` of that list; an index outside it
// restores the best. For tests and benchmarks.
void setRenderTargetForTest(int index);

// The name of the target renderImage uses now.
const char* renderTargetName();

}  // namespace glintworks
