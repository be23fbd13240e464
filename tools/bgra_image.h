#pragma once
// The picture the snapshot tool writes, as the encoders read it.

#include <cstdint>
#include <vector>

namespace glintworks {

// A top-down image of blue, green, red, alpha pixels, rows packed.
struct BgraImage {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::vector<std::uint8_t> pixels;  // 4 x width x height bytes
};

}  // namespace glintworks
