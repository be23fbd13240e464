#include "app/standard_streams.h"

#if !defined(_WIN32) && !defined(__EMSCRIPTEN__)
#include <fcntl.h>
#include <unistd.h>

void holdStandardStreams() {
    for (int fd = 0; fd <= 2; ++fd) {
        if (fcntl(fd, F_GETFD) != -1) continue;
        // open() returns the lowest free number, which is fd; anything else
        // means a number below it is taken after all.
        const int opened = open("/dev/null", O_RDONLY);
        if (opened >= 0 && opened != fd) close(opened);
    }
}
#else
void holdStandardStreams() {}
#endif
