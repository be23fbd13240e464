// The blit with random buffers, row orders and rectangles, including
// rectangles partly or wholly outside the buffer or the window and values at
// the ends of their range. Every pixel of the window must end up exactly as a
// straightforward per-pixel model says: copied where both the source pixel and
// the destination pixel exist, untouched everywhere else.

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/headless/headless.h"
#include "px/pxOffscreen.h"
#include "px/pxWindow.h"
#include "tests/fuzz/fuzz_input.h"

namespace {

std::int32_t coordinate(FuzzInput& in) {
    switch (in.read<std::uint8_t>() % 4) {
    case 0: return in.read<std::int32_t>();  // anywhere, the extremes included
    case 1: return static_cast<std::int32_t>(in.range(-80, 80));
    default: return static_cast<std::int32_t>(in.range(-8, 40));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput in(data, size);
    pxHeadless::reset();
    pxWindow window;
    if (window.create(0, 0, 32, 32) != 0) return 0;
    const auto windowWidth = static_cast<std::int32_t>(in.range(0, 48));
    const auto windowHeight = static_cast<std::int32_t>(in.range(0, 48));
    pxHeadless::resize(window.handle, windowWidth, windowHeight);
    pxHeadless::dispatchPending();

    // The source: exactly width x height pixels, so any read outside is caught.
    const auto width = static_cast<std::int32_t>(in.range(0, 40));
    const auto height = static_cast<std::int32_t>(in.range(0, 40));
    std::vector<std::uint8_t> pixels(static_cast<std::size_t>(width) * height * 4);
    for (std::size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<std::uint8_t>(i * 7 + 3);
    pxOffscreenNative buffer;
    buffer.pixels = pixels.empty() ? nullptr : pixels.data();
    buffer.width = width;
    buffer.height = height;
    buffer.stride = width * 4;
    buffer.bottomUp = (in.read<std::uint8_t>() & 1) != 0;

    const std::int32_t dstX = coordinate(in), dstY = coordinate(in);
    const std::int32_t w = coordinate(in), h = coordinate(in);
    const std::int32_t srcX = coordinate(in), srcY = coordinate(in);

    const pxHeadless::Image before = pxHeadless::windowImage(window.handle);
    HDC dc = GetDC(window.handle);
    const std::int32_t lines = buffer.blitTo(dc, dstX, dstY, w, h, srcX, srcY);
    ReleaseDC(window.handle, dc);
    const pxHeadless::Image after = pxHeadless::windowImage(window.handle);

    if (after.width != before.width || after.height != before.height) std::abort();
    int copiedRows = 0;
    for (std::int32_t y = 0; y < after.height; ++y) {
        bool rowCopied = false;
        for (std::int32_t x = 0; x < after.width; ++x) {
            // The model: window pixel (x, y) shows source pixel (srcX + i,
            // srcY + j) of the image, counted from its top, when 0 <= i < w,
            // 0 <= j < h and that pixel exists.
            const std::int64_t i = static_cast<std::int64_t>(x) - dstX;
            const std::int64_t j = static_cast<std::int64_t>(y) - dstY;
            const std::int64_t sx = srcX + i;
            const std::int64_t sy = srcY + j;
            const std::uint8_t* expected = &before.bgra[(static_cast<std::size_t>(y) * after.width + x) * 4];
            std::uint8_t copied[4];
            if (i >= 0 && i < w && j >= 0 && j < h && sx >= 0 && sx < width && sy >= 0 && sy < height) {
                const std::int64_t row = buffer.bottomUp ? height - 1 - sy : sy;
                const std::uint8_t* from = &pixels[static_cast<std::size_t>(row * width + sx) * 4];
                copied[0] = from[0];
                copied[1] = from[1];
                copied[2] = from[2];
                copied[3] = 0xFF;  // the window is opaque; the source's fourth byte is ignored
                expected = copied;
                rowCopied = true;
            }
            const std::uint8_t* actual = &after.bgra[(static_cast<std::size_t>(y) * after.width + x) * 4];
            if (std::memcmp(actual, expected, 4) != 0) {
                std::fprintf(
                    stderr,
                    "fuzz_blit: pixel (%d, %d) wrong: window %dx%d, buffer %dx%d %s, blitTo(%d, %d, %d, %d, %d, %d)\n",
                    x, y, after.width, after.height, width, height, buffer.bottomUp ? "bottom-up" : "top-down", dstX,
                    dstY, w, h, srcX, srcY);
                std::abort();
            }
        }
        copiedRows += rowCopied ? 1 : 0;
    }
    if (lines != copiedRows) {
        std::fprintf(stderr, "fuzz_blit: %d scan lines reported, %d copied\n", lines, copiedRows);
        std::abort();
    }
    pxHeadless::reset();
    return 0;
}
