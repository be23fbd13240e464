#pragma once
// The pieces of writeImageFile that differ by build: the PNG encoder is libpng
// on Linux and a small encoder over zlib on Windows (Debian ships zlib, not
// libpng, for the MinGW-w64 cross build). Both write the same pixels: 8-bit
// RGB, no interlacing, rows top first.

#include <cstdint>
#include <cstdio>
#include <vector>

#include "tools/image_file.h"

namespace glintworks {

// Image row y as packed red, green, blue bytes.
std::vector<std::uint8_t> rgbRow(const BgraImage& image, std::int32_t y);

// Writes the whole image to f as PNG. Returns false on a failed write or
// encoder error, with errno set where the failure was the file's.
bool writePng(const BgraImage& image, std::FILE* f);

}  // namespace glintworks
