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

// Asks for the X window of `window` to be mapped, and returns at once: true if
// it is mapped by then, false if a window manager took the request to map it
// itself, later or never. (SDL's own show waits for the map with no end.)
bool requestMap(SDL_Window* window);

// Takes back a map that a window manager has not carried out yet, as ICCCM
// says (XWithdrawWindow): the window stays hidden.
void withdraw(SDL_Window* window);

// The mouse buttons held at the X server now (bits: 1 left, 2 middle, 4
// right) and the pointer's place in the X window of `window`, asked on SDL's
// own connection: every event the server sent before its answer is in SDL's
// queue by then, so that SDL_PumpEvents afterwards has seen every release that
// happened before the question. False for a window that is not an X11 one.
bool buttonsAtServer(SDL_Window* window, unsigned& held, int& x, int& y);

// The mouse buttons the X server held when it made the event in `message`
// (bits of buttonsAtServer) and where in its window the pointer was, for the
// server's own key, button, motion and crossing events; false for any other
// (those another client sent carry whatever that client put in them).
bool buttonsInEvent(const SDL_SysWMmsg& message, unsigned& held, int& x, int& y);

// Puts an X ButtonRelease of `buttons` (the bits of buttonsAtServer) at (x, y)
// in the X window of `window` at the head of SDL's queue, as if the server
// had sent it: SDL's own button state follows it, and so does its next event.
void queueReleases(SDL_Window* window, unsigned buttons, int x, int y);

// The SDL window whose X window another program destroyed, if `message` says
// so (DestroyNotify); otherwise 0. An SDL window id.
Uint32 destroyedWindow(const SDL_SysWMmsg& message);

// Whether `message` is a KeymapNotify: the server's word that the pointer or
// the focus came in. SDL then asks the server which keys are down now and
// reports as pressed the modifiers it had not heard of.
bool isKeymapNotify(const SDL_SysWMmsg& message);

}  // namespace pxNative::sdl
