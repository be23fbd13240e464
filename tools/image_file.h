#pragma once
// Writing a rendered image to a file, safely: the image goes to a temporary file
// beside the target, which is renamed over the target only once it is complete,
// so a failed or interrupted write never leaves a half-written file behind.

#include <cstdint>
#include <string>
#include <vector>

namespace glintworks {

// A top-down image of blue, green, red, alpha pixels, rows packed.
struct BgraImage {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::vector<std::uint8_t> pixels;  // 4 x width x height bytes
};

// Writes the image as 8-bit RGB: PNG, or binary PPM when the path ends in
// ".ppm". Alpha is dropped. Returns an empty string on success, otherwise one
// line that says what went wrong.
std::string writeImageFile(const BgraImage& image, const std::string& path);

}  // namespace glintworks
