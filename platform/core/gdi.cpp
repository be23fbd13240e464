// Painting and bitmaps: invalid regions, drawing surfaces bound to a window's
// backing image, device-independent bitmap sections and the copy of 32-bit
// pixels to a surface.

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "platform/core/core.h"

namespace pxNative {
namespace {

// The fourth byte of a pixel, all ones, in a 32-bit word read from memory.
constexpr std::uint32_t kOpaqueBits = std::endian::native == std::endian::little ? 0xFF000000u : 0x000000FFu;

// Copies `count` pixels from `from` to `to`, which do not overlap, with the
// fourth byte of each made all ones. Written a pixel at a time as a 32-bit
// word, which the compiler turns into wide copies: byte by byte, the copy of
// a large window took a third of a frame.
void copyOpaque(const std::uint8_t* __restrict from, std::uint8_t* __restrict to, std::int64_t count) {
    for (std::int64_t c = 0; c < count; ++c) {
        std::uint32_t pixel;
        std::memcpy(&pixel, from + 4 * c, 4);
        pixel |= kOpaqueBits;
        std::memcpy(to + 4 * c, &pixel, 4);
    }
}

Rect fromRECT(const RECT& r) { return Rect{r.left, r.top, r.right, r.bottom}; }
RECT toRECT(const Rect& r) { return RECT{r.left, r.top, r.right, r.bottom}; }

HDC newDeviceContext(HWND window, const Rect& clip) {
    const HDC dc = reinterpret_cast<HDC>(newHandleValue());
    state().deviceContexts.push_back(DeviceContext{handleValue(dc), window, clip});
    return dc;
}

// Shows what was drawn through a surface and forgets the surface.
BOOL finishDeviceContext(HWND window, HDC dc) {
    const DeviceContext* context = findDeviceContext(dc);
    if (context == nullptr || context->window != window) return FALSE;
    const Rect clip = context->clip;
    auto& contexts = state().deviceContexts;
    contexts.erase(contexts.begin() + (context - contexts.data()));
    if (const Window* record = findWindow(window); record != nullptr) {
        const Rect area = intersect(clip, clientRect(*record));
        if (!area.empty()) backend::present(window, record->image, area);
    }
    return TRUE;
}

}  // namespace

DeviceContext* findDeviceContext(HDC dc) {
    for (DeviceContext& context : state().deviceContexts) {
        if (context.handle == handleValue(dc)) return &context;
    }
    return nullptr;
}

Rect intersect(const Rect& a, const Rect& b) {
    Rect r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right), std::min(a.bottom, b.bottom)};
    return r.empty() ? Rect{} : r;
}

Rect unite(const Rect& a, const Rect& b) {
    if (a.empty()) return b;
    if (b.empty()) return a;
    return Rect{std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
                std::max(a.bottom, b.bottom)};
}

Image::~Image() {
    if (bytes_ != nullptr) backend::freeImage(owner_, bytes_);
}

std::uint8_t* Image::writableBytes() {
    if (bytes_ != nullptr) backend::waitImageIdle(owner_, bytes_);
    return bytes_;
}

bool Image::resize(std::int32_t newWidth, std::int32_t newHeight) {
    newWidth = std::max(newWidth, 0);
    newHeight = std::max(newHeight, 0);
    if (newWidth == width && newHeight == height) return true;
    // An image with no pixels has no memory: a backend is never asked for
    // an empty block.
    std::uint8_t* next = nullptr;
    if (newWidth > 0 && newHeight > 0) {
        next = backend::allocateImage(owner_, newWidth, newHeight);
        if (next == nullptr) return false;
    }
    const std::int32_t keepWidth = std::min(width, newWidth);
    // With no column to keep there is nothing to copy, and the rows of an
    // image 0 pixels wide have no first byte to address.
    const std::int32_t keepHeight = keepWidth > 0 ? std::min(height, newHeight) : 0;
    for (std::int32_t y = 0; next != nullptr && y < newHeight; ++y) {
        std::uint8_t* row = next + static_cast<std::size_t>(y) * newWidth * 4;
        std::int32_t x = 0;
        if (y < keepHeight) {
            std::memcpy(row, bytes_ + static_cast<std::size_t>(y) * width * 4, static_cast<std::size_t>(keepWidth) * 4);
            x = keepWidth;
        }
        for (; x < newWidth; ++x) {
            const std::uint32_t black = kOpaqueBits;
            std::memcpy(row + static_cast<std::size_t>(x) * 4, &black, 4);
        }
    }
    if (bytes_ != nullptr) backend::freeImage(owner_, bytes_);
    bytes_ = next;
    width = newWidth;
    height = newHeight;
    return true;
}

void fillImage(Window& window, const Rect& area, std::uint32_t rgb) {
    const Rect r = intersect(area, clientRect(window));
    if (r.empty()) return;
    std::uint8_t* bytes = window.image.writableBytes();
    for (std::int32_t y = r.top; y < r.bottom; ++y) {
        std::uint8_t* p = bytes + (static_cast<std::size_t>(y) * window.image.width + r.left) * 4;
        for (std::int32_t x = r.left; x < r.right; ++x, p += 4) {
            p[0] = static_cast<std::uint8_t>(rgb);
            p[1] = static_cast<std::uint8_t>(rgb >> 8);
            p[2] = static_cast<std::uint8_t>(rgb >> 16);
            p[3] = 0xFF;
        }
    }
}

}  // namespace pxNative

using namespace pxNative;

BOOL WINAPI InvalidateRect(HWND hWnd, const RECT* lpRect, BOOL bErase) {
    if (hWnd == nullptr) {
        std::vector<HWND> all;
        for (const auto& [key, window] : state().windows) all.push_back(window->handle);
        for (HWND window : all) InvalidateRect(window, nullptr, bErase);
        return TRUE;
    }
    Window* record = findWindow(hWnd);
    if (record == nullptr) return FALSE;
    // A hidden window has nothing on the screen to repair; showing it
    // invalidates all of it.
    if (!record->visible) return TRUE;
    const Rect area = intersect(lpRect ? fromRECT(*lpRect) : clientRect(*record), clientRect(*record));
    if (area.empty()) return TRUE;
    record->invalid = record->invalid ? unite(*record->invalid, area) : area;
    if (bErase) record->erasePending = true;
    return TRUE;
}

BOOL WINAPI ValidateRect(HWND hWnd, const RECT* lpRect) {
    Window* record = findWindow(hWnd);
    if (record == nullptr) return FALSE;
    if (!record->invalid) return TRUE;
    if (lpRect == nullptr) {
        record->invalid.reset();
        record->erasePending = false;
        return TRUE;
    }
    // The invalid region is a rectangle: a validated band across its whole
    // width or height trims it; anything else leaves it.
    const Rect area = fromRECT(*lpRect);
    Rect& v = *record->invalid;
    if (area.left <= v.left && area.right >= v.right) {
        if (area.top <= v.top && area.bottom > v.top)
            v.top = std::min(area.bottom, v.bottom);
        else if (area.bottom >= v.bottom && area.top < v.bottom)
            v.bottom = std::max(area.top, v.top);
    }
    if (area.top <= v.top && area.bottom >= v.bottom) {
        if (area.left <= v.left && area.right > v.left)
            v.left = std::min(area.right, v.right);
        else if (area.right >= v.right && area.left < v.right)
            v.right = std::max(area.left, v.left);
    }
    if (v.empty()) {
        record->invalid.reset();
        record->erasePending = false;
    }
    return TRUE;
}

BOOL WINAPI GetUpdateRect(HWND hWnd, LPRECT lpRect, BOOL) {
    const Window* record = findWindow(hWnd);
    if (record == nullptr) return FALSE;
    const Rect area = record->invalid.value_or(Rect{});
    if (lpRect != nullptr) *lpRect = toRECT(area);
    return area.empty() ? FALSE : TRUE;
}

BOOL WINAPI SetRect(LPRECT lprc, int xLeft, int yTop, int xRight, int yBottom) {
    if (lprc == nullptr) return FALSE;
    *lprc = RECT{xLeft, yTop, xRight, yBottom};
    return TRUE;
}

HDC WINAPI BeginPaint(HWND hWnd, LPPAINTSTRUCT lpPaint) {
    Window* record = findWindow(hWnd);
    if (record == nullptr || lpPaint == nullptr) return nullptr;
    const Rect area = record->invalid.value_or(Rect{});
    const bool erase = record->erasePending;
    record->invalid.reset();
    record->erasePending = false;

    const HDC dc = newDeviceContext(hWnd, area);
    *lpPaint = PAINTSTRUCT{};
    lpPaint->hdc = dc;
    lpPaint->rcPaint = toRECT(area);
    lpPaint->fErase = FALSE;
    if (erase) {
        // fErase tells the painter that the background was not erased.
        const LRESULT erased = callProcedure(hWnd, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
        lpPaint->fErase = erased == 0 ? TRUE : FALSE;
    }
    return dc;
}

BOOL WINAPI EndPaint(HWND hWnd, const PAINTSTRUCT* lpPaint) {
    if (lpPaint == nullptr) return FALSE;
    return finishDeviceContext(hWnd, lpPaint->hdc);
}

HDC WINAPI GetDC(HWND hWnd) {
    const Window* record = findWindow(hWnd);
    if (record == nullptr) return nullptr;
    return newDeviceContext(hWnd, clientRect(*record));
}

int WINAPI ReleaseDC(HWND hWnd, HDC hDC) { return finishDeviceContext(hWnd, hDC) ? 1 : 0; }

HBITMAP WINAPI CreateDIBSection(HDC, const BITMAPINFO* pbmi, UINT usage, VOID** ppvBits, HANDLE hSection, DWORD) {
    if (ppvBits != nullptr) *ppvBits = nullptr;
    if (pbmi == nullptr || usage != DIB_RGB_COLORS || hSection != nullptr) return nullptr;
    const BITMAPINFOHEADER& header = pbmi->bmiHeader;
    if (header.biSize < sizeof(BITMAPINFOHEADER) || header.biPlanes != 1 || header.biBitCount != 32 ||
        (header.biCompression != BI_RGB && header.biCompression != BI_BITFIELDS))
        return nullptr;
    if (header.biWidth <= 0 || header.biHeight == 0) return nullptr;
    const std::uint64_t width = static_cast<std::uint64_t>(header.biWidth);
    const std::uint64_t height =
        static_cast<std::uint64_t>(header.biHeight < 0 ? -static_cast<std::int64_t>(header.biHeight) : header.biHeight);
    // width and height are below 2^31, so the product cannot overflow.
    State& s = state();
    if (width * height > s.dibByteLimit / 4) return nullptr;
    if (s.dibFailures > 0) {
        --s.dibFailures;
        return nullptr;
    }
    void* memory = std::calloc(static_cast<std::size_t>(width * height * 4), 1);
    if (memory == nullptr) return nullptr;
    const HBITMAP bitmap = reinterpret_cast<HBITMAP>(newHandleValue());
    s.bitmaps[handleValue(bitmap)] = Bitmap{memory};
    if (ppvBits != nullptr) *ppvBits = memory;
    return bitmap;
}

BOOL WINAPI DeleteObject(HGDIOBJ ho) {
    auto& bitmaps = state().bitmaps;
    const auto it = bitmaps.find(handleValue(ho));
    if (it != bitmaps.end()) {
        std::free(it->second.memory);
        bitmaps.erase(it);
        return TRUE;
    }
    // Stock objects may be "deleted"; nothing happens to them.
    return brushColor(static_cast<HBRUSH>(ho)) ? TRUE : FALSE;
}

int WINAPI SetDIBitsToDevice(HDC hdc, int xDest, int yDest, DWORD w, DWORD h, int xSrc, int ySrc, UINT StartScan,
                             UINT cLines, const VOID* lpvBits, const BITMAPINFO* lpbmi, UINT ColorUse) {
    const DeviceContext* context = findDeviceContext(hdc);
    if (context == nullptr || lpvBits == nullptr || lpbmi == nullptr || ColorUse != DIB_RGB_COLORS) return 0;
    Window* record = findWindow(context->window);
    if (record == nullptr) return 0;
    const BITMAPINFOHEADER& header = lpbmi->bmiHeader;
    if (header.biSize < sizeof(BITMAPINFOHEADER) || header.biPlanes != 1 || header.biBitCount != 32 ||
        header.biCompression != BI_RGB || header.biWidth <= 0 || header.biHeight == 0)
        return 0;

    // All arithmetic in 64 bits: every input may be at the end of its range.
    const std::int64_t imageWidth = header.biWidth;
    const bool bottomUp = header.biHeight > 0;
    const std::int64_t imageHeight = bottomUp ? header.biHeight : -static_cast<std::int64_t>(header.biHeight);
    const std::int64_t stride = imageWidth * 4;
    // Sizes are counts of pixels and rows; values beyond the int range (a
    // negative int passed through) copy nothing.
    const std::int64_t width = w <= 0x7FFFFFFF ? static_cast<std::int64_t>(w) : 0;
    const std::int64_t height = h <= 0x7FFFFFFF ? static_cast<std::int64_t>(h) : 0;
    const std::int64_t firstScan = StartScan;
    const std::int64_t endScan = firstScan + cLines;

    // Destination: the surface's client area and clip region.
    const Rect target = intersect(context->clip, clientRect(*record));
    const std::int64_t rowBegin = std::max<std::int64_t>(0, static_cast<std::int64_t>(target.top) - yDest);
    const std::int64_t rowEnd = std::min<std::int64_t>(height, static_cast<std::int64_t>(target.bottom) - yDest);
    // Columns: inside the target and inside the source image's width.
    const std::int64_t columnBegin =
        std::max<std::int64_t>({0, static_cast<std::int64_t>(target.left) - xDest, -static_cast<std::int64_t>(xSrc)});
    const std::int64_t columnEnd =
        std::min<std::int64_t>({width, static_cast<std::int64_t>(target.right) - xDest, imageWidth - xSrc});
    if (columnBegin >= columnEnd || rowBegin >= rowEnd) return 0;

    const auto* source = static_cast<const std::uint8_t*>(lpvBits);
    std::uint8_t* const image = record->image.writableBytes();
    const std::int64_t imageRowBytes = static_cast<std::int64_t>(record->image.width) * 4;
    int rows = 0;
    for (std::int64_t r = rowBegin; r < rowEnd; ++r) {
        // Row r of the rectangle counts down from its top. A bottom-up image
        // keeps its bottom row first in memory, and ySrc names the lowest row
        // of the rectangle counted from the bottom.
        const std::int64_t memoryRow = bottomUp ? ySrc + height - 1 - r : ySrc + r;
        if (memoryRow < 0 || memoryRow >= imageHeight || memoryRow < firstScan || memoryRow >= endScan) continue;
        const std::uint8_t* from = source + (memoryRow - firstScan) * stride + (xSrc + columnBegin) * 4;
        std::uint8_t* to = image + (yDest + r) * imageRowBytes + (xDest + columnBegin) * 4;
        // The fourth byte of each pixel is ignored: the window is opaque.
        copyOpaque(from, to, columnEnd - columnBegin);
        ++rows;
    }
    return rows;
}
