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
// When shared memory cannot be had (no MIT-SHM extension, a server on
// another machine, a visual other than 32-bit blue, green, red, unused, a
// segment refused, or attached by a server in another IPC namespace under the
// same id), allocate returns null, the backend keeps ordinary memory, and
// present copies it to the server over the connection. SDL's own window
// surface is never made on X11: it would be a segment every local user can
// read and write (SDL makes it 0777), and SDL knows no 30-bit format.

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
// Whether present can show images in the X window: its visual is TrueColor
// or DirectColor with 16 or 32 bits a pixel (depths 15, 16, 24 and 30).
// Call only while SDL's X11 video driver runs.
bool canPresent(unsigned long xWindow);
// Shows `area` of an image of `imageWidth` pixels a row in `memory` in the X
// window, at the same place: shared memory (from sharedImageAllocate) is
// handed to the server, other memory is copied to it, converted to the
// window's pixel format where that differs (each 8-bit channel widened
// exactly, or cut as SDL cuts it). Once a put of shared memory has failed
// (sharedImageWaitIdle finds out), every image is copied.
void present(unsigned long xWindow, const std::uint8_t* memory, std::int32_t imageWidth, const Rect& area);

}  // namespace pxNative::sdl
