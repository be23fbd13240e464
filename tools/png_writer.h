#pragma once
// The piece of writeImageFile that differs by build: the PNG encoder is libpng
// on Linux and a small encoder over zlib on Windows (Debian ships zlib, not
// libpng, for the MinGW-w64 cross build). Both write the same pixels: 8-bit
// RGB, no interlacing, rows top first, encoded row by row.

#include <cstdint>
#include <cstdio>

#include "tools/bgra_image.h"

namespace glintworks {

// Image row y as packed red, green, blue bytes, into row (3 x width bytes).
void rgbRow(const BgraImage& image, std::int32_t y, std::uint8_t* row);

// Writes the image to f as PNG, one row at a time through `row` (the caller's
// buffer of 3 x width + 1 bytes), so that the encoder needs no copy of the
// picture. Returns false on failure: with outOfMemory set when an allocation
// was refused, otherwise with errno set where the failure was the file's.
bool writePng(const BgraImage& image, std::FILE* f, std::uint8_t* row, bool& outOfMemory);

}  // namespace glintworks
