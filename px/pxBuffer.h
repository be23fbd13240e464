#pragma once
// A description of 32-bit pixel memory. It owns nothing.
//
// Pixel format: four bytes per pixel, in memory blue, green, red, alpha (as a
// little-endian word: red 0x00FF0000, green 0x0000FF00, blue 0x000000FF,
// alpha 0xFF000000). Copies to a window ignore alpha.
//
// Row addressing: image row y (0 = top) lies at memory row y when the buffer is
// top-down and at memory row height - 1 - y when it is bottom-up; the first
// byte of pixel (x, y) is at pixels + memoryRow * stride + 4 * x.

#include <cstdint>

class pxBuffer {
public:
    std::uint8_t* pixels = nullptr;  // first byte of the row stored first; null: no pixel memory
    std::int32_t width = 0;          // pixels per row
    std::int32_t height = 0;         // rows
    std::int32_t stride = 0;         // bytes from one memory row to the next
    bool bottomUp = false;           // true: the first memory row is the bottom image row
};
