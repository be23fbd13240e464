#pragma once
// What the SDL backend does with Xlib directly. Kept apart from the rest of
// the backend so that Xlib's macros (None, True, Status ...) stay in one file.

#include <SDL.h>

namespace pxNative::sdl {

// Replaces Xlib's reactions to errors (call after SDL's video driver has
// started, so that nothing SDL installs while starting comes after them;
// Xlib keeps one of each per process, for every connection, SDL's included):
// - a lost X server connection: instead of Xlib's own message and exit, one
//   line of the program's own, "NAME: lost the connection to X display ":0"",
//   and _exit(1): no core dump, no hang, nothing else runs;
// - an error about one of our windows that another program destroyed
//   (BadWindow, BadDrawable): ignored, since the window's DestroyNotify is on
//   its way;
// - an error on the connection named by countErrorsOf: counted and ignored;
// every other error goes to the handler that was there before.
void handleXErrors();

// Errors on this connection (the shared images' own, sdl_xshm.h) are only
// counted, in *errors.
void countErrorsOf(struct _XDisplay* display, int* errors);

// The X11 window behind an SDL window; 0 under any other video driver.
unsigned long xWindowOf(SDL_Window* window);

// Our X windows, so that errors about them are recognised: the X window of an
// SDL window (with its SDL window id) is watched from its creation for as
// long as the process runs.
void watchWindow(unsigned long xWindow, Uint32 id);

// The SDL window whose X window another program destroyed, if `message` says
// so (DestroyNotify); otherwise 0. An SDL window id.
Uint32 destroyedWindow(const SDL_SysWMmsg& message);

}  // namespace pxNative::sdl
