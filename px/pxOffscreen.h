#pragma once
// The offscreen buffer: 32-bit pixel memory owned by a device-independent
// bitmap section, and its copy to a window's drawing surface. Pixel format and
// row addressing are those of pxBuffer.

#include <cstdint>

#include "platform/win32.h"
#include "px/pxBuffer.h"

class pxOffscreenNative : public pxBuffer {
public:
    HBITMAP bitmap = nullptr;  // the bitmap that owns `pixels`; null when there is none

    // Copies the w x h rectangle whose top-left pixel is (srcX, srcY), in image
    // coordinates (y down from the top row), to the surface with its top-left
    // corner at (dstX, dstY), one pixel to one. Reads only the pxBuffer fields,
    // so it copies any memory a pxBuffer describes. Returns the platform's
    // count of rows copied; 0 when nothing was copied (an empty buffer, or a
    // rectangle outside the buffer or the surface).
    std::int32_t blitTo(HDC surface, std::int32_t dstX, std::int32_t dstY, std::int32_t w, std::int32_t h,
                        std::int32_t srcX, std::int32_t srcY);
};

class pxOffscreen : public pxOffscreenNative {
public:
    pxOffscreen();
    virtual ~pxOffscreen();  // releases the bitmap

    pxOffscreen(const pxOffscreen&) = delete;
    pxOffscreen& operator=(const pxOffscreen&) = delete;

    // Makes the buffer width x height, bottom-up, stride 4 x width. Returns 0
    // when it has a bitmap of that size, 1 when the platform refused (zero or
    // negative sizes, exhausted memory): the buffer is then empty. An unchanged
    // size returns 0 at once and keeps the pixels; another size frees the old
    // bitmap before the new one is made. Fresh pixel memory holds zeros.
    std::int32_t allocate(std::int32_t width, std::int32_t height);

    // Frees the bitmap, if any; `bottomUp` keeps its value. Always 0.
    std::int32_t release();
};
