// Waits until the X server holds no pointer button down, at most 10 s. A
// window manager that grabs the button to focus the window it was pressed in
// holds the pointer's later events back until it has handled the press, while
// a pointer moved by another program (xdotool) moves at once: a motion sent
// after a release could otherwise be handled before it.
// Exit status 0 once no button is down, 1 if one still is after 10 s.

#include <X11/Xlib.h>

#include <cstdio>

#include <unistd.h>

int main() {
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        std::fprintf(stderr, "wait-buttons-up: cannot open the display\n");
        return 1;
    }
    constexpr unsigned kButtons = Button1Mask | Button2Mask | Button3Mask | Button4Mask | Button5Mask;
    for (int i = 0; i < 2000; ++i) {
        Window root = 0;
        Window child = 0;
        int rootX = 0;
        int rootY = 0;
        int x = 0;
        int y = 0;
        unsigned mask = 0;
        XQueryPointer(display, DefaultRootWindow(display), &root, &child, &rootX, &rootY, &x, &y, &mask);
        if ((mask & kButtons) == 0) {
            XCloseDisplay(display);
            return 0;
        }
        usleep(5000);
    }
    std::fprintf(stderr, "wait-buttons-up: a pointer button is still down after 10 s\n");
    XCloseDisplay(display);
    return 1;
}
