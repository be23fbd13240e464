#include "px/native/sdl/sdl_x11.h"

#include <X11/Xlib.h>

#include <cerrno>
#include <cstdio>

#include <unistd.h>

namespace pxNative::sdl {
namespace {

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

}  // namespace

void handleLostXConnection() { XSetIOErrorHandler(connectionLost); }

}  // namespace pxNative::sdl
