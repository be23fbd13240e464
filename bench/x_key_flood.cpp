// A flood of synthetic key events, as any other X client may send them
// (XSendEvent): COUNT events at one window, presses and releases of one key in
// turn, as fast as the connection takes them. Prints how long the sending
// took. Used by scripts/flood-check.
//
//   x-key-flood WINDOW-ID COUNT [KEYSYM]   (default key "a")

#include <X11/Xlib.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    if (argc < 3 || argc > 4) {
        std::fprintf(stderr, "usage: x-key-flood WINDOW-ID COUNT [KEYSYM]\n");
        return 2;
    }
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        std::fprintf(stderr, "x-key-flood: cannot open the display\n");
        return 1;
    }
    const Window window = static_cast<Window>(std::strtoul(argv[1], nullptr, 0));
    const long count = std::strtol(argv[2], nullptr, 10);
    const KeySym symbol = XStringToKeysym(argc == 4 ? argv[3] : "a");
    const KeyCode code = symbol != NoSymbol ? XKeysymToKeycode(display, symbol) : 0;
    if (window == 0 || count <= 0 || code == 0) {
        std::fprintf(stderr, "x-key-flood: a window id, a positive count and a known key are needed\n");
        return 2;
    }
    XKeyEvent key{};
    key.display = display;
    key.window = window;
    key.root = DefaultRootWindow(display);
    key.time = CurrentTime;
    key.x = key.y = 10;
    key.x_root = key.y_root = 10;
    key.same_screen = True;
    key.keycode = code;

    const auto start = std::chrono::steady_clock::now();
    for (long i = 0; i < count; ++i) {
        key.type = i % 2 == 0 ? KeyPress : KeyRelease;
        XEvent event{};
        event.xkey = key;
        XSendEvent(display, window, True, KeyPressMask | KeyReleaseMask, &event);
    }
    XSync(display, False);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("sent %ld key events in %.2f s\n", count, seconds);
    XCloseDisplay(display);
    return 0;
}
