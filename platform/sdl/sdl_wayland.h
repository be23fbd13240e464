#pragma once
// What the SDL backend asks a Wayland compositor directly, before SDL does.

#include <string>

namespace pxNative::sdl {

// Whether the compositor that WAYLAND_DISPLAY names offers an input seat.
// SDL 2.26 crashes while starting its Wayland driver against a compositor
// without one, so that case is found first. True also when no compositor
// answers: SDL then reports that itself.
bool waylandHasSeat();

}  // namespace pxNative::sdl
