// The offscreen buffer (pxOffscreen) and its copy to a window (blitTo) over
// the headless platform: the bottom-up layout, the allocation rules, the
// source-rectangle arithmetic and the clipping, checked against what the
// window's backing image shows.

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <random>
#include <vector>

#include "platform/headless/headless.h"
#include "px/pxOffscreen.h"
#include "px/pxWindow.h"
#include "tests/px_platform.h"

namespace {

constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();

void setPixel(std::uint8_t* at, std::uint8_t blue, std::uint8_t green, std::uint8_t red, std::uint8_t alpha) {
    at[0] = blue;
    at[1] = green;
    at[2] = red;
    at[3] = alpha;
}

// True when the bitmap handle no longer names a bitmap: deleting it again fails.
bool freed(HBITMAP bitmap) { return DeleteObject(bitmap) == FALSE; }

class PxOffscreen : public ::testing::Test {
protected:
    void SetUp() override {
        pxHeadless::reset();
        ASSERT_EQ(window.create(0, 0, kWindowWidth, kWindowHeight), 0);
    }
    void TearDown() override { pxHeadless::reset(); }

    // Copies with a surface over the whole client area.
    std::int32_t blit(pxOffscreenNative& buffer, std::int32_t dstX, std::int32_t dstY, std::int32_t w, std::int32_t h,
                      std::int32_t srcX, std::int32_t srcY) {
        const HDC surface = GetDC(window.handle);
        const std::int32_t rows = buffer.blitTo(surface, dstX, dstY, w, h, srcX, srcY);
        ReleaseDC(window.handle, surface);
        return rows;
    }
    pxHeadless::Image shown() const { return pxHeadless::windowImage(window.handle); }

    static constexpr std::int32_t kWindowWidth = 320;
    static constexpr std::int32_t kWindowHeight = 240;
    pxWindow window;
};

// ------------------------------------------------------------------ allocate and release

TEST_F(PxOffscreen, ANewBufferIsBottomUpWithPixelZeroZeroOnTheLastMemoryRow) {
    PX_OUR_PLATFORM_ONLY(
        "departure: on Linux the client area is the requested 320x240 rectangle; on Windows the frame takes part "
        "of it");
    pxOffscreen buffer;
    EXPECT_EQ(buffer.pixels, nullptr);
    EXPECT_EQ(buffer.bitmap, nullptr);
    EXPECT_EQ(buffer.width, 0);
    EXPECT_EQ(buffer.height, 0);
    EXPECT_EQ(buffer.stride, 0);
    EXPECT_FALSE(buffer.bottomUp);

    ASSERT_EQ(buffer.allocate(320, 240), 0);
    ASSERT_NE(buffer.pixels, nullptr);
    EXPECT_NE(buffer.bitmap, nullptr);
    EXPECT_EQ(buffer.width, 320);
    EXPECT_EQ(buffer.height, 240);
    EXPECT_EQ(buffer.stride, 1280);
    EXPECT_TRUE(buffer.bottomUp);

    // The corners written where the layout says they are show in the
    // window's corners; the alpha byte never shows.
    setPixel(buffer.pixels + 239 * 1280, 0x10, 0x20, 0x30, 0x00);            // (0, 0), top left
    setPixel(buffer.pixels + 239 * 1280 + 319 * 4, 0x11, 0x21, 0x31, 0x7F);  // (319, 0)
    setPixel(buffer.pixels, 0x12, 0x22, 0x32, 0xFF);                         // (0, 239), bottom left
    setPixel(buffer.pixels + 319 * 4, 0x13, 0x23, 0x33, 0xAB);               // (319, 239)
    EXPECT_EQ(blit(buffer, 0, 0, 320, 240, 0, 0), 240);
    const pxHeadless::Image image = shown();
    EXPECT_EQ(image.pixel(0, 0), 0xFF302010u);
    EXPECT_EQ(image.pixel(319, 0), 0xFF312111u);
    EXPECT_EQ(image.pixel(0, 239), 0xFF322212u);
    EXPECT_EQ(image.pixel(319, 239), 0xFF332313u);
    EXPECT_EQ(image.pixel(1, 1), 0xFF000000u) << "fresh pixel memory holds zeros";
}

TEST_F(PxOffscreen, TheSameSizeKeepsThePixelsAnotherSizeReplacesTheBitmap) {
    pxOffscreen buffer;
    ASSERT_EQ(buffer.allocate(320, 240), 0);
    std::uint8_t* const pixels = buffer.pixels;
    const HBITMAP bitmap = buffer.bitmap;
    pixels[100] = 0x5A;

    ASSERT_EQ(buffer.allocate(320, 240), 0);
    EXPECT_EQ(buffer.pixels, pixels);
    EXPECT_EQ(buffer.bitmap, bitmap);
    EXPECT_EQ(buffer.pixels[100], 0x5A);

    ASSERT_EQ(buffer.allocate(321, 240), 0);
    EXPECT_NE(buffer.bitmap, bitmap);
    EXPECT_TRUE(freed(bitmap)) << "the old bitmap is deleted";
    EXPECT_EQ(buffer.width, 321);
    EXPECT_EQ(buffer.stride, 1284);
    EXPECT_EQ(buffer.pixels[100], 0) << "a new bitmap starts afresh";

    const HBITMAP tall = (buffer.allocate(321, 241), buffer.bitmap);
    EXPECT_TRUE(freed(bitmap));
    EXPECT_EQ(buffer.height, 241);
    EXPECT_NE(tall, nullptr);
}

TEST_F(PxOffscreen, ARefusedSizeLeavesTheBufferEmptyAndIsAskedForAgain) {
    PX_OUR_PLATFORM_ONLY("driver: a real Win32 cannot be made to refuse CreateDIBSection on request");
    pxOffscreen buffer;
    ASSERT_EQ(buffer.allocate(320, 240), 0);
    const HBITMAP before = buffer.bitmap;

    // A minimised window: 0 x 0. The bitmap of the old size is gone too.
    EXPECT_EQ(buffer.allocate(0, 0), 1);
    EXPECT_TRUE(freed(before));
    const auto expectEmpty = [&](const char* what) {
        EXPECT_EQ(buffer.bitmap, nullptr) << what;
        EXPECT_EQ(buffer.pixels, nullptr) << what;
        EXPECT_EQ(buffer.width, 0) << what;
        EXPECT_EQ(buffer.height, 0) << what;
        EXPECT_EQ(buffer.stride, 0) << what;
        EXPECT_TRUE(buffer.bottomUp) << what;
    };
    expectEmpty("0 x 0");
    EXPECT_EQ(buffer.allocate(0, 0), 1);
    expectEmpty("0 x 0 again");
    EXPECT_EQ(blit(buffer, 0, 0, 320, 240, 0, 0), 0) << "an empty buffer copies nothing";

    // Every size the platform must refuse, each from a fresh bitmap.
    const std::pair<std::int32_t, std::int32_t> refused[] = {
        {0, 240},
        {320, 0},
        {-320, 240},
        {320, -240},
        {-1, -1},
        {kMin, kMin},
        // 4 x width x height beyond what a bitmap may hold.
        {65536, 32768},
        {46341, 46341},
        {kMax, 1},
        {1, kMax},
        {kMax, kMax},
    };
    for (const auto& [w, h] : refused) {
        ASSERT_EQ(buffer.allocate(320, 240), 0);
        EXPECT_EQ(buffer.allocate(w, h), 1) << w << " x " << h;
        expectEmpty("after a refused size");
    }

    // Memory that cannot be had: a failure is not remembered, the next call
    // asks the platform again.
    pxHeadless::failDibSections(1);
    EXPECT_EQ(buffer.allocate(320, 240), 1);
    expectEmpty("injected failure");
    EXPECT_EQ(buffer.allocate(320, 240), 0);
    EXPECT_EQ(buffer.width, 320);

    pxHeadless::limitDibSectionBytes(512 * 512 * 4);
    EXPECT_EQ(buffer.allocate(512, 512), 0) << "exactly the limit";
    EXPECT_EQ(buffer.allocate(513, 512), 1) << "one column beyond it";
    expectEmpty("beyond the memory limit");
}

TEST_F(PxOffscreen, ReleaseFreesOnceAndTheDestructorReleases) {
    pxOffscreen buffer;
    EXPECT_EQ(buffer.release(), 0);
    EXPECT_FALSE(buffer.bottomUp) << "release on an empty buffer changes nothing";

    ASSERT_EQ(buffer.allocate(16, 8), 0);
    const HBITMAP bitmap = buffer.bitmap;
    EXPECT_EQ(buffer.release(), 0);
    EXPECT_EQ(buffer.bitmap, nullptr);
    EXPECT_EQ(buffer.pixels, nullptr);
    EXPECT_EQ(buffer.width, 0);
    EXPECT_EQ(buffer.height, 0);
    EXPECT_EQ(buffer.stride, 0);
    EXPECT_TRUE(buffer.bottomUp) << "bottomUp keeps its value";
    EXPECT_TRUE(freed(bitmap));
    EXPECT_EQ(buffer.release(), 0);

    HBITMAP owned = nullptr;
    {
        pxOffscreen scoped;
        ASSERT_EQ(scoped.allocate(16, 8), 0);
        owned = scoped.bitmap;
    }
    EXPECT_TRUE(freed(owned));
}

// ------------------------------------------------------------------ the platform's refusals

TEST_F(PxOffscreen, CreateDibSectionRefusesWhatItCannotMakeAndReturnsNull) {
    PX_OUR_PLATFORM_ONLY(
        "driver: a real Win32 cannot be made to refuse CreateDIBSection on request; and wine refuses the 4 x 4 "
        "BI_BITFIELDS section with a BITMAPV5HEADER, which this test expects to be made");
    const auto create = [](LONG width, LONG height, WORD bits = 32) {
        BITMAPV5HEADER header{};
        header.bV5Size = sizeof header;
        header.bV5Width = width;
        header.bV5Height = height;
        header.bV5Planes = 1;
        header.bV5BitCount = bits;
        header.bV5Compression = BI_BITFIELDS;
        void* memory = reinterpret_cast<void*>(1);
        const HBITMAP bitmap = CreateDIBSection(nullptr, reinterpret_cast<const BITMAPINFO*>(&header), DIB_RGB_COLORS,
                                                &memory, nullptr, 0);
        EXPECT_EQ(bitmap == nullptr, memory == nullptr) << width << " x " << height;
        if (bitmap != nullptr) DeleteObject(bitmap);
        return bitmap != nullptr;
    };
    EXPECT_TRUE(create(4, 4));
    EXPECT_FALSE(create(0, 4));
    EXPECT_FALSE(create(4, 0));
    EXPECT_FALSE(create(-4, 4));
    EXPECT_FALSE(create(kMin, 4));
    EXPECT_FALSE(create(4, kMin));
    EXPECT_FALSE(create(kMax, kMax));
    EXPECT_FALSE(create(1 << 15, 1 << 15)) << "4 x w x h = 2^32";
    EXPECT_FALSE(create(4, 4, 24)) << "only 32 bits per pixel";
    pxHeadless::failDibSections(2);
    EXPECT_FALSE(create(4, 4));
    EXPECT_FALSE(create(4, 4));
    EXPECT_TRUE(create(4, 4));
}

// ------------------------------------------------------------------ blitTo

// A w x h buffer in memory of exactly its size (so that the address sanitizer
// sees any read past it) whose image pixel (x, y) is blue x, green y, red
// `tag`, with a varying alpha that must never show.
struct Pattern {
    std::vector<std::uint8_t> memory;
    pxOffscreenNative buffer;

    Pattern(std::int32_t w, std::int32_t h, bool bottomUp, std::uint8_t tag)
        : memory(static_cast<std::size_t>(w) * h * 4) {
        buffer.pixels = memory.data();
        buffer.width = w;
        buffer.height = h;
        buffer.stride = 4 * w;
        buffer.bottomUp = bottomUp;
        for (std::int32_t y = 0; y < h; ++y) {
            const std::int32_t row = bottomUp ? h - 1 - y : y;
            for (std::int32_t x = 0; x < w; ++x)
                setPixel(&memory[static_cast<std::size_t>(row) * 4 * w + 4 * x], static_cast<std::uint8_t>(x),
                         static_cast<std::uint8_t>(y), tag, static_cast<std::uint8_t>(x * 7 + y));
        }
    }
    static std::uint32_t shows(std::int32_t x, std::int32_t y, std::uint8_t tag) {
        return 0xFF000000u | static_cast<std::uint32_t>(tag) << 16 | static_cast<std::uint32_t>(y & 0xFF) << 8 |
               static_cast<std::uint32_t>(x & 0xFF);
    }
};

TEST_F(PxOffscreen, TheSourceRectangleIsCountedFromTheTopRowInBothRowOrders) {
    PX_OUR_PLATFORM_ONLY(
        "wine: SetDIBitsToDevice returns the lines of the source band (240 or 230), our layer the lines it set "
        "(100); Win32 documents the result only as the number of scan lines set, and no caller reads it; the "
        "pixels, the bottom-up arithmetic, are compared in the end-to-end test");
    for (const bool bottomUp : {true, false}) {
        SCOPED_TRACE(bottomUp ? "bottom-up" : "top-down");
        Pattern pattern(320, 240, bottomUp, 0x40);
        // Rows 10 to 109 of the image, columns 5 to 54, to (100, 50). For a
        // bottom-up buffer the platform gets source y 240 - 100 - 10 = 130;
        // for a top-down one, 10 and a negative header height.
        EXPECT_EQ(blit(pattern.buffer, 100, 50, 50, 100, 5, 10), 100);
        const pxHeadless::Image image = shown();
        for (std::int32_t y = 0; y < 100; ++y) {
            for (std::int32_t x = 0; x < 50; ++x)
                ASSERT_EQ(image.pixel(100 + x, 50 + y), Pattern::shows(5 + x, 10 + y, 0x40)) << x << "," << y;
        }
        EXPECT_EQ(image.pixel(99, 50), 0xFF000000u);
        EXPECT_EQ(image.pixel(150, 50), 0xFF000000u);
        EXPECT_EQ(image.pixel(100, 49), 0xFF000000u);
        EXPECT_EQ(image.pixel(100, 150), 0xFF000000u);
        pxHeadless::reset();
        ASSERT_EQ(window.create(0, 0, kWindowWidth, kWindowHeight), 0);
    }
}

// The blit against a plain model of the window: random buffers, rectangles
// and positions, partly or wholly outside the buffer or the window, including
// the ends of the int range. The window must equal the model after every copy
// (nothing written outside the rectangle), the count must be the rows that
// received pixels, and a read or write past either image is caught by the
// address sanitizer.
TEST_F(PxOffscreen, ABlitCopiesExactlyTheVisiblePartOfTheRectangle) {
    PX_OUR_PLATFORM_ONLY(
        "departure: on Linux the client area is the requested 320x240 rectangle; on Windows the frame takes part "
        "of it");
    constexpr std::uint32_t kSeed = 20240611;
    std::mt19937 random(kSeed);
    const auto uniform = [&](std::int32_t low, std::int32_t high) {
        return std::uniform_int_distribution<std::int32_t>(low, high)(random);
    };
    const std::int32_t extremes[] = {kMin, kMin + 1, -65536, -1, 0, 1, 65535, kMax - 1, kMax};
    const auto coordinate = [&](std::int32_t low, std::int32_t high) {
        return uniform(0, 9) == 0 ? extremes[uniform(0, 8)] : uniform(low, high);
    };

    std::vector<std::uint32_t> model(static_cast<std::size_t>(kWindowWidth) * kWindowHeight, 0xFF000000u);
    for (int trial = 0; trial < 600; ++trial) {
        const std::int32_t bufferWidth = uniform(1, 40);
        const std::int32_t bufferHeight = uniform(1, 40);
        const bool bottomUp = uniform(0, 1) == 1;
        const auto tag = static_cast<std::uint8_t>(trial);
        Pattern pattern(bufferWidth, bufferHeight, bottomUp, tag);
        // Destinations near the window's edges, sources near the buffer's.
        const std::int32_t dstX = coordinate(-60, kWindowWidth + 20);
        const std::int32_t dstY = coordinate(-60, kWindowHeight + 20);
        const std::int32_t w = coordinate(-3, 70);
        const std::int32_t h = coordinate(-3, 70);
        const std::int32_t srcX = coordinate(-50, 50);
        const std::int32_t srcY = coordinate(-50, 50);

        const std::int32_t rows = blit(pattern.buffer, dstX, dstY, w, h, srcX, srcY);

        std::int32_t expectedRows = 0;
        for (std::int32_t y = 0; y < kWindowHeight; ++y) {
            bool rowCopied = false;
            for (std::int32_t x = 0; x < kWindowWidth; ++x) {
                const std::int64_t i = static_cast<std::int64_t>(x) - dstX;
                const std::int64_t j = static_cast<std::int64_t>(y) - dstY;
                if (i < 0 || i >= w || j < 0 || j >= h) continue;
                const std::int64_t sx = srcX + i;
                const std::int64_t sy = srcY + j;
                if (sx < 0 || sx >= bufferWidth || sy < 0 || sy >= bufferHeight) continue;
                model[static_cast<std::size_t>(y) * kWindowWidth + x] =
                    Pattern::shows(static_cast<std::int32_t>(sx), static_cast<std::int32_t>(sy), tag);
                rowCopied = true;
            }
            expectedRows += rowCopied ? 1 : 0;
        }

        const auto where = [&] {
            return ::testing::Message() << "seed " << kSeed << ", trial " << trial << ": " << bufferWidth << " x "
                                        << bufferHeight << (bottomUp ? " bottom-up" : " top-down") << ", blitTo("
                                        << dstX << ", " << dstY << ", " << w << ", " << h << ", " << srcX << ", "
                                        << srcY << ")";
        };
        ASSERT_EQ(rows, expectedRows) << where();
        const pxHeadless::Image image = shown();
        for (std::int32_t y = 0; y < kWindowHeight; ++y) {
            for (std::int32_t x = 0; x < kWindowWidth; ++x)
                ASSERT_EQ(image.pixel(x, y), model[static_cast<std::size_t>(y) * kWindowWidth + x])
                    << where() << ", window pixel " << x << "," << y;
        }
    }
}

TEST_F(PxOffscreen, APaintCopiesOnlyIntoTheInvalidRegion) {
    PX_OUR_PLATFORM_ONLY(
        "departure: client area as above; and SetDIBitsToDevice inside BeginPaint returns 240 under wine, the "
        "lines set (10) here");
    window.setVisible(true);
    pxHeadless::dispatchPending();
    Pattern pattern(kWindowWidth, kWindowHeight, true, 0x77);
    RECT box{};
    SetRect(&box, 300, 230, 400, 400);  // reaches past the window's corner
    InvalidateRect(window.handle, &box, FALSE);
    PAINTSTRUCT paint{};
    const HDC surface = BeginPaint(window.handle, &paint);
    EXPECT_EQ(pattern.buffer.blitTo(surface, 0, 0, kWindowWidth, kWindowHeight, 0, 0), 10);
    EndPaint(window.handle, &paint);
    const pxHeadless::Image image = shown();
    for (std::int32_t y = 0; y < kWindowHeight; ++y) {
        for (std::int32_t x = 0; x < kWindowWidth; ++x) {
            const bool inside = x >= 300 && y >= 230;
            ASSERT_EQ(image.pixel(x, y), inside ? Pattern::shows(x, y, 0x77) : 0xFF000000u) << x << "," << y;
        }
    }
}

}  // namespace
