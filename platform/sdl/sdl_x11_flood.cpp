#include "platform/sdl/sdl_x11_flood.h"

#include <chrono>
#include <initializer_list>

#include <SDL_syswm.h>
#include <X11/Xlib.h>
#include <X11/Xlibint.h>
#include <X11/Xproto.h>

namespace pxNative::sdl {
namespace {

// Events waiting in Xlib's queue past which sent input is dropped: far more
// than a user's input between two looks at the queue.
constexpr int kWaitingBound = 1000;
// Sent input taken beyond that: at most kSentPerSecond a second, with bursts
// of up to kSentBurst (a tool typing or clicking through XSendEvent stays far
// below). The rest is dropped as it is read, so that a flood never fills the
// queues behind Xlib's (SDL's, the core's) and crowds out the user's input.
constexpr double kSentPerSecond = 2000;
constexpr double kSentBurst = 2000;

// The sent-event bit of an event's type on the wire.
constexpr unsigned kSentByClient = 0x80;

using WireToEvent = Bool (*)(Display*, XEvent*, xEvent*);

// Xlib's own converters of the hooked types, by event type.
WireToEvent previous[LASTEvent] = {};
Display* hooked = nullptr;
double tokens = kSentBurst;  // sent events that may still be taken now
std::chrono::steady_clock::time_point refilled;

bool takeSent(Display* display) {
    if (XQLength(display) >= kWaitingBound) return false;
    const auto now = std::chrono::steady_clock::now();
    // (Xlibint.h defines min and max as macros.)
    tokens += std::chrono::duration<double>(now - refilled).count() * kSentPerSecond;
    if (tokens > kSentBurst) tokens = kSentBurst;
    refilled = now;
    if (tokens < 1) return false;
    tokens -= 1;
    return true;
}

// Called by Xlib for each event of a hooked type it reads; False keeps the
// event out of the queue. The display is locked: only its fields are read.
Bool boundedWireToEvent(Display* display, XEvent* event, xEvent* wire) {
    const unsigned type = wire->u.u.type & 0x7F;
    if ((wire->u.u.type & kSentByClient) != 0 && !takeSent(display)) return False;
    return previous[type](display, event, wire);
}

}  // namespace

void boundSentInput(SDL_Window* window) {
    if (hooked != nullptr) return;
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (SDL_GetWindowWMInfo(window, &info) != SDL_TRUE || info.subsystem != SDL_SYSWM_X11) return;
    Display* display = info.info.x11.display;
    hooked = display;
    refilled = std::chrono::steady_clock::now();
    for (const int type : {KeyPress, KeyRelease, ButtonPress, ButtonRelease, MotionNotify})
        previous[type] = XESetWireToEvent(display, type, boundedWireToEvent);
}

}  // namespace pxNative::sdl
