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

namespace {

Display* sdlDisplay(SDL_Window* window, Window& xWindow) {
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (SDL_GetWindowWMInfo(window, &info) != SDL_TRUE || info.subsystem != SDL_SYSWM_X11) return nullptr;
    xWindow = info.info.x11.window;
    return info.info.x11.display;
}

// Bits of buttonsAtServer: X buttons 1 (left), 2 (middle) and 3 (right).
constexpr unsigned kButtonMasks[3] = {Button1Mask, Button2Mask, Button3Mask};

}  // namespace

bool requestMap(SDL_Window* window) {
    Window xWindow = 0;
    Display* display = sdlDisplay(window, xWindow);
    if (display == nullptr) return false;
    XMapRaised(display, xWindow);
    // A round trip: the server has handled the request by its answer.
    XWindowAttributes attributes;
    return XGetWindowAttributes(display, xWindow, &attributes) != 0 && attributes.map_state != IsUnmapped;
}

void withdraw(SDL_Window* window) {
    Window xWindow = 0;
    Display* display = sdlDisplay(window, xWindow);
    if (display == nullptr) return;
    XWithdrawWindow(display, xWindow, DefaultScreen(display));
    XFlush(display);
}

bool buttonsAtServer(SDL_Window* window, unsigned& held, int& x, int& y) {
    Window xWindow = 0;
    Display* display = sdlDisplay(window, xWindow);
    if (display == nullptr) return false;
    Window root = 0;
    Window child = 0;
    int rootX = 0;
    int rootY = 0;
    unsigned mask = 0;
    // False only when the pointer is on another screen; the mask holds anyway.
    XQueryPointer(display, xWindow, &root, &child, &rootX, &rootY, &x, &y, &mask);
    held = 0;
    for (unsigned i = 0; i < 3; ++i)
        if (mask & kButtonMasks[i]) held |= 1u << i;
    return true;
}

bool buttonsInEvent(const SDL_SysWMmsg& message, unsigned& held, int& x, int& y) {
    if (message.subsystem != SDL_SYSWM_X11) return false;
    const XEvent& event = message.msg.x11.event;
    if (event.xany.send_event) return false;
    unsigned mask = 0;
    switch (event.type) {
    case KeyPress:
    case KeyRelease:
        mask = event.xkey.state;
        x = event.xkey.x;
        y = event.xkey.y;
        break;
    case ButtonPress:
    case ButtonRelease:
        mask = event.xbutton.state;  // before this press or release
        x = event.xbutton.x;
        y = event.xbutton.y;
        break;
    case MotionNotify:
        mask = event.xmotion.state;
        x = event.xmotion.x;
        y = event.xmotion.y;
        break;
    case EnterNotify:
    case LeaveNotify:
        mask = event.xcrossing.state;
        x = event.xcrossing.x;
        y = event.xcrossing.y;
        break;
    default: return false;
    }
    held = 0;
    for (unsigned i = 0; i < 3; ++i)
        if (mask & kButtonMasks[i]) held |= 1u << i;
    return true;
}

void queueReleases(SDL_Window* window, unsigned buttons, int x, int y) {
    Window xWindow = 0;
    Display* display = sdlDisplay(window, xWindow);
    if (display == nullptr) return;
    unsigned state = 0;
    for (unsigned i = 0; i < 3; ++i)
        if (buttons & (1u << i)) state |= kButtonMasks[i];
    XEvent events[3] = {};
    int count = 0;
    for (unsigned i = 0; i < 3; ++i) {
        if (!(buttons & (1u << i))) continue;
        XButtonEvent& event = events[count++].xbutton;
        event.type = ButtonRelease;
        event.display = display;
        event.window = xWindow;
        event.root = DefaultRootWindow(display);
        event.x = x;
        event.y = y;
        event.state = state;  // the buttons held before this release
        event.button = i + 1;
        event.same_screen = True;
        state &= ~kButtonMasks[i];
    }
    // Each goes to the head of the queue: the last first.
    while (count > 0) XPutBackEvent(display, &events[--count]);
}

Uint32 destroyedWindow(const SDL_SysWMmsg& message) {
    if (message.subsystem != SDL_SYSWM_X11) return 0;
    const XEvent& event = message.msg.x11.event;
    if (event.type != DestroyNotify) return 0;
    const auto it = watched().find(event.xdestroywindow.window);
    return it != watched().end() ? it->second : 0;
}

bool isKeymapNotify(const SDL_SysWMmsg& message) {
    return message.subsystem == SDL_SYSWM_X11 && message.msg.x11.event.type == KeymapNotify;
}

}  // namespace pxNative::sdl
