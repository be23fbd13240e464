#include "px/pxOffscreen.h"

#include <algorithm>
#include <limits>

namespace {

// Keeps a computed coordinate in the platform's int range; anything clamped
// lies far outside every buffer and surface, so it still copies nothing.
int toPlatformInt(std::int64_t value) {
    return static_cast<int>(
        std::clamp<std::int64_t>(value, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

}  // namespace

std::int32_t pxOffscreenNative::blitTo(HDC surface, std::int32_t dstX, std::int32_t dstY, std::int32_t w,
                                       std::int32_t h, std::int32_t srcX, std::int32_t srcY) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    // A negative height marks top-down rows.
    info.bmiHeader.biHeight = static_cast<LONG>(toPlatformInt(bottomUp ? height : -static_cast<std::int64_t>(height)));
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;  // blue, green, red, fourth byte ignored

    // The platform measures a bottom-up source rectangle upwards from the
    // image's bottom row, so the rectangle's top row srcY becomes
    // height - h - srcY.
    const std::int64_t sourceY = bottomUp ? static_cast<std::int64_t>(height) - h - srcY : srcY;
    return SetDIBitsToDevice(surface, dstX, dstY, static_cast<DWORD>(w), static_cast<DWORD>(h), srcX,
                             toPlatformInt(sourceY), 0, static_cast<UINT>(height), pixels, &info, DIB_RGB_COLORS);
}

pxOffscreen::pxOffscreen() = default;

pxOffscreen::~pxOffscreen() { release(); }

std::int32_t pxOffscreen::allocate(std::int32_t newWidth, std::int32_t newHeight) {
    if (bitmap != nullptr) {
        // The per-frame path: an unchanged size touches nothing.
        if (newWidth == width && newHeight == height) return 0;
        DeleteObject(bitmap);
        bitmap = nullptr;
        pixels = nullptr;
        width = height = stride = 0;
    }

    bottomUp = true;
    // A negative header height asks for a top-down bitmap, which the platform
    // grants; a negative row count is no size this buffer can have, so it is
    // refused here like the sizes the platform refuses.
    if (newHeight < 0) return 1;

    BITMAPV5HEADER header{};
    header.bV5Size = sizeof(BITMAPV5HEADER);
    header.bV5Width = newWidth;
    header.bV5Height = newHeight;  // positive: bottom-up rows
    header.bV5Planes = 1;
    header.bV5BitCount = 32;
    header.bV5Compression = BI_BITFIELDS;
    header.bV5RedMask = 0x00FF0000;
    header.bV5GreenMask = 0x0000FF00;
    header.bV5BlueMask = 0x000000FF;
    header.bV5AlphaMask = 0xFF000000;

    void* memory = nullptr;
    const HBITMAP created =
        CreateDIBSection(nullptr, reinterpret_cast<const BITMAPINFO*>(&header), DIB_RGB_COLORS, &memory, nullptr, 0);
    if (created == nullptr) {
        bitmap = nullptr;
        pixels = nullptr;
        width = height = stride = 0;
        return 1;
    }
    bitmap = created;
    pixels = static_cast<std::uint8_t*>(memory);
    width = newWidth;
    height = newHeight;
    stride = 4 * newWidth;
    return 0;
}

std::int32_t pxOffscreen::release() {
    if (bitmap != nullptr) {
        DeleteObject(bitmap);
        bitmap = nullptr;
        pixels = nullptr;
        width = height = stride = 0;
    }
    return 0;
}
