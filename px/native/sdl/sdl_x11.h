#pragma once
// What the SDL backend does with Xlib directly. Kept apart from the rest of
// the backend so that Xlib's macros (None, True, Status ...) stay in one file.

namespace pxNative::sdl {

// Replaces Xlib's reaction to a lost X server connection (its own message,
// then exit) with one line of the program's own, "NAME: lost the connection
// to X display ":0"", and _exit(1): no core dump, no hang, nothing else runs.
// Xlib keeps one such handler per process, for every connection, SDL's
// included. Call it after SDL's video driver has started, so that nothing SDL
// installs while starting comes after it.
void handleLostXConnection();

}  // namespace pxNative::sdl
