// Glintworks: builds the default scene, shows it in a window that re-renders it
// sixty times a second, and when the run ends (Esc released or the window
// closed) prints how many frames it rendered and how fast.

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <new>

#include "app/clock.h"
#include "app/standard_streams.h"
#include "app/statistics.h"
#include "platform/platform.h"
#include "scene/default_scene.h"
#include "viewer/myWindow.h"

namespace {

int run() {
    const glintworks::Scene scene = glintworks::makeDefaultScene();
    // Declared after the scene, so destroyed before it: the window's copy goes
    // first and the scene then releases the last references to the primitives.
    myWindow window(scene);

    // Without a native window no quit request can ever arrive, so waiting in the
    // event loop would wait for ever.
    if (window.create(10, 64, 320, 240) != 0) {
        std::fprintf(stderr, "glintworks: cannot open a window: %s\n", pxNativeLastError());
        return 1;
    }
    window.setTitle("Glintworks");
    window.setVisible(true);

    const double t0 = millisecondsNow();
    window.messagePump.runEventLoop();
    const double t1 = millisecondsNow();

    errno = 0;
    if (!writeRunStatistics(std::cout, window.frameCount, t0, t1)) {
        const int err = errno;
        std::fprintf(stderr, "glintworks: cannot write the run statistics to standard output: %s\n",
                     err != 0 ? std::strerror(err) : "write error");
        return 1;
    }
    return 0;
}

}  // namespace

int main() {
    holdStandardStreams();
    int status = 1;
    try {
        status = run();
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "glintworks: out of memory\n");
    }
    // exit() and not a return: in the browser main is set aside whenever the
    // event loop waits and is resumed by the page, and what it returns then
    // reaches no one; exit() ends the run there as everywhere else.
    std::exit(status);
}
