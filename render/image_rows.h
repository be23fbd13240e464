#pragma once
// The image a frame is written into, and the size of the scenes the fast
// path takes: what the renderer's public face (render.h) and its internal
// data (flat_scene.h) both need.

#include <cstdint>

namespace glintworks {

// Pixel memory as a frame is written into it. Each pixel is four bytes, blue,
// green, red, alpha. Image row y (0 = top) is memory row y in a top-down image
// and memory row height - 1 - y in a bottom-up one; a memory row starts
// `stride` bytes after the previous one. The window layer's pxBuffer has the
// same five fields; this twin exists because the renderer knows nothing of
// the window layer, and the viewer passes the fields over one by one.
struct ImageRows {
    std::uint8_t* pixels = nullptr;
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int32_t stride = 0;
    bool bottomUp = false;
};

// The most primitives and lights a scene may have for the fast path; larger
// scenes go through the literal loop.
constexpr int kFastMaxPrimitives = 64;
constexpr int kFastMaxLights = 16;

}  // namespace glintworks
