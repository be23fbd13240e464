#pragma once
// A frame's pixel memory for the benchmarks: top-down, as the viewer's buffer
// is laid out.

#include <cstdint>
#include <vector>

#include "render/render.h"

struct Frame {
    Frame(std::int32_t w, std::int32_t h)
        : memory(static_cast<std::size_t>(w) * static_cast<std::size_t>(h) * 4, 0xFF) {
        rows.pixels = memory.data();
        rows.width = w;
        rows.height = h;
        rows.stride = 4 * w;
    }
    std::vector<std::uint8_t> memory;
    glintworks::ImageRows rows;
};
