#pragma once
// Whole frames: the scene traced into 32-bit pixel memory.

#include <cstdint>

#include "scene/scene.h"

namespace glintworks {

// Pixel memory as a frame is written into it. Each pixel is four bytes, blue,
// green, red, alpha. Image row y (0 = top) is memory row y in a top-down image
// and memory row height - 1 - y in a bottom-up one; a memory row starts
// `stride` bytes after the previous one.
struct ImageRows {
    std::uint8_t* pixels = nullptr;
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int32_t stride = 0;
    bool bottomUp = false;
};

// Traces every pixel of the image, rows from the top, and stores its blue, green
// and red bytes; the alpha bytes keep what they held. Allocates nothing.
void renderImage(const Scene& scene, const ImageRows& image);

}  // namespace glintworks
