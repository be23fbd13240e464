#pragma once
// Backing images in memory shared with the X server (MIT-SHM), shown without
// waiting for the server. Kept apart from the rest of the SDL backend so that
// Xlib's macros stay out of it.
//
// SDL's own X11 window surface is shared memory too, but it costs two extra
// copies of every frame: the core's image into the surface, and the server's
// read of it, which SDL_UpdateWindowSurfaceRects waits for (XSync) before it
// returns. Here the core's image is the shared memory itself, and a present
// only hands it to the server (XShmPutImage) and returns; the server copies
// it on its own, while the next frame renders. The next write into the image
// waits until the server has finished reading it (waitIdle: one round trip,
// normally answered at once).
//
// Presents go through a connection of their own, so that SDL's event queue
// never sees their requests or errors. Errors on that connection (a window
// destroyed by another client, say) are ignored: the window's events say what
// happened (the backend's error handler counts them, sdl_x11.h). A lost
// connection ends the program like SDL's.
//
// When shared memory cannot be had (no X11, no MIT-SHM extension, a server on
// another machine, a visual other than 32-bit blue, green, red, unused, or a
// segment refused), allocate returns null and the backend keeps ordinary
// memory and SDL's window surface for that image.

#include <cstdint>

#include "platform/core/core.h"

namespace pxNative::sdl {

// Pixel memory of width x height x 4 bytes, top-down rows with no gap,
// shared with the X server and shown in the X window `xWindow`; null where it
// cannot be had. Call only while SDL's X11 video driver runs.
std::uint8_t* sharedImageAllocate(unsigned long xWindow, std::int32_t width, std::int32_t height);
// Frees memory from sharedImageAllocate; false, and nothing done, for any
// other memory.
bool sharedImageFree(std::uint8_t* memory);
// Returns once the server has read everything it was handed from `memory`.
void sharedImageWaitIdle(std::uint8_t* memory);
// Hands `area` of an image in `memory` (from sharedImageAllocate) to the
// server for the X window, at the same place; false, and nothing done, for
// any other memory.
bool sharedImagePut(unsigned long xWindow, const std::uint8_t* memory, const Rect& area);

}  // namespace pxNative::sdl
