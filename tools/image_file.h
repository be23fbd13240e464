#pragma once
// Writing a rendered image to a file, safely: the image goes to a temporary file
// beside the target, which is renamed over the target only once it is complete
// and on the disk, so a failed or interrupted write never leaves a half-written
// file behind (tools/output_file.h).

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace glintworks {

// A top-down image of blue, green, red, alpha pixels, rows packed.
struct BgraImage {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::vector<std::uint8_t> pixels;  // 4 x width x height bytes
};

enum class ImageFormat { Png, Ppm };

// The format a path asks for: ".png" or ".ppm" at its end, in any mix of case;
// "-" (standard output) is PNG. Any other path names no format we write.
std::optional<ImageFormat> imageFormatFor(const std::string& path);

// Writes the image as 8-bit RGB in the format imageFormatFor gives the path:
// PNG or binary PPM. Alpha is dropped. "-" writes to standard output. A path
// that is a symbolic link (or a chain of them) writes the file it points to,
// and the links stay, as far as the kernel lets an open() through the links
// get; a file replaced keeps its mode (writeFileAtomically has the rules). The
// image is encoded row by row, with one row's worth of
// memory beside it. Returns an empty string on success, otherwise one line that
// says what went wrong (then no file has been created or changed); memory
// running out is reported so, like any other failure.
std::string writeImageFile(const BgraImage& image, const std::string& path);

}  // namespace glintworks
