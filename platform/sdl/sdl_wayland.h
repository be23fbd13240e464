#pragma once
// What the SDL backend asks a Wayland compositor directly, before SDL does.

#include <SDL.h>

#include <string>

namespace pxNative::sdl {

// Whether the compositor that WAYLAND_DISPLAY names offers an input seat.
// SDL 2.26 crashes while starting its Wayland driver against a compositor
// without one, so that case is found first. True also when no compositor
// answers: SDL then reports that itself.
bool waylandHasSeat();

// Whether the connection to the Wayland compositor behind `window` has failed
// for good (the compositor went away). SDL's Wayland driver then reports a
// quit, as it does for SIGINT and SIGTERM. False under any other driver.
bool waylandConnectionLost(SDL_Window* window);

}  // namespace pxNative::sdl
