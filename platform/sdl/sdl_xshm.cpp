#include "platform/sdl/sdl_xshm.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <sys/ipc.h>
#include <sys/shm.h>
#include <sys/socket.h>

#include <bit>
#include <cstring>
#include <map>
#include <memory>
#include <vector>

#include "platform/sdl/sdl_x11.h"

namespace pxNative::sdl {
namespace {

// Kept at one address for its life: its XImage points at its `info`.
struct Segment {
    XShmSegmentInfo info{};
    XImage* image = nullptr;
    GC gc = nullptr;
    bool reading = false;  // handed to the server since the last round trip
};

// How a window's pixel values are made from the image's bytes: a table per
// channel, from the 8-bit value to its bits in the pixel.
struct PixelFormat {
    Visual* visual = nullptr;
    int depth = 0;
    int bitsPerPixel = 0;  // 16 or 32
    std::uint32_t red[256] = {};
    std::uint32_t green[256] = {};
    std::uint32_t blue[256] = {};
};

struct Shared {
    bool tried = false;
    Display* display = nullptr;  // null: no connection of our own
    bool shmUsable = false;      // MIT-SHM on a local connection
    bool attachRefused = false;  // the server cannot reach this process's memory
    bool putsFailed = false;     // a put of shared memory failed: copy from now on
    int errors = 0;              // X errors on `display` so far
    int errorsAtSync = 0;        // ... as the last round trip found them
    std::map<const std::uint8_t*, std::unique_ptr<Segment>> segments;
    std::map<unsigned long, std::unique_ptr<PixelFormat>> formats;  // by X window
    std::vector<std::uint8_t> converted;                            // a copy in the window's format, reused
    GC copyGc = nullptr;                                            // for the copies, on any window of ours
};

// Never destroyed: images are freed by the core's state as the process ends,
// after function-local statics made later than it are gone.
Shared& shared() {
    static Shared* instance = new Shared;
    return *instance;
}

Display* presentingDisplay() {
    Shared& s = shared();
    if (s.tried) return s.display;
    s.tried = true;
    // Bytes blue, green, red, unused in memory are a little-endian word.
    if (std::endian::native != std::endian::little) return nullptr;
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) return nullptr;
    if (ImageByteOrder(display) != LSBFirst) {
        XCloseDisplay(display);
        return nullptr;
    }
    // Shared memory only with a server on this machine: over a local socket.
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    const bool local = getsockname(ConnectionNumber(display), reinterpret_cast<sockaddr*>(&address), &length) == 0 &&
                       address.ss_family == AF_UNIX;
    s.shmUsable = local && XShmQueryExtension(display);
    s.display = display;
    // Xlib keeps one error handler per process: the backend's counts and
    // ignores the errors of this connection.
    countErrorsOf(display, &s.errors);
    return display;
}

void destroy(Display* display, Segment& segment) {
    // Detached from the server in request order, after any put still queued;
    // not flushed here, so that freeing as the process ends sends nothing.
    if (segment.gc != nullptr) XFreeGC(display, segment.gc);
    XShmDetach(display, &segment.info);
    segment.image->data = nullptr;
    XDestroyImage(segment.image);
    shmdt(segment.info.shmaddr);
}

}  // namespace

std::uint8_t* sharedImageAllocate(unsigned long xWindow, std::int32_t width, std::int32_t height) {
    Display* display = presentingDisplay();
    Shared& s = shared();
    if (display == nullptr || !s.shmUsable || s.attachRefused || s.putsFailed) return nullptr;

    // The window's pixel values must be the image's own pixels: 32 bits each,
    // red, green and blue bytes at the places of the core's. SDL gives its
    // windows a DirectColor visual where the server has one, with identity
    // colour ramps; its pixel values are laid out as TrueColor's.
    XWindowAttributes attributes{};
    if (!XGetWindowAttributes(display, xWindow, &attributes) || attributes.visual == nullptr) return nullptr;
    const Visual* visual = attributes.visual;
    if ((visual->c_class != TrueColor && visual->c_class != DirectColor) || visual->red_mask != 0xFF0000 ||
        visual->green_mask != 0xFF00 || visual->blue_mask != 0xFF || (attributes.depth != 24 && attributes.depth != 32))
        return nullptr;

    auto owned = std::make_unique<Segment>();
    Segment& segment = *owned;
    segment.image =
        XShmCreateImage(display, attributes.visual, static_cast<unsigned>(attributes.depth), ZPixmap, nullptr,
                        &segment.info, static_cast<unsigned>(width), static_cast<unsigned>(height));
    if (segment.image == nullptr) return nullptr;
    const std::size_t bytes = static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4;
    if (segment.image->bits_per_pixel != 32 || segment.image->bytes_per_line != width * 4) {
        XDestroyImage(segment.image);
        return nullptr;
    }
    segment.info.shmid = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
    if (segment.info.shmid < 0) {
        XDestroyImage(segment.image);
        return nullptr;
    }
    void* address = shmat(segment.info.shmid, nullptr, 0);
    // Gone with the last detach (the server's, and this process's at exit or
    // when killed), whatever happens from here on.
    shmctl(segment.info.shmid, IPC_RMID, nullptr);
    if (address == reinterpret_cast<void*>(-1)) {
        XDestroyImage(segment.image);
        return nullptr;
    }
    segment.info.shmaddr = static_cast<char*>(address);
    segment.image->data = segment.info.shmaddr;
    segment.info.readOnly = True;
    // The attach is checked at once: a server on another machine cannot
    // reach this memory and refuses it, and then refuses every later one.
    // Errors from before (puts into a window since destroyed) are collected
    // first, so that they are not taken for the attach's. A server in another
    // IPC namespace (a container given the X socket) finds the id there and
    // may attach whatever segment has it: the segment's own attach count
    // shows whether the server attached this one.
    XSync(display, False);
    const int errorsBefore = s.errors;
    XShmAttach(display, &segment.info);
    XSync(display, False);
    s.errorsAtSync = s.errors;
    shmid_ds status{};
    const bool attached = s.errors == errorsBefore;
    const bool ours = shmctl(segment.info.shmid, IPC_STAT, &status) == 0 && status.shm_nattch >= 2;
    if (!attached || !ours) {
        if (attached) XShmDetach(display, &segment.info);
        s.attachRefused = true;
        shmdt(segment.info.shmaddr);
        segment.image->data = nullptr;
        XDestroyImage(segment.image);
        return nullptr;
    }
    XGCValues values{};
    values.graphics_exposures = False;
    segment.gc = XCreateGC(display, xWindow, GCGraphicsExposures, &values);
    auto* memory = reinterpret_cast<std::uint8_t*>(segment.info.shmaddr);
    s.segments[memory] = std::move(owned);
    return memory;
}

bool sharedImageFree(std::uint8_t* memory) {
    Shared& s = shared();
    const auto it = s.segments.find(memory);
    if (it == s.segments.end()) return false;
    destroy(s.display, *it->second);
    s.segments.erase(it);
    return true;
}

void sharedImageWaitIdle(std::uint8_t* memory) {
    Shared& s = shared();
    const auto it = s.segments.find(memory);
    if (it == s.segments.end() || !it->second->reading) return;
    // The server answers the round trip after every request before it, the
    // puts included.
    XSync(s.display, False);
    for (auto& [address, segment] : s.segments) segment->reading = false;
    // Errors since the last round trip: the puts of shared memory failed
    // (or the window went, and copying costs nothing then).
    if (s.errors != s.errorsAtSync) s.putsFailed = true;
    s.errorsAtSync = s.errors;
}

namespace {

// The channel's 8 bits widened exactly (bits repeated) into a wider mask, or
// cut to a narrower one, as SDL converts.
void channelTable(std::uint32_t mask, std::uint32_t* table) {
    const int shift = mask != 0 ? std::countr_zero(mask) : 0;
    const int bits = std::popcount(mask);
    for (std::uint32_t v = 0; v < 256; ++v) {
        std::uint32_t value = 0;
        if (bits >= 8)
            for (int have = 0; have < bits; have += 8)
                value |= bits - have >= 8 ? v << (bits - have - 8) : v >> (8 - (bits - have));
        else
            value = v >> (8 - bits);
        table[v] = (value << shift) & mask;
    }
}

// The window's pixel format, learnt once; null where it cannot be made
// (not TrueColor or DirectColor, or neither 16 nor 32 bits a pixel).
const PixelFormat* formatOf(Display* display, unsigned long xWindow) {
    Shared& s = shared();
    if (const auto it = s.formats.find(xWindow); it != s.formats.end()) return it->second.get();
    XWindowAttributes attributes{};
    std::unique_ptr<PixelFormat> format;
    if (XGetWindowAttributes(display, xWindow, &attributes) && attributes.visual != nullptr &&
        (attributes.visual->c_class == TrueColor || attributes.visual->c_class == DirectColor)) {
        int count = 0;
        XPixmapFormatValues* formats = XListPixmapFormats(display, &count);
        for (int i = 0; i < count; ++i)
            if (formats[i].depth == attributes.depth &&
                (formats[i].bits_per_pixel == 16 || formats[i].bits_per_pixel == 32)) {
                format = std::make_unique<PixelFormat>();
                format->bitsPerPixel = formats[i].bits_per_pixel;
            }
        if (formats != nullptr) XFree(formats);
    }
    if (format != nullptr) {
        format->visual = attributes.visual;
        format->depth = attributes.depth;
        channelTable(static_cast<std::uint32_t>(attributes.visual->red_mask), format->red);
        channelTable(static_cast<std::uint32_t>(attributes.visual->green_mask), format->green);
        channelTable(static_cast<std::uint32_t>(attributes.visual->blue_mask), format->blue);
    }
    return (s.formats[xWindow] = std::move(format)).get();
}

}  // namespace

bool canPresent(unsigned long xWindow) {
    Display* display = presentingDisplay();
    return display != nullptr && formatOf(display, xWindow) != nullptr;
}

void present(unsigned long xWindow, const std::uint8_t* memory, std::int32_t imageWidth, const Rect& area) {
    Shared& s = shared();
    const int width = area.right - area.left;
    const int height = area.bottom - area.top;
    if (s.display == nullptr || width <= 0 || height <= 0) return;
    const auto it = s.segments.find(memory);
    if (it != s.segments.end() && !s.putsFailed) {
        Segment& segment = *it->second;
        // The server clips to the window, whose size may run ahead of or
        // behind the image while a resize is on its way.
        XShmPutImage(s.display, xWindow, segment.gc, segment.image, area.left, area.top, area.left, area.top,
                     static_cast<unsigned>(width), static_cast<unsigned>(height), False);
        XFlush(s.display);
        segment.reading = true;
        return;
    }
    // Copied over the connection, in the window's own pixel format: the
    // request holds the pixels, so the image may change as soon as this
    // returns.
    const PixelFormat* format = formatOf(s.display, xWindow);
    if (format == nullptr) return;
    const int bytesPerPixel = format->bitsPerPixel / 8;
    // The image's own bytes where they are the window's pixels already.
    const bool same = format->bitsPerPixel == 32 && format->visual->red_mask == 0xFF0000 &&
                      format->visual->green_mask == 0xFF00 && format->visual->blue_mask == 0xFF;
    const std::uint8_t* data = memory;
    int rowBytes = imageWidth * 4;
    int sourceX = area.left;
    int sourceY = area.top;
    if (!same) {
        const std::size_t bytes = static_cast<std::size_t>(width) * height * bytesPerPixel;
        if (s.converted.size() < bytes) s.converted.resize(bytes);
        for (int y = 0; y < height; ++y) {
            const std::uint8_t* from = memory + (static_cast<std::size_t>(area.top + y) * imageWidth + area.left) * 4;
            std::uint8_t* to = s.converted.data() + static_cast<std::size_t>(y) * width * bytesPerPixel;
            for (int x = 0; x < width; ++x, from += 4, to += bytesPerPixel) {
                const std::uint32_t pixel = format->blue[from[0]] | format->green[from[1]] | format->red[from[2]];
                std::memcpy(to, &pixel, static_cast<std::size_t>(bytesPerPixel));  // little-endian: the low bytes
            }
        }
        data = s.converted.data();
        rowBytes = width * bytesPerPixel;
        sourceX = 0;
        sourceY = 0;
    }
    XImage image{};
    image.width = sourceX + width;
    image.height = sourceY + height;
    image.format = ZPixmap;
    image.data = const_cast<char*>(reinterpret_cast<const char*>(data));
    image.byte_order = LSBFirst;
    image.bitmap_unit = 32;
    image.bitmap_bit_order = LSBFirst;
    image.bitmap_pad = 32;
    image.depth = format->depth;
    image.bytes_per_line = rowBytes;
    image.bits_per_pixel = format->bitsPerPixel;
    image.red_mask = format->visual->red_mask;
    image.green_mask = format->visual->green_mask;
    image.blue_mask = format->visual->blue_mask;
    if (XInitImage(&image) == 0) return;
    if (s.copyGc == nullptr) {
        XGCValues values{};
        values.graphics_exposures = False;
        s.copyGc = XCreateGC(s.display, xWindow, GCGraphicsExposures, &values);
    }
    XPutImage(s.display, xWindow, s.copyGc, &image, sourceX, sourceY, area.left, area.top, static_cast<unsigned>(width),
              static_cast<unsigned>(height));
    XFlush(s.display);
}

}  // namespace pxNative::sdl
