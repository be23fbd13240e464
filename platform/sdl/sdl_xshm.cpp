#include "platform/sdl/sdl_xshm.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <sys/ipc.h>
#include <sys/shm.h>

#include <bit>
#include <map>
#include <memory>

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

struct Shared {
    bool tried = false;
    Display* display = nullptr;  // null: shared memory is not to be had
    bool attachRefused = false;  // the server cannot reach this process's memory
    int errors = 0;              // X errors on `display` so far
    std::map<const std::uint8_t*, std::unique_ptr<Segment>> segments;
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
    if (!XShmQueryExtension(display) || ImageByteOrder(display) != LSBFirst) {
        XCloseDisplay(display);
        return nullptr;
    }
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
    if (display == nullptr || s.attachRefused) return nullptr;

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
    if (address == reinterpret_cast<void*>(-1)) {
        shmctl(segment.info.shmid, IPC_RMID, nullptr);
        XDestroyImage(segment.image);
        return nullptr;
    }
    segment.info.shmaddr = static_cast<char*>(address);
    segment.image->data = segment.info.shmaddr;
    segment.info.readOnly = True;
    // The attach is checked at once: a server on another machine cannot
    // reach this memory and refuses it, and then refuses every later one.
    // Errors from before (puts into a window since destroyed) are collected
    // first, so that they are not taken for the attach's.
    XSync(display, False);
    const int errorsBefore = s.errors;
    XShmAttach(display, &segment.info);
    XSync(display, False);
    // Gone with the last detach: the server's, and this process's at exit.
    shmctl(segment.info.shmid, IPC_RMID, nullptr);
    if (s.errors != errorsBefore) {
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
}

bool sharedImagePut(unsigned long xWindow, const std::uint8_t* memory, const Rect& area) {
    Shared& s = shared();
    const auto it = s.segments.find(memory);
    if (it == s.segments.end()) return false;
    Segment& segment = *it->second;
    const int width = area.right - area.left;
    const int height = area.bottom - area.top;
    // The server clips to the window, whose size may run ahead of or behind
    // the image while a resize is on its way.
    XShmPutImage(s.display, xWindow, segment.gc, segment.image, area.left, area.top, area.left, area.top,
                 static_cast<unsigned>(width), static_cast<unsigned>(height), False);
    XFlush(s.display);
    segment.reading = true;
    return true;
}

}  // namespace pxNative::sdl
