#pragma once
// A bound on synthetic input from other X clients. Any client may send our
// windows events (XSendEvent) as fast as the server takes them. Xlib reads
// everything waiting on the connection into its own queue, and SDL looks
// through that whole queue for every key release it handles (its
// auto-repeat check), so a flood of two million sent key events made the
// program hold hundreds of megabytes and take minutes over them.
//
// Sent key, button and motion events are dropped as Xlib reads them, before
// they take memory or reach SDL, past a rate (a few thousand a second) or
// while many events wait in Xlib's queue. Input that the server itself reports (the user's keyboard and mouse)
// is never dropped here; the core bounds what is left (core.h,
// State::inputLimit).

#include <SDL.h>

namespace pxNative::sdl {

// Installs the bound on the X connection behind `window`, once per process;
// nothing under any other video driver.
void boundSentInput(SDL_Window* window);

}  // namespace pxNative::sdl
