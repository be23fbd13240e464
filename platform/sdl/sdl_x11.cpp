#include "platform/sdl/sdl_x11.h"

#include <SDL_syswm.h>
#include <X11/Xlib.h>

#include <cerrno>
#include <cstdio>
#include <map>

#include <unistd.h>

namespace pxNative::sdl {
namespace {

// X window to SDL window id, for every window ever watched: an error about a
// window can arrive after the window's record is gone.
std::map<Window, Uint32>& watched() {
    static std::map<Window, Uint32> windows;
    return windows;
}

XErrorHandler previousHandler = nullptr;
Display* countedDisplay = nullptr;
int* countedErrors = nullptr;

// Xlib calls this when a read or write on the connection fails, typically
// because the server has gone away. Xlib cannot go on with the connection, so
// the process ends here; _exit, because handlers and destructors run by exit
// could touch the dead connection again.
int connectionLost(Display* display) {
    const char* name = display != nullptr ? XDisplayString(display) : nullptr;
    std::fprintf(stderr, "%s: lost the connection to X display \"%s\"\n", program_invocation_short_name,
                 name != nullptr ? name : "");
    _exit(1);
}

// Drawing into or asking about a window that another program has destroyed
// fails with BadWindow or BadDrawable until its DestroyNotify is handled.
int requestFailed(Display* display, XErrorEvent* error) {
    if (display != nullptr && display == countedDisplay) {
        ++*countedErrors;
        return 0;
    }
    const bool missingWindow = error->error_code == BadWindow || error->error_code == BadDrawable;
    if (missingWindow && watched().count(error->resourceid) != 0) return 0;
    return previousHandler != nullptr ? previousHandler(display, error) : 0;
}

}  // namespace

void handleXErrors() {
    XSetIOErrorHandler(connectionLost);
    const XErrorHandler previous = XSetErrorHandler(requestFailed);
    if (previous != requestFailed) previousHandler = previous;
}

void countErrorsOf(Display* display, int* errors) {
    countedDisplay = display;
    countedErrors = errors;
}

unsigned long xWindowOf(SDL_Window* window) {
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (SDL_GetWindowWMInfo(window, &info) != SDL_TRUE || info.subsystem != SDL_SYSWM_X11) return 0;
    return info.info.x11.window;
}

void watchWindow(unsigned long xWindow, Uint32 id) {
    if (xWindow != 0) watched()[xWindow] = id;
}

Uint32 destroyedWindow(const SDL_SysWMmsg& message) {
    if (message.subsystem != SDL_SYSWM_X11) return 0;
    const XEvent& event = message.msg.x11.event;
    if (event.type != DestroyNotify) return 0;
    const auto it = watched().find(event.xdestroywindow.window);
    return it != watched().end() ? it->second : 0;
}

}  // namespace pxNative::sdl
